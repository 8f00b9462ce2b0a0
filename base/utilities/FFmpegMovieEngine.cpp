#include "base/utilities/FFmpegMovieEngine.h"

#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
}

namespace lumora {

namespace {

constexpr double kEpsilon = 1e-6;
// Further ahead than this, seeking to a key frame beats decoding every picture on the way.
constexpr double kSeekAheadSeconds = 5.0;

std::string avText(int rc) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(rc, text, sizeof text);
    return text;
}

struct FormatCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;

// Opens the file as an MP4 movie and finds its H.264 track.
FormatPtr openMp4(const std::string& path, int& stream, std::string& error) {
    AVFormatContext* raw = nullptr;
    int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (rc < 0) {
        error = "cannot open " + path + ": " + avText(rc);
        return nullptr;
    }
    FormatPtr format(raw);
    // The MP4 reader is the one for the whole QuickTime family.
    if (!format->iformat || !std::strstr(format->iformat->name, "mp4")) {
        error = path + " is not an MP4 file";
        return nullptr;
    }
    rc = avformat_find_stream_info(format.get(), nullptr);
    if (rc < 0) {
        error = "cannot read " + path + ": " + avText(rc);
        return nullptr;
    }
    stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0 || format->streams[stream]->codecpar->codec_id != AV_CODEC_ID_H264) {
        error = path + " has no H.264 picture track";
        return nullptr;
    }
    return format;
}

}  // namespace

FFmpegMovieEngine::FFmpegMovieEngine() = default;

FFmpegMovieEngine::~FFmpegMovieEngine() { close(); }

bool FFmpegMovieEngine::isPlayableMp4(const std::string& path, std::string* error) {
    int stream = -1;
    std::string why;
    const bool ok = openMp4(path, stream, why) != nullptr;
    if (error) *error = why;
    return ok;
}

void FFmpegMovieEngine::close() {
    if (format_) avformat_close_input(&format_);
    if (filter_) av_bsf_free(&filter_);
    decoder_.close();
    ready_.clear();
    shown_.reset();
    stream_ = -1;
    atEnd_ = false;
}

bool FFmpegMovieEngine::open(const std::string& path, MovieInfo& info, std::string& error) {
    close();
    int stream = -1;
    FormatPtr format = openMp4(path, stream, error);
    if (!format) return false;
    AVStream* s = format->streams[stream];

    const AVBitStreamFilter* toAnnexB = av_bsf_get_by_name("h264_mp4toannexb");
    AVBSFContext* filter = nullptr;
    if (!toAnnexB || av_bsf_alloc(toAnnexB, &filter) < 0) {
        error = "no H.264 stream filter";
        return false;
    }
    avcodec_parameters_copy(filter->par_in, s->codecpar);
    filter->time_base_in = s->time_base;
    if (int rc = av_bsf_init(filter); rc < 0) {
        av_bsf_free(&filter);
        error = "cannot start the H.264 stream filter: " + avText(rc);
        return false;
    }
    if (!decoder_.open()) {
        av_bsf_free(&filter);
        error = decoder_.lastError();
        return false;
    }

    timeBase_ = av_q2d(s->time_base);
    startPts_ = s->start_time != AV_NOPTS_VALUE ? s->start_time : 0;
    double duration = 0;
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        duration = double(format->duration) / AV_TIME_BASE;
    else if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
        duration = double(s->duration) * timeBase_;
    AVRational rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : s->r_frame_rate;
    frameDuration_ = rate.num > 0 && rate.den > 0 ? av_q2d(av_inv_q(rate)) : 0.04;
    if (!(frameDuration_ > 0.001 && frameDuration_ < 10)) frameDuration_ = 0.04;

    format_ = format.release();
    filter_ = filter;
    stream_ = stream;
    info_ = MovieInfo{duration, frameDuration_, s->codecpar->width, s->codecpar->height};
    info = info_;
    return true;
}

bool FFmpegMovieEngine::takePictures(std::string& error) {
    AVPacket* out = av_packet_alloc();
    if (!out) {
        error = "out of memory";
        return false;
    }
    auto onPicture = [this](const AVFrame& frame, int64_t pts) {
        MoviePicture p;
        if (!decoder_.packYuv420(frame, p.yuv)) return;
        p.width = frame.width;
        p.height = frame.height;
        p.time = pts == AV_NOPTS_VALUE ? (shown_ ? shown_->time + frameDuration_ : 0)
                                       : double(pts - startPts_) * timeBase_;
        p.index = std::lround(p.time / frameDuration_);
        ready_.push_back(std::move(p));
    };
    while (av_bsf_receive_packet(filter_, out) == 0) {
        // A unit that does not decode is skipped; the pictures after the
        // next key frame come out again.
        decoder_.decode(out->data, static_cast<size_t>(out->size), out->pts, onPicture);
        av_packet_unref(out);
    }
    av_packet_free(&out);
    return true;
}

bool FFmpegMovieEngine::decodeNext(std::string& error) {
    if (!format_) {
        error = "no movie open";
        return false;
    }
    AVPacket* packet = av_packet_alloc();
    if (!packet) {
        error = "out of memory";
        return false;
    }
    while (ready_.empty() && !atEnd_) {
        int rc = av_read_frame(format_, packet);
        if (rc < 0) {
            // The end (or an unreadable rest): hand out what the codec holds.
            av_bsf_send_packet(filter_, nullptr);
            takePictures(error);
            decoder_.flush([this](const AVFrame& frame, int64_t pts) {
                MoviePicture p;
                if (!decoder_.packYuv420(frame, p.yuv)) return;
                p.width = frame.width;
                p.height = frame.height;
                p.time = double(pts - startPts_) * timeBase_;
                p.index = std::lround(p.time / frameDuration_);
                ready_.push_back(std::move(p));
            });
            atEnd_ = true;
            break;
        }
        if (packet->stream_index == stream_) {
            if (av_bsf_send_packet(filter_, packet) < 0) av_packet_unref(packet);
            takePictures(error);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return !ready_.empty();
}

bool FFmpegMovieEngine::seekTo(double time, std::string& error) {
    const int64_t target = startPts_ + static_cast<int64_t>(std::max(0.0, time) / timeBase_);
    int rc = av_seek_frame(format_, stream_, target, AVSEEK_FLAG_BACKWARD);
    if (rc < 0) {
        error = "cannot seek: " + avText(rc);
        return false;
    }
    av_bsf_flush(filter_);
    decoder_.discard();
    ready_.clear();
    shown_.reset();
    atEnd_ = false;
    return true;
}

bool FFmpegMovieEngine::pictureAt(double time, MoviePicture& out, std::string& error) {
    if (!format_) {
        error = "no movie open";
        return false;
    }
    const double from = shown_ ? shown_->time : 0;
    if ((shown_ && time < from - kEpsilon) || time > from + kSeekAheadSeconds) {
        if (!seekTo(time, error)) return false;
    }
    for (;;) {
        if (ready_.empty() && !decodeNext(error)) break;
        if (ready_.front().time > time + kEpsilon) break;
        shown_ = std::move(ready_.front());
        ready_.erase(ready_.begin());
    }
    if (!shown_) {
        // Before the first picture: the first picture.
        if (ready_.empty()) {
            if (error.empty()) error = "the movie has no pictures";
            return false;
        }
        shown_ = std::move(ready_.front());
        ready_.erase(ready_.begin());
    }
    out = *shown_;
    return true;
}

}  // namespace lumora
