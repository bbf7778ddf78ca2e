// kalvex-cli on files the tests write: called in-process through RunKalvexCli, and as the
// installed program where the process itself matters (its standard output, a FIFO).
#include <chrono>
#include <gtest/gtest.h>
#include <memory>

#include "unit_process.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <sstream>
#include <vector>

#include "cli.h"
#include "myfile.h"
#include "paths.h"
#include "signal_stats.h"
#include "temp_dir.h"

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

struct CliRun {
    int code = -1;
    std::string out, err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TFFTSetting Rectangular() {
    TFFTSetting f;
    f.whichWindowFunc = 0;
    return f;
}

// Volts of a code by the converter's definition, in double.
double Volts(uint32_t code) {
    return (static_cast<double>(code) - 2147483648.0) * 2.5 / 2147483647.0;
}

// The analysis from its definition, in double: mean removal, window w(i) at the sample centres
// times 1/RMS(w) when corrected, DFT, sqrt(2)/N |X_k| volts RMS per bin, RMS over bins
// 1..N/2-1, the largest bin.
struct Reference {
    double rms = 0, peak = 0;
    int peakBin = 0;
};

Reference Analyse(const std::vector<uint32_t>& codes, int window, bool dcCut, bool correct) {
    const size_t n = codes.size();
    const double dn = static_cast<double>(n);
    std::vector<double> x(n);
    double mean = 0;
    for (size_t i = 0; i < n; i++) {
        x[i] = Volts(codes[i]);
        mean += x[i] / dn;
    }
    const double pi = std::numbers::pi;
    std::vector<double> w(n, 1.0);
    for (size_t i = 0; i < n; i++) {
        const double c = (static_cast<double>(i) + 0.5) / dn;
        const double t = c - 0.5;
        switch (window) {
        case 1:
            w[i] = 0.5 * (1 - std::cos(2 * pi * c));
            break;
        case 2:
            w[i] = 0.54 - 0.46 * std::cos(2 * pi * c);
            break;
        case 3:
            w[i] = (0.54 + 0.46 * std::cos(2 * pi * t)) * std::sin(4 * pi * t) / (4 * pi * t);
            break;
        default:
            break;
        }
    }
    double ms = 0;
    for (double v : w)
        ms += v * v / dn;
    const double gain = correct && window != 0 ? 1 / std::sqrt(ms) : 1.0;
    std::vector<std::complex<double>> turn(n);
    for (size_t m = 0; m < n; m++)
        turn[m] = std::polar(1.0, -2 * pi * static_cast<double>(m) / dn);
    Reference r;
    double sum = 0;
    for (size_t k = 1; k < n / 2; k++) {
        std::complex<double> acc = 0;
        for (size_t i = 0; i < n; i++)
            acc += (x[i] - (dcCut ? mean : 0.0)) * w[i] * gain * turn[(i * k) % n];
        const double a = std::sqrt(2.0) / dn * std::abs(acc);
        sum += a * a;
        if (a > r.peak) {
            r.peak = a;
            r.peakBin = static_cast<int>(k);
        }
    }
    r.rms = std::sqrt(sum);
    return r;
}

class CliTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string P(const std::string& name) const { return dir.file(name); }

    static CliRun Run(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        const int code = RunKalvexCli(args, out, err);
        return {code, out.str(), err.str()};
    }

    // The program itself, its standard output going to stdoutPath; ended if it hangs.
    CliRun Process(const std::vector<std::string>& args, const std::string& stdoutPath) const {
        std::string cmd = "timeout 30 " + Quote(KALVEX_CLI);
        for (const auto& a : args)
            cmd += " " + Quote(a);
        cmd += " >" + Quote(stdoutPath) + " 2>" + Quote(P("stderr")) + " </dev/null";
        const int status = std::system(cmd.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                stdoutPath == "/dev/full" ? "" : TempDir::Read(stdoutPath),
                TempDir::Read(P("stderr"))};
    }

    // 0.1 V plus a sine of `peak` volts on bin `bin` (plus Gaussian noise of `noise` volts, fixed
    // seed), at 10 ksps, written by the data writer.
    std::string WriteData(const std::string& name, int n, double peak, int bin,
                          const TFFTSetting& fft, uint32_t lastCode = 0, double noise = 0,
                          std::vector<uint32_t>* written = nullptr) const {
        std::vector<uint32_t> codes(static_cast<size_t>(n));
        std::vector<float> volts(static_cast<size_t>(n));
        std::mt19937 gen(20240611);
        std::normal_distribution<double> gauss(0.0, noise > 0 ? noise : 1.0);
        for (int i = 0; i < n; i++) {
            double v = 0.1 + peak * std::sin(2 * std::numbers::pi * bin * i / n);
            if (noise > 0) v += gauss(gen);
            codes[static_cast<size_t>(i)] =
                static_cast<uint32_t>(2147483648.0 + std::round(v * 2147483647.0 / 2.5));
        }
        if (lastCode) codes.back() = lastCode;
        if (written) *written = codes;
        TSignalData sig;
        sig.ad_dnum = n;
        sig.pCode = codes.data();
        sig.pVolt = volts.data();
        TADSetting ad;
        ConvertCodes(sig);
        TFileSetting file;
        file.DataFileName = P(name);
        file.StartDateTime = "2024/06/11 10:15:30";
        EXPECT_TRUE(TmyFile().WriteDTA(DTA_HEADER, &ad, &sig, &fft, &file));
        return file.DataFileName;
    }

