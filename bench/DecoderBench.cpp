// Decoder throughput against ffmpeg itself, and the YUV to RGB conversion
// against libyuv, measured in the same run.
//
// Our figure is unpaced: every access unit through the codec plus the copy of
// each picture into the packed YUV 4:2:0 buffer that is delivered. The anchor
// is the ffmpeg program decoding the same clip with one thread into the null
// muxer (its -benchmark real time).

#include <libyuv/convert_argb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/decoder/H264Decoder.h"
#include "base/decoder/QvYuv2RGB.h"
#include "tests/support/H264Clip.h"

using namespace lumora;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Best of `runs`, in frames per second.
double ourFramesPerSecond(const std::vector<test::AccessUnit>& units, int runs, size_t& pictures) {
    double best = 0;
    std::vector<uint8_t> yuv;
    for (int r = 0; r < runs; ++r) {
        H264Decoder dec;
        if (!dec.open()) return 0;
        size_t n = 0;
        auto t0 = Clock::now();
        for (const auto& u : units)
            dec.decode(u.bytes.data(), u.bytes.size(), 0, [&](const AVFrame& pic, int64_t) {
                if (dec.packYuv420(pic, yuv)) ++n;
            });
        double s = seconds(Clock::now() - t0);
        pictures = n;
        best = std::max(best, n / s);
    }
    return best;
}

double ffmpegFramesPerSecond(const std::string& clip, size_t frames, int runs) {
    double best = 0;
    for (int r = 0; r < runs; ++r) {
        std::string cmd = "ffmpeg -hide_banner -nostats -benchmark -threads 1 -f h264 -i '" + clip +
                          "' -f null - 2>&1 | grep -o 'rtime=[0-9.]*'";
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return 0;
        double rtime = 0;
        if (fscanf(p, "rtime=%lf", &rtime) != 1) rtime = 0;
        pclose(p);
        if (rtime > 0) best = std::max(best, frames / rtime);
    }
    return best;
}

}  // namespace

int main() {
    if (!test::haveFfmpegProgram()) {
        std::puts("DecoderBench: the ffmpeg program is missing; decoder figures skipped");
    } else {
        char tmpl[] = "/tmp/lumora-bench-XXXXXX";
        if (!mkdtemp(tmpl)) return 1;
        const std::string dir = tmpl;
        struct Size {
            int w, h, frames;
        } sizes[] = {{704, 576, 300}, {1280, 720, 200}, {1920, 1080, 150}};
        std::puts("decoder, unpaced, 1 thread (frames/s):");
        std::puts("  size        ours     ffmpeg   ratio");
        for (auto s : sizes) {
            test::ClipOptions options(s.w, s.h, s.frames, 25, false);
            options.profile = "main";
            const std::string clip = dir + "/" + std::to_string(s.w) + ".h264";
            if (!test::makeClip(clip, options)) {
                std::printf("  %dx%d: cannot make the clip\n", s.w, s.h);
                continue;
            }
            auto units = test::splitAccessUnits(test::readFile(clip));
            size_t pictures = 0;
            double ours = ourFramesPerSecond(units, 3, pictures);
            double theirs = ffmpegFramesPerSecond(clip, units.size(), 3);
            std::printf("  %4dx%-5d %8.1f %8.1f   %.2fx  (%zu pictures)\n", s.w, s.h, ours, theirs,
                        theirs > 0 ? ours / theirs : 0.0, pictures);
        }
        std::filesystem::remove_all(dir);
    }

    // YUV 4:2:0 to 32-bit RGB on random 1920 x 1080 pictures.
    const int w = 1920, h = 1080, cw = w / 2, ch = h / 2;
    std::mt19937 rng(1);
    std::vector<uint8_t> y(w * h), u(cw * ch), v(cw * ch), out(w * h * 4);
    for (auto* p : {&y, &u, &v})
        for (auto& b : *p) b = static_cast<uint8_t>(rng());
    QvYuv2RGB::setupDitherTable();
    auto mpixels = [&](auto convert) {
        double best = 0;
        for (int run = 0; run < 3; ++run) {
            const int reps = 30;
            auto t0 = Clock::now();
            for (int i = 0; i < reps; ++i) convert();
            best = std::max(best, static_cast<double>(w) * h * reps / seconds(Clock::now() - t0) / 1e6);
        }
        return best;
    };
    double ours = mpixels([&] { QvYuv2RGB::convertYuv420ToRgb32(y.data(), u.data(), v.data(), out.data(), w, h); });
    double theirs =
        mpixels([&] { libyuv::I420ToARGB(y.data(), w, u.data(), cw, v.data(), cw, out.data(), w * 4, w, h); });
    std::printf("YUV to RGB, 1920x1080 (Mpixel/s): ours %.1f, libyuv I420ToARGB %.1f (%.2fx)\n", ours, theirs,
                ours / theirs);
    return 0;
}
