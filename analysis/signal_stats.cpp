#include "signal_stats.h"

#include <cmath>

#include "tables.h"

bool CheckLevelAndConvert(TSignalData& data) {
    const int n = data.ad_dnum;
    for (int i = 0; i < n; i++) {
        const uint32_t c = data.pCode[i];
        if (c == CODE_LOW_LIMIT || c == CODE_HIGH_LIMIT) return false;
    }
    ConvertCodes(data);
    return true;
}

void ConvertCodes(TSignalData& data) {
    const int n = data.ad_dnum;
    float vmax = -10.0f;
    float vmin = 10.0f;
    float sum = 0.0f;
    for (int i = 0; i < n; i++) {
        const float v = CodeToVolt(data.pCode[i]);
        data.pVolt[i] = v;
        if (v > vmax) vmax = v;
        if (v < vmin) vmin = v;
        sum += v;
    }
    data.VoltMax = vmax;
    data.VoltMin = vmin;
    data.VoltAve = n > 0 ? sum / static_cast<float>(n) : 0.0f;
    const double span = static_cast<double>(data.periodMs) * n;
    data.deltaF = span > 0 ? static_cast<float>(1000.0 / span) : 0.0f;
}

uint32_t GetCodeMax(const TSignalData& data) {
    uint32_t m = 0;
    for (int i = 0; i < data.ad_dnum; i++)
        if (data.pCode[i] > m) m = data.pCode[i];
    return m;
}

uint32_t GetCodeMin(const TSignalData& data) {
    uint32_t m = 0xFFFFFFFFu;
    for (int i = 0; i < data.ad_dnum; i++)
        if (data.pCode[i] < m) m = data.pCode[i];
    return m;
}

double CalcCodeStdDev(const TSignalData& data) {
    const int n = data.ad_dnum;
    if (n <= 0) return 0.0;
    double sum = 0.0;
    for (int i = 0; i < n; i++)
        sum += data.pCode[i];
    const double mean = sum / n;
    double sq = 0.0;
    for (int i = 0; i < n; i++) {
        const double d = data.pCode[i] - mean;
        sq += d * d;
    }
    return std::sqrt(sq / n);
}

float CalcRms(const float* spectrum, int n) {
    float sum = 0.0f;
    for (int k = 1; k < n / 2; k++)
        sum += spectrum[k] * spectrum[k];
    return std::sqrt(sum);
}

int FindPeakBin(const float* spectrum, int n) {
    const int last = LastBin(n);
    if (last < 1) return -1;
    int bin = 1;
    float best = 0.0f;
    for (int k = 1; k <= last; k++) {
        if (spectrum[k] > best) {
            best = spectrum[k];
            bin = k;
        }
    }
    return bin;
}

int PeakForwardBin(int cursor, int n) {
    const int c = ClampBin(cursor, n);
    return c >= 1 && c < LastBin(n) ? c + 1 : c;
}

int PeakBackBin(int cursor, int n) {
    const int c = ClampBin(cursor, n);
    return c > 1 ? c - 1 : c;
}

int ClampBin(int bin, int n) {
    const int last = LastBin(n);
    if (last < 1) return -1;
    if (bin < 1) return 1;
    return bin > last ? last : bin;
}

float SpectrumMax(const float* spectrum, int binCount) {
    float m = 0.0f;
    for (int i = 1; i < binCount; i++)
        if (spectrum[i] > m) m = spectrum[i];
    return m;
}

void ToDecibels(const float* spectrum, int binCount, float* target, float floordB, bool absolute,
                float specMax) {
    if (binCount <= 0) return;
    const float t = static_cast<float>(std::pow(10.0, floordB * 0.05));
    target[0] = floordB;
    for (int i = 1; i < binCount; i++) {
        const float v = spectrum[i];
        float r = v;
        bool ok = v > 0;
        if (!absolute) {
            ok = ok && specMax > 0;
            if (ok) r = v / specMax;
        }
        target[i] = ok && r > t ? static_cast<float>(20.0 * std::log10(r)) : floordB;
    }
}

// The microvolt readouts count 2^31 codes to the full scale (the volts use 2^31 - 1).
constexpr double kMicroVoltPerCode = FULL_SCALE_VOLT * 1e6 / CODE_OF_ZERO_VOLT;

double CodeToMicroVolt(uint32_t code) {
    constexpr double perCode = kMicroVoltPerCode;
    const int64_t d = static_cast<int64_t>(code) - static_cast<int64_t>(CODE_OF_ZERO_VOLT);
    return static_cast<double>(d) * perCode;
}

double CodeCountToMicroVolt(uint32_t n) {
    return static_cast<double>(n) * kMicroVoltPerCode;
}
