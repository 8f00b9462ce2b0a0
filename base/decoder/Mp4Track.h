#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/decoder/BaseObject.h"
#include "base/decoder/Mp4ArrayProperty.h"
#include "base/decoder/Mp4Atom.h"
#include "base/decoder/SmartPtr.h"

namespace lumora {

class Mp4File;

// Turns a stream of samples into the sample tables of one "trak" box while
// the sample bytes go straight to the file. Samples are gathered into chunks
// of 25; each chunk is written at the file's current position (inside the
// open "mdat" box) and only then enters the tables, so a chunk the file did
// not take leaves no entry behind: the tables always describe exactly the
// bytes that are in the file.
class Mp4Track : public BaseObject {
public:
    static constexpr uint32_t kSamplesPerChunk = 25;

    Mp4Track() = default;

    // Holds the box and looks its properties up.
    void Attach(Mp4Atom* trak);
    // Looks every handle and table column up again (a missing one stays
    // empty); the writer calls it after adding "stss".
    void FindProperties();

    void SetTimeScale(uint32_t v);
    uint32_t GetTimeScale() const;
    uint32_t GetTrackId() const;
    // "mdhd" duration, in the track's time scale.
    uint64_t GetDuration() const;
    Mp4Atom* GetTrak() const { return fTrak.get(); }

    // Adds one sample of n bytes lasting duration (time-scale units): 0, -1
    // without file or data, or the failure of a chunk write (-15, -16), in
    // which case that chunk's samples, this one included, are dropped.
    int WriteSample(Mp4File* file, const uint8_t* bytes, size_t n, int64_t duration, bool isSync);
    // The presentation order of the next sample written: its group (samples
    // reordered only among themselves, as a key frame and the pictures up
    // to the next one) and its order count within the group. When every
    // sample of the track has one and some sample is shown out of decode
    // order, Finish adds the composition offsets ("ctts").
    void SetNextSampleOrder(int64_t group, int64_t order);

    // Writes the pending chunk and completes the tables: 0, or -1 without
    // a "trak" box or a table.
    int Finish(Mp4File* file);
    // Frees the pending chunk, clears the "trak" subtree, resets the
    // counters and lets go of every handle.
    void Close();

    // Chunks that reached the file.
    uint32_t ChunkCount() const { return fChunkCount; }

private:
    struct SampleOrder {
        bool known = false;
        int64_t group = 0;
        int64_t order = 0;
    };
    struct PendingSample {
        uint32_t size;
        int64_t duration;
        bool sync;
        SampleOrder presentation;
    };

    int WriteChunk(Mp4File* file);
    void Commit(const PendingSample& s);
    void UpdateTimeToSample(int64_t delta);
    void UpdateSampleToChunk(uint32_t chunk, uint32_t samples);
    void AddDuration(int64_t d);
    void WriteCompositionOffsets();

    SmartPtr<Mp4Atom> fTrak;
    SmartPtr<Mp4Property> fHandlerType, fTrackId, fTimeScale, fTkhdDuration, fMdhdDuration;
    SmartPtr<Mp4ArrayProperty> fSampleSize, fChunkOffset, fSyncSample;
    SmartPtr<Mp4ArrayProperty> fSttsCount, fSttsDelta;
    SmartPtr<Mp4ArrayProperty> fStscFirstChunk, fStscSamplesPerChunk, fStscDescription;

    uint32_t fChunkCount = 0;
    uint32_t fNextSample = 1;
    int64_t fLastDuration = 0;  // of the last sample in the tables
    uint32_t fFixedSampleSize = 0;
    uint32_t fSamplesPerChunkLimit = kSamplesPerChunk;
    std::vector<uint8_t> fChunk;
    std::vector<PendingSample> fChunkSamples;
    int64_t fChunkDuration = 0;
    SampleOrder fNextOrder;
    // Of every sample in the tables, in decode order.
    std::vector<SampleOrder> fOrders;
    std::vector<int64_t> fDurations;
};

}  // namespace lumora
