// Decoder throughput against ffmpeg itself, and the YUV to RGB conversion
// against libyuv, in interleaved rounds (see BenchRounds.h).
//
// The clips are made once with the ffmpeg program and kept beside this
// program (bench-clips/): 10 s of a moving test pattern under temporal
// sensor-like noise, so that every picture changes everywhere, coded at
// camera-like constant bit rates (main profile, no B-frames, a key frame
// every second). Our figure is unpaced: every access unit through the codec
// plus the copy of each picture into the packed YUV 4:2:0 buffer that is
// delivered. Two anchors on the same access units, one thread each: FFmpeg's
// H.264 decoder called directly in this process (send a packet, receive the
// pictures, nothing copied), which shows what our decoder adds; and the
// ffmpeg program decoding the clip into the null muxer (its -benchmark real
// time), which also counts its own demuxing and frame pipeline.

#include <libyuv/convert_argb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "base/decoder/H264Decoder.h"
#include "base/decoder/QvYuv2RGB.h"
#include "bench/BenchRounds.h"
#include "tests/support/H264Clip.h"

using namespace lumora;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 9;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct ClipKind {
    int w, h;
    int kbits;  // constant bit rate
};

std::filesystem::path clipFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (ec ? std::filesystem::temp_directory_path() : exe.parent_path()) / "bench-clips";
}

// The clip of this size and bit rate, made on first use.
std::string clipFor(const ClipKind& c) {
    const auto folder = clipFolder();
    std::filesystem::create_directories(folder);
    const auto path =
        folder / ("motion-" + std::to_string(c.w) + "x" + std::to_string(c.h) + "-" + std::to_string(c.kbits) + "k.h264");
    if (std::filesystem::exists(path) && std::filesystem::file_size(path) > 0) return path;
    std::ostringstream cmd;
    cmd << "ffmpeg -v error -y -f lavfi -i 'testsrc2=size=" << c.w << "x" << c.h
        << ":rate=25,scroll=horizontal=0.003:vertical=0.002,noise=alls=12:allf=t+u' -frames:v 250"
        << " -c:v libx264 -preset veryfast -profile:v main -pix_fmt yuv420p -bf 0 -g 25 -keyint_min 25"
        << " -sc_threshold 0 -b:v " << c.kbits << "k -maxrate " << c.kbits << "k -bufsize " << c.kbits
        << "k -threads 1 -f h264 '" << path.string() << ".part' && mv '" << path.string() << ".part' '"
        << path.string() << "'";
    if (std::system(cmd.str().c_str()) != 0) return {};
    return path;
}

double ourFramesPerSecond(const std::vector<test::AccessUnit>& units) {
    std::vector<uint8_t> yuv;
    H264Decoder dec;
    if (!dec.open()) return 0;
    size_t n = 0;
    auto t0 = Clock::now();
    for (const auto& u : units)
        dec.decode(u.bytes.data(), u.bytes.size(), 0, [&](const AVFrame& pic, int64_t) {
            if (dec.packYuv420(pic, yuv)) ++n;
        });
    return n / seconds(Clock::now() - t0);
}

// FFmpeg's decoder alone over the same access units.
double bareFramesPerSecond(const std::vector<test::AccessUnit>& units) {
    const AVCodec* codec = avcodec_find_decoder_by_name("h264");
    if (!codec) return 0;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return 0;
    }
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    size_t n = 0;
    auto drain = [&] {
        while (avcodec_receive_frame(ctx, frame) == 0) {
            ++n;
            av_frame_unref(frame);
        }
    };
    auto t0 = Clock::now();
    for (const auto& u : units) {
        pkt->data = const_cast<uint8_t*>(u.bytes.data());
        pkt->size = static_cast<int>(u.bytes.size());
        if (avcodec_send_packet(ctx, pkt) == 0) drain();
    }
    avcodec_send_packet(ctx, nullptr);
    drain();
    double s = seconds(Clock::now() - t0);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return n / s;
}

