#pragma once

// Interleaved rounds for the benchmarks: in every round each side runs once,
// the order alternating from round to round, so that a busy machine slows
// both sides alike. A figure is printed as the median over the rounds of each
// side, the median of the per-round ratios, and the spread of each (half the
// interquartile range, as a share of the median), with the smallest and
// largest per-round ratio beside it.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace lumora::bench {

// At least this many rounds per figure.
inline constexpr int kMinRounds = 5;

struct Figure {
    std::string name;
    std::string unit;
    bool higherIsBetter = true;
    std::vector<double> ours, anchor;

    static double median(std::vector<double> v) {
        if (v.empty()) return 0;
        std::sort(v.begin(), v.end());
        const size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    // Our value over the anchor's, round by round (a time-like figure, where
    // lower is better, is inverted so that above 1 always means we are faster).
    std::vector<double> ratios() const {
        std::vector<double> r;
        for (size_t i = 0; i < ours.size() && i < anchor.size(); ++i) {
            if (ours[i] <= 0 || anchor[i] <= 0) continue;
            r.push_back(higherIsBetter ? ours[i] / anchor[i] : anchor[i] / ours[i]);
        }
        return r;
    }
    double ratio() const { return median(ratios()); }
    // Quartile q (0 to 4) of v, interpolated.
    static double quartile(std::vector<double> v, int q) {
        if (v.empty()) return 0;
        std::sort(v.begin(), v.end());
        const double at = (v.size() - 1) * q / 4.0;
        const size_t i = static_cast<size_t>(at);
        const double frac = at - i;
        return i + 1 < v.size() ? v[i] * (1 - frac) + v[i + 1] * frac : v[i];
    }
    // Half the interquartile range of v over its median.
    static double sideSpread(const std::vector<double>& v) {
        const double m = median(v);
        return m > 0 ? (quartile(v, 3) - quartile(v, 1)) / 2 / m : 0;
    }
    double spread() const { return sideSpread(ratios()); }
    double lowest() const { return quartile(ratios(), 0); }
    double highest() const { return quartile(ratios(), 4); }
};

// Repeats run until at least minSeconds passed; answers units per second
// (run does `units` units per call).
template <class F>
double rate(F&& run, double units, double minSeconds = 0.15) {
    using Clock = std::chrono::steady_clock;
    long calls = 0;
    const auto t0 = Clock::now();
    double elapsed = 0;
    do {
        run();
        ++calls;
        elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    } while (elapsed < minSeconds);
    return units * static_cast<double>(calls) / elapsed;
}

// Runs `rounds` rounds of both sides; each side answers its figure for one run.
inline Figure interleave(std::string name, std::string unit, int rounds, const std::function<double()>& ours,
                         const std::function<double()>& anchor, bool higherIsBetter = true) {
    Figure f{std::move(name), std::move(unit), higherIsBetter, {}, {}};
    rounds = std::max(rounds, kMinRounds);
    for (int r = 0; r < rounds; ++r) {
        if (r % 2 == 0) {
            f.ours.push_back(ours());
            f.anchor.push_back(anchor());
        } else {
            f.anchor.push_back(anchor());
            f.ours.push_back(ours());
        }
    }
    return f;
}

// One line per figure:
//   name   ours <median> ±x%   anchor <median> ±y%   ratio <median>x ±z% [lowest-highest]   N rounds
// A value with four significant digits and no exponent.
inline std::string number(double v) {
    char s[32];
    if (v >= 1000 || v <= -1000)
        std::snprintf(s, sizeof s, "%.0f", v);
    else
        std::snprintf(s, sizeof s, "%.4g", v);
    return s;
}

inline void print(const Figure& f, int nameWidth = 30) {
    std::printf("%-*s ours %9s %s ±%4.1f%%  anchor %9s %s ±%4.1f%%  ratio %5.2fx ±%4.1f%% [%.2f-%.2f]  %zu rounds\n",
                nameWidth, f.name.c_str(), number(Figure::median(f.ours)).c_str(), f.unit.c_str(),
                100 * Figure::sideSpread(f.ours), number(Figure::median(f.anchor)).c_str(), f.unit.c_str(),
                100 * Figure::sideSpread(f.anchor), f.ratio(),
                100 * f.spread(), f.lowest(), f.highest(), f.ratios().size());
    std::fflush(stdout);
}

inline void printLegend(const char* anchorName, bool timeLike = false) {
    std::printf("(medians over interleaved rounds; ± half the interquartile range over the median; [..] the lowest and\n"
                " highest per-round ratio; ratio = %s; anchor: %s)\n",
                timeLike ? "anchor / ours (lower is better for both; above 1x we are better)" : "ours / anchor",
                anchorName);
}

}  // namespace lumora::bench
