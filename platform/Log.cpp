#include "platform/Log.h"

#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

namespace lumora {

namespace {

// Keeps formatted lines while the log is held.
class HoldingSink : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::string text() {
        std::lock_guard<std::mutex> g(mutex_);
        return text_;
    }
    std::string take() {
        std::lock_guard<std::mutex> g(mutex_);
        std::string out;
        out.swap(text_);
        return out;
    }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        spdlog::memory_buf_t formatted;
        formatter_->format(msg, formatted);
        text_.append(formatted.data(), formatted.size());
    }
    void flush_() override {}

private:
    std::string text_;
};

spdlog::level::level_enum toSpd(Log::Level level) {
    switch (level) {
        case Log::Level::Trace: return spdlog::level::trace;
        case Log::Level::Debug: return spdlog::level::debug;
        case Log::Level::Info: return spdlog::level::info;
        case Log::Level::Warn: return spdlog::level::warn;
        case Log::Level::Error: return spdlog::level::err;
        case Log::Level::Off: break;
    }
    return spdlog::level::off;
}

struct State {
    std::atomic<Log::Level> level{Log::Level::Warn};
    std::atomic<bool> holding{false};
    std::shared_ptr<spdlog::sinks::stderr_sink_mt> stderrSink = std::make_shared<spdlog::sinks::stderr_sink_mt>();
    std::shared_ptr<HoldingSink> holdingSink = std::make_shared<HoldingSink>();
    std::shared_ptr<spdlog::logger> toStderr;
    std::shared_ptr<spdlog::logger> toMemory;

    State() {
        const char* pattern = "%H:%M:%S.%e %-7l %v";
        stderrSink->set_pattern(pattern);
        holdingSink->set_pattern(pattern);
        toStderr = std::make_shared<spdlog::logger>("lumora", stderrSink);
        toMemory = std::make_shared<spdlog::logger>("lumora-held", holdingSink);
        for (auto* l : {toStderr.get(), toMemory.get()}) {
            l->set_level(spdlog::level::trace);
            l->flush_on(spdlog::level::trace);
        }
        Log::Level fromEnv;
        if (const char* env = std::getenv("LUMORA_LOG"); env && Log::parseLevel(env, fromEnv)) level = fromEnv;
    }
};

State& state() {
    static State* s = new State();  // never destroyed: threads may log while the process ends
    return *s;
}

void emit(Log::Level level, const char* component, const char* format, va_list args) {
    State& s = state();
    if (level == Log::Level::Off || level < s.level.load(std::memory_order_relaxed)) return;
    char small[512];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    std::string text;
    if (n < 0) {
        text = format;
    } else if (static_cast<size_t>(n) < sizeof small) {
        text.assign(small, static_cast<size_t>(n));
    } else {
        text.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(n));
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    auto& logger = s.holding.load(std::memory_order_relaxed) ? s.toMemory : s.toStderr;
    if (component && *component)
        logger->log(toSpd(level), "{}: {}", component, text);
    else
        logger->log(toSpd(level), "{}", text);
}

}  // namespace

#define LUMORA_LOG_BODY(lvl)             \
    va_list args;                        \
    va_start(args, format);              \
    emit(lvl, component, format, args);  \
    va_end(args)

void Log::trace(const char* component, const char* format, ...) { LUMORA_LOG_BODY(Level::Trace); }
void Log::debug(const char* component, const char* format, ...) { LUMORA_LOG_BODY(Level::Debug); }
void Log::info(const char* component, const char* format, ...) { LUMORA_LOG_BODY(Level::Info); }
void Log::warn(const char* component, const char* format, ...) { LUMORA_LOG_BODY(Level::Warn); }
void Log::error(const char* component, const char* format, ...) { LUMORA_LOG_BODY(Level::Error); }
void Log::write(Level level, const char* component, const char* format, ...) { LUMORA_LOG_BODY(level); }

#undef LUMORA_LOG_BODY

bool Log::enabled(Level level) { return level != Level::Off && level >= state().level.load(); }

Log::Level Log::level() { return state().level.load(); }

void Log::setLevel(Level level) { state().level = level; }

bool Log::parseLevel(const std::string& text, Level& out) {
    std::string t = text;
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const std::pair<const char*, Level> names[] = {
        {"trace", Level::Trace}, {"debug", Level::Debug}, {"info", Level::Info},   {"warn", Level::Warn},
        {"warning", Level::Warn}, {"error", Level::Error}, {"off", Level::Off},
    };
    for (const auto& [name, level] : names) {
        if (t == name) {
            out = level;
            return true;
        }
    }
    return false;
}

const char* Log::name(Level level) {
    switch (level) {
        case Level::Trace: return "trace";
        case Level::Debug: return "debug";
        case Level::Info: return "info";
        case Level::Warn: return "warn";
        case Level::Error: return "error";
        case Level::Off: break;
    }
    return "off";
}

bool Log::configureFromEnvironment() {
    const char* env = std::getenv("LUMORA_LOG");
    if (!env || !*env) return true;
    Level l;
    if (!parseLevel(env, l)) return false;
    setLevel(l);
    return true;
}

void Log::setHolding(bool hold) { state().holding = hold; }

std::string Log::held() { return state().holdingSink->text(); }

std::string Log::takeHeld() { return state().holdingSink->take(); }

}  // namespace lumora
