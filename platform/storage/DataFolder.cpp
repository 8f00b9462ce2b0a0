#include "platform/storage/DataFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace lumora {

namespace {

bool fail(std::string& problem, const std::string& path, const std::string& why) {
    problem = "the data folder " + path + " cannot be used: " + why;
    return false;
}

// Makes `path` and missing parents with mode 0700; errno is kept on failure.
bool makeFolders(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        errno = ENOTDIR;
        return false;
    }
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash))) return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

bool DataFolder::prepare(const std::string& path, std::string& problem) {
    if (path.empty()) {
        problem = "no data folder: set LUMORA_DATA_ROOT, XDG_DATA_HOME or HOME";
        return false;
    }
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    struct stat st{};
    if (::stat(folder.c_str(), &st) != 0) {
        if (errno != ENOENT) return fail(problem, path, std::strerror(errno));
        if (!makeFolders(folder)) return fail(problem, path, std::string("cannot be made: ") + std::strerror(errno));
    } else if (!S_ISDIR(st.st_mode)) {
        return fail(problem, path, "it is not a folder");
    }
    // Make and remove a file: the one test that holds for read-only mounts,
    // permissions and special file systems alike, whoever runs the program.
    std::string probe = folder + "/.lumora-probe.XXXXXX";
    std::vector<char> name(probe.begin(), probe.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return fail(problem, path, std::string("no new file can be made in it: ") + std::strerror(errno));
    ::close(fd);
    ::unlink(name.data());
    return true;
}

}  // namespace lumora
