#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/decoder/BaseObject.h"

namespace lumora {

// The file an MP4 tree is written to (or read from): a stdio stream with
// big-endian integer and bit-field helpers. Writes go on after an
// interrupted call; any other short write is reported by the count, and
// Flush/Close report what the stream could not get to the disk.
class Mp4File : public BaseObject {
public:
    Mp4File() = default;
    ~Mp4File() override;

    // Position in the stream; -1 without a stream or when it cannot be told.
    virtual int64_t GetPosition();
    // Moves to pos; 0, or -1 without a stream, for a negative pos or when the
    // stream cannot move there.
    virtual int SetPosition(int64_t pos);
    // Opens path with a stdio mode: -10 when a file is open, -11 when it
    // cannot be opened (for reading: or its size cannot be told), else 0.
    // A file created or written ("w", "a") gets kFileMode, whatever the
    // umask.
    virtual int Open(const char* path, const char* mode);
    static constexpr unsigned kFileMode = 0600;
    // Closes the stream: 0, or -15 when buffered bytes could not be written.
    virtual int Close();
    // Reads up to n bytes; the count read.
    virtual size_t Read(void* buffer, size_t n);
    // Writes n bytes when the file is writable; the count written.
    virtual size_t Write(const void* bytes, size_t n);

    // Pushes buffered bytes to the system: 0, or -15 when that fails (disk
    // full, I/O error) or an earlier write failed.
    int Flush();

    // Width 1 to 4: the low bytes of v, big-endian. The count written; 0 for
    // another width.
    size_t WriteInteger(uint64_t v, int width);
    // n from 1 to 7: the low n bits of v follow the bits already held, most
    // significant first; every whole byte gathered is written. The count of
    // bytes written.
    size_t WriteBits(uint64_t v, int n);
    // Width 1, 2, 3, 4 or 8 bytes, big-endian; 0 for another width or a short read.
    uint64_t ReadInteger(int width);
    // n from 1 to 7 bits from the current byte, most significant first; a new
    // byte is read when none is held. 0 when the data runs out.
    uint32_t ReadBits(int n);

    // Bits gathered by WriteBits that do not yet make a whole byte.
    int HeldBits() const { return fBitCount; }

    bool IsOpen() const { return fFile != nullptr; }
    bool IsWritable() const { return fWritable; }
    // The file's size when opened for reading, else 0.
    int64_t GetSize() const { return fSize; }
    // Bytes between the position and the end of a file opened for reading.
    int64_t Remaining();

private:
    std::FILE* fFile = nullptr;
    int64_t fSize = 0;
    bool fWritable = false;
    uint64_t fBits = 0;
    int fBitCount = 0;
};

}  // namespace lumora