    std::string WriteSettings(const std::string& name, const TFFTSetting& fft) const {
        TFileSetting file;
        TADSetting ad;
        ad.spsSel = 3;
        EXPECT_TRUE(TmyFile().WritePrf(P(name), PRF_HEADER, &fft, &file, &ad));
        return P(name);
    }
};

// An output that refuses every byte, as a full disk does.
class FullBuffer : public std::streambuf {
protected:
    int overflow(int) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

} // namespace

TEST_F(CliTest, AnalyzePrintsTheMainWindowReadoutsAsTextAndJson) {
    TFFTSetting f = Rectangular();
    const std::string data = WriteData("sine.DTA", 65536, 1.0, 6554, f);
    const CliRun r = Run({"analyze", data});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string expect =
        "file: " + data +
        "\nsamples: 65536\nrate: 10ksps\n"
        "status: Δｆ= 0.153Hz / 絶対値[dBV] 表示 / 窓関数=矩形波窓(補正なし)\n"
        "rms: 0.707 Vrms\npeak_bin: 6554\npeak_volt: 707.107 mVrms\n"
        "peak_db: -3.01 dBV\npeak_hz: 1000.061 Hz\n"
        "level_stats: 最大値：";
    EXPECT_EQ(r.out.substr(0, expect.size()), expect);
    EXPECT_EQ(Run({"analyze", data}).out, r.out) << "a second call in the same process";

    f.fSig_Volt = 1;
    const CliRun j = Run({"analyze", "--json", WriteData("v.DTA", 1024, 0.5, 16, f)});
    ASSERT_EQ(j.code, 0) << j.err;
    EXPECT_EQ(j.out.substr(0, 3) + j.out.substr(j.out.size() - 2), "{\n }\n");
    for (const char* k :
         {"\"samples\": 1024,", "\"rate_text\": \"10ksps\"", "\"delta_f\": 9.765625,",
          "\"status_text\": \"Δｆ= 9.766Hz", "\"rms_text\": \"0.354\"", "\"rms_unit\": \"Vrms\"",
          "\"peak_bin\": 16,", "\"peak_volt_text\": \"353.553\"", "\"peak_volt_unit\": \"mVrms\"",
          "\"peak_db_text\": \"-9.03\"", "\"peak_db_unit\": \"dBV\"",
          "\"peak_hz_text\": \"156.250\"", "\"level_stats_mode\": \"volts\"",
          "\"level_stats_text\": \"最大値：600.000 mV　/最小値：",
          "\"code_max\": ", "\"code_min\": ", "\"code_stddev\": ", "\"fft_file\": null"})
        EXPECT_NE(j.out.find(k), std::string::npos) << k << "\n" << j.out;
    // Every key, always, in this order; the old ones first where scripts found them.
    std::vector<std::string> keys;
    const Json parsed = Json::parse(j.out);
    for (const auto& item : parsed.items())
        keys.push_back(item.key());
    EXPECT_EQ(
        keys,
        (std::vector<std::string>{
            "file",         "samples",      "rate_text",    "delta_f",           "status_text",
            "rms_text",     "rms_unit",     "peak_bin",     "peak_volt_text",    "peak_volt_unit",
            "peak_db_text", "peak_db_unit", "peak_hz_text", "level_stats_mode",  "level_stats_text",
            "code_max",     "code_min",     "code_stddev",  "fft_file",          "delta_f_hz",
            "rms_v",        "peak_v",       "peak_db",      "peak_hz",           "volt_max",
            "volt_min",     "volt_mean",    "code_mean",    "code_stddev_shown", "spectrum_scale",
            "figures"}));
}

