#include <gtest/gtest.h>

#include <functional>

#include "base/decoder/Mp4Atom.h"
#include "base/decoder/Mp4Errors.h"
#include "base/decoder/Mp4File.h"
#include "support/H264Clip.h"
#include "support/TempDir.h"

using namespace lumora;
using Bytes = std::vector<uint8_t>;

namespace {

// A box tree that is torn down when the test lets it go.
struct Tree {
    SmartPtr<Mp4Atom> root;
    explicit Tree(const char* type) : root(new Mp4Atom(type)) { root->CreateChildren(); }
    ~Tree() { root->Clear(); }
    Mp4Atom* operator->() const { return root.get(); }
};

std::vector<std::string> childTypes(const Mp4Atom* a) {
    std::vector<std::string> types;
    for (int32_t i = 0; i < a->ChildCount(); ++i) types.emplace_back(a->ChildAt(i)->GetType());
    return types;
}

Bytes writtenBox(Mp4Atom* box) {
    test::TempDir dir;
    const std::string path = dir.file("box");
    SmartPtr<Mp4File> f(new Mp4File());
    EXPECT_EQ(f->Open(path.c_str(), "wb"), 0);
    EXPECT_EQ(box->Write(f.get()), 0);
    EXPECT_EQ(f->Close(), 0);
    return test::readFile(path);
}

Bytes be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes text(const char* s) { return Bytes(s, s + strlen(s)); }

}  // namespace

TEST(Mp4Atom, RootGetsItsDefaultTree) {
    Tree root("root");
    EXPECT_EQ(childTypes(root.root.get()), (std::vector<std::string>{"ftyp", "mdat", "moov"}));
    EXPECT_EQ(childTypes(root->FindAtom("moov")), (std::vector<std::string>{"mvhd", "iods"}));
    Mp4Atom* trak = root->AddChild("moov.trak", -1);
    ASSERT_NE(trak, nullptr);
    EXPECT_EQ(trak->GetParent(), root->FindAtom("moov"));
    EXPECT_EQ(childTypes(trak->FindAtom("mdia.minf.stbl")),
              (std::vector<std::string>{"stsd", "stts", "stsz", "stsc", "stco"}));
    EXPECT_EQ(childTypes(trak->FindAtom("mdia.minf.dinf.dref")), (std::vector<std::string>{"url "}));
    EXPECT_EQ(root->FindProperty("moov.mvhd.timeScale")->GetValue(), 1000);
    EXPECT_EQ(root->FindProperty("moov.mvhd.nextTrackId")->GetValue(), 1);
    EXPECT_EQ(trak->FindProperty("tkhd.flags")->GetValue(), 1);
}

TEST(Mp4Atom, AddChildPlacesByIndexAndNeedsEveryStep) {
    Tree trak("trak");
    trak->AddChild("mdia.minf.vmhd", 0);
    EXPECT_EQ(childTypes(trak->FindAtom("mdia.minf")), (std::vector<std::string>{"vmhd", "dinf", "stbl"}));
    trak->AddChild("mdia.minf.stbl.stss", -1);
    EXPECT_EQ(childTypes(trak->FindAtom("mdia.minf.stbl")).back(), "stss");
    trak->AddChild("mdia.minf.stbl.free", 2);
    EXPECT_EQ(childTypes(trak->FindAtom("mdia.minf.stbl"))[2], "free");
    EXPECT_EQ(trak->AddChild("mdia.nope.stss", -1), nullptr);
    EXPECT_EQ(trak->AddChild("", -1), nullptr);
}

