#include "record.h"

TMeasureRecord::TMeasureRecord() {
    SigData.pCode = CodeBuf.data();
    SigData.pVolt = VoltBuf.data();
    SigData.pSpectrum = Spectrum.data();
    SigData.ad_dnum = 0;
    RefData.pCode = RefCodeBuf.data();
    RefData.pVolt = RefVoltBuf.data();
    RefData.pSpectrum = RefSpectrum.data();
    RefData.ad_dnum = 0;
}

std::unique_ptr<TMeasureRecord> TMeasureRecord::Create() {
    return std::unique_ptr<TMeasureRecord>(new TMeasureRecord());
}

void SetDefaultADSetting(TADSetting& s) {
    s = TADSetting{};
}

void SetDefaultFFTSetting(TFFTSetting& fft, TFileSetting& file) {
    fft = TFFTSetting{};
    file = TFileSetting{};
}

bool CheckdBRange(const TFFTSetting& s) {
    if (s.fAbsoGraph == 1)
        return s.index_dB_max < s.index_dB_min && s.index_dB_max <= 16 && s.index_dB_min > 2 &&
               s.index_dB_min <= 20;
    return s.index_dB_max == 2 && s.index_dB_min > 2 && s.index_dB_min <= 20;
}

float CodeToVolt(uint32_t code) {
    constexpr double factor = 2.5 / 2147483647.0;
    return static_cast<float>((static_cast<double>(code) - 2147483648.0) * factor);
}

bool IsValidDataCount(long long n) {
    return n >= MIN_DATA_COUNT && n <= MAX_DATA_COUNT && (n & (n - 1)) == 0;
}