// The figures of a 0.5 V tone on bin 37 (1024 samples at 10 ksps) with white noise of
// 2e-4 V RMS, against the definitions: the tone's RMS (1e-4 relative) and frequency, the code
// mean and deviation (1e-9 relative), SNR = 10 log10((A^2 / 2) / s^2) within 1 dB and the
// density s sqrt(2 / fs) within 15 % (about 500 noise bins of one block).
TEST_F(CliTest, AnalyzeFiguresAgreeWithTheirDefinitions) {
    std::vector<uint32_t> codes;
    const double sigma = 2e-4, fs = 10000.0;
    const std::string data = WriteData("fig.DTA", 1024, 0.5, 37, TFFTSetting{}, 0, sigma, &codes);
    const CliRun r = Run({"analyze", data, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Json j = Json::parse(r.out);
    EXPECT_EQ(j["spectrum_scale"], "rms");
    const Json& f = j["figures"];
    double mean = 0;
    for (uint32_t c : codes)
        mean += c / 1024.0;
    double var = 0;
    for (uint32_t c : codes)
        var += (c - mean) * (c - mean) / 1024.0;
    EXPECT_NEAR(f["mean_code"].get<double>(), mean, mean * 1e-12);
    EXPECT_NEAR(f["noise_rms_code"].get<double>(), std::sqrt(var), std::sqrt(var) * 1e-9);
    // The line's centre is estimated from the bins around it: within a hundredth of a bin.
    EXPECT_NEAR(f["fundamental_hz"].get<double>(), 37 * fs / 1024, 0.01 * fs / 1024);
    EXPECT_NEAR(f["fundamental_vrms"].get<double>(), 0.5 / std::sqrt(2.0), 1e-4 * 0.5);
    EXPECT_NEAR(f["snr_db"].get<double>(), 10 * std::log10(0.125 / (sigma * sigma)), 1.0);
    const double density = sigma * std::sqrt(2.0 / fs);
    EXPECT_NEAR(f["noise_density_v_rthz"].get<double>(), density, 0.15 * density);
    EXPECT_TRUE(f["harmonics"].is_array());
    for (const char* k :
         {"snr_db", "thd_db", "sinad_db", "sfdr_db", "fundamental_hz", "fundamental_vrms",
          "fundamental_dbfs", "enob_bits", "harmonics", "noise_density_v_rthz", "band_noise_v",
          "mean_v", "mean_code", "noise_rms_v", "noise_rms_code", "noise_pp_v", "noise_pp_code",
          "effective_bits", "noise_free_bits"})
        EXPECT_TRUE(f.contains(k)) << k;
    // A band of 1 kHz holds about a fifth of the noise power of the 5 kHz span.
    const CliRun b = Run({"analyze", data, "--json", "--band", "2000:3000"});
    ASSERT_EQ(b.code, 0) << b.err;
    const double bandNoise = Json::parse(b.out)["figures"]["band_noise_v"].get<double>();
    EXPECT_NEAR(bandNoise, density * std::sqrt(1000.0), 0.2 * density * std::sqrt(1000.0));
    // The text form ends with the same figures.
    const CliRun t = Run({"analyze", data});
    ASSERT_EQ(t.code, 0) << t.err;
    EXPECT_NE(t.out.find("\nspectrum_scale: rms\nfigure_snr_db: "), std::string::npos) << t.out;
    EXPECT_NE(t.out.find("\nfigure_noise_free_bits: "), std::string::npos);
}

// --scale: the tone scale reads an on-bin tone's RMS with every window, the density scale
// |X| sqrt(2 / (N df S2)) (Hanning sums from its definition, 1e-5 relative); the RMS readout
// stays the block's RMS.
TEST_F(CliTest, AnalyzeScaleChoosesTheSpectrumUnit) {
    const std::string data = WriteData("scale.DTA", 1024, 0.5, 37, TFFTSetting{});
    const Json rms = Json::parse(Run({"analyze", data, "--json"}).out);
    for (const char* w : {"rect", "hanning", "hamming", "flattop"}) {
        const CliRun r = Run({"analyze", data, "--json", "--scale", "tone", "--window", w});
        ASSERT_EQ(r.code, 0) << r.err;
        const Json j = Json::parse(r.out);
        EXPECT_EQ(j["spectrum_scale"], "tone");
        EXPECT_EQ(j["peak_volt_unit"], "mVrms");
        EXPECT_NEAR(j["peak_v"].get<double>(), 0.5 / std::sqrt(2.0), 1e-5) << w;
        EXPECT_NEAR(j["rms_v"].get<double>(), 0.5 / std::sqrt(2.0), 1e-3) << w;
    }
    const CliRun d = Run({"analyze", data, "--json", "--scale", "density", "--window", "hanning"});
    ASSERT_EQ(d.code, 0) << d.err;
    const Json j = Json::parse(d.out);
    double s1 = 0, s2 = 0;
    for (int i = 0; i < 1024; ++i) {
        const double w = 0.5 * (1 - std::cos(2 * std::numbers::pi * (i + 0.5) / 1024));
        s1 += w;
        s2 += w * w;
    }
    const double df = 10000.0 / 1024;
    const double want = 0.5 * s1 / 2 * std::sqrt(2.0 / (1024 * df * s2));
    EXPECT_NEAR(j["peak_v"].get<double>(), want, want * 1e-5);
    EXPECT_EQ(j["peak_volt_unit"].get<std::string>().find("V/√Hz") != std::string::npos, true);
    EXPECT_EQ(j["peak_db_unit"], "dBV/√Hz");
    EXPECT_EQ(j["rms_unit"], rms["rms_unit"]);
    EXPECT_NEAR(j["rms_v"].get<double>(), rms["rms_v"].get<double>(), 1e-3);
    // The export names the scale.
    ASSERT_EQ(Run({"analyze", data, "--scale", "density", "--fft", P("d.FFT")}).code, 0);
    std::ifstream in(P("d.FFT"), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\r\nscale:density\r\nunit:V/rtHz\r\n"), std::string::npos);
}

TEST_F(CliTest, AnalyzeRefusesBadScaleAndBand) {
    const std::string data = WriteData("bad.DTA", 1024, 0.5, 37, TFFTSetting{});
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"analyze", data, "--scale", "dbv"},
             {"analyze", data, "--band", "300"},
             {"analyze", data, "--band", "300:100"},
             {"analyze", data, "--band", "0:6000"},
             {"analyze", data, "--band", "-1:10"},
             {"analyze", data, "--band", "a:b"},
             {"analyze", data, "--band", "1:2", "--band", "1:3"}}) {
        const CliRun r = Run(args);
        EXPECT_EQ(r.code, 2) << args.back() << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(CliTest, JsonNumbersAgreeWithADoublePrecisionReference) {
    std::vector<uint32_t> codes;
    const std::string data = WriteData("ref.DTA", 1024, 0.5, 37, TFFTSetting{}, 0, 2e-4, &codes);
    const double deltaF = 10000.0 / 1024;

    // Code statistics from their definitions.
    double mean = 0, meanV = 0, vmax = -10, vmin = 10;
    for (uint32_t c : codes) {
        mean += c / 1024.0;
        meanV += Volts(c) / 1024.0;
        vmax = std::max(vmax, Volts(c));
        vmin = std::min(vmin, Volts(c));
    }
    double var = 0;
    for (uint32_t c : codes)
        var += (c - mean) * (c - mean) / 1024.0;

    // Window, mean removal and correction as options, each against its own reference.
    struct Case {
        std::vector<std::string> opts;
        int window;
        bool dcCut, correct;
    };
    for (const Case& c : std::vector<Case>{
             {{"--window", "rect"}, 0, true, true},
             {{"--window", "hanning", "--correct", "on"}, 1, true, true},
             {{"--window", "hanning", "--correct", "off", "--dc-cut", "off"}, 1, false, false},
             {{"--window", "hamming", "--dc-cut", "on"}, 2, true, true},
             {{"--window", "flattop", "--correct", "off"}, 3, true, false},
             {{"--window", "flattop"}, 3, true, true}}) {
        std::vector<std::string> args{"analyze", data, "--json"};
        args.insert(args.end(), c.opts.begin(), c.opts.end());
        const CliRun r = Run(args);
        ASSERT_EQ(r.code, 0) << r.err;
        const Json j = Json::parse(r.out);
        const Reference ref = Analyse(codes, c.window, c.dcCut, c.correct);
        SCOPED_TRACE(c.opts.size() > 1 ? c.opts[1] + " " + std::to_string(c.opts.size()) : "");
        // The spectrum is single precision: 1e-6 relative (seen: 2e-7).
        const double tol = 1e-6;
        EXPECT_EQ(j["peak_bin"], ref.peakBin);
        EXPECT_NEAR(j["rms_v"].get<double>(), ref.rms, ref.rms * tol);
        EXPECT_NEAR(j["peak_v"].get<double>(), ref.peak, ref.peak * tol);
        EXPECT_NEAR(j["peak_db"].get<double>(), 20 * std::log10(ref.peak), 20 * tol);
        EXPECT_NEAR(j["peak_hz"].get<double>(), ref.peakBin * deltaF, 1e-9);
        EXPECT_NEAR(j["delta_f_hz"].get<double>(), deltaF, 1e-9);
        EXPECT_NEAR(j["volt_max"].get<double>(), vmax, 1e-7);
        EXPECT_NEAR(j["volt_min"].get<double>(), vmin, 1e-7);
        EXPECT_NEAR(j["volt_mean"].get<double>(), meanV, 1e-8);
        EXPECT_NEAR(j["code_mean"].get<double>(), mean, 1e-6);
        EXPECT_NEAR(j["code_stddev"].get<double>(), std::sqrt(var), std::sqrt(var) * 1e-12);
        EXPECT_EQ(j["code_stddev_shown"].get<double>(), static_cast<float>(std::sqrt(var)));
    }

    // Relative dB: the largest line is 0 dB, the scale's top moves to 0 dB as the dialog does.
    TFFTSetting top;
    top.index_dB_max = 0;
    const CliRun rel =
        Run({"analyze", data, "--json", "--db", "rel", "--settings", WriteSettings("t.prf", top)});
    ASSERT_EQ(rel.code, 0) << rel.err;
    const Json j = Json::parse(rel.out);
    EXPECT_EQ(j["peak_db"], 0.0);
    EXPECT_EQ(j["peak_db_text"], "0.00");
    EXPECT_EQ(j["peak_db_unit"], "dB");
    EXPECT_NE(j["status_text"].get<std::string>().find("相対値[dB] 表示"), std::string::npos);
    const CliRun abs = Run({"analyze", data, "--json", "--db", "abs"});
    EXPECT_EQ(Json::parse(abs.out)["peak_db_unit"], "dBV");
}

TEST_F(CliTest, SettingsFileReplacesTheFileFFTSettingsAndOptionsOverrideBoth) {
    const std::string data = WriteData("d.DTA", 1024, 0.5, 16, Rectangular());
    TFFTSetting s; // Hanning, corrected, relative
    s.fAbsoGraph = 0;
    const std::string prf = WriteSettings("s.prf", s);
    const CliRun r = Run({"analyze", data, "--settings", prf});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("status: Δｆ= 9.766Hz / 相対値[dB] 表示 / 窓関数=ハニング窓(補正あり)\n"
                         "rms: 0.354 Vrms\npeak_bin: 16\npeak_volt: 288.675 mVrms\n"
                         "peak_db: 0.00 dB\n"),
              std::string::npos)
        << r.out;
    const CliRun o = Run({"analyze", data, "--settings", prf, "--window", "hamming", "--correct",
                          "off", "--db", "abs"});
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_NE(o.out.find("status: Δｆ= 9.766Hz / 絶対値[dBV] 表示 / 窓関数=ハミング窓\n"),
              std::string::npos)
        << o.out;

    // A settings file that fails has its own exit code and is named.
    s.index_dB_max = 17; // inconsistent range: rejected as the settings-load command does
    const std::string bad = WriteSettings("bad.prf", s);
    TempDir::Write(P("dbmin.prf"),
                   Replace(TempDir::Read(prf), "index_dB_min:17\r", "index_dB_min:2147483647\r"));
    for (const auto& [file, why] : std::vector<std::pair<std::string, std::string>>{
             {bad, "設定ファイルの内容が正しくありませんでした"},
             {P("dbmin.prf"), "設定ファイルの内容が正しくありませんでした"},
             {P("none.prf"), "not found"},
             {dir.path(), "is a directory"}}) {
        const CliRun b = Run({"analyze", data, "--settings", file});
        EXPECT_EQ(b.code, 5) << file;
        EXPECT_EQ(b.err, "kalvex-cli: " + file + ": " + why + "\n");
        EXPECT_EQ(b.out, "");
    }
}

TEST_F(CliTest, FftExportNamesItselfAndNeverOverwritesAnInput) {
    const std::string data = WriteData("d.DTA", 1024, 0.5, 16, Rectangular());
    TempDir::Write(P("out.FFT"), "old\n");
    const CliRun r = Run({"analyze", data, "--fft", P("out.FFT"), "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out)["fft_file"], P("out.FFT"));
    const std::string f = TempDir::Read(P("out.FFT"));
    EXPECT_EQ(f.rfind("DataFile:Kalvex_FFT\r\n", 0), 0u);
    for (const std::string& line :
         {"DataFileName:" + P("out.FFT"), std::string("StartDateTime:2024/06/11 10:15:30"),
          std::string("fftnum:511"), std::string("156.250Hz, 0.353553")})
        EXPECT_NE(f.find(line), std::string::npos) << line;

    // The export's rule: a name without a dot gets ".FFT".
    EXPECT_EQ(Run({"analyze", data, "--fft", P("plain")}).code, 0);
    EXPECT_TRUE(fs::exists(P("plain.FFT")));
    const CliRun w = Run({"analyze", data, "--fft", P("missing/x.FFT")});
    EXPECT_EQ(w.code, 4);
    EXPECT_EQ(w.err, "kalvex-cli: " + P("missing/x.FFT") + ": FFTデータ保存できませんでした\n");

    // The input under its own name, another spelling, a symbolic and a hard link, and the
    // name the ".FFT" rule turns into it; the settings file as well.
    const std::string prf = WriteSettings("s.FFT", TFFTSetting{});
    fs::copy_file(data, P("x.FFT"));
    fs::create_symlink(data, P("sym.FFT"));
    fs::create_hard_link(data, P("hard.FFT"));
    const std::string before = TempDir::Read(data), prfBefore = TempDir::Read(prf);
    for (const auto& [in, out, what] : std::vector<std::array<std::string, 3>>{
             {data, data, "data file " + data},
             {data, dir.path() + "/./d.DTA", "data file " + data},
             {data, P("sym.FFT"), "data file " + data},
             {data, P("hard.FFT"), "data file " + data},
             {P("x.FFT"), P("x"), "data file " + P("x.FFT")},
             {data, prf, "settings file " + prf}}) {
        const CliRun s = Run({"analyze", in, "--fft", out, "--settings", prf});
        EXPECT_EQ(s.code, 4) << out;
        EXPECT_EQ(s.err, "kalvex-cli: " + WithDefaultExtension(out, ".FFT") +
                             ": FFTデータ保存できませんでした (it is the " + what + ")\n");
        EXPECT_EQ(s.out, "");
    }
    EXPECT_EQ(TempDir::Read(data), before);
    EXPECT_EQ(TempDir::Read(prf), prfBefore);
    EXPECT_TRUE(fs::is_symlink(P("sym.FFT")));
}

TEST_F(CliTest, BadDataFilesExitWithTheirCodeAndANamedMessage) {
    const CliRun lvl =
        Run({"analyze", WriteData("clip.DTA", 1024, 0.5, 16, Rectangular(), 0xFFFFFFFFu), "--fft",
             P("x.FFT")});
    EXPECT_EQ(lvl.code, 3);
    EXPECT_EQ(lvl.err,
              "kalvex-cli: " + P("clip.DTA") + ": 入力信号レベルが適正範囲からはずれています\n");
    EXPECT_EQ(lvl.out, "");
    EXPECT_FALSE(fs::exists(P("x.FFT")));

    const std::string data = WriteData("d.DTA", 1024, 0.5, 16, Rectangular());
    const std::string text = TempDir::Read(data);
    TempDir::Write(P("cut.DTA"), text.substr(0, text.size() / 2));
    TempDir::Write(P("bin.DTA"), std::string("\0\xff\xfe\n", 4) + std::string(3000, 'x'));
    // dB indices off the scale: the floor, and with it the dB readout, would be garbage.
    TempDir::Write(P("dbmin.DTA"), Replace(text, "index_dB_min:17\r", "index_dB_min:2147483647\r"));
    TempDir::Write(P("dbmax.DTA"), Replace(text, "index_dB_max:2\r", "index_dB_max:-2147483648\r"));
    TempDir::Write(P("dbneg.DTA"), Replace(text, "index_dB_max:2\r", "index_dB_max:-1\r"));
    const std::string invalid = "データファイルの内容が正しくありませんでした";
    for (const auto& [file, why] : std::vector<std::pair<std::string, std::string>>{
             {P("none.DTA"), "not found"},
             {P("none/d.DTA"), "not found"},
             {P("d.DTA/x.DTA"), "not found"},
             {dir.path(), "is a directory"},
             {"/dev/null", "not a regular file"},
             {P("cut.DTA"), invalid},
             {P("bin.DTA"), invalid},
             {P("dbmin.DTA"), invalid},
             {P("dbmax.DTA"), invalid},
             {P("dbneg.DTA"), invalid},
             {WriteSettings("s.prf", TFFTSetting{}), invalid}}) {
        const CliRun r = Run({"analyze", file, "--json"});
        EXPECT_EQ(r.code, 1) << file;
        EXPECT_EQ(r.err, "kalvex-cli: " + file + ": " + why + "\n");
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(CliTest, UsageErrorsShowTheUsageAndExit2) {
    const std::string data = WriteData("d.DTA", 1024, 0.5, 16, Rectangular());
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"analyze"},
             {"analyze", ""},
             {"analyze", data, data},
             {"analyze", data, "--fft"},
             {"analyze", data, "--fft", ""},
             {"analyze", data, "--json", "--json"},
             {"analyze", data, "--settings", "a.prf", "--settings", "b.prf"},
             {"analyze", data, "--verbose"},
             {"analyze", data, "--window", "blackman"},
             {"analyze", data, "--window", "rect", "--window", "hanning"},
             {"analyze", data, "--dc-cut", "yes"},
             {"analyze", data, "--correct"},
             {"analyze", data, "--db", "dBV"},
             {"settings"},
             {"settings", "a.prf", "b.prf"},
             {"settings", "a.prf", "--json"}}) {
        const CliRun r = Run(args);
        EXPECT_EQ(r.code, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(r.err.rfind("kalvex-cli: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("\nusage: kalvex-cli analyze FILE.DTA"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"analyze", "--help"}}) {
        const CliRun h = Run(args);
        EXPECT_EQ(h.code, 0);
        EXPECT_EQ(h.out.rfind("usage: kalvex-cli", 0), 0u);
        EXPECT_EQ(h.err, "");
    }
    // A file whose name starts with a dash, after "--".
    fs::copy_file(data, P("-d.DTA"));
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.path());
    EXPECT_EQ(Run({"analyze", "--", "-d.DTA"}).code, 0);
    fs::current_path(cwd);
}

TEST_F(CliTest, SettingsPrintsWhatTheProgramWouldWriteBack) {
    TFFTSetting s;
    s.PenColorGraph = -1;
    s.whichWindowFunc = 3;
    const std::string prf = WriteSettings("s.prf", s);
    const CliRun r = Run({"settings", prf});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, TempDir::Read(prf));

    // Its only file keeps exit 1.
    s.fAbsoGraph = 0;
    s.index_dB_max = 3; // relative mode needs index_dB_max 2
    const std::string invalid = "設定ファイルの内容が正しくありませんでした";
    for (const auto& [file, why] : std::vector<std::pair<std::string, std::string>>{
             {WriteSettings("bad.prf", s), invalid},
             {WriteData("d.DTA", 1024, 0.5, 16, s), invalid},
             {P("none.prf"), "not found"}}) {
        const CliRun b = Run({"settings", file});
        EXPECT_EQ(b.code, 1) << file;
        EXPECT_EQ(b.err, "kalvex-cli: " + file + ": " + why + "\n");
        EXPECT_EQ(b.out, "");
    }
}

TEST_F(CliTest, FileNamesThatAreNotUtf8StillGiveValidJson) {
    // "計測.DTA" in Shift-JIS, as files from the other platform are named.
    const std::string sjis = "\x8c\x76\x91\xaa";
    const std::string data = WriteData(sjis + ".DTA", 1024, 0.5, 16, Rectangular());
    const CliRun r = Run({"analyze", data, "--json", "--fft", P(sjis + ".FFT")});
    ASSERT_EQ(r.code, 0) << r.err;
    Json j;
    ASSERT_NO_THROW(j = Json::parse(r.out)) << "not valid UTF-8 JSON";
    // Every byte that is not part of a UTF-8 character becomes U+FFFD; the ASCII second byte
    // of a Shift-JIS character stays.
    const std::string bad = "\xef\xbf\xbd";
    EXPECT_EQ(j["file"], P(bad + "v" + bad + bad + ".DTA"));
    EXPECT_EQ(j["fft_file"], P(bad + "v" + bad + bad + ".FFT"));
    EXPECT_TRUE(fs::exists(P(sjis + ".FFT")));
    // The plain output keeps the bytes, so the name can be used again.
    EXPECT_EQ(Run({"analyze", data}).out.rfind("file: " + data + "\n", 0), 0u);
}

TEST_F(CliTest, AnOutputThatFailsIsAnErrorNotASuccess) {
    const std::string data = WriteData("d.DTA", 1024, 0.5, 16, Rectangular());
    const std::string prf = WriteSettings("s.prf", TFFTSetting{});
    FullBuffer full;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"analyze", data}, {"analyze", data, "--json"}, {"settings", prf}, {"--help"}}) {
        std::ostream out(&full);
        std::ostringstream err;
        EXPECT_EQ(RunKalvexCli(args, out, err), 6) << args[0];
        EXPECT_EQ(err.str(), "kalvex-cli: standard output: write error\n");
    }

    // The program on a full device.
    const CliRun p = Process({"analyze", data, "--json"}, "/dev/full");
    EXPECT_EQ(p.code, 6);
    EXPECT_EQ(p.err, "kalvex-cli: standard output: write error\n");
    const CliRun ok = Process({"analyze", data}, P("out.txt"));
    EXPECT_EQ(ok.code, 0) << ok.err;
    EXPECT_EQ(ok.out, Run({"analyze", data}).out);
}

