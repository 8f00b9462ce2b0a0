#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <functional>
#include <limits>

#include "base/decoder/BaseObject.h"
#include "base/decoder/Mp4Array.h"
#include "base/decoder/Mp4ArrayProperty.h"
#include "base/decoder/Mp4Descriptor.h"
#include "base/decoder/Mp4DescriptorProperty.h"
#include "base/decoder/Mp4Errors.h"
#include "base/decoder/Mp4File.h"
#include "base/decoder/Mp4Property.h"
#include "base/decoder/Mp4SizeTableProperty.h"
#include "base/decoder/Mp4TableProperty.h"
#include "base/decoder/SmartPtr.h"
#include "support/H264Clip.h"
#include "support/TempDir.h"

using namespace lumora;
using Bytes = std::vector<uint8_t>;

namespace {

// Writes with `body` into a fresh file and answers the bytes that reached it.
Bytes written(const std::function<void(Mp4File&)>& body) {
    test::TempDir dir;
    const std::string path = dir.file("out.bin");
    SmartPtr<Mp4File> file(new Mp4File());
    EXPECT_EQ(file->Open(path.c_str(), "wb"), 0);
    body(*file);
    EXPECT_EQ(file->Close(), 0);
    return test::readFile(path);
}

Bytes writtenProperty(Mp4Property& p) {
    return written([&](Mp4File& f) { EXPECT_EQ(p.Write(&f), 0); });
}

// Counts how many of its kind are alive.
class Counted : public BaseObject {
public:
    explicit Counted(int& alive) : alive_(alive) { ++alive_; }
    ~Counted() override { --alive_; }

private:
    int& alive_;
};

}  // namespace

TEST(Mp4Objects, SmartPtrHoldsAndReleases) {
    int alive = 0;
    {
        SmartPtr<Counted> a(new Counted(alive));
        EXPECT_EQ(a->RefCount(), 1);
        SmartPtr<Counted> b = a;
        EXPECT_EQ(a->RefCount(), 2);
        b = a.get();  // the same object: nothing changes
        EXPECT_EQ(a->RefCount(), 2);
        SmartPtr<Counted> c(std::move(b));
        EXPECT_FALSE(b);
        EXPECT_EQ(a->RefCount(), 2);
        c = nullptr;
        EXPECT_EQ(a->RefCount(), 1);
        EXPECT_EQ(alive, 1);
    }
    EXPECT_EQ(alive, 0);
}

TEST(Mp4Objects, AssigningAnObjectOnlyTheOldOneKeepsAliveIsSafe) {
    int alive = 0;
    SmartPtr<Counted> outer(new Counted(alive));
    Counted* raw = outer.get();
    SmartPtr<Counted> p(raw);
    outer = nullptr;  // p holds the only reference
    p = raw;          // same object
    EXPECT_EQ(alive, 1);
    p = new Counted(alive);
    EXPECT_EQ(alive, 1);
}

TEST(Mp4Objects, ArrayGrowsKeepsCountsAndAnswersNothingOutsideIt) {
    int alive = 0;
    {
        Mp4Array<SmartPtr<Counted>> items;
        for (int i = 0; i < 9; ++i) items.Add(SmartPtr<Counted>(new Counted(alive)));
        EXPECT_EQ(items.Count(), 9);
        EXPECT_EQ(alive, 9);
        for (int i = 0; i < 9; ++i) EXPECT_EQ(items[i]->RefCount(), 1) << i;
        EXPECT_EQ(items[-1].get(), nullptr);
        EXPECT_EQ(items[9].get(), nullptr);

        Mp4Array<uint32_t> numbers;
        numbers.Add(5);
        numbers.Insert(7u, 0);
        numbers.Insert(9u, 99);  // outside: appended
        EXPECT_EQ(numbers[0], 7u);
        EXPECT_EQ(numbers[1], 5u);
        EXPECT_EQ(numbers[2], 9u);
        EXPECT_EQ(numbers[3], 0u);
        EXPECT_FALSE(numbers.Set(3, 1));
    }
    EXPECT_EQ(alive, 0);
}

