// Scale, tick, grid and range arithmetic of the two graphs, without Qt, so that every mapping
// can be checked without a window. Coordinates are bitmap pixels; every conversion of a
// computed position to whole pixels truncates toward zero.
#pragma once

#include <array>
#include <cstdint>

#include "record.h"
#include "tables.h"

constexpr int FREQ_LABEL_COUNT = 15;
constexpr int DB_LABEL_COUNT = 22;

// The frequency scale as 32-bit floats (0.1 .. 5000 Hz); 0 for an index outside 0..14.
float FreqScaleValue(int32_t index);

// Truncation toward zero into a range that every drawing call can take; NaN gives 0. A value
// within a rounding error (1e-9 relative) of a whole number counts as that number.
int TruncPixel(double v);

// Logarithmic frequency axis between fS and fE. The traces use the unrounded logarithms,
// grids and labels the 32-bit rounded ones. k is 1 / (b - a) as a 32-bit float.
struct TLogAxis {
    double a = 0, b = 0;
    float k = 0;
    bool valid = false; // false for fS = fE or a frequency that is not positive
};
TLogAxis TraceLogAxis(float fS, float fE);
TLogAxis GridLogAxis(float fS, float fE);
// x = trunc(W * (log10(f) - a) * k).
int LogX(int W, double f, const TLogAxis& ax);

// Linear frequency axis from 0 to fE: x = trunc(float(W * f) / fE); 0 when fE <= 0.
int LinX(int W, double f, float fE);

// dB axis of the settings: D divisions of 10 dB, floor F, top T. Any pair of indices gives a
// defined axis (D is formed in 64 bits); the settings readers keep them in range.
struct TdBAxis {
    int64_t D = 0;
    float F = 0, T = 0;
    bool valid = false; // D >= 1
};
TdBAxis MakedBAxis(const TFFTSetting& s);
// y = trunc(float(H * (T - d)) / (10 * D)); 0 on an invalid axis.
int dBY(int H, float d, const TdBAxis& ax);

// Waveform vertical mapping: y = trunc(H * (1 - (v - base) / span)); the centre line H / 2
// for a span that is zero (a constant block) or not finite.
int WaveY(int H, double v, double base, double span);

// Next grid frequency after f on a logarithmic axis: 1, 1.5, 2, 3, ... 9 times a power of ten.
double NextLogTick(double f);
// Step of the vertical grid of a linear axis ending at fE: 2000 from 16 kHz, 1000, 500, 200,
// 100, 50, 20, 10, 5, 2 from 20 Hz, 1 from 10 Hz; below 10 Hz the same steps a decade or more
// lower (0.5 for 5 Hz, 0.01 for 0.1 Hz).
float LinFreqStep(float fE);
// Horizontal divisions of the logarithmic graph's dB grid for D divisions of 10 dB; 0 (no
// lines) for D < 1.
int64_t LogGriddBDivisions(int64_t D);

// Positions of one set of grid lines; major marks the lines in the major-grid colour.
struct TGridLines {
    static constexpr int CAPACITY = 96;
    std::array<int, CAPACITY> pos{};
    std::array<bool, CAPACITY> major{};
    int count = 0;
    void Add(int p, bool m) {
        if (count < CAPACITY) {
            pos[count] = p;
            major[count] = m;
            ++count;
        }
    }
};
// Horizontal dB lines: y = (i * H) / n for i = 1 .. n - 1; none for n < 2, and none when more
// lines than a grid can hold are asked for (a grid that dense covers the graph and says
// nothing; the settings never ask for more than 20).
TGridLines dBGridLines(int H, int64_t n);
// Vertical lines of a linear axis at multiples of the step below fE.
TGridLines LinFreqGridLines(int W, float fE);
// Vertical lines of a logarithmic axis at the ticks strictly between fS and fE; major at the
// powers of ten. None for a degenerate axis.
TGridLines LogFreqGridLines(int W, float fS, float fE);
// Horizontal waveform lines for count divisions: the centre line is not included; 7 lines
// above and 7 below for count 5, the count-th on each side major. None for count < 2.
TGridLines WaveVoltGridLines(int H, int count);
// The 19 vertical time lines cutting the span into 20 parts; none for a span that is not
// positive.
TGridLines WaveTimeGridLines(int W, float span);

// Volts as the waveform shows them, in double from the codes: relative to 0 V, or with the DC
// cut relative to the block's mean code (WaveDcCode). Never through the float volts array:
// near full scale a float keeps 119 nV steps, coarser than a quiet converter's noise.
double WaveDcCode(const TSignalData& d, bool dcCut);
inline double WaveVolt(uint32_t code, double dcCode) {
    return (static_cast<double>(code) - dcCode) * VOLT_PER_CODE;
}

// Vertical range of the waveform graph.
struct TVoltRange {
    double top = 0.001f, bottom = -0.001f;
};
struct TCodeRange {
    uint32_t max = 0x800000C8u, min = 0x7FFFFF38u;
};
TVoltRange VoltRangeOne(const TSignalData& d, bool dcCut);
// Empty blocks are left out of the shared range.
TVoltRange VoltRangeBoth(const TSignalData& sig, const TSignalData& ref, bool dcCut);
TCodeRange CodeRangeOne(const TSignalData& d);
TCodeRange CodeRangeBoth(const TSignalData& sig, const TSignalData& ref);

// Number of samples of a block that may be read (0 for a negative count).
int BlockCount(const TSignalData& d);
// Number of spectrum bins of a block (ad_dnum / 2, within the spectrum arrays).
int BlockBinCount(const TSignalData& d);
// Time span of a block in milliseconds (32-bit float).
float BlockSpanMs(const TSignalData& d);

// Bins j .. k drawn on a logarithmic axis (j one below the first bin at or above fS, so that
// the trace enters from the left edge). False when nothing can be drawn.
bool LogBinRange(float deltaF, int binCount, float fS, float fE, int& j, int& k);
// Last bin drawn on a linear axis: trunc(fE / deltaF), at most binCount - 1; -1 when none.
int LinLastBin(float deltaF, int binCount, float fE);

// Bin under a horizontal position of the spectrum box (unclamped); -1 when the axis or the
// resolution cannot be inverted.
int LogXToBin(int width, int x, float fS, float fE, float deltaF);
int LinXToBin(int width, int x, float fE, float deltaF);