TEST(Mp4Atom, PathsFindBoxesExactlyAndPropertiesIgnoringCase) {
    Tree trak("trak");
    trak->AddChild("mdia.minf.stbl.stsd.avc1", -1);
    Mp4Atom* avcC = trak->FindAtom("mdia.minf.stbl.stsd.avc1.avcC");
    ASSERT_NE(avcC, nullptr);
    EXPECT_EQ(avcC->GetType(), "avcC");
    EXPECT_EQ(trak->FindAtom("mdia.minf.stbl.stsd.avc1.avcc"), nullptr);  // types match exactly
    EXPECT_EQ(trak->FindAtom("mdia.mnf.stbl"), nullptr);
    EXPECT_EQ(trak->FindAtom(""), nullptr);
    EXPECT_EQ(trak->FindChild(""), nullptr);

    Mp4Property* scale = trak->FindProperty("mdia.mdhd.TIMESCALE");
    ASSERT_NE(scale, nullptr);
    EXPECT_EQ(scale->GetName(), "timeScale");
    EXPECT_EQ(trak->FindProperty("mdia.mdhd."), nullptr);
    EXPECT_EQ(trak->FindProperty(""), nullptr);
    // The stsz sample size is the integer; its column sits in the table.
    EXPECT_EQ(trak->FindProperty("mdia.minf.stbl.stsz.sampleSize")->GetKind(), Mp4Property::kInteger);
    EXPECT_NE(trak->FindColumn("mdia.minf.stbl.stsz.entries", "samplesize"), nullptr);
    EXPECT_EQ(trak->FindColumn("mdia.minf.stbl.stsz.sampleSize", "sampleSize"), nullptr);
    EXPECT_EQ(trak->FindColumn("mdia.minf.stbl.stsz.entries", ""), nullptr);

    // Setting a missing property does nothing.
    trak->SetInteger("mdia.mdhd.nothing", 5);
    trak->SetString("mdia.hdlr.handlerType", "vide");
    EXPECT_EQ(trak->FindProperty("mdia.hdlr.handlerType")->GetString(), "vide");
}

TEST(Mp4Atom, DescriptorListsAnswerForTheirDescriptor) {
    Tree mp4a("mp4a");
    Mp4Property* bufferSize = mp4a->FindProperty("esds.bufferSize");
    ASSERT_NE(bufferSize, nullptr);
    EXPECT_EQ(bufferSize->GetWidth(), 3);
    EXPECT_NE(mp4a->FindProperty("esds.version"), nullptr);  // before the list
    EXPECT_EQ(mp4a->FindProperty("esds.nothing"), nullptr);
    EXPECT_EQ(mp4a->FindProperty("sampleSize")->GetValue(), 16);
}

TEST(Mp4Atom, AddPropertyKinds) {
    Tree box("abcd");
    EXPECT_EQ(box->PropertyCount(), 0);
    EXPECT_EQ(box->AddProperty(Mp4Property::kTable, 0, "t"), nullptr);
    EXPECT_EQ(box->AddProperty(Mp4Property::kArray, 0, "a"), nullptr);
    EXPECT_EQ(box->AddProperty(Mp4Property::kDescriptors, 0, "d")->GetKind(), Mp4Property::kDescriptors);
    EXPECT_EQ(box->AddProperty(Mp4Property::kSizeTable, 0, "s")->GetKind(), Mp4Property::kSizeTable);
    box->AddVersionAndFlags();
    EXPECT_EQ(box->PropertyCount(), 4);
    EXPECT_EQ(box->PropertyAt(2)->GetName(), "version");
    EXPECT_EQ(box->PropertyAt(3)->GetWidth(), 3);
}