TEST(Mp4File, OpenTwiceKeepsTheFirstFile) {
    test::TempDir dir;
    SmartPtr<Mp4File> file(new Mp4File());
    ASSERT_EQ(file->Open(dir.file("a").c_str(), "wb"), 0);
    EXPECT_EQ(file->Open(dir.file("b").c_str(), "wb"), mp4err::kAlreadyOpen);
    EXPECT_EQ(file->WriteInteger(0x0102, 2), 2u);
    EXPECT_EQ(file->Close(), 0);
    EXPECT_EQ(test::readFile(dir.file("a")), (Bytes{1, 2}));
    EXPECT_EQ(access(dir.file("b").c_str(), F_OK), -1);
}

TEST(Mp4File, OpenFailuresAndWritesWithoutAWritableFile) {
    test::TempDir dir;
    SmartPtr<Mp4File> file(new Mp4File());
    EXPECT_EQ(file->Open(dir.file("missing/x.mp4").c_str(), "wb"), mp4err::kOpenFailed);
    EXPECT_EQ(file->Write("x", 1), 0u);
    EXPECT_EQ(file->GetPosition(), -1);
    EXPECT_EQ(file->SetPosition(0), mp4err::kFailed);

    const std::string path = dir.file("r.bin");
    { FILE* f = fopen(path.c_str(), "wb"); fwrite("abc", 1, 3, f); fclose(f); }
    ASSERT_EQ(file->Open(path.c_str(), "rb"), 0);
    EXPECT_EQ(file->GetSize(), 3);
    EXPECT_FALSE(file->IsWritable());
    EXPECT_EQ(file->Write("x", 1), 0u);
    EXPECT_EQ(file->ReadInteger(2), 0x6162u);
    EXPECT_EQ(file->ReadInteger(2), 0u);  // short read
    EXPECT_EQ(file->SetPosition(-1), mp4err::kFailed);
}

TEST(Mp4File, IntegersAreBigEndianInTheirWidth) {
    const Bytes b = written([](Mp4File& f) {
        EXPECT_EQ(f.WriteInteger(0xAB, 1), 1u);
        EXPECT_EQ(f.WriteInteger(0x1234, 2), 2u);
        EXPECT_EQ(f.WriteInteger(0x123456, 3), 3u);
        EXPECT_EQ(f.WriteInteger(0xDEADBEEF, 4), 4u);
        EXPECT_EQ(f.WriteInteger(1, 5), 0u);
        EXPECT_EQ(f.WriteInteger(1, 0), 0u);
    });
    EXPECT_EQ(b, (Bytes{0xAB, 0x12, 0x34, 0x12, 0x34, 0x56, 0xDE, 0xAD, 0xBE, 0xEF}));
}

TEST(Mp4File, BitFieldsFillBytesMostSignificantFirst) {
    // 3 bits of 7 and 5 bits of 1 give E1; fields that cross a byte keep
    // their bits in the next one.
    const Bytes b = written([](Mp4File& f) {
        EXPECT_EQ(f.WriteBits(7, 3), 0u);
        EXPECT_EQ(f.WriteBits(1, 5), 1u);
        EXPECT_EQ(f.WriteBits(0x3F, 6), 0u);
        EXPECT_EQ(f.WriteBits(0x5, 3), 1u);  // 111111 10 | 1....
        EXPECT_EQ(f.WriteBits(0, 7), 1u);    // 1 0000000
        EXPECT_EQ(f.WriteBits(0, 8), 0u);    // refused
    });
    EXPECT_EQ(b, (Bytes{0xE1, 0xFE, 0x80}));

    test::TempDir dir;
    const std::string path = dir.file("bits");
    { FILE* f = fopen(path.c_str(), "wb"); fputc(0xE1, f); fclose(f); }
    SmartPtr<Mp4File> file(new Mp4File());
    ASSERT_EQ(file->Open(path.c_str(), "rb"), 0);
    EXPECT_EQ(file->ReadBits(3), 7u);
    EXPECT_EQ(file->ReadBits(5), 1u);
    EXPECT_EQ(file->ReadBits(1), 0u);  // no more bytes
}

