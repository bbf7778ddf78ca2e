// The code histogram of a block: counts per code, or per group of codes when the block spans
// more codes than the view has bins, with the Gaussian of the same mean and deviation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct TCodeHistogram {
    uint32_t firstCode = 0;   // lower edge of bin 0
    uint64_t codesPerBin = 1; // a power of two
    std::vector<uint32_t> counts;
    uint64_t samples = 0;
    double mean = 0.0;         // codes
    double sigma = 0.0;        // population standard deviation, codes
    uint64_t missingCodes = 0; // codes between the smallest and the largest that never occurred

    // Lower edge of bin i and the count a Gaussian of mean and sigma expects there.
    double BinStart(size_t i) const {
        return static_cast<double>(firstCode) +
               static_cast<double>(i) * static_cast<double>(codesPerBin);
    }
    double GaussianCount(size_t i) const;
};

// maxBins >= 1. False (histogram untouched) without codes.
bool BuildCodeHistogram(const uint32_t* codes, int n, int maxBins, TCodeHistogram& out);
