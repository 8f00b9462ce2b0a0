// Recordings and snapshots are pictures of the user's cameras: the owner's
// alone (0600) whatever the umask, like the device list beside them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "base/decoder/Mp4File.h"
#include "base/decoder/Mp4Writer.h"
#include "platform/graphics/PNGWriter.h"
#include "support/TempDir.h"

using namespace lumora;

namespace {

mode_t modeOf(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return 07777;
    return st.st_mode & 07777;
}

// Runs with the umask that lets the most through, and puts it back.
class OpenUmask {
public:
    OpenUmask() : old_(::umask(0)) {}
    ~OpenUmask() { ::umask(old_); }

private:
    mode_t old_;
};

}  // namespace

TEST(MediaFileMode, RecordingsAndSnapshotsAreTheOwnersAlone) {
    test::TempDir dir;
    OpenUmask open;
    {
        Mp4Writer recording;
        ASSERT_EQ(recording.Open(dir.file("rec.mp4").c_str()), 0);
        EXPECT_EQ(modeOf(dir.file("rec.mp4")), 0600u);
    }
    // A file already there is narrowed when written again.
    std::ofstream(dir.file("old.mp4")) << "x";
    ASSERT_EQ(::chmod(dir.file("old.mp4").c_str(), 0666), 0);
    {
        Mp4File again;
        ASSERT_EQ(again.Open(dir.file("old.mp4").c_str(), "wb"), 0);
        EXPECT_EQ(modeOf(dir.file("old.mp4")), 0600u);
        EXPECT_EQ(again.Close(), 0);
    }
    // Reading leaves a file's mode alone.
    ASSERT_EQ(::chmod(dir.file("old.mp4").c_str(), 0644), 0);
    {
        Mp4File reader;
        ASSERT_EQ(reader.Open(dir.file("old.mp4").c_str(), "rb"), 0);
        EXPECT_EQ(modeOf(dir.file("old.mp4")), 0644u);
    }
    RGBAImage picture{2, 2, std::vector<uint8_t>(16, 200)};
    ASSERT_TRUE(PNGWriter::write(dir.file("snap.png"), picture));
    EXPECT_EQ(modeOf(dir.file("snap.png")), 0600u);
}