TEST(Mp4File, ShortWritesShowInTheCountAndAtFlush) {
    // /dev/full takes nothing: a large write fails at once, a small one when
    // the stream's buffer goes out.
    SmartPtr<Mp4File> file(new Mp4File());
    ASSERT_EQ(file->Open("/dev/full", "wb"), 0);
    Bytes big(64 * 1024, 1);
    EXPECT_LT(file->Write(big.data(), big.size()), big.size());
    EXPECT_EQ(file->Flush(), mp4err::kShortWrite);
    EXPECT_EQ(file->Close(), mp4err::kShortWrite);

    ASSERT_EQ(file->Open("/dev/full", "wb"), 0);
    EXPECT_EQ(file->Write("abcd", 4), 4u);  // buffered
    EXPECT_EQ(file->Close(), mp4err::kShortWrite);
}

TEST(Mp4Property, FixedPointValues) {
    struct Case {
        int width;
        float value;
        Bytes bytes;
    } cases[] = {
        {4, 72.0f, {0x00, 0x48, 0x00, 0x00}},
        {2, 1.0f, {0x01, 0x00}},
        {4, 1.5f, {0x00, 0x01, 0x80, 0x00}},
        {2, 0.25f, {0x00, 0x40}},
        {4, 320.0f, {0x01, 0x40, 0x00, 0x00}},
        {3, 1.0f, {}},  // no such width: nothing
    };
    for (const auto& c : cases) {
        SmartPtr<Mp4Property> p(new Mp4Property(Mp4Property::kFixed, c.width, "f"));
        p->SetFloat(c.value);
        EXPECT_EQ(writtenProperty(*p), c.bytes) << c.width << " " << c.value;
    }
    SmartPtr<Mp4Property> p(new Mp4Property(Mp4Property::kFixed, 4, "f"));
    p->SetInteger(3);
    EXPECT_EQ(p->GetFloat(), 3.0f);
    p->SetFloat(2.9f);
    EXPECT_EQ(p->GetValue(), 2);
    p->SetFloat(1e30f);  // far out of range: saturates instead of undefined conversion
    EXPECT_EQ(writtenProperty(*p).size(), 4u);
}

