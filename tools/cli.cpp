// kalvex-cli: batch analysis of saved measurements and settings files, with the program's own
// readers, spectrum and readout texts.
#include "cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <ctime>
#include <iostream>
#include <map>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "ad7177.h"
#include "block_pipeline.h"
#include "cli_record.h"
#include "cli_sweep.h"
#include "csv_export.h"
#include "ext_setting.h"
#include "figures.h"
#include "measure_session.h"
#include "myfft.h"
#include "myfile.h"
#include "numfmt.h"
#include "paths.h"
#include "readout_text.h"
#include "record.h"
#include "signal_stats.h"
#include "tables.h"
#include "texts.h"

using namespace kalvex_cli; // the exit codes and the failure of a run (cli_sweep.h)

namespace {

constexpr const char* kUsage =
    "usage: kalvex-cli analyze FILE.DTA [--settings FILE.prf] [--fft OUT.FFT] [--json]\n"
    "                  [--window rect|hanning|hamming|flattop] [--dc-cut on|off]\n"
    "                  [--correct on|off] [--db abs|rel] [--csv OUT.csv]\n"
    "                  [--spectrum-csv OUT.csv] [--scale rms|tone|density] [--band F1:F2]\n"
    "       kalvex-cli analyze RECORDING.csv [--from SECONDS] [--to SECONDS] [options above]\n"
    "       kalvex-cli settings FILE.prf\n"
    "       kalvex-cli measure [--rate RATE] [--filter sinc3|sinc5] [--ch 0|1]\n"
    "                  [--count 1024..262144] [--settings FILE.prf] [--out FILE.DTA]\n"
    "                  [--blocks N] [--json] [--csv OUT.csv] [--spectrum-csv OUT.csv]\n"
    "       kalvex-cli sweep [--rates 0,5,13|all] [--filters sinc3,sinc5] [--ch 0|1]\n"
    "                  [--count 1024..262144] [--out TABLE.csv] [--json]\n"
    "       kalvex-cli record --out FILE.csv [--duration SECONDS] [--rate RATE]\n"
    "                  [--filter sinc3|sinc5] [--ch 0|1] [--json]\n";

// Nobody to ask in a batch run: an existing output file is replaced; the writers' messages
// go to the error stream.
class TBatchSeam : public TDialogSeam {
public:
    explicit TBatchSeam(std::ostream& err) : err_(err) {}
    bool askYesNo(const std::string&, const std::string&, TMsgIcon) override { return true; }
    bool askOkCancel(const std::string&, const std::string&, TMsgIcon) override { return true; }
    void showMessage(const std::string&, const std::string& text, TMsgIcon) override {
        err_ << text << '\n';
    }
    std::optional<std::string> getSaveFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> getOpenFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<int32_t> getColor(int32_t) override { return std::nullopt; }

private:
    std::ostream& err_;
};

TFailure FileFailure(int code, const std::string& path, const std::string& what) {
    return {code, "kalvex-cli: " + path + ": " + what};
}

std::string ErrnoText(int e) {
    return std::generic_category().message(e);
}

// Why an input cannot be read, checked before any reader opens it: a FIFO or device would
// block the open, and a missing file is not a file with bad content.
std::optional<std::string> InputProblem(const std::string& path, struct stat& st) {
    if (path.empty()) return std::string("not found");
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? std::string("not found") : ErrnoText(errno);
    if (S_ISDIR(st.st_mode)) return std::string("is a directory");
    if (!S_ISREG(st.st_mode)) return std::string("not a regular file");
    if (::access(path.c_str(), R_OK) != 0) return ErrnoText(errno);
    return std::nullopt;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The settings-load command: defaults, reader, dB-range test.
std::optional<TFailure> LoadSettings(const std::string& path, int code, TFFTSetting& fft,
                                     TFileSetting& file, TADSetting& ad,
                                     TExtSetting* ext = nullptr) {
    struct stat st {};
    if (auto why = InputProblem(path, st)) return FileFailure(code, path, *why);
    SetDefaultFFTSetting(fft, file);
    SetDefaultADSetting(ad);
    TmyFile reader;
    if (!reader.ReadPrf(path, PRF_HEADER, &fft, &file, &ad, ext) || !CheckdBRange(fft))
        return FileFailure(code, path, TEXT_SETTING_FILE_ERROR);
    return std::nullopt;
}

// The options that stand in for a settings file's FFT choices.
struct TFFTOverrides {
    std::optional<int32_t> window;
    std::optional<uint8_t> dcCut;
    std::optional<uint8_t> correct;
    std::optional<uint8_t> absolute;
};

void ApplyOverrides(const TFFTOverrides& o, TFFTSetting& fft) {
    if (o.window) fft.whichWindowFunc = *o.window;
    if (o.dcCut) fft.fDCCut_FFT = *o.dcCut;
    if (o.correct) fft.fWinFuncAdjust = *o.correct;
    if (o.absolute) {
        fft.fAbsoGraph = *o.absolute;
        // As the settings dialog does: the relative scale's top is 0 dB.
        if (*o.absolute == 0) fft.index_dB_max = 2;
    }
}

struct TAnalyzeArgs {
    std::string data;
    std::string settings; // empty: the data file's own settings
    std::string fft;      // empty: no export
    std::string csv;      // the block as CSV; empty: none
    std::string spectrumCsv;
    bool json = false;
    TFFTOverrides overrides;
    double from = 0.0; // a recording's range in seconds; to below from: to its end
    double to = -1.0;
    std::optional<int32_t> scale; // the spectrum scale; default: the settings' or the file's
    double bandLoHz = 0.0;        // band of the band noise figure; both 0: every noise bin
    double bandHiHz = 0.0;
};

// "F1:F2" in Hz with 0 <= F1 < F2 <= 5000 (the band rule of the settings block); the reason
// when it is not.
std::string ParseBand(const std::string& text, double& lo, double& hi) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return "band must be F1:F2";
    const auto a = ParseDouble(std::string_view(text).substr(0, colon));
    const auto b = ParseDouble(std::string_view(text).substr(colon + 1));
    TExtSetting check;
    if (a && b) {
        check.bandLowHz = *a;
        check.bandHighHz = *b;
    }
    if (!a || !b || *b <= *a || !CheckExtSetting(check))
        return "band must be F1:F2 with 0 <= F1 < F2 <= 5000";
    lo = *a;
    hi = *b;
    return "";
}

const char* ScaleKey(int32_t scale) {
    return scale == SPECTRUM_SCALE_TONE      ? "tone"
           : scale == SPECTRUM_SCALE_DENSITY ? "density"
                                             : "rms";
}

// A figure for JSON: ratios of zero powers are infinite, which JSON cannot hold: null.
nlohmann::ordered_json Figure(double v) {
    return std::isfinite(v) ? nlohmann::ordered_json(v) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json FiguresJson(const TFigures& f) {
    nlohmann::ordered_json j;
    const auto spectral = [&f](double v) {
        return f.spectral ? Figure(v) : nlohmann::ordered_json(nullptr);
    };
    j["snr_db"] = spectral(f.snr_db);
    j["thd_db"] = spectral(f.thd_db);
    j["sinad_db"] = spectral(f.sinad_db);
    j["sfdr_db"] = spectral(f.sfdr_db);
    j["fundamental_hz"] = spectral(f.fundamental_hz);
    j["fundamental_vrms"] = spectral(f.fundamental_vrms);
    j["fundamental_dbfs"] = spectral(f.fundamental_dbfs);
    j["enob_bits"] = spectral(f.enob_bits);
    nlohmann::ordered_json harmonics = nlohmann::ordered_json::array();
    if (f.spectral)
        for (const THarmonicFigure& h : f.harmonics) {
            nlohmann::ordered_json one;
            one["order"] = h.order;
            one["hz"] = Figure(h.hz);
            one["vrms"] = Figure(h.vrms);
            one["dbc"] = Figure(h.dbc);
            harmonics.push_back(one);
        }
    j["harmonics"] = harmonics;
    j["noise_density_v_rthz"] = spectral(f.noise_density_v_rthz);
    j["band_noise_v"] = spectral(f.band_noise_v);
    j["mean_v"] = Figure(f.mean_v);
    j["mean_code"] = Figure(f.mean_code);
    j["noise_rms_v"] = Figure(f.noise_rms_v);
    j["noise_rms_code"] = Figure(f.noise_rms_code);
    j["noise_pp_v"] = Figure(f.noise_pp_v);
    j["noise_pp_code"] = Figure(f.noise_pp_code);
    j["effective_bits"] = Figure(f.effective_bits);
    j["noise_free_bits"] = Figure(f.noise_free_bits);
    return j;
}

// The figures as text lines "figure_name: value", 15 significant digits; "-" where there is
// none.
std::string FiguresText(const TFigures& f) {
    std::string out;
    const auto line = [&out](const std::string& k, double v, bool valid) {
        out += "figure_" + k + ": " + (valid && std::isfinite(v) ? FormatGeneral(v) : "-") + '\n';
    };
    const bool s = f.spectral;
    line("snr_db", f.snr_db, s);
    line("thd_db", f.thd_db, s);
    line("sinad_db", f.sinad_db, s);
    line("sfdr_db", f.sfdr_db, s);
    line("fundamental_hz", f.fundamental_hz, s);
    line("fundamental_vrms", f.fundamental_vrms, s);
    line("fundamental_dbfs", f.fundamental_dbfs, s);
    line("enob_bits", f.enob_bits, s);
    if (s)
        for (const THarmonicFigure& h : f.harmonics) {
            const std::string k = "h" + std::to_string(h.order);
            line(k + "_hz", h.hz, true);
            line(k + "_vrms", h.vrms, true);
            line(k + "_dbc", h.dbc, true);
        }
    line("noise_density_v_rthz", f.noise_density_v_rthz, s);
    line("band_noise_v", f.band_noise_v, s);
    line("mean_v", f.mean_v, true);
    line("mean_code", f.mean_code, true);
    line("noise_rms_v", f.noise_rms_v, true);
    line("noise_rms_code", f.noise_rms_code, true);
    line("noise_pp_v", f.noise_pp_v, true);
    line("noise_pp_code", f.noise_pp_code, true);
    line("effective_bits", f.effective_bits, true);
    line("noise_free_bits", f.noise_free_bits, true);
    return out;
}

// Why an export must not replace path: it is an input of the run, or not a regular file.
std::optional<std::string> OutputClash(const std::string& path, const struct stat& dataStat,
                                       const std::string& data, const struct stat* settingsStat,
                                       const std::string& settings) {
    struct stat outStat {};
    if (::stat(path.c_str(), &outStat) != 0) return std::nullopt;
    if (SameFile(outStat, dataStat)) return "it is the data file " + data;
    if (settingsStat && SameFile(outStat, *settingsStat))
        return "it is the settings file " + settings;
    if (!S_ISREG(outStat.st_mode)) return std::string("not a regular file");
    return std::nullopt;
}

// The block and spectrum CSV exports of a block that went through the pipeline.
std::optional<TFailure> WriteCsvExports(const std::string& csv, const std::string& spectrumCsv,
                                        const TSignalData& sig, bool density = false) {
    if (!csv.empty() && !WriteBlockCsv(csv, sig))
        return TFailure{kExitWrite, "kalvex-cli: " + csv + ": " + TEXT_CSV_SAVE_ERROR};
    if (!spectrumCsv.empty() && !WriteSpectrumCsv(spectrumCsv, SpectrumCsvOf(sig, density)))
        return TFailure{kExitWrite, "kalvex-cli: " + spectrumCsv + ": " + TEXT_CSV_SAVE_ERROR};
    return std::nullopt;
}

// The exact value of a float as the shortest decimal that reads back as it, so the JSON shows
// 0.70710677 rather than the double expansion of that float.
double FloatValue(float v) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return ParseDouble(std::string_view(buf, static_cast<size_t>(res.ptr - buf))).value_or(v);
}

// The 15-significant-digit value the files and earlier versions print.
double General15(double v) {
    return ParseDouble(FormatGeneral(v)).value_or(v);
}

// Mean of the volts and of the codes, summed in double.
double MeanVolts(const TSignalData& sig) {
    double sum = 0.0;
    for (int i = 0; i < sig.ad_dnum; i++)
        sum += sig.pVolt[i];
    return sig.ad_dnum > 0 ? sum / sig.ad_dnum : 0.0;
}

double MeanCode(const TSignalData& sig) {
    double sum = 0.0; // exact: at most 2^18 codes below 2^32
    for (int i = 0; i < sig.ad_dnum; i++)
        sum += sig.pCode[i];
    return sig.ad_dnum > 0 ? sum / sig.ad_dnum : 0.0;
}

enum class TReportForm { Text, Json, JsonLine };

// What analyze prints for one block, and measure for each block it took.
// With figures (analyze), the spectrum scale and the figures follow everything else.
std::string BlockReport(const std::string& file, const TSignalData& sig, const TFFTSetting& fft,
                        const TBlockReadouts& ro, const std::string& fftPath, TReportForm form,
                        int32_t spectrumScale = SPECTRUM_SCALE_RMS,
                        const TFigures* figures = nullptr) {
    std::string result;
    const bool wrote = !fftPath.empty();
    const int n = sig.ad_dnum;
    const int peak = ro.peakBin;
    const TValueText rms = RmsText(ro.rms);
    const TValueText volt = PeakVoltText(ro.peakVolt, spectrumScale);
    const std::string dBText = PeakdBText(ro.peakdB);
    const std::string dBUnit = PeakdBUnit(fft.fAbsoGraph, spectrumScale);
    const std::string hz = PeakHzText(peak, sig.deltaF);
    const double stdDev = CalcCodeStdDev(sig);
    // The status text is made from the deviation the window holds (a 32-bit float).
    const std::string stats = LevelStatsText(fft.fSig_Volt, ro.codeMax, ro.codeMin, ro.codeStdDev);
    const std::string status = DeltaFStatusText(true, sig.periodMs, n, fft);
    const std::string rate = RateText(sig.spsSel, sig.sinc3);

    if (form != TReportForm::Text) {
        nlohmann::ordered_json j;
        j["file"] = file;
        j["samples"] = n;
        j["rate_text"] = rate;
        j["delta_f"] = General15(sig.deltaF);
        j["status_text"] = status;
        j["rms_text"] = rms.number;
        j["rms_unit"] = rms.unit;
        j["peak_bin"] = peak;
        j["peak_volt_text"] = volt.number;
        j["peak_volt_unit"] = volt.unit;
        j["peak_db_text"] = dBText;
        j["peak_db_unit"] = dBUnit;
        j["peak_hz_text"] = hz;
        j["level_stats_mode"] = fft.fSig_Volt == 1 ? "volts" : "codes";
        j["level_stats_text"] = stats;
        j["code_max"] = ro.codeMax;
        j["code_min"] = ro.codeMin;
        j["code_stddev"] = General15(stdDev);
        j["fft_file"] = wrote ? nlohmann::ordered_json(fftPath) : nlohmann::ordered_json(nullptr);
        // The values the texts above are made from.
        j["delta_f_hz"] = FloatValue(sig.deltaF);
        j["rms_v"] = FloatValue(ro.rms);
        j["peak_v"] = FloatValue(ro.peakVolt);
        j["peak_db"] = FloatValue(ro.peakdB);
        j["peak_hz"] = ro.peakHz;
        j["volt_max"] = FloatValue(sig.VoltMax);
        j["volt_min"] = FloatValue(sig.VoltMin);
        j["volt_mean"] = MeanVolts(sig);
        j["code_mean"] = MeanCode(sig);
        j["code_stddev_shown"] = FloatValue(ro.codeStdDev);
        if (figures) {
            j["spectrum_scale"] = ScaleKey(spectrumScale);
            j["figures"] = FiguresJson(*figures);
        }
        // File names are bytes; one that is not UTF-8 (Shift-JIS from the other platform) gets
        // U+FFFD for each bad byte, so the output stays valid JSON.
        result = j.dump(form == TReportForm::Json ? 2 : -1, ' ', false,
                        nlohmann::ordered_json::error_handler_t::replace) +
                 "\n";
    } else {
        auto line = [&result](const char* k, const std::string& v) {
            result += k;
            result += ": ";
            result += v;
            result += '\n';
        };
        line("file", file);
        line("samples", std::to_string(n));
        line("rate", rate);
        line("status", status);
        line("rms", rms.number + " " + rms.unit);
        line("peak_bin", std::to_string(peak));
        line("peak_volt", volt.number + " " + volt.unit);
        line("peak_db", dBText + " " + dBUnit);
        line("peak_hz", hz + " Hz");
        line("level_stats", stats);
        line("code_max", std::to_string(ro.codeMax));
        line("code_min", std::to_string(ro.codeMin));
        line("code_stddev", FormatGeneral(stdDev));
        if (wrote) line("fft_file", fftPath);
        if (figures) {
            line("spectrum_scale", ScaleKey(spectrumScale));
            result += FiguresText(*figures);
        }
    }
    return result;
}

std::optional<TFailure> Analyze(const TAnalyzeArgs& args, std::string& result, std::ostream& err) {
    struct stat dataStat {};
    if (auto why = InputProblem(args.data, dataStat))
        return FileFailure(kExitInputFile, args.data, *why);

    std::optional<TFFTSetting> given;
    std::optional<TExtSetting> givenExt;
    struct stat settingsStat {};
    if (!args.settings.empty()) {
        TFFTSetting fft;
        TFileSetting file;
        TADSetting ad;
        TExtSetting ext;
        if (auto f = LoadSettings(args.settings, kExitSettingsFile, fft, file, ad, &ext)) return f;
        ::stat(args.settings.c_str(), &settingsStat);
        given = fft;
        givenExt = ext;
    }

    // The export replaces its target by a rename: never let that be one of the inputs, under
    // whatever name or link it is given.
    std::string fftPath;
    const struct stat* settingsIn = given ? &settingsStat : nullptr;
    if (!args.fft.empty()) {
        fftPath = WithDefaultExtension(args.fft, ".FFT");
        if (auto why = OutputClash(fftPath, dataStat, args.data, settingsIn, args.settings))
            return FileFailure(kExitWrite, fftPath,
                               std::string(TEXT_FFT_SAVE_ERROR) + " (" + *why + ")");
    }
    for (const std::string* csv : {&args.csv, &args.spectrumCsv})
        if (!csv->empty())
            if (auto why = OutputClash(*csv, dataStat, args.data, settingsIn, args.settings))
                return FileFailure(kExitWrite, *csv,
                                   std::string(TEXT_CSV_SAVE_ERROR) + " (" + *why + ")");

    auto rec = TMeasureRecord::Create();
    // The load-data command: read into working copies, take them over on success.
    TSignalData sig = rec->SigData;
    TFFTSetting fileFFT;
    TFileSetting fileSet;
    TADSetting ad;
    TExtSetting fileExt;
    TmyFile reader;
    if (IsRecordingFile(args.data)) {
        // A long recording: the first 2^n samples of its range, with the default settings.
        SetDefaultFFTSetting(fileFFT, fileSet);
        SetDefaultADSetting(ad);
        if (auto why = LoadRecordingBlock(args.data, args.from, args.to, sig, ad, fileSet))
            return FileFailure(kExitInputFile, args.data, *why);
    } else if (!reader.ReadDTA(args.data, DTA_HEADER, &sig, &fileFFT, &fileSet, &ad, &fileExt) ||
               !CheckdBRange(fileFFT)) {
        return FileFailure(kExitInputFile, args.data, TEXT_DATA_FILE_ERROR);
    }
    SetBlockRate(sig, ad.spsSel, ad.sinc3);
    TFFTSetting fft = given ? *given : fileFFT;
    ApplyOverrides(args.overrides, fft);
    TExtSetting ext = givenExt ? *givenExt : fileExt;
    if (args.scale) ext.spectrumScale = *args.scale;

    // The block as the window takes it, the level checked as for a block from the unit.
    TmyFFT engine;
    TBlockReadouts ro;
    switch (RunBlockPipeline(sig, fft, engine, SpectrumWorkOf(*rec), TBlockSource::Measured, ro,
                             ext.spectrumScale)) {
    case TBlockResult::LevelError:
        return FileFailure(kExitLevel, args.data, TEXT_LEVEL_ERROR);
    case TBlockResult::Invalid:
        return FileFailure(kExitInputFile, args.data, TEXT_DATA_FILE_ERROR);
    case TBlockResult::Ok:
        break;
    }
    bool wrote = false;
    if (!fftPath.empty()) {
        // The export: the file section names the written file itself.
        TFileSetting out = fileSet;
        out.DataFileName = fftPath;
        TBatchSeam yes(err);
        TmyFile writer(&yes);
        if (!writer.WriteFFT(FFT_HEADER, &ad, &sig, &fft, &out, &ext))
            return FileFailure(kExitWrite, fftPath, TEXT_FFT_SAVE_ERROR);
        wrote = true;
    }
    if (auto f = WriteCsvExports(args.csv, args.spectrumCsv, sig,
                                 ext.spectrumScale == SPECTRUM_SCALE_DENSITY))
        return f;
    // The converter figures, in double from the codes, with the spectrum's window.
    TFiguresInput in;
    in.codes = sig.pCode;
    in.n = sig.ad_dnum;
    in.window = fft.whichWindowFunc;
    in.deltaF = sig.deltaF;
    const bool band = args.bandHiHz > 0.0;
    in.bandLoHz = band ? args.bandLoHz : 0.0;
    in.bandHiHz = band ? args.bandHiHz : -1.0;
    TFigures figures;
    ComputeFigures(in, figures);
    result =
        BlockReport(args.data, sig, fft, ro, wrote ? fftPath : std::string(),
                    args.json ? TReportForm::Json : TReportForm::Text, ext.spectrumScale, &figures);
    return std::nullopt;
}

struct TMeasureArgs {
    std::string rate;   // a rate text ("10ksps") or its index; empty: the settings'
    std::string filter; // "sinc3" / "sinc5"; empty: the settings'
    std::optional<int32_t> ch;
    std::optional<int32_t> count;
    std::string settings; // empty: the defaults
    std::string out;      // empty: no file
    std::string csv;      // each block as CSV, numbered as the data files; empty: none
    std::string spectrumCsv;
    int blocks = 1;
    bool json = false;
};

volatile std::sig_atomic_t gInterrupted = 0;
extern "C" void OnInterrupt(int) {
    gInterrupted = 1;
}

// The rate index a text names: one of the rate texts of either filter, or the index itself.
std::optional<int32_t> RateIndex(const std::string& text) {
    for (int32_t i = 0; i < RATE_COUNT; i++)
        if (text == RateText(i, 1) || text == RateText(i, 0)) return i;
    if (auto v = ParseInt(text); v && *v >= 0 && *v < RATE_COUNT) return static_cast<int32_t>(*v);
    return std::nullopt;
}

// The name of block b of several: run.DTA -> run_0001.DTA.
std::string BlockFileName(const std::string& out, int b, int blocks, const char* ext = ".DTA") {
    if (out.empty() || blocks <= 1) return out;
    const std::string name = WithDefaultExtension(out, ext);
    const size_t dot = name.rfind('.');
    char num[16];
    std::snprintf(num, sizeof num, "_%04d", b + 1);
    return name.substr(0, dot) + num + name.substr(dot);
}

TFailure StartFailure(TStartResult r) {
    const std::string model = UNIT_MODEL_NAME;
    switch (r) {
    case TStartResult::NotFound:
        return {kExitNotFound, "kalvex-cli: " + model + TEXT_NOT_FOUND_SUFFIX};
    case TStartResult::NoResponse:
        return {kExitNoResponse, "kalvex-cli: " + model + TEXT_NO_RESPONSE_SUFFIX};
    case TStartResult::Stopped:
        return {kExitInterrupted, "kalvex-cli: interrupted"};
    case TStartResult::SendError:
        return {kExitSetup, std::string("kalvex-cli: ") + TEXT_SEND_ERROR};
    case TStartResult::FilterRefused:
        return {kExitSetup, "kalvex-cli: the unit refused the filter"};
    case TStartResult::RateRefused:
        return {kExitSetup, "kalvex-cli: the unit refused the rate"};
    case TStartResult::NameRefused:
    case TStartResult::WrongModel:
        return {kExitSetup, "kalvex-cli: the unit is no " + model};
    case TStartResult::VersionRefused:
        return {kExitSetup, "kalvex-cli: the unit gave no version"};
    default:
        return {kExitInternal, "kalvex-cli: internal error"};
    }
}

// Blocks from the unit through the same session and pipeline as the window; each written as
// the window's save writes it and reported as analyze reports a file.
std::optional<TFailure> Measure(const TMeasureArgs& args, std::ostream& out, std::ostream& err) {
    TFFTSetting fft;
    TFileSetting file;
    TADSetting ad;
    SetDefaultFFTSetting(fft, file);
    SetDefaultADSetting(ad);
    if (!args.settings.empty())
        if (auto f = LoadSettings(args.settings, kExitSettingsFile, fft, file, ad)) return f;
    if (!args.rate.empty()) {
        const auto rate = RateIndex(args.rate);
        if (!rate)
            return TFailure{kExitUsage, "kalvex-cli: unknown rate " + args.rate + "\n" + kUsage};
        ad.spsSel = *rate;
    }
    if (args.filter == "sinc3") ad.sinc3 = 1;
    if (args.filter == "sinc5") ad.sinc3 = 0;
    if (args.ch) ad.ch_sel = *args.ch;
    if (args.count) {
        const int32_t sel = DataCountSelFor(*args.count);
        if (sel < 0)
            return TFailure{kExitUsage, "kalvex-cli: --count must be 1024, 2048, ... 262144"};
        fft.DataCountSel = sel;
        fft.DataCountMax = *args.count;
    }
    const int32_t count = fft.DataCountMax;

    auto rec = TMeasureRecord::Create();
    TADC unit;
    TMeasureSession session(unit);
    session.SetStallLimit(STALL_LIMIT_US); // nobody is there to stop a unit that hangs
    // Ctrl-C: "AX" and the link closed, whatever the session is doing.
    TInterruptScope interrupt(session);

    const bool progress = &err == &std::cerr && ::isatty(STDERR_FILENO) == 1;
    const auto pause = PollPause(ad.spsSel, ad.sinc3);
    TmyFFT engine;
    for (int b = 0; b < args.blocks; b++) {
        file.StartDateTime = NowText();
        const TStartResult started = session.Start(ad, count, rec->CodeBuf.data());
        if (started != TStartResult::Started) {
            session.Close();
            return StartFailure(started);
        }
        auto shown = std::chrono::steady_clock::now();
        for (;;) {
            if (interrupt.Interrupted()) {
                session.Close();
                if (progress) err << '\n';
                return TFailure{kExitInterrupted, "kalvex-cli: interrupted"};
            }
            const TMeasureSession::TStep step = session.Step();
            if (step == TMeasureSession::TStep::Complete) break;
            if (step == TMeasureSession::TStep::LinkLost) {
                session.Close();
                return LinkLostFailure(session);
            }
            if (step == TMeasureSession::TStep::Waiting) std::this_thread::sleep_for(pause);
            if (progress &&
                std::chrono::steady_clock::now() - shown > std::chrono::milliseconds(200)) {
                shown = std::chrono::steady_clock::now();
                err << "\rblock " << b + 1 << "/" << args.blocks << ": " << session.Received()
                    << "/" << count << std::flush;
            }
        }
        if (progress) err << "\r\033[K" << std::flush;

        TSignalData& sig = rec->SigData;
        session.TakeBlock(sig);
        TBlockReadouts ro;
        const TBlockResult r =
            RunBlockPipeline(sig, fft, engine, SpectrumWorkOf(*rec), TBlockSource::Measured, ro);
        if (r == TBlockResult::LevelError) {
            // As the window does: the stop command once more before the link is closed.
            session.RejectBlock();
            session.Close();
            return TFailure{kExitLevel, std::string("kalvex-cli: ") + TEXT_LEVEL_ERROR};
        }
        if (r != TBlockResult::Ok) {
            session.Close();
            return TFailure{kExitInternal, "kalvex-cli: the block has no spectrum"};
        }
        const std::string path = BlockFileName(args.out, b, args.blocks);
        if (!path.empty()) {
            file.DataFileName = WithDefaultExtension(path, ".DTA");
            TBatchSeam yes(err);
            TmyFile writer(&yes);
            if (!writer.WriteDTA(DTA_HEADER, &ad, &sig, &fft, &file)) {
                session.Close();
                return FileFailure(kExitWrite, file.DataFileName, TEXT_DATA_SAVE_ERROR);
            }
        }
        const std::string csv = BlockFileName(args.csv, b, args.blocks, ".csv");
        const std::string spectrumCsv = BlockFileName(args.spectrumCsv, b, args.blocks, ".csv");
        if (auto f = WriteCsvExports(csv, spectrumCsv, sig)) {
            session.Close();
            return f;
        }
        out << BlockReport(path.empty() ? std::string() : file.DataFileName, sig, fft, ro,
                           std::string(), args.json ? TReportForm::JsonLine : TReportForm::Text);
        if (!args.json && b + 1 < args.blocks) out << '\n';
        out.flush();
        if (!out) {
            session.Close();
            return TFailure{kExitOutput, "kalvex-cli: standard output: write error"};
        }
    }
    session.Close();
    return std::nullopt;
}

std::optional<TFailure> Settings(const std::string& path, std::string& result) {
    TFFTSetting fft;
    TFileSetting file;
    TADSetting ad;
    if (auto f = LoadSettings(path, kExitInputFile, fft, file, ad)) return f;
    // As the save-settings command writes it back.
    TTextWriter out;
    out.Line(PRF_HEADER);
    TmyFile::WriteADSection(out, &ad);
    TmyFile::WriteFileSection(out, &file);
    TmyFile::WriteFFTSettingSection(out, &fft);
    result = std::move(out.Buffer());
    return std::nullopt;
}

// A file name option: one value, not empty.
CLI::Option* FileOption(CLI::App& app, const std::string& name, std::string& target) {
    return app.add_option(name, target)
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
        ->check(
            [](const std::string& s) { return s.empty() ? std::string("empty file name") : ""; });
}

template <typename T>
CLI::Option* ChoiceOption(CLI::App& app, const std::string& name, std::optional<T>& target,
                          const std::map<std::string, T>& choices) {
    return app
        .add_option_function<std::string>(
            name, [&target, choices](const std::string& s) { target = choices.at(s); })
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
        ->check(CLI::IsMember(choices));
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CLI::App app("batch analysis of saved measurements", "kalvex-cli");
    app.require_subcommand(1);
    CLI::App* analyze = app.add_subcommand("analyze");
    CLI::App* settings = app.add_subcommand("settings");

    TAnalyzeArgs a;
    analyze->add_option("FILE", a.data)->required()->check([](const std::string& s) {
        return s.empty() ? std::string("empty data file name") : "";
    });
    FileOption(*analyze, "--settings", a.settings);
    FileOption(*analyze, "--fft", a.fft);
    analyze->add_flag("--json", a.json)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    ChoiceOption<int32_t>(*analyze, "--window", a.overrides.window,
                          {{"rect", 0}, {"hanning", 1}, {"hamming", 2}, {"flattop", 3}});
    const std::map<std::string, uint8_t> onOff{{"on", 1}, {"off", 0}};
    ChoiceOption<uint8_t>(*analyze, "--dc-cut", a.overrides.dcCut, onOff);
    ChoiceOption<uint8_t>(*analyze, "--correct", a.overrides.correct, onOff);
    ChoiceOption<uint8_t>(*analyze, "--db", a.overrides.absolute, {{"abs", 1}, {"rel", 0}});
    ChoiceOption<int32_t>(*analyze, "--scale", a.scale,
                          {{"rms", SPECTRUM_SCALE_RMS},
                           {"tone", SPECTRUM_SCALE_TONE},
                           {"density", SPECTRUM_SCALE_DENSITY}});
    analyze
        ->add_option_function<std::string>(
            "--band", [&a](const std::string& s) { ParseBand(s, a.bandLoHz, a.bandHiHz); })
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
        ->check([](const std::string& s) {
            double lo = 0, hi = 0;
            return ParseBand(s, lo, hi);
        });

    CLI::App* measure = app.add_subcommand("measure");
    TMeasureArgs m;
    AddRateFilterOptions(*measure, m.rate, m.filter);
    measure->add_option("--ch", m.ch)
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
        ->check(CLI::Range(0, 1));
    measure->add_option("--count", m.count)
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
        ->check(CLI::Range(MIN_DATA_COUNT, MAX_DATA_COUNT));
    FileOption(*measure, "--settings", m.settings);
    FileOption(*measure, "--out", m.out);
    measure->add_option("--blocks", m.blocks)
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
        ->check(CLI::Range(1, 1000000));
    measure->add_flag("--json", m.json)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    FileOption(*measure, "--csv", m.csv);
    FileOption(*measure, "--spectrum-csv", m.spectrumCsv);
    FileOption(*analyze, "--csv", a.csv);
    FileOption(*analyze, "--spectrum-csv", a.spectrumCsv);
    TSweepArgs sw;
    CLI::App* sweep = AddSweepCommand(app, sw);
    analyze->add_option("--from", a.from)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    analyze->add_option("--to", a.to)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    TRecordArgs ra;
    CLI::App* record = AddRecordCommand(app, ra);

    std::string prf;
    settings->add_option("FILE", prf)->required()->check([](const std::string& s) {
        return s.empty() ? std::string("empty settings file name") : "";
    });

    // CLI11 would only say that a command is missing.
    if (!args.empty() && !args[0].empty() && args[0][0] != '-' && args[0] != "analyze" &&
        args[0] != "settings" && args[0] != "measure" && args[0] != "sweep" &&
        args[0] != "record") {
        err << "kalvex-cli: unknown command " << args[0] << '\n' << kUsage;
        return kExitUsage;
    }
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << kUsage;
        out.flush();
        if (out) return kExitOk;
        err << "kalvex-cli: standard output: write error\n";
        return kExitOutput;
    } catch (const CLI::ParseError& e) {
        err << "kalvex-cli: " << e.what() << '\n' << kUsage;
        return kExitUsage;
    }

