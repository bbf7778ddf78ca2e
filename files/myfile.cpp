#include "myfile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>

#include "ext_setting.h"
#include "numfmt.h"

namespace {

constexpr int SECTION_SEARCH_LINES = 20;
constexpr int SECTION_BODY_LINES = 100;

const char* Flag(uint8_t v) {
    return v != 0 ? "1" : "0";
}

// A flag value is exactly the single character 0 or 1.
bool ParseFlag(std::string_view v, uint8_t& out) {
    if (v == "0" || v == "1") {
        out = v == "1" ? 1 : 0;
        return true;
    }
    return false;
}

bool ParseIntIn(std::string_view v, int32_t lo, int32_t hi, int32_t& out) {
    const auto n = ParseInt(v);
    if (!n || *n < lo || *n > hi) return false;
    out = *n;
    return true;
}

// Shortest text that reads back as the same double.
std::string ExactDouble(double v) {
    char num[32];
    const auto res = std::to_chars(num, num + sizeof num, v);
    return std::string(num, static_cast<size_t>(res.ptr - num));
}

// Name and unit of the spectrum values in the FFT file for scales other than 0.
const char* ScaleName(int32_t scale) {
    return scale == 1 ? "tone" : "density";
}
const char* ScaleUnit(int32_t scale) {
    return scale == 1 ? "Vrms" : "V/rtHz";
}

// Finds the section start among the next lines.
bool FindSection(TLineReader& in, std::string_view marker) {
    std::string line;
    for (int i = 0; i < SECTION_SEARCH_LINES; ++i) {
        if (!TmyFile::ReadLine(in, line)) return false;
        if (line == marker) return true;
    }
    return false;
}

// The line without any CR. The usual single CR at the end is cut off without copying;
// only a line with CRs inside is copied into scratch.
std::string_view StripCr(std::string_view raw, std::string& scratch) {
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    if (raw.find('\r') == std::string_view::npos) return raw;
    scratch.clear();
    for (char c : raw)
        if (c != '\r') scratch.push_back(c);
    return scratch;
}

// The common sample line "digits,number" + CR LF, read in place in one pass. False (nothing
// consumed) for anything else: the general line rules then take the line.
bool FastSampleLine(TLineReader& in, uint32_t& code, float& volt) {
    const std::string_view rest = in.Rest();
    const char* const begin = rest.data();
    const char* const end = begin + rest.size();
    const char* p = begin;
    uint32_t c = 0;
    while (p < end && *p >= '0' && *p <= '9')
        c = c * 10u + static_cast<uint32_t>(*p++ - '0');
    if (p == begin || p - begin > 10 || p == end || *p != ',') return false;
    ++p;
    if (p == end || *p == '+') return false;
    double v = 0;
    const auto res = std::from_chars(p, end, v);
    if (res.ec != std::errc()) return false;
    p = res.ptr;
    if (p < end && *p == '\r') ++p;
    if (p < end) {
        if (*p != '\n') return false;
        ++p;
    }
    const auto f = static_cast<float>(v);
    if (!std::isfinite(f)) return false;
    code = c;
    volt = f;
    in.Skip(static_cast<size_t>(p - begin));
    return true;
}

enum class BodyResult { Continue, Fail };

// Reads a section body; handle() applies one key line. Returns true when the end marker was
// met, or when the line limit was reached and the section may end that way.
template <typename Handler>
bool ReadSectionBody(TLineReader& in, std::string_view endMarker, bool limitEnds, Handler handle) {
    std::string line;
    for (int i = 0; i < SECTION_BODY_LINES; ++i) {
        if (!TmyFile::ReadLine(in, line)) return false;
        std::string_view key, value;
        TmyFile::SplitKey(line, key, value);
        if (key == endMarker) return true;
        if (handle(key, value) == BodyResult::Fail) return false;
    }
    return limitEnds;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Lines and sections

bool TmyFile::ReadLine(TLineReader& in, std::string& line) {
    std::string_view raw;
    do {
        if (!in.NextRaw(raw)) return false;
    } while (!raw.empty() && raw.front() == ';');
    const std::string_view text = StripCr(raw, line);
    if (text.data() != line.data()) line.assign(text);
    return true;
}

void TmyFile::SplitKey(std::string_view line, std::string_view& key, std::string_view& value) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        key = {};
        value = line;
    } else {
        key = line.substr(0, colon + 1);
        value = line.substr(colon + 1);
    }
}