TEST(Mp4Property, IntegerSetFromFloatTruncates) {
    SmartPtr<Mp4Property> p(new Mp4Property(Mp4Property::kInteger, 2, "i"));
    p->SetFloat(513.9f);
    EXPECT_EQ(p->GetValue(), 513);
    EXPECT_EQ(writtenProperty(*p), (Bytes{0x02, 0x01}));
    p->SetFloat(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(p->GetValue(), 0);
}

TEST(Mp4Property, TextOfFixedAndVariableWidth) {
    SmartPtr<Mp4Property> fixed(new Mp4Property(Mp4Property::kString, 32, "compressorName"));
    fixed->SetString("AVC Coding");
    Bytes expect(32, 0);
    std::memcpy(expect.data(), "AVC Coding", 10);
    EXPECT_EQ(writtenProperty(*fixed), expect);
    EXPECT_EQ(fixed->GetString(), "AVC Coding");

    SmartPtr<Mp4Property> cut(new Mp4Property(Mp4Property::kString, 4, "t"));
    cut->SetString("vide-and-more");
    EXPECT_EQ(writtenProperty(*cut), (Bytes{'v', 'i', 'd', 'e'}));
    cut->SetString(nullptr);  // ignored
    EXPECT_EQ(cut->GetString(), "vide");

    SmartPtr<Mp4Property> variable(new Mp4Property(Mp4Property::kString, 0, "brands"));
    EXPECT_EQ(writtenProperty(*variable), Bytes{});
    variable->SetString("mp42isom");
    EXPECT_EQ(writtenProperty(*variable), (Bytes{'m', 'p', '4', '2', 'i', 's', 'o', 'm'}));

    SmartPtr<Mp4Property> notText(new Mp4Property(Mp4Property::kInteger, 4, "i"));
    notText->SetString("x");
    EXPECT_EQ(writtenProperty(*notText), (Bytes{0, 0, 0, 0}));
}

TEST(Mp4Property, ByteBlocks) {
    SmartPtr<Mp4Property> p(new Mp4Property(Mp4Property::kBytes, 4, "b"));
    EXPECT_EQ(writtenProperty(*p), (Bytes{0, 0, 0, 0}));
    const uint8_t three[] = {1, 2, 3};
    p->SetBytes(three, 3);
    EXPECT_EQ(writtenProperty(*p), (Bytes{1, 2, 3, 0}));
    const uint8_t five[] = {9, 9, 9, 9, 9};
    p->SetBytes(five, 5);  // wider than the block: nothing
    EXPECT_EQ(writtenProperty(*p), (Bytes{1, 2, 3, 0}));
    EXPECT_EQ(p->Write(nullptr), mp4err::kFailed);
}

TEST(Mp4Property, TableWritesRowsAndZeroForShortColumns) {
    SmartPtr<Mp4TableProperty> t(new Mp4TableProperty("entries"));
    auto* a = t->AddColumn("firstChunk");
    auto* b = t->AddColumn("samplesPerChunk");
    a->Add(1);
    a->Add(2);
    a->Add(3);
    b->Add(0x10);
    b->Add(0x20);
    EXPECT_EQ(t->RowCount(), 3);
    EXPECT_EQ(t->FindColumn("SAMPLESPERCHUNK"), b);
    EXPECT_EQ(t->FindColumn(""), nullptr);
    EXPECT_EQ(writtenProperty(*t), (Bytes{0, 0, 0, 1, 0, 0, 0, 0x10, 0, 0, 0, 2, 0, 0, 0, 0x20, 0, 0, 0, 3, 0, 0, 0, 0}));
    b->SetItem(7, 1);  // outside: ignored
    EXPECT_EQ(b->GetItem(7), 0u);
    EXPECT_EQ(b->Count(), 2);
}

TEST(Mp4Property, SizeTableEntriesAndTheirLimit) {
    SmartPtr<Mp4SizeTableProperty> t(new Mp4SizeTableProperty("sequenceEntries"));
    const uint8_t sps[] = {0x67, 0x42, 0xC0, 0x0D};
    EXPECT_TRUE(t->Add(sps, sizeof sps));
    EXPECT_FALSE(t->Add(sps, 0));
    EXPECT_FALSE(t->Add(nullptr, 4));
    // A length the 16-bit field cannot hold would make the box unreadable.
    Bytes huge(70000, 1);
    EXPECT_FALSE(t->Add(huge.data(), huge.size()));
    EXPECT_EQ(t->EntryCount(), 1);
    EXPECT_EQ(writtenProperty(*t), (Bytes{0x00, 0x04, 0x67, 0x42, 0xC0, 0x0D}));
}

TEST(Mp4Property, DescriptorImages) {
    SmartPtr<Mp4DescriptorProperty> iods(new Mp4DescriptorProperty("descriptor"));
    iods->AddDescriptor(Mp4Descriptor::kTagInitialObject);
    EXPECT_EQ(iods->GetValue(), 1);
    EXPECT_EQ(iods->FindProperty("bufferSize"), nullptr);
    EXPECT_EQ(writtenProperty(*iods),
              (Bytes{0x10, 0x80, 0x80, 0x80, 0x07, 0x00, 0x4F, 0xFF, 0xFF, 0x0F, 0x7F, 0xFF}));

    SmartPtr<Mp4DescriptorProperty> esds(new Mp4DescriptorProperty("descriptor"));
    esds->AddDescriptor(Mp4Descriptor::kTagES);
    ASSERT_NE(esds->FindProperty("BufferSize"), nullptr);
    esds->FindProperty("bufferSize")->SetInteger(0x012345);
    esds->FindProperty("maxBitrate")->SetInteger(0x0A0B0C0D);
    esds->FindProperty("avgBitrate")->SetInteger(0x01020304);
    const Bytes expect{0x03, 0x80, 0x80, 0x80, 0x22, 0x00, 0x00, 0x00, 0x04, 0x80, 0x80, 0x80, 0x14,
                       0x40, 0x15, 0x01, 0x23, 0x45, 0x0A, 0x0B, 0x0C, 0x0D, 0x01, 0x02, 0x03, 0x04,
                       0x05, 0x80, 0x80, 0x80, 0x02, 0x11, 0x90, 0x06, 0x80, 0x80, 0x80, 0x01, 0x02};
    EXPECT_EQ(writtenProperty(*esds), expect);

    SmartPtr<Mp4DescriptorProperty> other(new Mp4DescriptorProperty("descriptor"));
    other->AddDescriptor(0x05);
    EXPECT_EQ(writtenProperty(*other), Bytes{});
}

TEST(Mp4Property, ReadsBackWhatWasWrittenAndRefusesLengthsBeyondTheFile) {
    test::TempDir dir;
    const std::string path = dir.file("p.bin");
    {
        SmartPtr<Mp4File> f(new Mp4File());
        ASSERT_EQ(f->Open(path.c_str(), "wb"), 0);
        SmartPtr<Mp4Property> i(new Mp4Property(Mp4Property::kInteger, 3, "i"));
        i->SetInteger(0x123456);
        SmartPtr<Mp4Property> fx(new Mp4Property(Mp4Property::kFixed, 4, "f"));
        fx->SetFloat(72.5f);
        SmartPtr<Mp4Property> text(new Mp4Property(Mp4Property::kString, 0, "t"));
        text->SetString("hello");
        SmartPtr<Mp4TableProperty> table(new Mp4TableProperty("entries"));
        table->AddColumn("a")->Add(7);
        table->ColumnAt(0)->Add(8);
        SmartPtr<Mp4SizeTableProperty> sizes(new Mp4SizeTableProperty("s"));
        const uint8_t e[] = {1, 2, 3};
        sizes->Add(e, 3);
        SmartPtr<Mp4DescriptorProperty> d(new Mp4DescriptorProperty("d"));
        d->AddDescriptor(Mp4Descriptor::kTagInitialObject);
        for (Mp4Property* p : {i.get(), fx.get(), text.get(), static_cast<Mp4Property*>(table.get()),
                               static_cast<Mp4Property*>(sizes.get()), static_cast<Mp4Property*>(d.get())}) {
            ASSERT_EQ(p->Write(f.get()), 0);
        }
        ASSERT_EQ(f->Close(), 0);
    }
    SmartPtr<Mp4File> f(new Mp4File());
    ASSERT_EQ(f->Open(path.c_str(), "rb"), 0);
    SmartPtr<Mp4Property> i(new Mp4Property(Mp4Property::kInteger, 3, "i"));
    ASSERT_EQ(i->Read(f.get()), 0);
    EXPECT_EQ(i->GetValue(), 0x123456);
    SmartPtr<Mp4Property> fx(new Mp4Property(Mp4Property::kFixed, 4, "f"));
    ASSERT_EQ(fx->Read(f.get()), 0);
    EXPECT_EQ(fx->GetFloat(), 72.5f);
    SmartPtr<Mp4Property> text(new Mp4Property(Mp4Property::kString, 0, "t"));
    text->SetLength(5);
    ASSERT_EQ(text->Read(f.get()), 0);
    EXPECT_EQ(text->GetString(), "hello");
    SmartPtr<Mp4TableProperty> table(new Mp4TableProperty("entries"));
    table->AddColumn("a");
    table->SetLength(2);
    ASSERT_EQ(table->Read(f.get()), 0);
    EXPECT_EQ(table->ColumnAt(0)->GetItem(1), 8u);
    SmartPtr<Mp4SizeTableProperty> sizes(new Mp4SizeTableProperty("s"));
    sizes->SetLength(1);
    ASSERT_EQ(sizes->Read(f.get()), 0);
    EXPECT_EQ(sizes->Entry(0), (Bytes{1, 2, 3}));
    SmartPtr<Mp4DescriptorProperty> d(new Mp4DescriptorProperty("d"));
    ASSERT_EQ(d->Read(f.get()), 0);
    EXPECT_EQ(d->DescriptorAt(0)->GetTag(), Mp4Descriptor::kTagInitialObject);
    EXPECT_EQ(f->Remaining(), 0);

    // Hostile lengths: nothing is allocated or read beyond the file.
    ASSERT_EQ(f->SetPosition(0), 0);
    SmartPtr<Mp4Property> longText(new Mp4Property(Mp4Property::kString, 0, "t"));
    longText->SetLength(int64_t{1} << 40);
    EXPECT_EQ(longText->Read(f.get()), mp4err::kFailed);
    SmartPtr<Mp4TableProperty> longTable(new Mp4TableProperty("entries"));
    longTable->AddColumn("a");
    longTable->SetLength(0x7FFFFFFF);
    EXPECT_EQ(longTable->Read(f.get()), mp4err::kFailed);
    EXPECT_EQ(longTable->RowCount(), 0);
}
