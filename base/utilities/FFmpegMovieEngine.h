#pragma once

#include <memory>
#include <optional>

#include "base/decoder/H264Decoder.h"
#include "base/utilities/MoviePlayerEngine.h"

struct AVFormatContext;
struct AVBSFContext;

namespace lumora {

// Plays the MP4 files the video recorder writes: libavformat reads the
// container, a bit-stream filter turns the samples into Annex B access
// units, and the project's H.264 decoder decodes them.
//
// Pictures are timed by their presentation time stamps. Going forward it
// decodes on from where it is; going back (or far ahead) it seeks to the
// key frame before the wanted time and decodes forward from there.
class FFmpegMovieEngine final : public MoviePlayerEngine {
public:
    FFmpegMovieEngine();
    ~FFmpegMovieEngine() override;

    bool open(const std::string& path, MovieInfo& info, std::string& error) override;
    bool pictureAt(double time, MoviePicture& out, std::string& error) override;
    void close() override;

    // Whether the file opens as an MP4 movie with an H.264 picture track.
    static bool isPlayableMp4(const std::string& path, std::string* error = nullptr);

private:
    // Decodes the next picture into `next_`; false at the end or on a failure.
    bool decodeNext(std::string& error);
    bool seekTo(double time, std::string& error);
    bool takePictures(std::string& error);

    AVFormatContext* format_ = nullptr;
    AVBSFContext* filter_ = nullptr;
    int stream_ = -1;
    double timeBase_ = 0;
    int64_t startPts_ = 0;
    MovieInfo info_;
    H264Decoder decoder_;
    bool atEnd_ = false;         // no more packets
    bool decoderDrained_ = false;
    std::optional<MoviePicture> shown_;  // the last picture handed out (or skipped past)
    std::vector<MoviePicture> ready_;    // decoded, not yet handed out, in order
    long nextIndex_ = 0;
    double frameDuration_ = 0.04;
};

}  // namespace lumora
