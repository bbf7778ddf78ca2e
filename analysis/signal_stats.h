// Level check, conversion to volts, code and spectrum statistics, the peak search and
// stepping, and the decibel form of a spectrum.
#pragma once

#include <cstdint>

#include "record.h"

// False when any of the ad_dnum codes is at either end of the converter range (nothing is
// converted then); otherwise ConvertCodes and true.
bool CheckLevelAndConvert(TSignalData& data);

// pVolt, VoltMax, VoltMin, VoltAve and deltaF from the codes and the rate of ad. With no
// samples, or a rate without a period, VoltAve and deltaF are 0.
void ConvertCodes(TSignalData& data);

// Largest / smallest code (0 / 0xFFFFFFFF for an empty block).
uint32_t GetCodeMax(const TSignalData& data);
uint32_t GetCodeMin(const TSignalData& data);

// Population standard deviation of the codes, in codes; 0 for an empty block.
double CalcCodeStdDev(const TSignalData& data);

// Square root of the single-precision sum of spectrum[k]^2 for k = 1..n/2-1.
float CalcRms(const float* spectrum, int n);

// Bins of an n-sample block that the readouts can show: 1..LastBin(n); LastBin < 1 means none.
inline int LastBin(int n) {
    return n / 2 - 1;
}

// The largest bin among 1..n/2-1, the lowest winning a tie, bin 1 when none exceeds 0;
// -1 when the block has no such bin.
int FindPeakBin(const float* spectrum, int n);
// The bin after one step up (>>) or down (<<), staying inside 1..n/2-1.
int PeakForwardBin(int cursor, int n);
int PeakBackBin(int cursor, int n);
// A bin moved into 1..n/2-1 (for example one computed from a mouse position); -1 when the
// block has no such bin.
int ClampBin(int bin, int n);

// Largest of spectrum[1..binCount-1], starting from 0.
float SpectrumMax(const float* spectrum, int binCount);

// dB form of bins 0..binCount-1 into target: target[0] = floordB; bin i is 20 log10(v)
// (absolute) or 20 log10(v / specMax) (relative) when v > 0 and v (or v / specMax) exceeds
// the float threshold 10^(floordB / 20), otherwise floordB. A relative conversion with
// specMax <= 0 gives the floor everywhere.
void ToDecibels(const float* spectrum, int binCount, float* target, float floordB, bool absolute,
                float specMax);

// Raw code to microvolts with 0 V at 2^31 and the divisor 2^31 (full scale +-2.5 V).
double CodeToMicroVolt(uint32_t code);
// A spread of n codes in microvolts.
double CodeCountToMicroVolt(uint32_t n);