bool TmyFile::WriteADSection(TTextWriter& out, const TADSetting* s) {
    if (!s) return false;
    out.Line("A:");
    out.KeyLine("spsSel:", s->spsSel);
    out.KeyLine("sinc3:", s->sinc3 == 1 ? "1" : "0");
    out.KeyLine("ch_sel:", s->ch_sel);
    out.Line("AEND:");
    return true;
}

bool TmyFile::WriteFileSection(TTextWriter& out, const TFileSetting* s) {
    if (!s) return false;
    out.Line("F:");
    out.KeyLine("fSaveDataFile:", Flag(s->fSaveDataFile));
    out.KeyLine("DataFileName:", s->DataFileName);
    out.KeyLine("StartDateTime:", s->StartDateTime);
    out.Line("FEND:");
    return true;
}

bool TmyFile::WriteFFTSettingSection(TTextWriter& out, const TFFTSetting* s) {
    if (!s) return false;
    out.Line("G:");
    out.KeyLine("fWaveGraph:", Flag(s->fWaveGraph));
    out.KeyLine("fSig_Volt:", Flag(s->fSig_Volt));
    out.KeyLine("fWinFuncAdjust:", Flag(s->fWinFuncAdjust));
    out.KeyLine("fDCCut_FFT:", Flag(s->fDCCut_FFT));
    out.KeyLine("fDCCut_SigGraph:", Flag(s->fDCCut_SigGraph));
    out.KeyLine("fLogGraph:", Flag(s->fLogGraph));
    out.KeyLine("fAbsoGraph:", Flag(s->fAbsoGraph));
    out.KeyLine("index_FreqS:", s->index_FreqS);
    out.KeyLine("index_FreqE:", s->index_FreqE);
    out.KeyLine("index_dB_max:", s->index_dB_max);
    out.KeyLine("index_dB_min:", s->index_dB_min);
    out.KeyLine("whichWindowFunc:", s->whichWindowFunc);
    out.KeyLine("PenColorGraph:", s->PenColorGraph);
    out.KeyLine("PenColorMainAxis:", s->PenColorMainAxis);
    out.KeyLine("PenColorSubAxis:", s->PenColorSubAxis);
    out.KeyLine("PenColorRefGraph:", s->PenColorRefGraph);
    out.KeyLine("DataCountSel:", s->DataCountSel);
    out.KeyLine("DataCountMax:", s->DataCountMax);
    out.Line("GEND:");
    return true;
}

bool TmyFile::ReadADSection(TLineReader& in, TADSetting* s) {
    if (!s || !FindSection(in, "A:")) return false;
    return ReadSectionBody(in, "AEND:", true, [s](std::string_view key, std::string_view v) {
        bool ok = true;
        if (key == "spsSel:") {
            ok = ParseIntIn(v, 0, 13, s->spsSel);
        } else if (key == "sinc3:") {
            const auto d = ParseDouble(v);
            ok = d.has_value();
            if (ok) s->sinc3 = *d == 1.0 ? 1 : 0;
        } else if (key == "ch_sel:") {
            ok = ParseIntIn(v, 0, 1, s->ch_sel);
        }
        return ok ? BodyResult::Continue : BodyResult::Fail;
    });
}

bool TmyFile::ReadFileSection(TLineReader& in, TFileSetting* s) {
    if (!s || !FindSection(in, "F:")) return false;
    return ReadSectionBody(in, "FEND:", true, [s](std::string_view key, std::string_view v) {
        bool ok = true;
        if (key == "fSaveDataFile:") {
            ok = ParseFlag(v, s->fSaveDataFile);
        } else if (key == "DataFileName:") {
            s->DataFileName.assign(v);
        } else if (key == "StartDateTime:") {
            s->StartDateTime.assign(v);
        }
        return ok ? BodyResult::Continue : BodyResult::Fail;
    });
}

