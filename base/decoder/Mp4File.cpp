#include "base/decoder/Mp4File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "base/decoder/Mp4Errors.h"

namespace lumora {

Mp4File::~Mp4File() { Close(); }

int64_t Mp4File::GetPosition() {
    if (!fFile) return -1;
    const off_t pos = ftello(fFile);
    return pos < 0 ? -1 : static_cast<int64_t>(pos);
}

int Mp4File::SetPosition(int64_t pos) {
    if (!fFile || pos < 0) return mp4err::kFailed;
    return fseeko(fFile, static_cast<off_t>(pos), SEEK_SET) == 0 ? 0 : mp4err::kFailed;
}

int Mp4File::Open(const char* path, const char* mode) {
    if (fFile) return mp4err::kAlreadyOpen;
    if (!path || !mode) return mp4err::kOpenFailed;
    std::FILE* f = nullptr;
    if (mode[0] == 'w' || mode[0] == 'a') {
        // A recording of the user's camera is the owner's alone, whatever
        // the umask (fopen would create it 0666 less the umask).
        int flags = O_CREAT | O_CLOEXEC | (std::strchr(mode, '+') ? O_RDWR : O_WRONLY);
        flags |= mode[0] == 'w' ? O_TRUNC : O_APPEND;
        int fd = ::open(path, flags, kFileMode);
        if (fd < 0) return mp4err::kOpenFailed;
        if ((mode[0] == 'w' && ::fchmod(fd, kFileMode) != 0) || !(f = ::fdopen(fd, mode))) {
            ::close(fd);
            return mp4err::kOpenFailed;
        }
    } else {
        f = std::fopen(path, mode);
    }
    if (!f) return mp4err::kOpenFailed;
    int64_t size = 0;
    if (std::strchr(mode, 'r')) {
        struct stat st {};
        if (fstat(fileno(f), &st) != 0) {
            std::fclose(f);
            return mp4err::kOpenFailed;
        }
        size = st.st_size;
    }
    fFile = f;
    fSize = size;
    fWritable = std::strchr(mode, 'w') != nullptr || std::strchr(mode, 'a') != nullptr ||
                std::strchr(mode, '+') != nullptr;
    if (std::strchr(mode, 'r') && !std::strchr(mode, '+')) fWritable = false;
    fBits = 0;
    fBitCount = 0;
    return 0;
}

int Mp4File::Close() {
    int result = 0;
    if (fFile) {
        if (fWritable && std::ferror(fFile)) result = mp4err::kShortWrite;
        if (std::fclose(fFile) != 0 && fWritable) result = mp4err::kShortWrite;
        fFile = nullptr;
    }
    fSize = 0;
    fWritable = false;
    fBits = 0;
    fBitCount = 0;
    return result;
}

int Mp4File::Flush() {
    if (!fFile) return mp4err::kFailed;
    if (std::fflush(fFile) != 0 || std::ferror(fFile)) return mp4err::kShortWrite;
    return 0;
}

size_t Mp4File::Read(void* buffer, size_t n) {
    if (!fFile || !buffer || n == 0) return 0;
    return std::fread(buffer, 1, n, fFile);
}

size_t Mp4File::Write(const void* bytes, size_t n) {
    if (!fFile || !fWritable || !bytes || n == 0) return 0;
    const auto* p = static_cast<const uint8_t*>(bytes);
    size_t done = 0;
    for (int attempt = 0;; ++attempt) {
        std::clearerr(fFile);
        done += std::fwrite(p + done, 1, n - done, fFile);
        // Only an interrupted call is worth another go.
        if (done >= n || !std::ferror(fFile) || errno != EINTR) break;
        if (attempt > 0) std::this_thread::yield();
    }
    return done;
}

size_t Mp4File::WriteInteger(uint64_t v, int width) {
    if (width < 1 || width > 4) return 0;
    uint8_t b[4];
    for (int i = 0; i < width; ++i) b[i] = static_cast<uint8_t>(v >> (8 * (width - 1 - i)));
    return Write(b, static_cast<size_t>(width));
}

size_t Mp4File::WriteBits(uint64_t v, int n) {
    if (n < 1 || n > 7) return 0;
    fBits = (fBits << n) | (v & ((1u << n) - 1));
    fBitCount += n;
    size_t written = 0;
    while (fBitCount >= 8) {
        fBitCount -= 8;
        const auto byte = static_cast<uint8_t>(fBits >> fBitCount);
        written += Write(&byte, 1);
    }
    fBits &= (uint64_t{1} << fBitCount) - 1;
    return written;
}

uint64_t Mp4File::ReadInteger(int width) {
    if (width < 1 || (width > 4 && width != 8)) return 0;
    uint8_t b[8];
    if (Read(b, static_cast<size_t>(width)) != static_cast<size_t>(width)) return 0;
    uint64_t v = 0;
    for (int i = 0; i < width; ++i) v = (v << 8) | b[i];
    return v;
}

uint32_t Mp4File::ReadBits(int n) {
    if (n < 1 || n > 7) return 0;
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        if (fBitCount == 0) {
            uint8_t byte = 0;
            if (Read(&byte, 1) != 1) return 0;
            fBits = byte;
            fBitCount = 8;
        }
        --fBitCount;
        v = (v << 1) | static_cast<uint32_t>((fBits >> fBitCount) & 1u);
    }
    return v;
}

int64_t Mp4File::Remaining() {
    const int64_t pos = GetPosition();
    if (pos < 0 || pos >= fSize) return 0;
    return fSize - pos;
}

}  // namespace lumora
