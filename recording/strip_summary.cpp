#include "strip_summary.h"

#include <algorithm>
#include <cmath>

double TRunningStats::StdDev() const {
    return N ? std::sqrt(M2 / static_cast<double>(N)) : 0.0;
}

TStripSummary::TStripSummary(uint64_t finestBlock, size_t maxEntries)
    : Block(std::max<uint64_t>(1, finestBlock)), MaxEntries(std::max<size_t>(16, maxEntries)) {
    Levels.resize(1);
}

void TStripSummary::Clear() {
    *this = TStripSummary(Block, MaxEntries);
}

size_t TStripSummary::Bytes() const {
    size_t b = sizeof *this;
    for (const TLevel& l : Levels)
        b += l.entries.capacity() * sizeof(TMinMax) + sizeof l;
    return b;
}

// Adds count samples summarised by m to level; a full entry goes on up.
void TStripSummary::Push(size_t level, const TMinMax& m, uint64_t count) {
    if (level >= Levels.size()) Levels.resize(level + 1);
    TLevel& l = Levels[level];
    l.partial.Add(m);
    l.partialCount += count;
    uint64_t block = Block;
    for (size_t i = 0; i < level; ++i)
        block *= FAN;
    if (l.partialCount < block) return;
    const TMinMax done = l.partial;
    l.entries.push_back(done);
    l.partial = {};
    l.partialCount = 0;
    Push(level + 1, done, block);
}

void TStripSummary::Add(const uint32_t* codes, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        TLevel& l0 = Levels[0];
        l0.partial.Add(codes[i]);
        ++Samples;
        if (++l0.partialCount == Block) {
            const TMinMax done = l0.partial;
            l0.entries.push_back(done);
            l0.partial = {};
            l0.partialCount = 0;
            Push(1, done, Block);
        }
        if (Levels[0].entries.size() > MaxEntries) {
            // Give up the finest level; what it still had in progress joins the next one.
            TLevel& next = Levels[1];
            next.partial.Add(Levels[0].partial);
            next.partialCount += Levels[0].partialCount;
            Levels.erase(Levels.begin());
            Block *= FAN;
        }
    }
}

// Min/max of the samples [first, last) from the coarsest entries that fit the span; the part
// not yet complete at that level comes from the finer levels, the newest samples from the
// finest level's partial entry.
TMinMax TStripSummary::Span(uint64_t first, uint64_t last) const {
    TMinMax m;
    if (first >= last) return m;
    // Entries no longer than a quarter of the span keep the column's edges within a few
    // entries of the truth.
    size_t level = 0;
    uint64_t block = Block;
    while (level + 1 < Levels.size() && block * FAN * 4 <= last - first) {
        ++level;
        block *= FAN;
    }
    uint64_t from = first;
    for (size_t i = level + 1; i-- > 0; block /= FAN) {
        const TLevel& l = Levels[i];
        const uint64_t covered = l.entries.size() * block;
        for (uint64_t e = from / block; e * block < std::min(last, covered); ++e)
            m.Add(l.entries[e]);
        if (last <= covered) return m;
        from = std::max(from, covered);
    }
    m.Add(Levels[0].partial);
    return m;
}

void TStripSummary::Query(uint64_t first, uint64_t last, int columns,
                          std::vector<TMinMax>& out) const {
    out.assign(static_cast<size_t>(std::max(columns, 0)), TMinMax{});
    last = std::min(last, Samples);
    if (columns <= 0 || first >= last) return;
    const double per = static_cast<double>(last - first) / columns;
    for (int c = 0; c < columns; ++c) {
        const uint64_t a = first + static_cast<uint64_t>(std::floor(per * c));
        uint64_t b = first + static_cast<uint64_t>(std::floor(per * (c + 1)));
        if (c == columns - 1) b = last;
        if (b > a) out[static_cast<size_t>(c)] = Span(a, b);
    }
}
