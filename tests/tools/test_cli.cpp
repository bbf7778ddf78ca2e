// kalvex-cli run as a process on files the tests write.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <vector>

#include "myfile.h"
#include "signal_stats.h"

namespace fs = std::filesystem;

namespace {

struct CliRun {
    int code = -1;
    std::string out, err;
};

std::string Slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void Spit(const std::string& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

TFFTSetting Rectangular() {
    TFFTSetting f;
    f.whichWindowFunc = 0;
    return f;
}

class CliTest : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              (std::string("kalvex_cli_") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
               std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string P(const std::string& name) const { return (dir / name).string(); }

    CliRun Cli(const std::vector<std::string>& args) const {
        std::string cmd = Quote(KALVEX_CLI);
        for (const auto& a : args)
            cmd += " " + Quote(a);
        cmd += " >" + Quote(P("stdout")) + " 2>" + Quote(P("stderr"));
        const int status = std::system(cmd.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(P("stdout")),
                Slurp(P("stderr"))};
    }

    // 0.1 V plus a sine of `peak` volts on bin `bin`, at 10 ksps, written by the data writer.
    std::string WriteData(const std::string& name, int n, double peak, int bin,
                          const TFFTSetting& fft, uint32_t lastCode = 0) const {
        std::vector<uint32_t> codes(static_cast<size_t>(n));
        std::vector<float> volts(static_cast<size_t>(n));
        for (int i = 0; i < n; i++) {
            const double v = 0.1 + peak * std::sin(2 * std::numbers::pi * bin * i / n);
            codes[static_cast<size_t>(i)] =
                static_cast<uint32_t>(2147483648.0 + std::round(v * 2147483647.0 / 2.5));
        }
        if (lastCode) codes.back() = lastCode;
        TSignalData sig;
        sig.ad_dnum = n;
        sig.pCode = codes.data();
        sig.pVolt = volts.data();
        TADSetting ad;
        ConvertCodes(sig, ad);
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

} // namespace

TEST_F(CliTest, AnalyzePrintsTheMainWindowReadoutsAsTextAndJson) {
    TFFTSetting f = Rectangular();
    const std::string data = WriteData("sine.DTA", 65536, 1.0, 6554, f);
    const CliRun r = Cli({"analyze", data});
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

    f.fSig_Volt = 1;
    const CliRun j = Cli({"analyze", "--json", WriteData("v.DTA", 1024, 0.5, 16, f)});
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
}

TEST_F(CliTest, SettingsFileReplacesTheFileFFTSettings) {
    const std::string data = WriteData("d.DTA", 1024, 0.5, 16, Rectangular());
    TFFTSetting s; // Hanning, corrected, relative
    s.fAbsoGraph = 0;
    const CliRun r = Cli({"analyze", data, "--settings", WriteSettings("s.prf", s)});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("status: Δｆ= 9.766Hz / 相対値[dB] 表示 / 窓関数=ハニング窓(補正あり)\n"
                         "rms: 0.354 Vrms\npeak_bin: 16\npeak_volt: 288.675 mVrms\n"
                         "peak_db: 0.00 dB\n"),
              std::string::npos)
        << r.out;
    s.index_dB_max = 17; // inconsistent range: rejected as the settings-load command does
    const CliRun b = Cli({"analyze", data, "--settings", WriteSettings("bad.prf", s)});
    EXPECT_EQ(b.code, 1);
    EXPECT_EQ(b.err, "設定ファイルの内容が正しくありませんでした\n");
    EXPECT_EQ(b.out, "");
}

TEST_F(CliTest, FftExportNamesItselfAndReplacesAnOldFile) {
    const std::string data = WriteData("d.DTA", 1024, 0.5, 16, Rectangular());
    Spit(P("out.FFT"), "old\n");
    const CliRun r = Cli({"analyze", data, "--fft", P("out.FFT"), "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"fft_file\": \"" + P("out.FFT") + "\""), std::string::npos);
    const std::string f = Slurp(P("out.FFT"));
    EXPECT_EQ(f.rfind("DataFile:Kalvex_FFT\r\n", 0), 0u);
    for (const std::string& line :
         {"DataFileName:" + P("out.FFT"), std::string("StartDateTime:2024/06/11 10:15:30"),
          std::string("fftnum:511"), std::string("156.250Hz, 0.353553")})
        EXPECT_NE(f.find(line), std::string::npos) << line;

    // The export's rule: a name without a dot gets ".FFT".
    EXPECT_EQ(Cli({"analyze", data, "--fft", P("plain")}).code, 0);
    EXPECT_TRUE(fs::exists(P("plain.FFT")));
    const CliRun w = Cli({"analyze", data, "--fft", P("missing/x.FFT")});
    EXPECT_EQ(w.code, 4);
    EXPECT_EQ(w.err, "FFTデータ保存できませんでした\n");
}

TEST_F(CliTest, BadInputsExitWithTheirCodeAndMessage) {
    const std::string data = WriteData("d.DTA", 1024, 0.5, 16, Rectangular());
    const CliRun lvl =
        Cli({"analyze", WriteData("clip.DTA", 1024, 0.5, 16, Rectangular(), 0xFFFFFFFFu), "--fft",
             P("x.FFT")});
    EXPECT_EQ(lvl.code, 3);
    EXPECT_EQ(lvl.err, "入力信号レベルが適正範囲からはずれています\n");
    EXPECT_EQ(lvl.out, "");
    EXPECT_FALSE(fs::exists(P("x.FFT")));

    const std::string text = Slurp(data);
    Spit(P("cut.DTA"), text.substr(0, text.size() / 2));
    Spit(P("bin.DTA"), std::string("\0\xff\xfe\n", 4) + std::string(3000, 'x'));
    for (const std::string& f : {P("none.DTA"), P("cut.DTA"), P("bin.DTA"), dir.string(),
                                 WriteSettings("s.prf", TFFTSetting{})}) {
        const CliRun r = Cli({"analyze", f});
        EXPECT_EQ(r.code, 1) << f;
        EXPECT_EQ(r.err, "データファイルの内容が正しくありませんでした\n") << f;
    }

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"analyze"},
             {"analyze", data, data},
             {"analyze", data, "--fft"},
             {"analyze", data, "--json", "--json"},
             {"analyze", data, "--settings", "a.prf", "--settings", "b.prf"},
             {"analyze", data, "--verbose"},
             {"settings", "a.prf", "b.prf"}}) {
        const CliRun r = Cli(args);
        EXPECT_EQ(r.code, 2) << args.size();
        EXPECT_NE(r.err.find("usage: kalvex-cli"), std::string::npos);
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(CliTest, SettingsPrintsWhatTheProgramWouldWriteBack) {
    TFFTSetting s;
    s.PenColorGraph = -1;
    s.whichWindowFunc = 3;
    const std::string prf = WriteSettings("s.prf", s);
    const CliRun r = Cli({"settings", prf});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, Slurp(prf));

    s.fAbsoGraph = 0;
    s.index_dB_max = 3; // relative mode needs index_dB_max 2
    for (const std::string& f :
         {WriteSettings("bad.prf", s), P("none.prf"), WriteData("d.DTA", 1024, 0.5, 16, s)}) {
        const CliRun b = Cli({"settings", f});
        EXPECT_EQ(b.code, 1) << f;
        EXPECT_EQ(b.err, "設定ファイルの内容が正しくありませんでした\n");
        EXPECT_EQ(b.out, "");
    }
}
