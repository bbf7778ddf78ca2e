#include "tables.h"

#include <algorithm>
#include <array>
#include <climits>

namespace {

struct RateRow {
    const char* textSinc3;
    float periodSinc3;
    const char* textSinc5;
    float periodSinc5;
    int perRead;
};

// Periods are 1000 / rate, rounded to 32-bit floats.
constexpr std::array<RateRow, RATE_COUNT> kRates{{
    {"5sps", 200.0f, "5sps", 200.0f, 1},
    {"10sps", 100.0f, "10sps", 100.0f, 1},
    {"16.67sps", static_cast<float>(1000.0 / 16.67), "16.66sps", static_cast<float>(1000.0 / 16.66),
     1},
    {"20sps", 50.0f, "20sps", 50.0f, 1},
    {"50sps", 20.0f, "49.96sps", static_cast<float>(1000.0 / 49.96), 1},
    {"60sps", static_cast<float>(1000.0 / 60.0), "59.92sps", static_cast<float>(1000.0 / 59.92), 1},
    {"100sps", 10.0f, "100sps", 10.0f, 1},
    {"200sps", 5.0f, "200sps", 5.0f, 2},
    {"400sps", 2.5f, "397.5sps", static_cast<float>(1000.0 / 397.5), 4},
    {"500sps", 2.0f, "500sps", 2.0f, 4},
    {"1ksps", 1.0f, "1ksps", 1.0f, 8},
    {"2.5ksps", 0.4f, "2.5ksps", 0.4f, 16},
    {"5ksps", 0.2f, "5ksps", 0.2f, 32},
    {"10ksps", 0.1f, "10ksps", 0.1f, 64},
}};

constexpr std::array<double, FREQ_SCALE_COUNT> kFreqScale{0.1, 0.2, 0.5, 1,   2,    5,    10,  20,
                                                          50,  100, 200, 500, 1000, 2500, 5000};

bool ValidRate(int32_t i) {
    return i >= 0 && i < RATE_COUNT;
}

} // namespace

std::string RateText(int32_t spsSel, uint8_t sinc3) {
    if (!ValidRate(spsSel)) return "0";
    const RateRow& r = kRates[static_cast<size_t>(spsSel)];
    return sinc3 == 1 ? r.textSinc3 : r.textSinc5;
}

float SamplePeriodMs(int32_t spsSel, uint8_t sinc3) {
    if (!ValidRate(spsSel)) return 0.0f;
    const RateRow& r = kRates[static_cast<size_t>(spsSel)];
    return sinc3 == 1 ? r.periodSinc3 : r.periodSinc5;
}

int SamplesPerRead(int32_t spsSel) {
    return ValidRate(spsSel) ? kRates[static_cast<size_t>(spsSel)].perRead : 1;
}

int32_t DataCountFromSel(int32_t sel) {
    if (sel < 0 || sel >= DATA_COUNT_CHOICES) return 0;
    return 1024 << sel;
}

int32_t DataCountSelFor(int32_t n) {
    for (int32_t sel = 0; sel < DATA_COUNT_CHOICES; ++sel)
        if (DataCountFromSel(sel) == n) return sel;
    return -1;
}

double FreqScaleHz(int32_t index) {
    if (index < 0 || index >= FREQ_SCALE_COUNT) return 0.0;
    return kFreqScale[static_cast<size_t>(index)];
}

int dBScaleValue(int32_t index) {
    const long long v = 20LL - 10LL * index;
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}
