#include "base/decoder/Mp4Track.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "base/decoder/Mp4Errors.h"
#include "base/decoder/Mp4File.h"

namespace lumora {

namespace {
constexpr const char* kStbl = "mdia.minf.stbl.";
}

void Mp4Track::Attach(Mp4Atom* trak) {
    fTrak = trak;
    FindProperties();
}

void Mp4Track::FindProperties() {
    Mp4Atom* t = fTrak.get();
    auto prop = [t](const char* path) -> Mp4Property* { return t ? t->FindProperty(path) : nullptr; };
    auto column = [t](const char* box, const char* name) -> Mp4ArrayProperty* {
        if (!t) return nullptr;
        return t->FindColumn(std::string(kStbl) + box + ".entries", name);
    };
    fHandlerType = prop("mdia.hdlr.handlerType");
    fTrackId = prop("tkhd.trackId");
    fTimeScale = prop("mdia.mdhd.timeScale");
    fTkhdDuration = prop("tkhd.duration");
    fMdhdDuration = prop("mdia.mdhd.duration");
    fSampleSize = column("stsz", "sampleSize");
    fChunkOffset = column("stco", "chunkOffset");
    fSyncSample = column("stss", "sampleNumber");
    fSttsCount = column("stts", "sampleCount");
    fSttsDelta = column("stts", "sampleDelta");
    fStscFirstChunk = column("stsc", "firstChunk");
    fStscSamplesPerChunk = column("stsc", "samplesPerChunk");
    fStscDescription = column("stsc", "sampleDescriptionIndex");
    fSamplesPerChunkLimit = kSamplesPerChunk;
    fChunkCount = fChunkOffset ? static_cast<uint32_t>(fChunkOffset->Count()) : 0;
}

void Mp4Track::SetTimeScale(uint32_t v) {
    if (fTimeScale) fTimeScale->SetInteger(v);
}

uint32_t Mp4Track::GetTimeScale() const {
    return fTimeScale ? static_cast<uint32_t>(fTimeScale->GetValue()) : 0;
}

uint32_t Mp4Track::GetTrackId() const { return fTrackId ? static_cast<uint32_t>(fTrackId->GetValue()) : 0; }

uint64_t Mp4Track::GetDuration() const {
    return fMdhdDuration ? static_cast<uint64_t>(fMdhdDuration->GetValue()) : 0;
}

int Mp4Track::WriteSample(Mp4File* file, const uint8_t* bytes, size_t n, int64_t duration, bool isSync) {
    if (!file || !bytes || n == 0) return mp4err::kFailed;
    // A sample size is a 32-bit table entry.
    if (n > std::numeric_limits<uint32_t>::max()) return mp4err::kTooLarge;
    fChunk.insert(fChunk.end(), bytes, bytes + n);
    fChunkSamples.push_back({static_cast<uint32_t>(n), duration, isSync, fNextOrder});
    fNextOrder = SampleOrder{};
    fChunkDuration += duration;
    if (fChunkSamples.size() >= fSamplesPerChunkLimit) return WriteChunk(file);
    return 0;
}

// Enters one sample whose bytes reached the file into the tables.
void Mp4Track::Commit(const PendingSample& s) {
    // A sample's delta is entered when the next one comes (the last one's at
    // Finish), so runs of equal deltas stay one row.
    if (fNextSample > 1) UpdateTimeToSample(fLastDuration);
    fLastDuration = s.duration;
    if (fSampleSize) fSampleSize->Add(s.size);
    if (s.sync && fSyncSample) fSyncSample->Add(fNextSample);
    AddDuration(s.duration);
    fOrders.push_back(s.presentation);
    fDurations.push_back(s.duration);
    ++fNextSample;
}

void Mp4Track::SetNextSampleOrder(int64_t group, int64_t order) { fNextOrder = SampleOrder{true, group, order}; }

void Mp4Track::WriteCompositionOffsets() {
    const size_t n = fOrders.size();
    if (n == 0 || !fTrak) return;
    for (const auto& o : fOrders)
        if (!o.known) return;
    // Decode times, then each sample's presentation time: within a group the
    // samples take the group's decode times in the order of their counts.
    std::vector<int64_t> decode(n), present(n);
    int64_t t = 0;
    for (size_t i = 0; i < n; ++i) {
        decode[i] = t;
        t += fDurations[i];
    }
    bool reordered = false;
    for (size_t begin = 0; begin < n;) {
        size_t end = begin;
        while (end < n && fOrders[end].group == fOrders[begin].group) ++end;
        std::vector<size_t> byOrder(end - begin);
        for (size_t i = 0; i < byOrder.size(); ++i) byOrder[i] = begin + i;
        std::stable_sort(byOrder.begin(), byOrder.end(),
                         [&](size_t a, size_t b) { return fOrders[a].order < fOrders[b].order; });
        for (size_t rank = 0; rank < byOrder.size(); ++rank) {
            present[byOrder[rank]] = decode[begin + rank];
            if (byOrder[rank] != begin + rank) reordered = true;
        }
        begin = end;
    }
    if (!reordered) return;
    // Offsets are unsigned: everything is shown as late as the most
    // advanced picture needs.
    int64_t delay = 0;
    for (size_t i = 0; i < n; ++i) delay = std::max(delay, decode[i] - present[i]);
    const std::string stbl(kStbl);
    Mp4Atom* ctts = fTrak->FindAtom(stbl + "ctts");
    if (!ctts) ctts = fTrak->AddChild(stbl + "ctts", -1);
    if (!ctts) return;
    Mp4ArrayProperty* count = fTrak->FindColumn(stbl + "ctts.entries", "sampleCount");
    Mp4ArrayProperty* offset = fTrak->FindColumn(stbl + "ctts.entries", "sampleOffset");
    if (!count || !offset) return;
    for (size_t i = 0; i < n; ++i) {
        const auto value = static_cast<uint32_t>(
            std::clamp<int64_t>(present[i] - decode[i] + delay, 0, std::numeric_limits<uint32_t>::max()));
        const int32_t rows = count->Count();
        if (rows > 0 && offset->GetItem(rows - 1) == value) {
            count->SetItem(rows - 1, count->GetItem(rows - 1) + 1);
        } else {
            count->Add(1);
            offset->Add(value);
        }
    }
    fTrak->SetInteger(stbl + "ctts.entryCount", count->Count());
}

int Mp4Track::WriteChunk(Mp4File* file) {
    if (!file || fChunk.empty()) return mp4err::kFailed;
    int result = 0;
    const int64_t offset = file->GetPosition();
    if (offset < 0) {
        result = mp4err::kShortWrite;
    } else if (static_cast<uint64_t>(offset) + fChunk.size() > std::numeric_limits<uint32_t>::max()) {
        // Chunk offsets and the "mdat" size are 32-bit: a chunk past 4 GiB
        // could not be found again, so it is not written.
        result = mp4err::kTooLarge;
    } else if (file->Write(fChunk.data(), fChunk.size()) != fChunk.size()) {
        result = mp4err::kShortWrite;
    } else {
        for (const auto& s : fChunkSamples) Commit(s);
        UpdateSampleToChunk(fChunkCount + 1, static_cast<uint32_t>(fChunkSamples.size()));
        if (fChunkOffset) fChunkOffset->Add(static_cast<uint32_t>(offset));
        ++fChunkCount;
    }
    std::vector<uint8_t>().swap(fChunk);
    fChunkSamples.clear();
    fChunkDuration = 0;
    return result;
}

void Mp4Track::UpdateTimeToSample(int64_t delta) {
    if (!fSttsCount || !fSttsDelta) return;
    const int32_t rows = fSttsCount->Count();
    const bool fits = delta >= 0 && delta <= std::numeric_limits<uint32_t>::max();
    if (rows > 0 && fits && fSttsDelta->GetItem(rows - 1) == static_cast<uint32_t>(delta)) {
        fSttsCount->SetItem(rows - 1, fSttsCount->GetItem(rows - 1) + 1);
        return;
    }
    fSttsCount->Add(1);
    fSttsDelta->Add(static_cast<uint32_t>(std::clamp<int64_t>(delta, 0, std::numeric_limits<uint32_t>::max())));
}

void Mp4Track::UpdateSampleToChunk(uint32_t chunk, uint32_t samples) {
    if (!fStscFirstChunk || !fStscSamplesPerChunk || !fStscDescription) return;
    const int32_t rows = fStscSamplesPerChunk->Count();
    if (rows > 0 && fStscSamplesPerChunk->GetItem(rows - 1) == samples) return;
    fStscFirstChunk->Add(chunk);
    fStscSamplesPerChunk->Add(samples);
    fStscDescription->Add(1);
}

void Mp4Track::AddDuration(int64_t d) {
    if (fMdhdDuration) fMdhdDuration->SetInteger(fMdhdDuration->GetValue() + d);
    if (fTkhdDuration) {
        const uint32_t scale = GetTimeScale();
        if (scale != 0 && scale != 1000) d = d * 1000 / static_cast<int64_t>(scale);
        fTkhdDuration->SetInteger(fTkhdDuration->GetValue() + d);
    }
}

int Mp4Track::Finish(Mp4File* file) {
    if (!fTrak) return mp4err::kFailed;
    if (!fChunk.empty()) (void)WriteChunk(file);
    // The last sample lasts its own duration too, so the time table adds up
    // to the track's duration and the last picture is shown.
    if (fNextSample > 1) UpdateTimeToSample(fLastDuration);
    if (!fSampleSize || !fStscFirstChunk || !fChunkOffset || !fSttsCount) return mp4err::kFailed;

    Mp4Atom* t = fTrak.get();
    const std::string stbl(kStbl);
    if (fSampleSize->Count() > 0) {
        t->SetInteger(stbl + "stsz.entryCount", fSampleSize->Count());
    } else {
        t->SetInteger(stbl + "stsz.sampleSize", fFixedSampleSize);
    }
    t->SetInteger(stbl + "stsc.entryCount", fStscFirstChunk->Count());
    t->SetInteger(stbl + "stco.entryCount", fChunkOffset->Count());
    t->SetInteger(stbl + "stts.entryCount", fSttsCount->Count());
    if (fSyncSample) t->SetInteger(stbl + "stss.entryCount", fSyncSample->Count());
    WriteCompositionOffsets();

    const uint32_t scale = GetTimeScale();
    if (scale != 0 && fTkhdDuration) {
        fTkhdDuration->SetInteger(static_cast<int64_t>(GetDuration() * 1000 / scale));
    }

    // Audio tracks: buffer size and bit rates of the ES descriptor.
    if (t->FindAtom(stbl + "stsd.mp4a")) {
        const uint32_t samples = fNextSample - 1;
        uint64_t total = 0;
        uint32_t largest = fFixedSampleSize;
        if (fFixedSampleSize != 0) {
            total = uint64_t{fFixedSampleSize} * samples;
        } else {
            for (int32_t i = 0; i < fSampleSize->Count(); ++i) {
                total += fSampleSize->GetItem(i);
                largest = std::max(largest, fSampleSize->GetItem(i));
            }
        }
        const uint64_t duration = GetDuration();
        const uint64_t avg = duration == 0 ? 0 : (total * 8 * scale + duration - 1) / duration;
        const std::string esds = stbl + "stsd.mp4a.esds.";
        t->SetInteger(esds + "bufferSize", largest);
        t->SetInteger(esds + "avgBitrate", static_cast<int64_t>(avg));
        t->SetInteger(esds + "maxBitrate", static_cast<int64_t>(static_cast<double>(avg) * 1.2));
    }
    return 0;
}

void Mp4Track::Close() {
    std::vector<uint8_t>().swap(fChunk);
    fChunkSamples.clear();
    fChunkDuration = 0;
    if (fTrak) fTrak->Clear();
    fTrak = nullptr;
    fChunkCount = 0;
    fNextSample = 1;
    fLastDuration = 0;
    fFixedSampleSize = 0;
    fNextOrder = SampleOrder{};
    fOrders.clear();
    fDurations.clear();
    fHandlerType = fTrackId = fTimeScale = fTkhdDuration = fMdhdDuration = nullptr;
    fSampleSize = fChunkOffset = fSyncSample = nullptr;
    fSttsCount = fSttsDelta = nullptr;
    fStscFirstChunk = fStscSamplesPerChunk = fStscDescription = nullptr;
}

}  // namespace lumora