TEST_F(CliTest, AFifoIsRefusedWithoutWaitingOnIt) {
    const std::string fifo = P("f.DTA");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    fs::create_symlink(fifo, P("link.prf"));
    const std::string data = WriteData("d.DTA", 1024, 0.5, 16, Rectangular());
    // The program, so that a blocking open would be ended by the time-out (exit 124).
    for (const auto& [args, code, file] :
         std::vector<std::tuple<std::vector<std::string>, int, std::string>>{
             {{"analyze", fifo}, 1, fifo},
             {{"analyze", data, "--settings", P("link.prf")}, 5, P("link.prf")},
             {{"settings", fifo}, 1, fifo}}) {
        const CliRun r = Process(args, P("out.txt"));
        EXPECT_EQ(r.code, code) << file;
        EXPECT_EQ(r.err, "kalvex-cli: " + file + ": not a regular file\n");
    }
    const CliRun out = Run({"analyze", data, "--fft", fifo});
    EXPECT_EQ(out.code, 4);
    EXPECT_EQ(out.err,
              "kalvex-cli: " + fifo + ": FFTデータ保存できませんでした (not a regular file)\n");
    EXPECT_TRUE(fs::is_fifo(fifo));
}

// --- measure: the unit through the session, here the simulated one on a socket ---

