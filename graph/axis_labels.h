// Texts and positions of the axis labels, on screen and in print, without Qt. The label
// widgets only carry what these functions compute.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "graph_scales.h"
#include "record.h"

// Order of the waveform's vertical-axis labels in the arrays below.
enum TVoltLabel { VL_MAX = 0, VL_ZERO = 1, VL_MIN = 2, VL_UNIT = 3, VOLT_LABEL_COUNT = 4 };
enum TTimeLabel { TL_START = 0, TL_END = 1, TIME_LABEL_COUNT = 2 };

struct TLabelSize {
    int w = 0, h = 0;
};
struct TLabelPlace {
    int left = 0, top = 0;
    bool visible = false;
};
// A paint box on the main window: left, top, width, height.
struct TBoxRect {
    int L = 0, T = 0, W = 0, H = 0;
};
// Where a graph lies on a printer canvas.
struct TPrintRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};
// Top-left corner of a printed text; write = false leaves it out.
struct TPrintPos {
    int x = 0, y = 0;
    bool write = false;
};

using TFreqTexts = std::array<std::string, FREQ_LABEL_COUNT>;

// Texts of the frequency labels from label 0 on; returns how many labels get a text (15 on a
// logarithmic axis; on a linear one the labels of LinLabelCount, 0 for an end index outside
// 0..14).
int FreqLabelTexts(const TFFTSetting& s, TFreqTexts& out);
// Number of labels of the linear axis 0 .. FreqScaleHz(indexFreqE): 0, then multiples of the
// largest 1, 2 or 5 times a power of ten at most a quarter of the end, up to the end (5 or 6
// labels, as FreqAxisTicks writes them); 0 outside 0..14.
int LinLabelCount(int32_t indexFreqE);
// dB label i: 20 - 10 i, the axis ends with the unit "dBV" or "dB".
std::string dBLabelText(int i, const TFFTSetting& s);
// A span of t milliseconds: "500us", "102.40ms", "6.554s".
std::string FormatTimeSpan(float t);

struct TVoltTexts {
    std::array<std::string, VOLT_LABEL_COUNT> text;
};
TVoltTexts VoltLabelTexts(double top, double bottom);
TVoltTexts CodeLabelTexts(uint32_t codeMax, uint32_t codeMin);
// End of the time axis: the longer of the blocks holding data, else the empty graph's span.
float TimeAxisSpan(const TSignalData& sig, const TSignalData& ref, const TADSetting& ad,
                   const TFFTSetting& s);

// dB label thinning: every stride-th label from the top one; 0 means the two ends only.
int dBLabelStride(double hd, float pitch);
bool dBLabelShown(int j, int D, int stride);

// Left edge of both graph boxes on the window: 76 pixels, more only when a label left of the
// boxes is wider than that margin.
constexpr int GRAPH_BOX_LEFT = 76;
int GraphBoxLeft(int widestLeftLabel);

// Screen placement. The Place* functions that return false leave every label as it was.
// Labels left of a box end 2 pixels before it, and never start left of the window.
bool PlaceFreqLabelsCalc(const TFFTSetting& s, const TBoxRect& box,
                         const std::array<TLabelSize, FREQ_LABEL_COUNT>& size,
                         std::array<TLabelPlace, FREQ_LABEL_COUNT>& out);
bool PlacedBLabelsCalc(const TFFTSetting& s, const TBoxRect& box,
                       const std::array<TLabelSize, DB_LABEL_COUNT>& size,
                       std::array<TLabelPlace, DB_LABEL_COUNT>& out);
void PlaceVoltLabelsCalc(const TBoxRect& box, const std::array<TLabelSize, VOLT_LABEL_COUNT>& size,
                         std::array<TLabelPlace, VOLT_LABEL_COUNT>& out);
void PlaceTimeLabelsCalc(const TBoxRect& box, const std::array<TLabelSize, TIME_LABEL_COUNT>& size,
                         std::array<TLabelPlace, TIME_LABEL_COUNT>& out);

// Printed placement with s printer pixels per screen pixel; sizes are the screen labels'.
bool PrintFreqLabelPositions(const TFFTSetting& s, const TPrintRect& r, float scale,
                             const std::array<TLabelSize, FREQ_LABEL_COUNT>& size,
                             std::array<TPrintPos, FREQ_LABEL_COUNT>& out);
bool PrintdBLabelPositions(const TFFTSetting& s, const TPrintRect& r, float scale,
                           const std::array<TLabelSize, DB_LABEL_COUNT>& size,
                           std::array<TPrintPos, DB_LABEL_COUNT>& out);
void PrintVoltLabelPositions(const TPrintRect& r, float scale,
                             const std::array<TLabelSize, VOLT_LABEL_COUNT>& size,
                             std::array<TPrintPos, VOLT_LABEL_COUNT>& out);
void PrintTimeLabelPositions(const TPrintRect& r, float scale,
                             const std::array<TLabelSize, TIME_LABEL_COUNT>& size,
                             std::array<TPrintPos, TIME_LABEL_COUNT>& out);
