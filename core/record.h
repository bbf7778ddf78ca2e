// The measurement record: every setting and every sample array of the program in one place.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

constexpr int DATA_BUF_LEN = 270000; // capacity of every sample array
constexpr int SPEC_BUF_LEN = 135000; // capacity of every spectrum array
constexpr int FFT_WORK_INDEX_LEN = 1000;

constexpr int MIN_DATA_COUNT = 1024;
constexpr int MAX_DATA_COUNT = 262144;

// A/D unit settings (section "A:").
struct TADSetting {
    int32_t spsSel = 13; // sampling-rate index 0..13
    uint8_t sinc3 = 1;   // 1 = Sinc3, 0 = Sinc5+Sinc1
    int32_t ch_sel = 0;  // 0 = CH0, 1 = CH1
    bool operator==(const TADSetting&) const = default;
};

// Auto-save switch, current data file and start time (section "F:").
struct TFileSetting {
    uint8_t fSaveDataFile = 0;
    std::string DataFileName;
    std::string StartDateTime;
    bool operator==(const TFileSetting&) const = default;
};

// Measurement and display settings (section "G:"). Always copied as a whole.
struct TFFTSetting {
    uint8_t fWaveGraph = 1;
    uint8_t fSig_Volt = 0;
    uint8_t fWinFuncAdjust = 1;
    uint8_t fDCCut_FFT = 1;
    uint8_t fDCCut_SigGraph = 1;
    uint8_t fLogGraph = 1;
    uint8_t fAbsoGraph = 1;
    int32_t index_FreqS = 0;
    int32_t index_FreqE = 14;
    int32_t index_dB_max = 2;
    int32_t index_dB_min = 17;
    int32_t whichWindowFunc = 1; // 0 rectangular, 1 Hanning, 2 Hamming, 3 flat-top
    int32_t PenColorGraph = 255;
    int32_t PenColorMainAxis = 8421504;
    int32_t PenColorSubAxis = 12632256;
    int32_t PenColorRefGraph = 8421504;
    int32_t DataCountSel = 6;
    int32_t DataCountMax = 65536;
    bool operator==(const TFFTSetting&) const = default;
};

// Settings of our own beyond the original three sections: section "X:" (ended by "XEND:"),
// written after "GEND:" in settings files and after "END:" in data files, where readers of
// the original format have stopped. A file without it keeps the caller's values.
struct TExtSetting {
    // Spectrum amplitude scaling: 0 as "G:" says (fWinFuncAdjust: the window's RMS
    // correction or none), 1 tone amplitude (coherent gain: an on-bin tone reads its RMS with
    // every window), 2 noise density in V/sqrt(Hz) (equivalent noise bandwidth).
    int32_t spectrumScale = 0;
    uint8_t freqAuto = 0;   // frequency axis from delta f (a decade step below) to half the rate
    uint8_t continuous = 0; // blocks back to back until stopped
    // Spectrum averaging over continuous blocks: 0 none, 1 power mean of the last
    // averageCount, 2 exponential over averageCount, 3 peak hold.
    int32_t averageMode = 0;
    int32_t averageCount = 16; // 1..1024
    double bandLowHz = 0.0;    // band of the band noise figure; both 0: every noise bin
    double bandHighHz = 0.0;
    bool operator==(const TExtSetting&) const = default;
};

// One measured or loaded block. The pointers lead into the record's arrays (or a caller's
// scratch arrays of at least DATA_BUF_LEN / SPEC_BUF_LEN entries).
struct TSignalData {
    // What the block was measured with: rate index, filter and their sample period in ms
    // (set together by SetBlockRate).
    int32_t spsSel = 13;
    uint8_t sinc3 = 1;
    float periodMs = 0.1f;
    int32_t ad_dnum = 0; // number of valid samples; 0 = no data
    uint32_t* pCode = nullptr;
    float* pVolt = nullptr;
    float VoltMax = 0.0f;
    float VoltMin = 0.0f;
    float VoltAve = 0.0f;
    float deltaF = 0.0f; // Hz per bin
    float* pSpectrum = nullptr;
};

// Sets the block's rate index, filter and the sample period they give.
void SetBlockRate(TSignalData& sig, int32_t spsSel, uint8_t sinc3);

// About 8.6 MB; create it with TMeasureRecord::Create() so that it never moves.
struct TMeasureRecord {
    std::array<uint32_t, DATA_BUF_LEN> CodeBuf{};
    std::array<float, DATA_BUF_LEN> VoltBuf{};
    std::array<uint32_t, DATA_BUF_LEN> RefCodeBuf{};
    std::array<float, DATA_BUF_LEN> RefVoltBuf{};
    std::array<int32_t, FFT_WORK_INDEX_LEN> FFTWorkIndex{};
    std::array<float, DATA_BUF_LEN> FFTWorkTable{};
    std::array<float, DATA_BUF_LEN> FFTInput{};
    std::array<float, DATA_BUF_LEN> FFTData{};
    std::array<float, SPEC_BUF_LEN> Spectrum{};
    std::array<float, SPEC_BUF_LEN> RefSpectrum{};
    uint8_t fDialogCancel = 0;
    TADSetting ADSetting;
    TADSetting RefADSetting;
    TFileSetting FileSetting;
    TFFTSetting FFTSetting;
    TExtSetting ExtSetting;
    TSignalData SigData;
    TSignalData RefData;

    // Allocates a record with the data-block pointers set and both counts 0.
    static std::unique_ptr<TMeasureRecord> Create();

    TMeasureRecord(const TMeasureRecord&) = delete;
    TMeasureRecord& operator=(const TMeasureRecord&) = delete;

private:
    TMeasureRecord();
};

// Defaults.
void SetDefaultADSetting(TADSetting& s);
// The defaults of the FFT settings dialog's default button: TFFTSetting and TFileSetting.
void SetDefaultFFTSetting(TFFTSetting& fft, TFileSetting& file);

// The dB range is consistent (the FFT settings dialog's test, also applied to loaded files):
// 3 <= index_dB_min <= 20 and, with fAbsoGraph 1, 0 <= index_dB_max <= 16 and
// index_dB_max < index_dB_min; with any other fAbsoGraph, index_dB_max == 2.
bool CheckdBRange(const TFFTSetting& s);

// Raw offset-binary code to volts: (c - 2^31) * 2.5 / (2^31 - 1), in double, stored as float.
float CodeToVolt(uint32_t code);
constexpr uint32_t CODE_LOW_LIMIT = 0x00000000u;  // input below range
constexpr uint32_t CODE_HIGH_LIMIT = 0xFFFFFFFFu; // input above range

// A sample count the program can hold and transform: a power of two in 1024..262144.
bool IsValidDataCount(long long n);