class CliMeasureTest : public CliTest {
protected:
    void SetUp() override {
        env = std::make_unique<TSimulatedUnitEnv>(KALVEX_UNITSIM, P("unit.sock"));
        socket = env->SocketPath();
    }
    void TearDown() override { env.reset(); }
    std::unique_ptr<TUnitProcess> Sim(std::vector<std::string> extra) {
        auto p = env->Start(std::move(extra), "50");
        EXPECT_TRUE(p->Running());
        return p;
    }
    std::unique_ptr<TSimulatedUnitEnv> env; // never a USB chip of this machine
    std::string socket;
};

// The file measure writes is the block as the window saves it, and analyze reads it back to
// the very readouts measure printed; several blocks get numbered names, one JSON line each.
TEST_F(CliMeasureTest, WritesWhatTheWindowWouldAndReportsLikeAnalyze) {
    auto sim = Sim({"--ch1", "sine=250.244140625:0.5,noise=1e-5"}); // on bin 205
    const CliRun r = Run({"measure", "--rate", "2.5ksps", "--filter", "sinc5", "--ch", "1",
                          "--count", "2048", "--out", P("m.DTA"), "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["samples"], 2048);
    EXPECT_EQ(j["rate_text"], "2.5ksps");
    EXPECT_NEAR(j["peak_hz"].get<double>(), 250.0, 2500.0 / 2048);
    // Hanning with its RMS correction: an on-bin tone reads 0.5 x 1.633 of its RMS.
    EXPECT_NEAR(j["peak_v"].get<double>(), 0.5 / std::sqrt(2.0) * 0.5 * 1.632993162, 0.002);

    const std::string text = TempDir::Read(P("m.DTA"));
    EXPECT_EQ(text.rfind("DataFile:Kalvex\r\n", 0), 0u);
    EXPECT_NE(text.find("spsSel:11\r\n"), std::string::npos);
    EXPECT_NE(text.find("sinc3:0\r\n"), std::string::npos);
    EXPECT_NE(text.find("ch_sel:1\r\n"), std::string::npos);
    const CliRun back = Run({"analyze", P("m.DTA"), "--json"});
    ASSERT_EQ(back.code, 0) << back.err;
    auto a = nlohmann::json::parse(back.out);
    for (const char* k : {"rms_v", "peak_v", "peak_hz", "code_max", "code_min", "code_mean"})
        EXPECT_EQ(a[k], j[k]) << k;

    const CliRun three =
        Run({"measure", "--count", "1024", "--blocks", "3", "--out", P("b"), "--json"});
    ASSERT_EQ(three.code, 0) << three.err;
    std::istringstream lines(three.out);
    std::string line;
    int n = 0;
    while (std::getline(lines, line)) {
        const auto o = nlohmann::json::parse(line);
        char name[32];
        std::snprintf(name, sizeof name, "b_%04d.DTA", ++n);
        EXPECT_EQ(o["file"], P(name));
        EXPECT_FALSE(TempDir::Read(P(name)).empty()) << name;
    }
    EXPECT_EQ(n, 3);
}

// Each way a measurement can fail has its own exit code and a message.
TEST_F(CliMeasureTest, FailuresHaveTheirExitCodes) {
    EXPECT_EQ(Run({"measure", "--count", "1024"}).code, 10); // nobody listens
    {
        auto sim = Sim({"--silent"});
        const CliRun r = Run({"measure", "--count", "1024"});
        EXPECT_EQ(r.code, 11);
        EXPECT_NE(r.err.find("が応答しませんでした"), std::string::npos) << r.err;
    }
    {
        auto sim = Sim({"--model", "ZR9999XX"});
        EXPECT_EQ(Run({"measure", "--count", "1024"}).code, 12);
    }
    {
        auto sim = Sim({"--full-scale-at", "100"});
        const CliRun r = Run({"measure", "--count", "1024", "--out", P("level.DTA")});
        EXPECT_EQ(r.code, 3);
        EXPECT_NE(r.err.find("入力信号レベル"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(P("level.DTA"))) << "a rejected block is not saved";
    }
    {
        auto sim = Sim({"--drop-after", "300"});
        const CliRun r = Run({"measure", "--count", "1024"});
        EXPECT_EQ(r.code, 13);
        EXPECT_NE(r.err.find("計測エラーで終了"), std::string::npos) << r.err;
    }
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"measure", "--rate", "7ksps"},
          {"measure", "--count", "1000"},
          {"measure", "--count", "1824"}, // in range, but no power of two
          {"measure", "--ch", "2"},
          {"measure", "--filter", "sinc4"},
          {"measure", "--blocks", "0"}}) {
        // A usage error, whoever finds it, ends with the usage text.
        const CliRun r = Run(bad);
        EXPECT_EQ(r.code, 2) << bad[1] << " " << bad[2];
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << r.err;
    }
}

// Ctrl-C while a slow block streams: "AX" goes out, the link closes, exit 130 soon after.
TEST_F(CliMeasureTest, InterruptStopsTheUnit) {
    auto sim = Sim({});
    const std::string cmd = "KALVEX_UNIT_SOCKET=" + Quote(socket) +
                            " timeout --preserve-status -s INT 1 " + Quote(KALVEX_CLI) +
                            " measure --rate 5sps --count 1024 2>" + Quote(P("err")) +
                            " >/dev/null";
    const auto t0 = std::chrono::steady_clock::now();
    const int status = std::system(cmd.c_str());
    const auto took = std::chrono::steady_clock::now() - t0;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130) << TempDir::Read(P("err"));
    EXPECT_LT(took, std::chrono::seconds(10));
    // The unit is free again at once: the next start works without waiting for the count.
    EXPECT_EQ(Run({"measure", "--count", "1024"}).code, 0);
}
