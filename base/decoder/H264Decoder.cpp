#include "base/decoder/H264Decoder.h"

#include <algorithm>
#include <climits>
#include <cstring>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/pixdesc.h>
}

#include "base/decoder/QvYuv2RGB.h"

namespace lumora {

namespace {

std::string avErrorText(int rc) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(rc, text, sizeof text);
    return text;
}

bool isPlain420(int format) { return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P; }

}  // namespace

bool H264Decoder::open() {
    close();
    const AVCodec* codec = avcodec_find_decoder_by_name("h264");
    if (!codec) {
        lastError_ = "no h264 decoder";
        return false;
    }
    ffmpeg::CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) {
        lastError_ = "no codec context";
        return false;
    }
    // Live display: pictures as soon as they are complete.
    context->thread_count = 1;
    context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    int rc = avcodec_open2(context.get(), codec, nullptr);
    if (rc < 0) {
        lastError_ = "cannot open the h264 decoder: " + avErrorText(rc);
        return false;
    }
    ffmpeg::PacketPtr packet(av_packet_alloc());
    ffmpeg::FramePtr frame(av_frame_alloc());
    if (!packet || !frame) {
        lastError_ = "out of memory";
        return false;
    }
    context_ = std::move(context);
    packet_ = std::move(packet);
    frame_ = std::move(frame);
    owed_ = 0;
    lastError_.clear();
    return true;
}

void H264Decoder::close() {
    context_.reset();
    packet_.reset();
    frame_.reset();
    converted_.reset();
    sws_.reset();
    swsWidth_ = swsHeight_ = 0;
    swsFormat_ = -1;
    owed_ = 0;
}

H264Decoder::Result H264Decoder::decode(const uint8_t* data, size_t size, int64_t tag,
                                        const PictureHandler& onPicture) {
    if (!context_) {
        lastError_ = "decoder not open";
        return Result::Failed;
    }
    if (!data || size == 0 || size > static_cast<size_t>(INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE)) {
        lastError_ = "empty or oversized frame";
        return Result::Failed;
    }
    av_packet_unref(packet_.get());
    if (av_new_packet(packet_.get(), static_cast<int>(size)) < 0) {
        lastError_ = "out of memory";
        return Result::Failed;
    }
    std::memcpy(packet_->data, data, size);
    packet_->pts = tag;

    bool failed = false;
    bool gotPicture = false;
    auto drain = [&] {
        for (;;) {
            int rc = avcodec_receive_frame(context_.get(), frame_.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
            if (rc < 0) {
                lastError_ = avErrorText(rc);
                failed = true;
                return;
            }
            owed_ = std::max(0, owed_ - 1);
            // A picture that the codec itself marks as damaged (references
            // missing, concealed errors) is no better than none.
            if ((frame_->flags & AV_FRAME_FLAG_CORRUPT) || frame_->decode_error_flags) {
                lastError_ = "damaged picture";
                failed = true;
            } else {
                gotPicture = true;
                if (onPicture) onPicture(*frame_, frame_->pts);
            }
            av_frame_unref(frame_.get());
        }
    };

    int rc = avcodec_send_packet(context_.get(), packet_.get());
    if (rc == AVERROR(EAGAIN)) {
        // Pictures still waiting: take them, then hand the unit in again.
        drain();
        rc = avcodec_send_packet(context_.get(), packet_.get());
    }
    av_packet_unref(packet_.get());
    if (rc < 0) {
        lastError_ = avErrorText(rc);
        failed = true;
    } else {
        ++owed_;
    }
    drain();

    if (failed) return Result::Failed;
    if (gotPicture) return Result::Picture;
    // No picture: fine while the codec holds back no more units than its
    // reordering depth; beyond that the unit produced nothing and never will.
    const int depth = std::max(0, context_->has_b_frames);
    if (owed_ > depth) {
        owed_ = depth;
        lastError_ = "no picture";
        return Result::Failed;
    }
    return Result::NoPictureYet;
}

int H264Decoder::flush(const PictureHandler& onPicture) {
    if (!context_) return 0;
    int count = 0;
    if (avcodec_send_packet(context_.get(), nullptr) >= 0) {
        for (;;) {
            int rc = avcodec_receive_frame(context_.get(), frame_.get());
            if (rc < 0) break;  // AVERROR_EOF once everything is out
            if (!(frame_->flags & AV_FRAME_FLAG_CORRUPT) && !frame_->decode_error_flags) {
                ++count;
                if (onPicture) onPicture(*frame_, frame_->pts);
            }
            av_frame_unref(frame_.get());
        }
    }
    avcodec_flush_buffers(context_.get());
    owed_ = 0;
    return count;
}

void H264Decoder::discard() {
    if (!context_) return;
    avcodec_flush_buffers(context_.get());
    owed_ = 0;
}

const AVFrame* H264Decoder::yuv420View(const AVFrame& picture) {
    if (picture.width <= 0 || picture.height <= 0) return nullptr;
    if (isPlain420(picture.format)) return &picture;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format));
    if (!desc || (desc->flags & AV_PIX_FMT_FLAG_HWACCEL)) return nullptr;
    if (!sws_ || swsWidth_ != picture.width || swsHeight_ != picture.height || swsFormat_ != picture.format) {
        sws_.reset(sws_getContext(picture.width, picture.height, static_cast<AVPixelFormat>(picture.format),
                                  picture.width, picture.height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr,
                                  nullptr));
        converted_.reset();
        swsWidth_ = swsHeight_ = 0;
        swsFormat_ = -1;
        if (!sws_) return nullptr;
        ffmpeg::FramePtr converted(av_frame_alloc());
        if (!converted) return nullptr;
        converted->format = AV_PIX_FMT_YUV420P;
        converted->width = picture.width;
        converted->height = picture.height;
        if (av_frame_get_buffer(converted.get(), 0) < 0) return nullptr;
        converted_ = std::move(converted);
        swsWidth_ = picture.width;
        swsHeight_ = picture.height;
        swsFormat_ = picture.format;
    }
    if (sws_scale(sws_.get(), picture.data, picture.linesize, 0, picture.height, converted_->data,
                  converted_->linesize) != picture.height)
        return nullptr;
    return converted_.get();
}

