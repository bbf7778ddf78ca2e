// What the analysis window and the printed analysis page show of one block: the converter
// figures and the code histogram, computed once from a copy of the codes (and of the averaged
// spectrum in continuous measurement), and the texts of the figures table. No Qt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "figures.h"
#include "histogram.h"
#include "record.h"
#include "spectrum_average.h"

// Bars of the code histogram, on screen and in print alike.
inline constexpr int HISTOGRAM_MAX_BINS = 160;

// One block as the analysis sees it. The codes are copied, so the block may change later.
struct TAnalysisBlock {
    std::vector<uint32_t> codes; // empty: no block
    int window = 1;              // 0 rectangular, 1 Hanning, 2 Hamming, 3 flat-top
    double periodMs = 0.0;       // sample period
    double bandLowHz = 0.0;      // band of the band noise; both 0: every noise bin
    double bandHighHz = 0.0;
    // Continuous measurement with averaging: the average of the blocks' FigurePowerSpectrum,
    // S[k] in V^2 per bin (k < n/2), over averagedBlocks blocks (peak hold: the largest each
    // bin had). Empty: the spectral figures come from the codes as well.
    std::vector<double> averagedPower;
    int averagedBlocks = 0;
    bool peakHold = false;
    bool operator==(const TAnalysisBlock&) const = default;
};

// The held block of a record (none when valid is false or the block is empty). With avg, and
// the record's spectrum being avg's result (the block a continuous measurement averaged last,
// not one loaded or measured since), the block carries that averaged spectrum.
TAnalysisBlock AnalysisBlockOf(const TMeasureRecord& rec, bool valid,
                               const TSpectrumAverager* avg = nullptr);

struct TAnalysisResult {
    bool hasBlock = false;
    TFigures figures;
    // The largest line stands out of the noise floor: the tone figures apply.
    bool fundamental = false;
    TCodeHistogram histogram;
    double bandLowHz = 0.0, bandHighHz = 0.0; // the band used, -1 high: up to the last bin
    // Blocks the spectral figures are averaged over; 0: this block alone.
    int averagedBlocks = 0;
    bool peakHold = false;
};

// Figures, the fundamental check and the histogram of a block: the spectral figures from the
// averaged spectrum when the block has one, everything else from its codes.
TAnalysisResult ComputeAnalysis(const TAnalysisBlock& block);

// Whether the largest line of a spectrum, near bin, stands out of the noise: it is above
// the median of the amplitudes by the markers' margin.
bool LineStandsOut(const std::vector<double>& power, int n, double bin, int halfWidth);

// "スペクトル特性：平均 7 ブロック" ("…：ピーク保持 7 ブロック") when the spectral figures are
// over averaged blocks, else empty.
std::string AveragedBlocksText(const TAnalysisResult& r);

// One line of the figures table.
struct TFigureRow {
    std::string name;
    std::string value; // "—" where the figure does not apply
    std::string unit;
};

inline constexpr const char* NOT_APPLICABLE = "—";

std::vector<TFigureRow> FigureRows(const TAnalysisResult& r);

// A value in volts with 4 significant digits and the unit that keeps it between 1 and 1000
// (V, mV, µV, nV); suffix goes after the unit ("rms", "/√Hz").
TFigureRow VoltRow(const std::string& name, double volts, const std::string& suffix = "");

// A number with a fixed count of decimals; infinities as "∞" and "-∞".
std::string FigureNumber(double v, int decimals);

// A number with sig significant digits (no exponent).
std::string SignificantNumber(double v, int sig);

// Tick values of a linear axis from lo to hi: steps of 1, 2 or 5 times a power of ten, at
// most maxTicks steps between them, every tick inside [lo, hi]. Empty for an empty or reversed
// range.
std::vector<double> NiceTicks(double lo, double hi, int maxTicks);

// Volts of a code, in double.
double CodeVolts(double code);

// The texts under the histogram: samples, mean, sigma, group width, codes never seen.
std::vector<std::string> HistogramSummaryLines(const TCodeHistogram& h);
