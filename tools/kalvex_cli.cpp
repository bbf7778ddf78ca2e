// kalvex-cli: batch analysis of saved measurements and settings files, with the program's own
// readers, spectrum and readout texts.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "myfft.h"
#include "myfile.h"
#include "numfmt.h"
#include "paths.h"
#include "readout_text.h"
#include "record.h"
#include "signal_stats.h"
#include "tables.h"
#include "texts.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadFile = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLevel = 3;
constexpr int kExitWrite = 4;

constexpr const char* kMsgDataFile = TEXT_DATA_FILE_ERROR;
constexpr const char* kMsgSettingFile = TEXT_SETTING_FILE_ERROR;
constexpr const char* kMsgLevel = TEXT_LEVEL_ERROR;
constexpr const char* kMsgFFTSave = TEXT_FFT_SAVE_ERROR;

constexpr const char* kUsage =
    "usage: kalvex-cli analyze FILE.DTA [--settings FILE.prf] [--fft OUT.FFT] [--json]\n"
    "       kalvex-cli settings FILE.prf\n";

// Nobody to ask in a batch run: an existing output file is replaced.
class TBatchSeam : public TDialogSeam {
public:
    bool askYesNo(const std::string&, const std::string&, TMsgIcon) override { return true; }
    bool askOkCancel(const std::string&, const std::string&, TMsgIcon) override { return true; }
    void showMessage(const std::string&, const std::string& text, TMsgIcon) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    std::optional<std::string> getSaveFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> getOpenFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<int32_t> getColor(int32_t) override { return std::nullopt; }
};

int Fail(int code, const char* message) {
    std::fprintf(stderr, "%s\n", message);
    return code;
}

