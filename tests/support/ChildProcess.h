#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace lumora::test {

// A program run by a test: its standard output and error are collected, its
// environment is the test's plus `env` ("NAME=value"; "NAME=" clears one).
// The destructor kills a child that is still running.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& env = {}) {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            for (const auto& e : env) {
                auto eq = e.find('=');
                if (eq + 1 == e.size()) ::unsetenv(e.substr(0, eq).c_str());
                else ::setenv(e.substr(0, eq).c_str(), e.c_str() + eq + 1, 1);
            }
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        outFd_ = out[0];
        errFd_ = err[0];
    }
    ~ChildProcess() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (outFd_ >= 0) ::close(outFd_);
        if (errFd_ >= 0) ::close(errFd_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void signal(int sig) {
        if (pid_ > 0 && !exited_) ::kill(pid_, sig);
    }

    // Reads output until `text` shows on standard output or the time is up.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds limit) {
        auto until = std::chrono::steady_clock::now() + limit;
        while (out.find(text) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !pump(int(left.count()))) return out.find(text) != std::string::npos;
        }
        return true;
    }

    // Reads output until `text` shows on standard error or the time is up.
    bool waitForError(const std::string& text, std::chrono::milliseconds limit) {
        auto until = std::chrono::steady_clock::now() + limit;
        while (err.find(text) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pump(int(left.count()));
            if (exited()) return err.find(text) != std::string::npos;
        }
        return true;
    }

    // Waits for the end and answers the exit status (128 + signal when
    // killed by one; -1 when it did not end in time and was killed).
    int wait(std::chrono::milliseconds limit) {
        auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            while (pump(20)) {
            }
            int st = 0;
            pid_t r = ::waitpid(pid_, &st, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                while (pump(0)) {
                }
                return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            }
        }
        return -1;
    }

    std::string out;
    std::string err;

private:
    // True once the child has ended (it is reaped by wait()).
    bool exited() {
        if (pid_ <= 0 || exited_) return true;
        siginfo_t info{};
        return ::waitid(P_PID, pid_t(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid_;
    }
    // Reads what is there; false when nothing came within `ms`.
    bool pump(int ms) {
        pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
        if (::poll(fds, 2, ms) <= 0) return false;
        bool got = false;
        char buf[4096];
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
            ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? out : err).append(buf, size_t(n));
                got = true;
            }
        }
        return got;
    }

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    bool exited_ = false;
};

}  // namespace lumora::test
