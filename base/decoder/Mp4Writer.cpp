#include "base/decoder/Mp4Writer.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "base/decoder/H264HeaderParser.h"
#include "base/decoder/Mp4Errors.h"
#include "base/decoder/Mp4SizeTableProperty.h"
#include "platform/Log.h"

namespace lumora {

namespace {
// Seconds from 1904-01-01 (the MP4 epoch) to 1970-01-01.
constexpr int64_t kMp4EpochOffset = 2082844800;
constexpr const char* kAvcC = "mdia.minf.stbl.stsd.avc1.avcC";
}  // namespace

Mp4Writer::~Mp4Writer() { Close(); }

uint32_t Mp4Writer::Now() { return static_cast<uint32_t>(static_cast<int64_t>(std::time(nullptr)) + kMp4EpochOffset); }

int Mp4Writer::Open(const char* path) {
    if (fMp4File) return mp4err::kAlreadyOpen;
    SmartPtr<Mp4File> file(new Mp4File());
    if (int rc = file->Open(path, "wb"); rc != 0) return rc;
    fMp4File = file;

    fVideoBuffer.clear();
    fIsSyncSample = true;
    fWaitForSync = false;
    fLostWrite = 0;
    fOrderParser.Reset();
    fOrderSps = false;
    fSampleOrderSet = false;
    fSampleGroup = fSampleOrder = fOrderGroup = fPrevOrderMsb = fPrevOrderLsb = 0;
    fSyncSampleCount = 0;
    fLastVideoTimestamp = fLastAudioTimestamp = fStartTimestamp = 0;
    fVideoTrackIndex = -1;
    fIsAACAudio = false;
    fSampleRate = 0;
    fSampleDuration = 0;
    fHasSPS = fHasPPS = false;

    fRootAtom = new Mp4Atom("root");
    fRootAtom->CreateChildren();
    const uint32_t now = Now();
    fRootAtom->SetInteger("moov.mvhd.creationTime", now);
    fRootAtom->SetInteger("moov.mvhd.modificationTime", now);
    return 0;
}

Mp4Track* Mp4Writer::AddTrack(const char* handlerType, uint32_t timeScale) {
    if (!fRootAtom) return nullptr;
    const int32_t count = fTracks.Count();
    fRootAtom->SetInteger("moov.mvhd.nextTrackId", count + 2);
    Mp4Atom* trak = fRootAtom->AddChild("moov.trak", -1);
    if (trak) {
        const uint32_t now = Now();
        trak->SetInteger("tkhd.creationTime", now);
        trak->SetInteger("tkhd.modificationTime", now);
        trak->SetInteger("mdia.mdhd.creationTime", now);
        trak->SetInteger("mdia.mdhd.modificationTime", now);
        trak->SetInteger("tkhd.trackId", count + 1);
        trak->SetString("mdia.hdlr.handlerType", handlerType);
    }
    SmartPtr<Mp4Track> track(new Mp4Track());
    track->Attach(trak);
    track->SetTimeScale(timeScale);
    fTracks.Add(track);
    fSampleRate = static_cast<int32_t>(timeScale);
    return track.get();
}

int Mp4Writer::AddVideoTrack(uint32_t timeScale, int64_t sampleDuration, uint16_t width, uint16_t height) {
    if (!fMp4File || !fRootAtom) return mp4err::kNotOpen;
    Mp4Track* track = AddTrack("vide", timeScale);
    // A sample without duration would put every picture at the same time.
    fSampleDuration = std::max<int64_t>(sampleDuration, 1);
    if (Mp4Atom* trak = track->GetTrak()) {
        trak->SetFloat("tkhd.width", width);
        trak->SetFloat("tkhd.height", height);
        trak->AddChild("mdia.minf.vmhd", 0);
        trak->AddChild("mdia.minf.stbl.stss", -1);
        trak->SetInteger("mdia.minf.stbl.stsd.entryCount", 1);
        if (Mp4Atom* avc1 = trak->AddChild("mdia.minf.stbl.stsd.avc1", -1)) {
            avc1->SetInteger("width", width);
            avc1->SetInteger("height", height);
        }
    }
    fVideoTrackIndex = fTracks.Count() - 1;
    track->FindProperties();
    return static_cast<int>(track->GetTrackId());
}

int Mp4Writer::WriteHeader() {
    if (!fMp4File || !fRootAtom) return mp4err::kNotOpen;
    for (int32_t i = 0; i < fRootAtom->ChildCount(); ++i) {
        Mp4Atom* child = fRootAtom->ChildAt(i);
        if (!child) return mp4err::kMissingChild;
        if (child->IsType("mdat")) return child->WriteHeader(fMp4File.get());
        if (int rc = child->Write(fMp4File.get()); rc != 0) return rc;
    }
    return 0;
}

Mp4Atom* Mp4Writer::AvcConfiguration() const {
    Mp4Track* track = GetVideoTrack();
    Mp4Atom* trak = track ? track->GetTrak() : nullptr;
    return trak ? trak->FindAtom(kAvcC) : nullptr;
}

void Mp4Writer::AddParameterSet(const char* entriesName, const char* countName, int32_t limit, const uint8_t* bytes,
                                size_t n) {
    Mp4Atom* avcC = AvcConfiguration();
    if (!avcC) return;
    auto* entries = avcC->FindProperty(entriesName);
    auto* count = avcC->FindProperty(countName);
    if (!entries || !count || entries->GetKind() != Mp4Property::kSizeTable) return;
    auto* table = static_cast<Mp4SizeTableProperty*>(entries);
    if (table->EntryCount() >= limit || !table->Add(bytes, n)) return;
    count->SetInteger(table->EntryCount());
}

void Mp4Writer::AddSequenceParameterSet(const uint8_t* bytes, size_t n) {
    // The count is a 5-bit field.
    AddParameterSet("sequenceEntries", "numOfSequenceParameterSets", 31, bytes, n);
}

void Mp4Writer::AddPictureParameterSet(const uint8_t* bytes, size_t n) {
    AddParameterSet("pictureEntries", "numOfPictureParameterSets", 255, bytes, n);
}

void Mp4Writer::SetProfileLevel(uint8_t profile, uint8_t level) {
    if (Mp4Atom* avcC = AvcConfiguration()) {
        avcC->SetInteger("AVCProfileIndication", profile);
        avcC->SetInteger("AVCLevelIndication", level);
    }
}

void Mp4Writer::SetProfileCompatibility(uint8_t v) {
    if (Mp4Atom* avcC = AvcConfiguration()) avcC->SetInteger("profile_compatibility", v);
}

int Mp4Writer::WriteVideoSample(const uint8_t* nal, size_t n, int64_t /*timestamp*/, bool isKeyFrame,
                                bool endOfFrame) {
    Mp4Track* track = GetVideoTrack();
    if (!track) return 0;
    if (!nal) n = 0;
    if (n > kMaxNalSize) return mp4err::kFailed;

    size_t bodyLength = 0;
    if (n > 0) {
        const size_t sc = H264HeaderParser::StartCodeLength(nal, n);
        if (n <= sc) {
            n = 0;  // a start code alone: nothing to take
        } else {
            const uint8_t* body = nal + sc;
            const size_t bodySize = n - sc;
            const int type = body[0] & 0x1F;
            if (type == 7) {
                if (fOrderParser.Parse(nal, n) == 0) fOrderSps = true;
                if (!fHasSPS) {
                    H264HeaderParser parser;
                    if (parser.Parse(nal, n) == 0) {
                        const H264SeqParams& sps = parser.SeqParams();
                        Mp4Atom* avc1 = track->GetTrak() ? track->GetTrak()->FindAtom("mdia.minf.stbl.stsd.avc1")
                                                         : nullptr;
                        // The size a viewer sees; a 16-bit field cannot take more.
                        if (avc1 && sps.display_width > 0 && sps.display_width <= 0xFFFF &&
                            sps.display_height > 0 && sps.display_height <= 0xFFFF) {
                            avc1->SetInteger("width", sps.display_width);
                            avc1->SetInteger("height", sps.display_height);
                            // The track's presentation size too: the size given
                            // when the recording started may still have been 0.
                            track->GetTrak()->SetFloat("tkhd.width", sps.display_width);
                            track->GetTrak()->SetFloat("tkhd.height", sps.display_height);
                        }
                    }
                    AddSequenceParameterSet(body, bodySize);
                    Log::debug("Mp4Writer", "avc sample size=%zu", bodySize);
                    if (bodySize > 3) {
                        SetProfileLevel(body[1], body[3]);
                        SetProfileCompatibility(body[2]);
                    }
                    fHasSPS = true;
                }
                return static_cast<int>(n);
            }
            if (type == 8) {
                if (!fHasPPS) {
                    AddPictureParameterSet(body, bodySize);
                    fHasPPS = true;
                }
                return static_cast<int>(n);
            }
            if (isKeyFrame) {
                fIsSyncSample = true;
                fWaitForSync = false;
            }
            if (fWaitForSync) return 0;  // after a lost chunk: wait for a key frame
            if (type >= 1 && type <= 5 && !fSampleOrderSet) NoteSampleOrder(nal, n, type);
            const size_t at = fVideoBuffer.size();
            fVideoBuffer.resize(at + 4 + bodySize);
            fVideoBuffer[at] = static_cast<uint8_t>(bodySize >> 24);
            fVideoBuffer[at + 1] = static_cast<uint8_t>(bodySize >> 16);
            fVideoBuffer[at + 2] = static_cast<uint8_t>(bodySize >> 8);
            fVideoBuffer[at + 3] = static_cast<uint8_t>(bodySize);
            std::copy(body, body + bodySize, fVideoBuffer.begin() + static_cast<std::ptrdiff_t>(at + 4));
            bodyLength = bodySize;
        }
    }
    if (endOfFrame || fVideoBuffer.size() > kMaxPendingSample) {
        if (int rc = FlushSample(track); rc < 0) return rc;
    }
    return static_cast<int>(bodyLength);
}

void Mp4Writer::NoteSampleOrder(const uint8_t* nal, size_t n, int type) {
    if (!fOrderSps || fOrderParser.Parse(nal, n) != 0) return;
    const H264SeqParams& sps = fOrderParser.SeqParams();
    if (sps.pic_order_cnt_type != 0) return;  // other types follow decode order here
    const uint32_t bits = std::min<uint32_t>(sps.log2_max_pic_order_cnt_lsb_minus4 + 4, 16);
    const int64_t maxLsb = int64_t{1} << bits;
    if (type == 5) {
        // An IDR picture starts a new group and its order count at 0.
        ++fOrderGroup;
        fPrevOrderMsb = fPrevOrderLsb = 0;
    }
    const int64_t lsb = fOrderParser.SliceHeader().pic_order_cnt_lsb;
    int64_t msb = fPrevOrderMsb;
    if (lsb < fPrevOrderLsb && fPrevOrderLsb - lsb >= maxLsb / 2)
        msb += maxLsb;
    else if (lsb > fPrevOrderLsb && lsb - fPrevOrderLsb > maxLsb / 2)
        msb -= maxLsb;
    const size_t sc = H264HeaderParser::StartCodeLength(nal, n);
    const bool reference = sc < n && (nal[sc] & 0x60) != 0;
    if (reference) {
        fPrevOrderMsb = msb;
        fPrevOrderLsb = lsb;
    }
    fSampleGroup = fOrderGroup;
    fSampleOrder = msb + lsb;
    fSampleOrderSet = true;
}

int Mp4Writer::FlushSample(Mp4Track* track) {
    if (fVideoBuffer.empty()) return 0;
    if (fSampleOrderSet) track->SetNextSampleOrder(fSampleGroup, fSampleOrder);
    fSampleOrderSet = false;
    const int rc = track->WriteSample(fMp4File.get(), fVideoBuffer.data(), fVideoBuffer.size(), fSampleDuration,
                                      fIsSyncSample);
    fVideoBuffer.clear();
    if (rc != 0) {
        // The track dropped the chunk this sample was in; later pictures may
        // refer to it, so nothing more is taken before a key frame.
        Log::warn("mp4 writer", "sample write failed (%d), waiting for a key frame", rc);
        if (fLostWrite == 0) fLostWrite = rc;
        fWaitForSync = true;
        fIsSyncSample = false;
        return rc;
    }
    if (fIsSyncSample) ++fSyncSampleCount;
    fIsSyncSample = false;
    return 1;
}

int Mp4Writer::Finish() {
    if (!fMp4File || !fRootAtom) return mp4err::kFailed;
    int result = 0;
    // A sample the caller left open still holds whole NAL units: keep them.
    if (Mp4Track* video = GetVideoTrack()) {
        if (int rc = FlushSample(video); rc < 0) result = rc;
    }
    int64_t longest = 0;
    for (const auto& track : fTracks) {
        if (!track) continue;
        if (int rc = track->Finish(fMp4File.get()); rc != 0 && result == 0) result = rc;
        const uint32_t scale = track->GetTimeScale();
        if (scale != 0) longest = std::max(longest, static_cast<int64_t>(track->GetDuration() * 1000 / scale));
    }
    fRootAtom->SetInteger("moov.mvhd.duration", longest);

    bool afterMdat = false;
    for (int32_t i = 0; i < fRootAtom->ChildCount(); ++i) {
        Mp4Atom* child = fRootAtom->ChildAt(i);
        if (!child) return mp4err::kFailed;
        int rc = 0;
        if (child->IsType("mdat")) {
            rc = child->PatchSize(fMp4File.get());
            afterMdat = true;
        } else if (afterMdat) {
            rc = child->Write(fMp4File.get());
        }
        if (rc != 0 && result == 0) result = rc;
    }
    if (int rc = fMp4File->Flush(); rc != 0 && result == 0) result = rc;
    // Samples lost to a failed write on the way leave the file playable
    // but not complete: the caller hears of it.
    if (result == 0 && fLostWrite != 0) result = fLostWrite;
    return result;
}

int Mp4Writer::Close() {
    for (const auto& track : fTracks) {
        if (track) track->Close();
    }
    fTracks.Clear();
    fVideoTrackIndex = -1;
    int result = 0;
    if (fMp4File) result = fMp4File->Close();
    fMp4File = nullptr;
    if (fRootAtom) fRootAtom->Clear();
    fRootAtom = nullptr;
    fVideoBuffer.clear();
    fHasSPS = fHasPPS = false;
    return result;
}

}  // namespace lumora
