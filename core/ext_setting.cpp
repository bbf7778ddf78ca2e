#include "ext_setting.h"

#include <cmath>

const char* SpectrumScaleName(int32_t spectrumScale) {
    switch (spectrumScale) {
    case 1:
        return "トーン振幅";
    case 2:
        return "雑音密度";
    default:
        return "雑音実効値";
    }
}

bool CheckExtSetting(const TExtSetting& s) {
    if (s.spectrumScale < 0 || s.spectrumScale > EXT_SCALE_MAX) return false;
    if (s.freqAuto > 1 || s.continuous > 1) return false;
    if (s.averageMode < 0 || s.averageMode > EXT_AVERAGE_MODE_MAX) return false;
    if (s.averageCount < EXT_AVERAGE_COUNT_MIN || s.averageCount > EXT_AVERAGE_COUNT_MAX)
        return false;
    if (s.bandLowHz == 0.0 && s.bandHighHz == 0.0) return true;
    return std::isfinite(s.bandLowHz) && std::isfinite(s.bandHighHz) && s.bandLowHz >= 0.0 &&
           s.bandLowHz < s.bandHighHz && s.bandHighHz <= EXT_BAND_MAX_HZ;
}
