#include "histogram.h"

#include <algorithm>
#include <cmath>

double TCodeHistogram::GaussianCount(size_t i) const {
    if (samples == 0) return 0.0;
    const double lo = BinStart(i) - 0.5, hi = lo + static_cast<double>(codesPerBin);
    if (sigma <= 0.0) return (mean >= lo && mean < hi) ? static_cast<double>(samples) : 0.0;
    // Probability of the bin's codes under the normal law, from the error function so that
    // a narrow distribution over wide bins still adds up to the sample count.
    const double k = 1.0 / (sigma * std::sqrt(2.0));
    return 0.5 * static_cast<double>(samples) *
           (std::erf((hi - mean) * k) - std::erf((lo - mean) * k));
}

bool BuildCodeHistogram(const uint32_t* codes, int n, int maxBins, TCodeHistogram& out) {
    if (!codes || n < 1 || maxBins < 1) return false;
    TCodeHistogram h;
    h.samples = static_cast<uint64_t>(n);
    std::vector<uint32_t> sorted(codes, codes + n);
    std::sort(sorted.begin(), sorted.end());
    const uint32_t lo = sorted.front(), hi = sorted.back();

    uint64_t sum = 0;
    for (uint32_t c : sorted)
        sum += c;
    h.mean = static_cast<double>(sum) / n;
    double ss = 0.0;
    for (uint32_t c : sorted)
        ss += (c - h.mean) * (c - h.mean);
    h.sigma = std::sqrt(ss / n);

    const uint64_t distinct =
        static_cast<uint64_t>(std::unique(sorted.begin(), sorted.end()) - sorted.begin());
    const uint64_t span = static_cast<uint64_t>(hi) - lo + 1;
    h.missingCodes = span - distinct;

    // Bins start on a multiple of their width, so that groups keep their codes from block to
    // block.
    uint64_t bins = 0;
    for (;; h.codesPerBin *= 2) {
        h.firstCode = static_cast<uint32_t>(lo - lo % h.codesPerBin);
        bins = (static_cast<uint64_t>(hi) - h.firstCode) / h.codesPerBin + 1;
        if (bins <= static_cast<uint64_t>(maxBins)) break;
    }
    h.counts.assign(static_cast<size_t>(bins), 0);
    for (int i = 0; i < n; ++i)
        ++h.counts[static_cast<size_t>((codes[i] - h.firstCode) / h.codesPerBin)];
    out = std::move(h);
    return true;
}
