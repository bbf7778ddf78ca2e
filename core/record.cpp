#include "record.h"

#include "tables.h"

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
    // Every index that passes lies on the dB scale, so nothing downstream meets a value the
    // scale and the grid loops cannot take.
    const bool bottomOk = s.index_dB_min >= DB_BOTTOM_FIRST && s.index_dB_min <= DB_SCALE_COUNT - 1;
    if (s.fAbsoGraph == 1)
        return bottomOk && s.index_dB_max >= 0 && s.index_dB_max <= DB_TOP_LAST &&
               s.index_dB_max < s.index_dB_min;
    return bottomOk && s.index_dB_max == DB_RELATIVE_TOP;
}

void SetBlockRate(TSignalData& sig, int32_t spsSel, uint8_t sinc3) {
    sig.spsSel = spsSel;
    sig.sinc3 = sinc3;
    sig.periodMs = SamplePeriodMs(spsSel, sinc3);
}

float CodeToVolt(uint32_t code) {
    return static_cast<float>((static_cast<double>(code) - CODE_OF_ZERO_VOLT) * VOLT_PER_CODE);
}

bool IsValidDataCount(long long n) {
    return n >= MIN_DATA_COUNT && n <= MAX_DATA_COUNT && (n & (n - 1)) == 0;
}
