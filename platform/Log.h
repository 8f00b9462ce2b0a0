#pragma once

#include <string>

namespace lumora {

// The one diagnostic log of the process. Every line names the component that
// wrote it and carries a level; lines go to standard error. The level is
// "warn" unless LUMORA_LOG names another one (trace, debug, info, warn,
// error, off) or a program's --verbose / --quiet sets it. Messages use printf
// formats so that the compiler checks their arguments.
//
// Programs print their own intended output (status lines, help) on standard
// output themselves; this is only for diagnostics.
class Log {
public:
    enum class Level { Trace, Debug, Info, Warn, Error, Off };

    static void trace(const char* component, const char* format, ...) __attribute__((format(printf, 2, 3)));
    static void debug(const char* component, const char* format, ...) __attribute__((format(printf, 2, 3)));
    static void info(const char* component, const char* format, ...) __attribute__((format(printf, 2, 3)));
    static void warn(const char* component, const char* format, ...) __attribute__((format(printf, 2, 3)));
    static void error(const char* component, const char* format, ...) __attribute__((format(printf, 2, 3)));
    static void write(Level level, const char* component, const char* format, ...)
        __attribute__((format(printf, 3, 4)));

    static bool enabled(Level level);
    static Level level();
    static void setLevel(Level level);
    // "trace", "debug", "info", "warn" (or "warning"), "error", "off"; any
    // case. Answers false for anything else and leaves out untouched.
    static bool parseLevel(const std::string& text, Level& out);
    static const char* name(Level level);
    // Reads LUMORA_LOG. Answers false (level unchanged) when it is set to
    // something that is not a level; true when unset or valid.
    static bool configureFromEnvironment();

    // Holding: lines are kept in memory instead of written, so a test run
    // stays quiet and shows the lines only for a test that fails.
    static void setHolding(bool hold);
    static std::string held();
    static std::string takeHeld();
};

}  // namespace lumora