    // A failed run: its message, and after a usage error the usage text.
    const auto fail = [&err](const TFailure& f) {
        err << f.message << '\n';
        if (f.code == kExitUsage && f.message.find("usage:") == std::string::npos) err << kUsage;
        return f.code;
    };
    if (record->parsed()) {
        if (std::optional<TFailure> failure = Record(ra, out, err)) return fail(*failure);
        return kExitOk;
    }
    if (measure->parsed() || sweep->parsed()) {
        // Each block or row is printed as it is done.
        if (std::optional<TFailure> failure =
                measure->parsed() ? Measure(m, out, err) : Sweep(sw, out, err))
            return fail(*failure);
        return kExitOk;
    }
    std::string result;
    std::optional<TFailure> failure =
        analyze->parsed() ? Analyze(a, result, err) : Settings(prf, result);
    if (failure) return fail(*failure);
    out << result;
    out.flush();
    if (!out) {
        err << "kalvex-cli: standard output: write error\n";
        return kExitOutput;
    }
    return kExitOk;
}

} // namespace

namespace kalvex_cli {

std::optional<int32_t> RateIndexOf(const std::string& text) {
    return RateIndex(text);
}

void AddRateFilterOptions(CLI::App& command, std::string& rate, std::string& filter) {
    command.add_option("--rate", rate)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    command.add_option("--filter", filter)
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
        ->check(CLI::IsMember({"sinc3", "sinc5"}));
}

std::string NowText() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S", &tm);
    return buf;
}