int Usage(const char* why) {
    if (why) std::fprintf(stderr, "kalvex-cli: %s\n", why);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

void Print(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

std::string JsonString(std::string_view s) {
    std::string out = "\"";
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

// The settings-load command: defaults, reader, dB-range test.
bool LoadSettings(const std::string& path, TFFTSetting& fft, TFileSetting& file, TADSetting& ad) {
    SetDefaultFFTSetting(fft, file);
    SetDefaultADSetting(ad);
    TmyFile reader;
    return reader.ReadPrf(path, PRF_HEADER, &fft, &file, &ad) && CheckdBRange(fft);
}

struct TAnalyzeArgs {
    std::string data;
    std::optional<std::string> settings;
    std::optional<std::string> fft;
    bool json = false;
};

// Parses the arguments after "analyze"; an error text when they are not usable.
std::optional<std::string> ParseAnalyze(const std::vector<std::string>& args, TAnalyzeArgs& a) {
    bool haveData = false;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& s = args[i];
        if (s == "--json") {
            if (a.json) return "--json given twice";
            a.json = true;
        } else if (s == "--settings" || s == "--fft") {
            std::optional<std::string>& slot = s == "--settings" ? a.settings : a.fft;
            if (slot) return s + " given twice";
            if (i + 1 >= args.size() || args[i + 1].empty()) return s + " needs a file name";
            slot = args[++i];
        } else if (s.size() > 1 && s[0] == '-') {
            return "unknown option " + s;
        } else {
            if (haveData) return "more than one data file";
            if (s.empty()) return "empty data file name";
            a.data = s;
            haveData = true;
        }
    }
    if (!haveData) return "no data file";
    return std::nullopt;
}

int Analyze(const TAnalyzeArgs& args) {
    auto rec = TMeasureRecord::Create();

    std::optional<TFFTSetting> given;
    if (args.settings) {
        TFFTSetting fft;
        TFileSetting file;
        TADSetting ad;
        if (!LoadSettings(*args.settings, fft, file, ad))
            return Fail(kExitBadFile, kMsgSettingFile);
        given = fft;
    }

    // The load-data command: read into working copies, take them over on success.
    TSignalData sig = rec->SigData;
    TFFTSetting fileFFT;
    TFileSetting fileSet;
    TADSetting ad;
    TmyFile reader;
    if (!reader.ReadDTA(args.data, DTA_HEADER, &sig, &fileFFT, &fileSet, &ad))
        return Fail(kExitBadFile, kMsgDataFile);
    sig.spsSel = ad.spsSel;
    sig.sinc3 = ad.sinc3;
    const TFFTSetting fft = given ? *given : fileFFT;

    if (!CheckLevelAndConvert(sig, ad)) return Fail(kExitLevel, kMsgLevel);
    TmyFFT engine;
    if (!CalcSpectrum(engine, fft, sig, SpectrumWorkOf(*rec)))
        return Fail(kExitBadFile, kMsgDataFile);

    const int n = sig.ad_dnum;
    const float* spectrum = sig.pSpectrum;
    const int bins = n / 2;
    const int peak = FindPeakBin(spectrum, n);
    // The dB readout is the graph's conversion of the peak bin.
    std::vector<float> dB(static_cast<size_t>(bins));
    ToDecibels(spectrum, bins, dB.data(), static_cast<float>(dBScaleValue(fft.index_dB_min)),
               fft.fAbsoGraph == 1, SpectrumMax(spectrum, bins));
    const TValueText rms = RmsText(CalcRms(spectrum, n));
    const TValueText volt = PeakVoltText(spectrum[peak]);
    const std::string dBText = PeakdBText(dB[static_cast<size_t>(peak)]);
    const std::string dBUnit = PeakdBUnit(fft.fAbsoGraph);
    const std::string hz = PeakHzText(peak, sig.deltaF);
    const uint32_t codeMax = GetCodeMax(sig);
    const uint32_t codeMin = GetCodeMin(sig);
    const double stdDev = CalcCodeStdDev(sig);
    // The window holds the deviation as a 32-bit float; its status text is made from that.
    const std::string stats =
        LevelStatsText(fft.fSig_Volt, codeMax, codeMin, static_cast<float>(stdDev));
    const std::string status = DeltaFStatusText(true, ad, n, fft);
    const std::string rate = RateText(sig.spsSel, sig.sinc3);

    std::optional<std::string> fftPath;
    if (args.fft) {
        // The export: the file section names the written file itself.
        TFileSetting out = fileSet;
        out.DataFileName = WithDefaultExtension(*args.fft, ".FFT");
        TBatchSeam yes;
        TmyFile writer(&yes);
        if (!writer.WriteFFT(FFT_HEADER, &ad, &sig, &fft, &out))
            return Fail(kExitWrite, kMsgFFTSave);
        fftPath = out.DataFileName;
    }

    std::string o;
    if (args.json) {
        // Values are written already in JSON form.
        auto field = [&o](const char* k, const std::string& v) {
            o += o.size() > 1 ? ",\n  \"" : "\n  \"";
            o += k;
            o += "\": ";
            o += v;
        };
        o = "{";
        field("file", JsonString(args.data));
        field("samples", std::to_string(n));
        field("rate_text", JsonString(rate));
        field("delta_f", FormatGeneral(sig.deltaF));
        field("status_text", JsonString(status));
        field("rms_text", JsonString(rms.number));
        field("rms_unit", JsonString(rms.unit));
        field("peak_bin", std::to_string(peak));
        field("peak_volt_text", JsonString(volt.number));
        field("peak_volt_unit", JsonString(volt.unit));
        field("peak_db_text", JsonString(dBText));
        field("peak_db_unit", JsonString(dBUnit));
        field("peak_hz_text", JsonString(hz));
        field("level_stats_mode", JsonString(fft.fSig_Volt == 1 ? "volts" : "codes"));
        field("level_stats_text", JsonString(stats));
        field("code_max", std::to_string(codeMax));
        field("code_min", std::to_string(codeMin));
        field("code_stddev", FormatGeneral(stdDev));
        field("fft_file", fftPath ? JsonString(*fftPath) : std::string("null"));
        o += "\n}\n";
    } else {
        auto line = [&o](const char* k, const std::string& v) {
            o += k;
            o += ": ";
            o += v;
            o += '\n';
        };
        line("file", args.data);
        line("samples", std::to_string(n));
        line("rate", rate);
        line("status", status);
        line("rms", rms.number + " " + rms.unit);
        line("peak_bin", std::to_string(peak));
        line("peak_volt", volt.number + " " + volt.unit);
        line("peak_db", dBText + " " + dBUnit);
        line("peak_hz", hz + " Hz");
        line("level_stats", stats);
        line("code_max", std::to_string(codeMax));
        line("code_min", std::to_string(codeMin));
        line("code_stddev", FormatGeneral(stdDev));
        if (fftPath) line("fft_file", *fftPath);
    }
    Print(o);
    return kExitOk;
}

int Settings(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return Usage("settings takes exactly one file");
    TFFTSetting fft;
    TFileSetting file;
    TADSetting ad;
    if (!LoadSettings(args[0], fft, file, ad)) return Fail(kExitBadFile, kMsgSettingFile);
    // As the save-settings command writes it back.
    TTextWriter out;
    out.Line(PRF_HEADER);
    TmyFile::WriteADSection(out, &ad);
    TmyFile::WriteFileSection(out, &file);
    TmyFile::WriteFFTSettingSection(out, &fft);
    Print(out.Buffer());
    return kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage(nullptr);
    const std::string cmd = args.front();
    args.erase(args.begin());
    if (cmd == "--help" || cmd == "-h") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (cmd == "analyze") {
        TAnalyzeArgs a;
        if (auto err = ParseAnalyze(args, a)) return Usage(err->c_str());
        return Analyze(a);
    }
    if (cmd == "settings") return Settings(args);
    return Usage(("unknown command " + cmd).c_str());
}