bool TmyFile::ReadFFTSettingSection(TLineReader& in, TFFTSetting* s) {
    if (!s || !FindSection(in, "G:")) return false;
    struct FlagKey {
        const char* key;
        uint8_t TFFTSetting::*field;
    };
    static constexpr FlagKey flags[] = {
        {"fWaveGraph:", &TFFTSetting::fWaveGraph},
        {"fSig_Volt:", &TFFTSetting::fSig_Volt},
        {"fWinFuncAdjust:", &TFFTSetting::fWinFuncAdjust},
        {"fDCCut_FFT:", &TFFTSetting::fDCCut_FFT},
        {"fDCCut_SigGraph:", &TFFTSetting::fDCCut_SigGraph},
        {"fLogGraph:", &TFFTSetting::fLogGraph},
        {"fAbsoGraph:", &TFFTSetting::fAbsoGraph},
    };
    struct IntKey {
        const char* key;
        int32_t TFFTSetting::*field;
    };
    static constexpr IntKey anyInts[] = {
        {"index_dB_max:", &TFFTSetting::index_dB_max},
        {"index_dB_min:", &TFFTSetting::index_dB_min},
        {"PenColorGraph:", &TFFTSetting::PenColorGraph},
        {"PenColorMainAxis:", &TFFTSetting::PenColorMainAxis},
        {"PenColorSubAxis:", &TFFTSetting::PenColorSubAxis},
        {"PenColorRefGraph:", &TFFTSetting::PenColorRefGraph},
    };
    constexpr int32_t kMin = INT32_MIN;
    constexpr int32_t kMax = INT32_MAX;
    const bool read =
        ReadSectionBody(in, "GEND:", false, [s](std::string_view key, std::string_view v) {
            for (const auto& f : flags)
                if (key == f.key)
                    return ParseFlag(v, s->*f.field) ? BodyResult::Continue : BodyResult::Fail;
            for (const auto& f : anyInts)
                if (key == f.key)
                    return ParseIntIn(v, kMin, kMax, s->*f.field) ? BodyResult::Continue
                                                                  : BodyResult::Fail;
            bool ok = true;
            if (key == "index_FreqS:") {
                ok = ParseIntIn(v, 0, 14, s->index_FreqS);
            } else if (key == "index_FreqE:") {
                ok = ParseIntIn(v, 0, 14, s->index_FreqE);
            } else if (key == "whichWindowFunc:") {
                ok = ParseIntIn(v, 0, 3, s->whichWindowFunc);
            } else if (key == "DataCountSel:") {
                // Used as an index into the count list: never negative.
                ok = ParseIntIn(v, 0, 8, s->DataCountSel);
            } else if (key == "DataCountMax:") {
                int32_t n = 0;
                ok = ParseIntIn(v, MIN_DATA_COUNT, MAX_DATA_COUNT, n) && IsValidDataCount(n);
                if (ok) s->DataCountMax = n;
            }
            return ok ? BodyResult::Continue : BodyResult::Fail;
        });
    // Judged once the section is complete, with values from the file or, for keys it lacks,
    // the caller's: the writer's key order must read back whatever order was accepted.
    return read && s->index_FreqE > s->index_FreqS && CheckdBRange(*s);
}

bool TmyFile::WriteExtSection(TTextWriter& out, const TExtSetting* s) {
    if (!s) return false;
    out.Line("X:");
    out.KeyLine("spectrum_scale:", s->spectrumScale);
    out.KeyLine("freq_auto:", Flag(s->freqAuto));
    out.KeyLine("continuous:", Flag(s->continuous));
    out.KeyLine("average_mode:", s->averageMode);
    out.KeyLine("average_count:", s->averageCount);
    out.KeyLine("band_low_hz:", ExactDouble(s->bandLowHz));
    out.KeyLine("band_high_hz:", ExactDouble(s->bandHighHz));
    out.Line("XEND:");
    return true;
}

