// Range rules of the settings block of our own (TExtSetting, section "X:"), shared by the file
// readers, the dialogs and kalvex-cli.
#pragma once

#include "record.h"

// Limits of TExtSetting.
inline constexpr int32_t EXT_SCALE_MAX = 2;         // spectrumScale 0..2
inline constexpr int32_t EXT_AVERAGE_MODE_MAX = 3;  // averageMode 0..3
inline constexpr int32_t EXT_AVERAGE_COUNT_MIN = 1; // averageCount 1..1024
inline constexpr int32_t EXT_AVERAGE_COUNT_MAX = 1024;
inline constexpr double EXT_BAND_MAX_HZ = 5000.0; // half the highest rate

// Every field in range: spectrumScale 0..2, freqAuto and continuous 0 or 1, averageMode 0..3,
// averageCount 1..1024, and the band either both 0 (every noise bin) or finite with
// 0 <= bandLowHz < bandHighHz <= 5000.
bool CheckExtSetting(const TExtSetting& s);

// Name of a spectrum scale as the settings dialog and the print show it: "雑音実効値" (0 and
// anything unknown), "トーン振幅" (1), "雑音密度" (2).
const char* SpectrumScaleName(int32_t spectrumScale);
