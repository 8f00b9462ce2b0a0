#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/link/RecordingQuery.h"

using namespace lumora;

namespace {

struct Screen : queryRecordDelegate {
    std::vector<std::string> events;
    void queryRemoteRecord() override {}
    void queryRemoteRecorddidConnect(const std::string&, int) override {}
    void queryRemoteRecorddiddisConnect() override {}
    void deviceDidReceiveSearchResp(Device*, const _TLV_V_SearchFileResponse& r, int32_t tag) override {
        events.push_back("answer " + std::to_string(r.count) + " tag " + std::to_string(tag));
    }
    void deviceDidReceiveFileInfo(Device*, const _TLV_V_FileInfo& info, int32_t tag) override {
        events.push_back("file " + info.fileName.str() + " tag " + std::to_string(tag));
    }
};

_TLV_V_SearchFileResponse answer(int count, bool more) {
    _TLV_V_SearchFileResponse r;
    r.count = static_cast<uint8_t>(count);
    r.reserve = more ? 1 : 0;
    return r;
}

// A step of a search: an answer announcing files (and whether another answer
// follows), or a file record; and whether the search is over after it.
struct Step {
    int announced;  // -1: a file record
    bool more;
    bool over;
};

TEST(RecordingQuery, TheSearchIsOverOnceEveryAnnouncedFileIsInAndNoAnswerFollows) {
    const struct Case {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"no files", {{0, false, true}}},
        {"two files", {{2, false, false}, {-1, false, false}, {-1, false, true}}},
        {"two answers", {{1, true, false}, {-1, false, false}, {1, false, false}, {-1, false, true}}},
        // A file after the end starts no second end.
        {"a late file", {{1, false, false}, {-1, false, true}, {-1, false, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingQuery query;
        auto screen = std::make_shared<Screen>();
        query.setQueryRecordDelegate(screen);
        query.searchStarted();
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            SCOPED_TRACE(i);
            _TLV_V_FileInfo info;
            info.fileName = "rec" + std::to_string(i);
            bool over = s.announced < 0 ? query.fileReceived(nullptr, info, 7)
                                        : query.searchAnswered(nullptr, answer(s.announced, s.more));
            EXPECT_EQ(over, s.over);
        }
        // Every step reached the screen, answers with tag 0, files with theirs.
        ASSERT_EQ(screen->events.size(), c.steps.size());
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            EXPECT_EQ(screen->events[i], s.announced < 0 ? "file rec" + std::to_string(i) + " tag 7"
                                                         : "answer " + std::to_string(s.announced) + " tag 0");
        }
    }
}

TEST(RecordingQuery, WithoutAScreenNothingIsCountedOrEnded) {
    RecordingQuery query;
    EXPECT_FALSE(query.searchAnswered(nullptr, answer(0, false)));
    _TLV_V_FileInfo info;
    EXPECT_FALSE(query.fileReceived(nullptr, info, 1));
    // A screen that went away counts as none.
    auto screen = std::make_shared<Screen>();
    query.setQueryRecordDelegate(screen);
    screen.reset();
    EXPECT_EQ(query.queryRecorddelegate(), nullptr);
    EXPECT_FALSE(query.searchAnswered(nullptr, answer(0, false)));
}

}  // namespace
