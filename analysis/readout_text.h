// The texts of the readouts and status panels, without any widget: the window and the
// status bar only place them.
#pragma once

#include <cstdint>
#include <string>

#include "record.h"

// A number and its unit, shown in an edit and its label.
struct TValueText {
    std::string number;
    std::string unit;
    bool operator==(const TValueText&) const = default;
};

// RMS readout: strict thresholds 0.1, 0.001, 1e-6 on the float value; "0.000" and
// "Vrms" / "mVrms" / "uVrms" / "nVrms".
TValueText RmsText(float v);
// Peak volt readout: thresholds 1, 0.001, 0.000001 (at least); same patterns and units.
TValueText PeakVoltText(float v);
// Peak dB readout ("0.00") and its label ("dBV" absolute, "dB" relative).
std::string PeakdBText(float dB);
std::string PeakdBUnit(uint8_t fAbsoGraph);
// The same for a spectrum scale (TExtSetting::spectrumScale): the noise density (2) reads
// "V/√Hz" / "mV/√Hz" / "uV/√Hz" / "nV/√Hz" and "dBV/√Hz" (absolute); the others as above.
TValueText PeakVoltText(float v, int32_t spectrumScale);
std::string PeakdBUnit(uint8_t fAbsoGraph, int32_t spectrumScale);
// Unit of the spectrum bins: "Vrms", or "V/√Hz" for the density; in dB (fAbsoGraph 1)
// "dBV" / "dBV/√Hz", relative "dB".
std::string SpectrumUnitText(int32_t spectrumScale);
std::string SpectrumdBUnitText(uint8_t fAbsoGraph, int32_t spectrumScale);
// A frequency on screen: "0.000", with more decimals below 0.1 Hz so that three significant
// digits show (slow rates give a resolution of 1.9e-5 Hz, which must not read as 0).
std::string HzText(double hz);
// Frequency of a bin (HzText).
std::string PeakHzText(int bin, float deltaF);

// Resolution, display mode and window text of status panel 2; empty without valid data.
std::string DeltaFStatusText(bool dataValid, float periodMs, int32_t adDnum,
                             const TFFTSetting& fft);

// Level statistics in codes: max, min, peak-to-peak and the standard deviation.
std::string CodeStatsText(uint32_t maxCode, uint32_t minCode, double stdDev);
// A value in microvolts with the unit chosen by the size of its integer part.
std::string VoltUnitText(double microVolt);
// Level statistics in microvolts.
std::string VoltStatsText(double maxUv, double minUv, double stdUv);
// The statistics text of panel 2 for codes or volts (fSig_Volt = 1); the deviation is cut
// to whole codes before the volts conversion.
std::string LevelStatsText(uint8_t fSig_Volt, uint32_t maxCode, uint32_t minCode,
                           double stdDevCodes);
