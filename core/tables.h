// Lookup tables of the settings indices: sampling rate, sample count, frequency and dB scales.
#pragma once

#include <cstdint>
#include <string>

// The unit: its model name, its input range (+-FULL_SCALE_VOLT), its code of 0 V and the volts
// of one code step.
inline constexpr const char* UNIT_MODEL_NAME = "ZR4410QM";
constexpr double FULL_SCALE_VOLT = 2.5;
constexpr double CODE_OF_ZERO_VOLT = 2147483648.0;
constexpr double VOLT_PER_CODE = FULL_SCALE_VOLT / 2147483647.0;
// The largest sample count the start command carries (five hexadecimal digits).
constexpr int32_t MAX_START_COUNT = 0xFFFFF;
constexpr int UNIT_CHANNELS = 2; // CH0, CH1

constexpr int RATE_COUNT = 14;        // spsSel 0..13
constexpr int DATA_COUNT_CHOICES = 9; // DataCountSel 0..8
constexpr int FREQ_SCALE_COUNT = 15;  // index_FreqS / index_FreqE 0..14
constexpr int DB_SCALE_COUNT = 21;    // index_dB_max / index_dB_min 0..20
constexpr int DB_TOP_LAST = 16;       // highest index_dB_max the settings allow
constexpr int DB_BOTTOM_FIRST = 3;    // lowest index_dB_min the settings allow
constexpr int DB_RELATIVE_TOP = 2;    // index_dB_max (0 dB) in relative dB mode

// Rate text of the table ("10ksps", "16.66sps", ...); an index outside 0..13 gives "0".
std::string RateText(int32_t spsSel, uint8_t sinc3);
// Conversion period in milliseconds as a 32-bit float; 0 for an index outside 0..13.
float SamplePeriodMs(int32_t spsSel, uint8_t sinc3);
// Samples one acquisition step asks the unit for (1..64); 1 for an index outside 0..13.
int SamplesPerRead(int32_t spsSel);

// 1024 * 2^sel for sel 0..8; 0 otherwise.
int32_t DataCountFromSel(int32_t sel);
// The DataCountSel whose count is n, or -1.
int32_t DataCountSelFor(int32_t n);

// Frequency in Hz of a frequency-scale index 0..14 (0.1 .. 5000); 0 outside.
double FreqScaleHz(int32_t index);
// dB level of a dB-scale index: 20 - 10 * index (saturated at the int range, never overflowing).
int dBScaleValue(int32_t index);