double ffmpegFramesPerSecond(const std::string& clip, size_t frames) {
    std::string cmd = "ffmpeg -hide_banner -nostats -benchmark -threads 1 -f h264 -i '" + clip +
                      "' -f null - 2>&1 | grep -o 'rtime=[0-9.]*'";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return 0;
    double rtime = 0;
    if (fscanf(p, "rtime=%lf", &rtime) != 1) rtime = 0;
    pclose(p);
    return rtime > 0 ? frames / rtime : 0;
}

}  // namespace

int main() {
    if (!test::haveFfmpegProgram()) {
        std::puts("DecoderBench: the ffmpeg program is missing; decoder figures skipped");
    } else {
        const ClipKind kinds[] = {{704, 576, 1500}, {1280, 720, 3000}, {1920, 1080, 6000}};
        std::puts("H.264 decoding, unpaced, 1 thread (frames/s), 250-frame clips with motion and noise:");
        std::vector<bench::Figure> program;
        bench::printLegend("FFmpeg's h264 decoder called directly on the same access units, nothing copied");
        for (const ClipKind& c : kinds) {
            const std::string clip = clipFor(c);
            if (clip.empty()) {
                std::printf("  %dx%d: cannot make the clip\n", c.w, c.h);
                continue;
            }
            const auto bytes = test::readFile(clip);
            auto units = test::splitAccessUnits(bytes);
            const double kbits = bytes.size() * 8.0 / 1000 / (units.size() / 25.0);
            char name[64];
            std::snprintf(name, sizeof name, "%dx%d %.0f kbit/s", c.w, c.h, kbits);
            bench::print(bench::interleave(
                name, "fps", kRounds, [&] { return ourFramesPerSecond(units); },
                [&] { return bareFramesPerSecond(units); }));
            program.push_back(bench::interleave(
                name, "fps", kRounds, [&] { return ourFramesPerSecond(units); },
                [&] { return ffmpegFramesPerSecond(clip, units.size()); }));
        }
        bench::printLegend("the ffmpeg program, -threads 1 -f null, on the same clip (counts its demuxing too)");
        for (const auto& f : program) bench::print(f);
    }

    // YUV 4:2:0 to 32-bit RGB on random 1920 x 1080 pictures.
    const int w = 1920, h = 1080, cw = w / 2, ch = h / 2;
    std::mt19937 rng(1);
    std::vector<uint8_t> y(w * h), u(cw * ch), v(cw * ch), out(w * h * 4);
    for (auto* p : {&y, &u, &v})
        for (auto& b : *p) b = static_cast<uint8_t>(rng());
    QvYuv2RGB::setupDitherTable();
    auto mpixels = [&](auto convert) { return bench::rate(convert, static_cast<double>(w) * h / 1e6, 0.2); };
    auto libyuv = [&] {
        return mpixels(
            [&] { libyuv::I420ToARGB(y.data(), w, u.data(), cw, v.data(), cw, out.data(), w * 4, w, h); });
    };
    auto ours = [&](bool accelerated) {
        return [&, accelerated] {
            QvYuv2RGB::setAccelerationAllowed(accelerated);
            double r = mpixels([&] { QvYuv2RGB::convertYuv420ToRgb32(y.data(), u.data(), v.data(), out.data(), w, h); });
            QvYuv2RGB::setAccelerationAllowed(true);
            return r;
        };
    };
    std::printf("\nYUV 4:2:0 to 32-bit RGB, 1920x1080 (Mpixel/s); vector kernel %s on this CPU:\n",
                QvYuv2RGB::isAccelerated() ? "in use" : "NOT available");
    bench::printLegend("libyuv I420ToARGB");
    bench::print(bench::interleave("fixed point, vector kernel", "Mpx/s", kRounds, ours(true), libyuv));
    bench::print(bench::interleave("fixed point, tables only", "Mpx/s", kRounds, ours(false), libyuv));
    return 0;
}