bool H264Decoder::packYuv420(const AVFrame& picture, std::vector<uint8_t>& out) {
    const AVFrame* view = yuv420View(picture);
    if (!view || !view->data[0] || !view->data[1] || !view->data[2]) return false;
    const int width = view->width, height = view->height;
    const int planeWidth[3] = {width, width / 2, width / 2};
    const int planeHeight[3] = {height, height / 2, height / 2};
    for (int p = 0; p < 3; ++p)
        if (view->linesize[p] <= 0) return false;
    const size_t lumaSize = static_cast<size_t>(width) * height;
    const size_t chromaSize = static_cast<size_t>(planeWidth[1]) * planeHeight[1];
    out.resize(lumaSize + 2 * chromaSize);
    uint8_t* dst = out.data();
    for (int p = 0; p < 3; ++p) {
        const size_t rowBytes = static_cast<size_t>(std::min(planeWidth[p], view->linesize[p]));
        for (int row = 0; row < planeHeight[p]; ++row) {
            std::memcpy(dst + static_cast<size_t>(row) * planeWidth[p],
                        view->data[p] + static_cast<ptrdiff_t>(row) * view->linesize[p], rowBytes);
        }
        dst += static_cast<size_t>(planeWidth[p]) * planeHeight[p];
    }
    return true;
}

bool H264Decoder::convertToRgb32(const AVFrame& picture, std::vector<uint8_t>& out) {
    const AVFrame* view = yuv420View(picture);
    if (!view || !view->data[0] || !view->data[1] || !view->data[2]) return false;
    for (int p = 0; p < 3; ++p)
        if (view->linesize[p] <= 0) return false;
    const int width = view->width, height = view->height;
    const size_t need = static_cast<size_t>(width) * height * 4;
    if (out.size() != need) out.resize(need);
    QvYuv2RGB::convertYuv420ToRgb32(view->data[0], view->linesize[0], view->data[1], view->linesize[1],
                                    view->data[2], view->linesize[2], out.data(), width * 4, width, height);
    return true;
}

}  // namespace lumora