TEST(Mp4Atom, GoldenBoxes) {
    Tree root("root");
    EXPECT_EQ(writtenBox(root->FindAtom("ftyp")), cat({be32(24), text("ftypmp42"), be32(0), text("mp42isom")}));
    Mp4Atom* trak = root->AddChild("moov.trak", -1);
    EXPECT_EQ(writtenBox(trak->FindAtom("mdia.minf.dinf.dref.url ")), cat({be32(12), text("url "), be32(1)}));
    EXPECT_EQ(writtenBox(trak->FindAtom("mdia.minf.dinf")),
              cat({be32(36), text("dinf"), be32(28), text("dref"), be32(0), be32(1), be32(12), text("url "), be32(1)}));
    EXPECT_EQ(writtenBox(root->FindAtom("moov.iods")),
              cat({be32(24), text("iods"), be32(0),
                   Bytes{0x10, 0x80, 0x80, 0x80, 0x07, 0x00, 0x4F, 0xFF, 0xFF, 0x0F, 0x7F, 0xFF}}));

    const Bytes unity = cat({be32(0x10000), be32(0), be32(0), be32(0), be32(0x10000), be32(0), be32(0), be32(0),
                             be32(0x40000000)});
    EXPECT_EQ(writtenBox(root->FindAtom("moov.mvhd")),
              cat({be32(108), text("mvhd"), be32(0), be32(0), be32(0), be32(1000), be32(0), be32(0x10000),
                   Bytes{0x01, 0x00}, Bytes(10, 0), unity, Bytes(24, 0), be32(1)}));

    Mp4Atom* tkhd = trak->FindAtom("tkhd");
    tkhd->SetInteger("trackId", 1);
    tkhd->SetFloat("width", 320);
    tkhd->SetFloat("height", 240);
    EXPECT_EQ(writtenBox(tkhd), cat({be32(92), text("tkhd"), be32(1), be32(0), be32(0), be32(1), be32(0), be32(0),
                                     Bytes(12, 0), Bytes{0, 0}, Bytes{0, 0}, unity, be32(320 << 16),
                                     be32(240 << 16)}));

    Mp4Atom* avc1 = trak->AddChild("mdia.minf.stbl.stsd.avc1", -1);
    const Bytes avc1Bytes = writtenBox(avc1);
    ASSERT_EQ(avc1Bytes.size(), 86u + 15u);  // 78-byte body + the empty avcC
    EXPECT_EQ(Bytes(avc1Bytes.begin() + 8, avc1Bytes.begin() + 16), (Bytes{0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(Bytes(avc1Bytes.begin() + 36, avc1Bytes.begin() + 44), cat({be32(72 << 16), be32(72 << 16)}));
    EXPECT_EQ(Bytes(avc1Bytes.begin() + 50, avc1Bytes.begin() + 60), text("AVC Coding"));
    EXPECT_EQ(Bytes(avc1Bytes.begin() + 82, avc1Bytes.begin() + 86), (Bytes{0x00, 0x18, 0xFF, 0xFF}));
    // avcC without parameter sets: version 1, three zero bytes, FF, E0, 0.
    EXPECT_EQ(Bytes(avc1Bytes.begin() + 86, avc1Bytes.end()),
              cat({be32(15), text("avcC"), Bytes{1, 0, 0, 0, 0xFF, 0xE0, 0}}));
}

TEST(Mp4Atom, WriteRefusesWhatItMustNotWrite) {
    Tree root("root");
    test::TempDir dir;
    SmartPtr<Mp4File> f(new Mp4File());
    ASSERT_EQ(f->Open(dir.file("x").c_str(), "wb"), 0);
    EXPECT_EQ(root->Write(f.get()), mp4err::kFailed);
    EXPECT_EQ(root->FindAtom("mdat")->Write(f.get()), mp4err::kFailed);
    EXPECT_EQ(root->FindAtom("ftyp")->Write(nullptr), mp4err::kNoFile);
    EXPECT_EQ(f->GetPosition(), 0);

    // Into a full disk: the header is buffered, the failure shows at the
    // latest when the size is patched or the file closed.
    SmartPtr<Mp4File> full(new Mp4File());
    ASSERT_EQ(full->Open("/dev/full", "wb"), 0);
    Mp4Atom* mvhd = root->FindAtom("moov.mvhd");
    const int rc = mvhd->Write(full.get());
    EXPECT_TRUE(rc == 0 || rc == mp4err::kShortWrite);
    EXPECT_EQ(full->Close(), mp4err::kShortWrite);
}

TEST(Mp4Atom, ClearTearsTheTreeDown) {
    SmartPtr<Mp4Atom> root(new Mp4Atom("root"));
    root->CreateChildren();
    SmartPtr<Mp4Atom> moov(root->FindAtom("moov"));
    root->AddChild("moov.trak", -1);
    EXPECT_GT(root->RefCount(), 1);  // children hold their parent
    root->Clear();
    EXPECT_EQ(root->RefCount(), 1);
    EXPECT_EQ(root->ChildCount(), 0);
    EXPECT_EQ(moov->ChildCount(), 0);
    EXPECT_EQ(moov->GetParent(), nullptr);
    EXPECT_EQ(moov->RefCount(), 1);
    // Letting go of both frees everything (the leak checker of the sanitizer
    // build watches this).

    SmartPtr<Mp4Atom> box(new Mp4Atom("ftyp"));
    box->ClearType();
    EXPECT_EQ(box->GetType(), "");
    EXPECT_FALSE(box->IsType("ftyp"));
}
