// CSV exports of a block and of its spectrum: a header line naming the columns, a comma
// between fields, '.' as the decimal point, CR LF line ends, every number at full precision (the
// shortest decimal that reads back as the same double).
#pragma once

#include <cstdint>
#include <string>

#include "record.h"

// The sample period of a block in seconds. The period is held as a 32-bit float; the
// period meant is the shortest decimal that gives that float (0.1 ms, not 0.1000000015 ms).
double BlockPeriodSeconds(const TSignalData& sig);

// "time_s,code,volt": one line per sample, time i * period from the first sample, the volts
// computed in double from the codes. Empty without samples.
std::string BlockCsvText(const TSignalData& sig);

// What a spectrum export takes.
struct TSpectrumCsvInput {
    const float* spectrum = nullptr; // volts RMS per bin, bins 0 .. bins-1
    int bins = 0;
    double deltaF = 0.0; // Hz per bin
    // The bins hold a noise density in V/sqrt(Hz) (the density scale) instead of volts RMS.
    bool density = false;
};

// "hz,vrms,db": dB is 20 log10(vrms / 1 V), "-inf" for a bin of 0 V. For a density spectrum
// "hz,vrms,db,v_per_rthz": the density as held, vrms the bin's share of the noise (density x
// sqrt(delta f)) and dB that of the density (dBV/sqrt(Hz), as the graph shows it). Empty
// without bins.
std::string SpectrumCsvText(const TSpectrumCsvInput& in);
// The spectrum of a block as the window holds it (bins 0 .. ad_dnum/2 - 1), its resolution
// from the block's period and count in double.
TSpectrumCsvInput SpectrumCsvOf(const TSignalData& sig, bool density = false);

// The export written atomically (WriteFileAtomic): false when there is nothing to write or
// the write failed, the old file then left as it was.
bool WriteBlockCsv(const std::string& path, const TSignalData& sig);
bool WriteSpectrumCsv(const std::string& path, const TSpectrumCsvInput& in);

// The message of a CSV export that could not be written.
inline constexpr const char* TEXT_CSV_SAVE_ERROR = "CSVファイルを保存できませんでした";