TFailure StartFailureOf(TStartResult r) {
    return StartFailure(r);
}

std::string LinkLostCause(const TMeasureSession& session) {
    return session.Stalled()
               ? "the unit sent no sample for " + std::to_string(STALL_LIMIT_US / 1000000) + " s"
               : "the link to the unit was lost";
}

TFailure LinkLostFailure(const TMeasureSession& session) {
    std::string text = std::string("kalvex-cli: ") + TEXT_MEASURE_ERROR;
    if (session.Stalled()) text += " (" + LinkLostCause(session) + ")";
    return TFailure{kExitLinkLost, text};
}

TInterruptScope::TInterruptScope(TMeasureSession& session) : oldHooks_(Tft_FIFO::Hooks) {
    gInterrupted = 0;
    struct sigaction act {};
    act.sa_handler = OnInterrupt;
    sigemptyset(&act.sa_mask);
    sigaction(SIGINT, &act, &oldInt_);
    sigaction(SIGTERM, &act, &oldTerm_);
    Tft_FIFO::Hooks.pump = [&session] {
        if (gInterrupted) session.RequestStop();
    };
}

TInterruptScope::~TInterruptScope() {
    Tft_FIFO::Hooks = oldHooks_;
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
}

bool TInterruptScope::Interrupted() const {
    return gInterrupted != 0;
}

} // namespace kalvex_cli

int RunKalvexCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        return Run(args, out, err);
    } catch (const std::bad_alloc&) {
        err << "kalvex-cli: out of memory\n";
    } catch (const std::exception& e) {
        err << "kalvex-cli: " << e.what() << '\n';
    }
    return kExitInternal;
}
