#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/utilities/MoviePlayerEngine.h"

namespace lumora {

// A movie engine for screen tests: every path opens (except those named as
// failing) as a movie of the given length whose pictures are small and
// solid, the luma of picture i being pictureLuma(i), so a test can tell
// which picture is shown without decoding anything.
class FakeMovieEngine final : public MoviePlayerEngine {
public:
    // What the engines a factory made were asked (shared between them).
    struct Log {
        std::mutex lock;
        std::vector<std::string> opened;
        std::vector<double> asked;  // pictureAt times
        std::vector<std::thread::id> threads;  // where each call ran
    };

    explicit FakeMovieEngine(MovieInfo info, std::set<std::string> failing = {}, std::shared_ptr<Log> log = nullptr);

    static MoviePlayerEngineFactory factory(MovieInfo info, std::set<std::string> failing = {},
                                            std::shared_ptr<Log> log = nullptr);
    static int pictureLuma(long index) { return 16 + static_cast<int>(index % 200); }

    bool open(const std::string& path, MovieInfo& info, std::string& error) override;
    bool pictureAt(double time, MoviePicture& out, std::string& error) override;
    void close() override { open_ = false; }

private:
    MovieInfo info_;
    std::set<std::string> failing_;
    std::shared_ptr<Log> log_;
    bool open_ = false;
};

}  // namespace lumora