bool TmyFile::ReadExtSection(TLineReader& in, TExtSetting* s) {
    if (!s) return false;
    // Written by a version before this section, or by the original program: keep everything.
    if (!FindSection(in, "X:")) return true;
    TExtSetting w = *s;
    const bool read =
        ReadSectionBody(in, "XEND:", false, [&w](std::string_view key, std::string_view v) {
            bool ok = true;
            if (key == "spectrum_scale:") {
                ok = ParseIntIn(v, 0, EXT_SCALE_MAX, w.spectrumScale);
            } else if (key == "freq_auto:") {
                ok = ParseFlag(v, w.freqAuto);
            } else if (key == "continuous:") {
                ok = ParseFlag(v, w.continuous);
            } else if (key == "average_mode:") {
                ok = ParseIntIn(v, 0, EXT_AVERAGE_MODE_MAX, w.averageMode);
            } else if (key == "average_count:") {
                ok = ParseIntIn(v, EXT_AVERAGE_COUNT_MIN, EXT_AVERAGE_COUNT_MAX, w.averageCount);
            } else if (key == "band_low_hz:" || key == "band_high_hz:") {
                const auto d = ParseDouble(v);
                ok = d.has_value();
                if (ok) (key == "band_low_hz:" ? w.bandLowHz : w.bandHighHz) = *d;
            }
            return ok ? BodyResult::Continue : BodyResult::Fail;
        });
    // The band pair is judged on the whole section, so any key order reads back.
    if (!read || !CheckExtSetting(w)) return false;
    *s = w;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Data and spectrum sections

int TmyFile::DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

uint32_t TmyFile::DecStrToCode(std::string_view text) {
    uint32_t sum = 0;
    uint32_t weight = 1;
    for (size_t k = 0; k < text.size(); ++k) {
        sum += static_cast<uint32_t>(DigitValue(text[text.size() - 1 - k])) * weight;
        weight *= 10u; // wraps past ten digits, as the column conversion always did
    }
    return sum;
}

bool TmyFile::WriteDataSection(TTextWriter& out, const TSignalData* sig) {
    if (!sig || sig->ad_dnum < 0 || sig->ad_dnum > DATA_BUF_LEN) return false;
    if (sig->ad_dnum > 0 && (!sig->pCode || !sig->pVolt)) return false;
    out.Line("D:");
    out.KeyLine("ad_dnum:", sig->ad_dnum);
    out.KeyLine("deltaF:", FormatGeneral(sig->deltaF));
    std::string& buf = out.Buffer();
    const size_t n = static_cast<size_t>(sig->ad_dnum);
    buf.reserve(buf.size() + n * 32 + 16);
    char line[64];
    for (size_t i = 0; i < n; ++i) {
        char* p = std::to_chars(line, line + 12, sig->pCode[i]).ptr;
        *p++ = ',';
        p += FormatGeneralTo(p, sig->pVolt[i]);
        *p++ = '\r';
        *p++ = '\n';
        buf.append(line, static_cast<size_t>(p - line));
    }
    out.Line("END:");
    return true;
}

bool TmyFile::ReadDataSection(TLineReader& in, TSignalData* sig) {
    if (!sig || !sig->pCode || !sig->pVolt) return false;
    std::string line;
    if (!ReadLine(in, line) || line != "D:") return false;

    std::string_view key, value;
    if (!ReadLine(in, line)) return false;
    SplitKey(line, key, value);
    // The count must be given: an empty or odd-sized block cannot be transformed.
    if (key != "ad_dnum:") return false;
    const auto count = ParseInt(value);
    if (!count || !IsValidDataCount(*count)) return false;

    if (!ReadLine(in, line)) return false;
    SplitKey(line, key, value);
    float deltaF = sig->deltaF;
    if (key == "deltaF:") {
        const auto d = ParseDouble(value);
        if (!d) return false;
        deltaF = static_cast<float>(*d);
        if (!(deltaF > 0.0f) || !std::isfinite(deltaF)) return false;
    }

    for (int32_t i = 0; i < *count; ++i) {
        if (FastSampleLine(in, sig->pCode[i], sig->pVolt[i])) continue;
        std::string_view raw;
        // Same rules as ReadLine, without copying the line.
        do {
            if (!in.NextRaw(raw)) return false;
        } while (!raw.empty() && raw.front() == ';');
        // Cut the usual CR at the end without copying; copy only a line with CRs inside.
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        if (raw.find('\r') != std::string_view::npos) raw = StripCr(raw, line);
        const size_t comma = raw.find(',');
        std::string_view codeText =
            comma == std::string_view::npos ? std::string_view{} : raw.substr(0, comma);
        std::string_view voltText = comma == std::string_view::npos ? raw : raw.substr(comma + 1);
        const auto v = ParseDouble(voltText);
        if (!v) return false;
        const float f = static_cast<float>(*v);
        if (!std::isfinite(f)) return false;
        sig->pCode[i] = DecStrToCode(codeText);
        sig->pVolt[i] = f;
    }
    sig->ad_dnum = *count;
    sig->deltaF = deltaF;
    return true;
}

bool TmyFile::WriteSpectrumSection(TTextWriter& out, const TSignalData* sig,
                                   int32_t spectrumScale) {
    if (!sig || sig->ad_dnum < 0 || sig->ad_dnum > DATA_BUF_LEN) return false;
    const int32_t m = sig->ad_dnum / 2;
    if (m > 1 && !sig->pSpectrum) return false;
    out.Line("FFT:");
    out.KeyLine("fftnum:", std::max(m - 1, 0));
    out.KeyLine("deltaF:", FormatGeneral(sig->deltaF));
    if (spectrumScale == 1 || spectrumScale == 2) {
        out.KeyLine("scale:", ScaleName(spectrumScale));
        out.KeyLine("unit:", ScaleUnit(spectrumScale));
    }
    std::string& buf = out.Buffer();
    buf.reserve(buf.size() + static_cast<size_t>(std::max(m, 0)) * 40 + 16);
    char num[40];
    for (int32_t i = 1; i < m; ++i) {
        // i * deltaF is exact in double: a 24-bit mantissa times an index below 2^18.
        buf.append(FormatFixed(static_cast<double>(i) * static_cast<double>(sig->deltaF), 3));
        buf.append("Hz, ");
        buf.append(num, static_cast<size_t>(FormatGeneralTo(num, sig->pSpectrum[i])));
        buf.append("\r\n");
    }
    out.Line("END:");
    return true;
}

// ---------------------------------------------------------------------------------------------
// Whole files

bool TmyFile::ConfirmOverwrite(const std::string& path) {
    if (!seam_) return false;
    return seam_->askYesNo("Kalvex", "ファイル：" + path + "があります。\n上書きしますか",
                           TMsgIcon::Question);
}

bool TmyFile::WritePrf(const std::string& fileName, const std::string& header,
                       const TFFTSetting* fft, const TFileSetting* file, const TADSetting* ad,
                       const TExtSetting* ext) {
    if (!fft || !file || !ad || fileName.empty() || header.empty()) return false;
    TTextWriter out;
    out.Line(header);
    WriteADSection(out, ad);
    WriteFileSection(out, file);
    WriteFFTSettingSection(out, fft);
    if (ext) WriteExtSection(out, ext);
    return WriteFileAtomic(fileName, out.Buffer());
}

bool TmyFile::ReadPrf(const std::string& fileName, const std::string& header, TFFTSetting* fft,
                      TFileSetting* file, TADSetting* ad, TExtSetting* ext) {
    if (!fft || !file || !ad || fileName.empty() || header.empty()) return false;
    std::string text;
    if (!ReadWholeFile(fileName, text)) return false;
    TLineReader in(std::move(text));
    TFFTSetting wFFT = *fft;
    TFileSetting wFile = *file;
    TADSetting wAD = *ad;
    TExtSetting wExt = ext ? *ext : TExtSetting{};
    std::string line;
    if (!ReadLine(in, line) || line != header) return false;
    if (!ReadADSection(in, &wAD) || !ReadFileSection(in, &wFile) ||
        !ReadFFTSettingSection(in, &wFFT))
        return false;
    if (ext && !ReadExtSection(in, &wExt)) return false;
    if (ext) *ext = wExt;
    *fft = wFFT;
    *file = std::move(wFile);
    *ad = wAD;
    return true;
}

bool TmyFile::WriteDTA(const std::string& header, const TADSetting* ad, const TSignalData* sig,
                       const TFFTSetting* fft, const TFileSetting* file, const TExtSetting* ext) {
    if (!ad || !sig || !fft || !file || file->DataFileName.empty()) return false;
    const std::string& path = file->DataFileName;
    // No question about a file that could not be replaced anyway.
    if (!SaveTargetAllowed(path)) return false;
    if (FileExists(path) && !ConfirmOverwrite(path)) return true;
    TTextWriter out;
    out.Line(header);
    WriteADSection(out, ad);
    WriteFileSection(out, file);
    WriteFFTSettingSection(out, fft);
    if (!WriteDataSection(out, sig)) return false;
    if (ext) WriteExtSection(out, ext);
    return WriteFileAtomic(path, out.Buffer());
}

bool TmyFile::ReadDTA(const std::string& fileName, const std::string& header, TSignalData* sig,
                      TFFTSetting* fft, TFileSetting* file, TADSetting* ad, TExtSetting* ext) {
    if (fileName.empty() || header.empty() || !sig || !fft || !file || !ad) return false;
    if (!sig->pCode || !sig->pVolt) return false;
    std::string text;
    if (!ReadWholeFile(fileName, text)) return false;
    TLineReader in(std::move(text));

    std::string line;
    if (!ReadLine(in, line) || line != header) return false;
    TADSetting wAD = *ad;
    TFileSetting wFile = *file;
    TFFTSetting wFFT = *fft;
    if (!ReadADSection(in, &wAD) || !ReadFileSection(in, &wFile) ||
        !ReadFFTSettingSection(in, &wFFT))
        return false;

    // Samples go to scratch arrays first, so a bad file leaves the caller's block whole.
    auto codes = std::make_unique_for_overwrite<uint32_t[]>(MAX_DATA_COUNT);
    auto volts = std::make_unique_for_overwrite<float[]>(MAX_DATA_COUNT);
    TSignalData scratch = *sig;
    scratch.pCode = codes.get();
    scratch.pVolt = volts.get();
    if (!ReadDataSection(in, &scratch)) return false;
    TExtSetting wExt = ext ? *ext : TExtSetting{};
    if (ext && !ReadExtSection(in, &wExt)) return false;

    const size_t n = static_cast<size_t>(scratch.ad_dnum);
    std::copy_n(codes.get(), n, sig->pCode);
    std::copy_n(volts.get(), n, sig->pVolt);
    sig->ad_dnum = scratch.ad_dnum;
    sig->deltaF = scratch.deltaF;
    *ad = wAD;
    *file = std::move(wFile);
    *fft = wFFT;
    if (ext) *ext = wExt;
    return true;
}

bool TmyFile::WriteFFT(const std::string& header, const TADSetting* ad, const TSignalData* sig,
                       const TFFTSetting* fft, const TFileSetting* file, const TExtSetting* ext) {
    if (!ad || !sig || !fft || !file || file->DataFileName.empty()) return false;
    const std::string& path = file->DataFileName;
    // No question about a file that could not be replaced anyway.
    if (!SaveTargetAllowed(path)) return false;
    if (FileExists(path) && !ConfirmOverwrite(path)) return true;
    TTextWriter out;
    out.Line(header);
    WriteADSection(out, ad);
    WriteFileSection(out, file);
    WriteFFTSettingSection(out, fft);
    if (!WriteSpectrumSection(out, sig, ext ? ext->spectrumScale : 0)) return false;
    return WriteFileAtomic(path, out.Buffer());
}
