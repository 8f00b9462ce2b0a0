#include "platform/storage/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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

struct PathParts {
    std::string folder;  // "." when the path has no slash
    std::string prefix;  // the folder with its slash, or ""
    std::string name;
};

PathParts split(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {".", "", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(0, slash + 1), path.substr(slash + 1)};
}

// Makes the temporary file ".<name>.XXXXXX" and holds an exclusive lock on
// it for as long as the descriptor stays open. A loader that removes stale
// copies may have taken a file between its creation and the lock; such a
// file is unlinked by then and a new one is made.
int makeLockedTemporary(const PathParts& parts, std::string& temp) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string pattern = parts.prefix + "." + parts.name + ".XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
        if (fd < 0) return -1;
        int locked;
        do locked = ::flock(fd, LOCK_EX);
        while (locked != 0 && errno == EINTR);
        struct stat st{};
        if (locked == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) {
            temp.assign(buffer.data());
            return fd;
        }
        const int err = locked != 0 ? errno : 0;
        ::close(fd);
        if (err != 0) {
            ::unlink(buffer.data());
            errno = err;
            return -1;
        }
    }
    errno = EAGAIN;
    return -1;
}

// ".<name>." followed by the six characters mkostemp fills in.
bool isTemporaryOf(const char* entry, const std::string& name) {
    const size_t len = std::strlen(entry);
    if (len != name.size() + 2 + 6 || entry[0] != '.' || entry[name.size() + 1] != '.') return false;
    if (std::memcmp(entry + 1, name.data(), name.size()) != 0) return false;
    for (size_t k = name.size() + 2; k < len; ++k) {
        const char c = entry[k];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    }
    return true;
}

}  // namespace

void AtomicFile::setBeforeRenameHookForTesting(std::function<bool(const std::string&)> hook) {
    std::lock_guard<std::mutex> g(gHookLock);
    gHook = std::move(hook);
}

bool AtomicFile::write(const std::string& path, const void* data, size_t size, mode_t mode, Error* error) {
    if (path.empty() || path.back() == '/') return fail(error, EINVAL);
    const PathParts parts = split(path);
    const std::string& folder = parts.folder;
    std::string temp;
    // The descriptor (and with it the lock that marks the copy as in use)
    // stays open until the copy is renamed or removed.
    int fd = makeLockedTemporary(parts, temp);
    if (fd < 0) return fail(error, errno);

    auto abandon = [&](int err) {
        ::unlink(temp.c_str());
        if (fd >= 0) ::close(fd);
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

    {
        std::function<bool(const std::string&)> hook;
        {
            std::lock_guard<std::mutex> g(gHookLock);
            hook = gHook;
        }
        if (hook && !hook(temp)) return abandon(ECANCELED);
    }

    if (::rename(temp.c_str(), path.c_str()) != 0) return abandon(errno);
    // Every byte is synced: closing can no longer lose any.
    ::close(fd);
    fd = -1;

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

int AtomicFile::removeStaleTemporaries(const std::string& path) {
    if (path.empty() || path.back() == '/') return 0;
    const PathParts parts = split(path);
    DIR* dir = ::opendir(parts.folder.c_str());
    if (!dir) return 0;
    std::vector<std::string> candidates;
    while (const dirent* entry = ::readdir(dir))
        if (isTemporaryOf(entry->d_name, parts.name)) candidates.push_back(parts.prefix + entry->d_name);
    ::closedir(dir);
    int removed = 0;
    for (const std::string& candidate : candidates) {
        int fd = ::open(candidate.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) continue;
        struct stat held{}, named{};
        // A writer still at work holds the lock; a copy whose writer ended
        // (finished, failed or killed) has none.
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::lstat(candidate.c_str(), &named) == 0 && named.st_ino == held.st_ino && named.st_dev == held.st_dev &&
            ::unlink(candidate.c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

}  // namespace lumora
