#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lumora {

// What a movie player learns when it opens a movie.
struct MovieInfo {
    double duration = 0;         // seconds
    double frameDuration = 0.04;  // seconds between pictures (the player's tick)
    int width = 0;
    int height = 0;
};

// One picture of a movie, planar YUV 4:2:0 packed as the video view draws
// it (Y, then U and V of (width / 2) x (height / 2), rows without gaps).
struct MoviePicture {
    std::vector<uint8_t> yuv;
    int width = 0;
    int height = 0;
    double time = 0;  // presentation time, seconds from the movie's start
    long index = -1;  // 0 for the first picture, in presentation order
};

// The part of the movie player that reads and decodes a movie. The player
// calls it on its own serial queue only, one call at a time: an engine needs
// no locking.
class MoviePlayerEngine {
public:
    virtual ~MoviePlayerEngine() = default;

    // Opens the local file. False, with `error` set, when it is not a movie
    // the engine can play.
    virtual bool open(const std::string& path, MovieInfo& info, std::string& error) = 0;
    // The picture to show at `time`: the last one whose time is at most
    // `time` (the first one for earlier times). Going forward continues
    // decoding; going back seeks. False, with `error` set, when no picture
    // can be had.
    virtual bool pictureAt(double time, MoviePicture& out, std::string& error) = 0;
    virtual void close() = 0;
};

using MoviePlayerEngineFactory = std::function<std::unique_ptr<MoviePlayerEngine>()>;

}  // namespace lumora
