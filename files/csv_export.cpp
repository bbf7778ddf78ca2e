#include "csv_export.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "myfile.h"
#include "numfmt.h"
#include "tables.h"

double BlockPeriodSeconds(const TSignalData& sig) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, sig.periodMs);
    double ms = 0.0;
    std::from_chars(buf, r.ptr, ms);
    return ms / 1000.0;
}

std::string BlockCsvText(const TSignalData& sig) {
    std::string out;
    if (sig.ad_dnum <= 0 || !sig.pCode) return out;
    const double period = BlockPeriodSeconds(sig);
    static constexpr char kHeader[] = "time_s,code,volt\r\n";
    // Written in place: a line is at most 24 + 1 + 10 + 1 + 24 + 2 characters.
    constexpr size_t kMaxLine = 64;
    out.resize(sizeof kHeader - 1 + static_cast<size_t>(sig.ad_dnum) * kMaxLine);
    char* p = out.data();
    p = std::copy(kHeader, kHeader + sizeof kHeader - 1, p);
    for (int i = 0; i < sig.ad_dnum; ++i) {
        const uint32_t code = sig.pCode[i];
        p = std::to_chars(p, p + 24, i * period).ptr;
        *p++ = ',';
        p = std::to_chars(p, p + 10, code).ptr;
        *p++ = ',';
        p = std::to_chars(p, p + 24,
                          (static_cast<double>(code) - CODE_OF_ZERO_VOLT) * VOLT_PER_CODE)
                .ptr;
        *p++ = '\r';
        *p++ = '\n';
    }
    out.resize(static_cast<size_t>(p - out.data()));
    return out;
}

std::string SpectrumCsvText(const TSpectrumCsvInput& in) {
    std::string out;
    if (in.bins <= 0 || !in.spectrum) return out;
    const bool density = in.density;
    const double rootDf = std::sqrt(std::max(in.deltaF, 0.0));
    out.reserve(static_cast<size_t>(in.bins) * (density ? 80 : 60) + 32);
    out += density ? "hz,vrms,db,v_per_rthz\r\n" : "hz,vrms,db\r\n";
    for (int k = 0; k < in.bins; ++k) {
        const double v = in.spectrum[k];
        AppendNumber(out, k * in.deltaF);
        out += ',';
        AppendNumber(out, density ? v * rootDf : v);
        out += ',';
        if (v > 0.0)
            AppendNumber(out, 20.0 * std::log10(v));
        else
            out += "-inf";
        if (density) {
            out += ',';
            AppendNumber(out, v);
        }
        out += "\r\n";
    }
    return out;
}

TSpectrumCsvInput SpectrumCsvOf(const TSignalData& sig, bool density) {
    TSpectrumCsvInput in;
    if (sig.ad_dnum < 2 || !sig.pSpectrum) return in;
    const double period = BlockPeriodSeconds(sig);
    in.spectrum = sig.pSpectrum;
    in.bins = sig.ad_dnum / 2;
    in.deltaF = period > 0.0 ? 1.0 / (period * sig.ad_dnum) : 0.0;
    in.density = density;
    return in;
}

bool WriteBlockCsv(const std::string& path, const TSignalData& sig) {
    const std::string text = BlockCsvText(sig);
    return !text.empty() && WriteFileAtomic(path, text);
}

bool WriteSpectrumCsv(const std::string& path, const TSpectrumCsvInput& in) {
    const std::string text = SpectrumCsvText(in);
    return !text.empty() && WriteFileAtomic(path, text);
}
