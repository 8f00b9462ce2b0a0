#include "base/utilities/FakeMovieEngine.h"

#include <algorithm>
#include <cmath>

namespace lumora {

FakeMovieEngine::FakeMovieEngine(MovieInfo info, std::set<std::string> failing, std::shared_ptr<Log> log)
    : info_(info), failing_(std::move(failing)), log_(std::move(log)) {
    if (info_.width < 2) info_.width = 16;
    if (info_.height < 2) info_.height = 16;
    if (!(info_.frameDuration > 0)) info_.frameDuration = 0.04;
}

MoviePlayerEngineFactory FakeMovieEngine::factory(MovieInfo info, std::set<std::string> failing,
                                                  std::shared_ptr<Log> log) {
    return [info, failing, log] { return std::make_unique<FakeMovieEngine>(info, failing, log); };
}

bool FakeMovieEngine::open(const std::string& path, MovieInfo& info, std::string& error) {
    if (log_) {
        std::lock_guard<std::mutex> g(log_->lock);
        log_->opened.push_back(path);
        log_->threads.push_back(std::this_thread::get_id());
    }
    if (failing_.count(path)) {
        error = "cannot open " + path;
        return false;
    }
    open_ = true;
    info = info_;
    return true;
}

bool FakeMovieEngine::pictureAt(double time, MoviePicture& out, std::string& error) {
    if (log_) {
        std::lock_guard<std::mutex> g(log_->lock);
        log_->asked.push_back(time);
        log_->threads.push_back(std::this_thread::get_id());
    }
    if (!open_) {
        error = "no movie open";
        return false;
    }
    const long count = std::max(1L, std::lround(info_.duration / info_.frameDuration));
    const long index = std::clamp(static_cast<long>(std::floor(time / info_.frameDuration + 1e-6)), 0L, count - 1);
    const size_t luma = static_cast<size_t>(info_.width) * info_.height;
    out.width = info_.width;
    out.height = info_.height;
    out.yuv.assign(luma, static_cast<uint8_t>(pictureLuma(index)));
    out.yuv.resize(luma + 2 * static_cast<size_t>(info_.width / 2) * (info_.height / 2), 128);
    out.index = index;
    out.time = index * info_.frameDuration;
    return true;
}

}  // namespace lumora
