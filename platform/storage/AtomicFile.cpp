#include "platform/storage/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <vector>

namespace lumora {

namespace {

std::mutex gHookLock;
std::function<bool(const std::string&)> gHook;

bool fail(Error* error, int err) {
    if (error) *error = Error::posix(err);
    return false;
}

}  // namespace

void AtomicFile::setBeforeRenameHookForTesting(std::function<bool(const std::string&)> hook) {
    std::lock_guard<std::mutex> g(gHookLock);
    gHook = std::move(hook);
}

bool AtomicFile::write(const std::string& path, const void* data, size_t size, mode_t mode, Error* error) {
    if (path.empty() || path.back() == '/') return fail(error, EINVAL);
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "." + name + ".XXXXXX";

    std::vector<char> pattern(temp.begin(), temp.end());
    pattern.push_back('\0');
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return fail(error, errno);
    temp.assign(pattern.data());

    auto abandon = [&](int err) {
        if (fd >= 0) ::close(fd);
        ::unlink(temp.c_str());
        return fail(error, err);
    };

    const auto* p = static_cast<const char*>(data);
    size_t left = size;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return abandon(errno);
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::fchmod(fd, mode) != 0) return abandon(errno);
    if (::fsync(fd) != 0) return abandon(errno);
    int closeResult = ::close(fd);
    fd = -1;
    if (closeResult != 0) return abandon(errno);

    {
        std::function<bool(const std::string&)> hook;
        {
            std::lock_guard<std::mutex> g(gHookLock);
            hook = gHook;
        }
        if (hook && !hook(temp)) return abandon(ECANCELED);
    }

    if (::rename(temp.c_str(), path.c_str()) != 0) return abandon(errno);

    int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        // The new content is in place; a folder that cannot be synced only
        // weakens durability, so it is not reported as a failure.
        ::fsync(dirFd);
        ::close(dirFd);
    }
    if (error) *error = Error();
    return true;
}

}  // namespace lumora
