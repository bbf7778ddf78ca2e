// TStripSummary: the smallest and largest code of a long recording at several resolutions, so
// that a strip chart draws minimum/maximum per pixel from a few entries per pixel, never from
// the samples. Its memory is bounded: when the finest level grows past its budget it is given
// up and the next one becomes the finest, so an hour and a week take the same room.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct TMinMax {
    uint32_t lo = UINT32_MAX;
    uint32_t hi = 0;
    bool Empty() const { return lo > hi; }
    void Add(uint32_t c) {
        if (c < lo) lo = c;
        if (c > hi) hi = c;
    }
    void Add(const TMinMax& o) {
        if (o.lo < lo) lo = o.lo;
        if (o.hi > hi) hi = o.hi;
    }
};

class TStripSummary {
public:
    static constexpr int FAN = 4;

    // finestBlock: samples per entry of the finest level at first (a power of FAN is neat);
    // maxEntries: the finest level's budget.
    explicit TStripSummary(uint64_t finestBlock = 16, size_t maxEntries = size_t{1} << 22);

    void Add(const uint32_t* codes, size_t n);
    void Clear();

    uint64_t Count() const { return Samples; }
    // Samples per entry of the finest level kept.
    uint64_t FinestBlock() const { return Block; }
    // Minimum and maximum of the samples [first, last) in `columns` equal columns; a column
    // without a sample comes back Empty().
    void Query(uint64_t first, uint64_t last, int columns, std::vector<TMinMax>& out) const;
    // Bytes held (for the memory figures).
    size_t Bytes() const;

private:
    struct TLevel {
        std::vector<TMinMax> entries;
        TMinMax partial;           // the entry being filled
        uint64_t partialCount = 0; // samples in it
    };
    void Push(size_t level, const TMinMax& m, uint64_t count);
    TMinMax Span(uint64_t first, uint64_t last) const;

    uint64_t Block;
    size_t MaxEntries;
    uint64_t Samples = 0;
    std::vector<TLevel> Levels;
};

// Mean, deviation and peak-to-peak of everything added, in double (Welford's update).
class TRunningStats {
public:
    void Add(double v) {
        ++N;
        const double d = v - Mean;
        Mean += d / static_cast<double>(N);
        M2 += d * (v - Mean);
        if (N == 1 || v < Lo) Lo = v;
        if (N == 1 || v > Hi) Hi = v;
    }
    void Clear() { *this = TRunningStats(); }
    uint64_t Count() const { return N; }
    double MeanValue() const { return Mean; }
    double StdDev() const; // population
    double PeakToPeak() const { return N ? Hi - Lo : 0.0; }

private:
    uint64_t N = 0;
    double Mean = 0.0, M2 = 0.0, Lo = 0.0, Hi = 0.0;
};
