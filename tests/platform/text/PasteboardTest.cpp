#include "platform/text/Pasteboard.h"

#include <gtest/gtest.h>

using namespace lumora;

namespace {

struct Clipboard : Pasteboard::Backend {
    std::string text = "from the desktop";
    int sets = 0;
    void setString(const std::string& t) override {
        text = t;
        ++sets;
    }
    std::string string() const override { return text; }
};

}  // namespace

TEST(Pasteboard, KeepsTheTextOrHandsItToTheInstalledClipboard) {
    Pasteboard& board = Pasteboard::generalPasteboard();
    EXPECT_EQ(&board, &Pasteboard::generalPasteboard());
    board.setString("s3cret");
    EXPECT_EQ(board.string(), "s3cret");

    auto clipboard = std::make_shared<Clipboard>();
    board.setBackend(clipboard);
    EXPECT_EQ(board.string(), "from the desktop");  // the system's clipboard speaks now
    board.setString("pässwörd");
    EXPECT_EQ(clipboard->text, "pässwörd");
    EXPECT_EQ(clipboard->sets, 1);
    clipboard->text = "copied elsewhere";
    EXPECT_EQ(board.string(), "copied elsewhere");

    board.setBackend(nullptr);
    EXPECT_EQ(board.string(), "copied elsewhere");  // nothing lost when it goes
    board.setString("");
    EXPECT_EQ(board.string(), "");
}
