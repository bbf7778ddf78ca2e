// kalvex-cli sweep (the noise table, headless) and the CSV exports of analyze and measure:
// against the simulated unit on a socket, the numbers checked against the unit's configured
// noise and against values computed here from the codes.
#include "cli.h"
#include "myfile.h"
#include "noise_sweep.h"
#include "temp_dir.h"
#include "unit_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <vector>

namespace {

struct CliRun {
    int code;
    std::string out, err;
};

CliRun Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = RunKalvexCli(args, out, err);
    return {code, out.str(), err.str()};
}

std::vector<std::vector<std::string>> Csv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> f;
        std::stringstream ls(line);
        std::string item;
        while (std::getline(ls, item, ','))
            f.push_back(item);
        rows.push_back(f);
    }
    return rows;
}

double D(const std::string& s) {
    return std::strtod(s.c_str(), nullptr);
}

class CliSweepTest : public ::testing::Test {
protected:
    void SetUp() override {
        env = std::make_unique<TSimulatedUnitEnv>(KALVEX_UNITSIM, dir.file("unit.sock"));
        socket = env->SocketPath();
    }
    void TearDown() override { env.reset(); }
    std::unique_ptr<TUnitProcess> Sim(std::vector<std::string> extra) {
        auto p = env->Start(std::move(extra), "100");
        EXPECT_TRUE(p->Running());
        return p;
    }
    std::unique_ptr<TSimulatedUnitEnv> env; // never a USB chip of this machine
    std::string P(const std::string& name) const { return dir.file(name); }

    TempDir dir;
    std::string socket;
};

} // namespace

TEST_F(CliSweepTest, OneJsonLinePerRateAndFilterAndTheTableAsCsv) {
    auto sim = Sim({"--ch1", "dc=0.002,noise=3e-6"});
    const CliRun r = Cli({"sweep", "--rates", "10ksps,10", "--filters", "sinc3,sinc5", "--ch", "1",
                          "--count", "2048", "--json", "--out", P("table")});
    ASSERT_EQ(r.code, 0) << r.err;
    // The estimate first: 2 x 2048 x 0.1 ms + 2 x 2048 x 1 ms + 4 blocks' overhead.
    const double est = 2 * 0.2048 + 2 * 2.048 + 4 * SWEEP_BLOCK_OVERHEAD_S;
    EXPECT_EQ(r.err.rfind("kalvex-cli: 所要時間の目安: 約 " +
                              std::to_string(static_cast<int>(std::ceil(est))) + " 秒",
                          0),
              0u)
        << r.err;

    std::istringstream lines(r.out);
    std::string line;
    std::vector<nlohmann::json> rows;
    while (std::getline(lines, line))
        rows.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(rows.size(), 4u);
    const char* filters[] = {"sinc3", "sinc5", "sinc3", "sinc5"};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const nlohmann::json& j = rows[i];
        EXPECT_EQ(j["rate_index"], i < 2 ? 13 : 10);
        EXPECT_EQ(j["filter"], filters[i]);
        EXPECT_EQ(j["samples"], 2048);
        EXPECT_EQ(j["level_error"], false);
        // 3 uV RMS of white noise: within the scatter of 2048 samples; codes and volts agree.
        const double rms = j["rms_uv"].get<double>();
        EXPECT_NEAR(rms, 3.0, 0.3);
        EXPECT_NEAR(j["rms_codes"].get<double>() * 2.5 / 2147483647.0 * 1e6, rms, 1e-9 * rms);
        EXPECT_NEAR(j["effective_bits"].get<double>(), std::log2(5.0 / (rms * 1e-6)), 1e-9);
        const double fs = i < 2 ? 10000.0 : 1000.0;
        const double density = 3e-6 / std::sqrt(fs / 2);
        EXPECT_NEAR(j["density_v_per_rthz"].get<double>(), density, 0.15 * density);
        EXPECT_NEAR(j["mean_v"].get<double>(), 0.002, 1e-6);
    }

    const auto csv = Csv(TempDir::Read(P("table.csv")));
    ASSERT_EQ(csv.size(), 5u);
    EXPECT_EQ(csv[0][4], "rms_uv");
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_EQ(csv[i + 1].size(), 13u);
        EXPECT_EQ(D(csv[i + 1][4]), rows[i]["rms_uv"].get<double>());
        EXPECT_EQ(D(csv[i + 1][10]), rows[i]["density_v_per_rthz"].get<double>());
    }
}

TEST_F(CliSweepTest, TextRowsAndUsageErrors) {
    auto sim = Sim({"--ch0", "noise=1e-6"});
    const CliRun r = Cli({"sweep", "--rates", "13", "--filters", "sinc5"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("rate_index: 13\nrate_text: \"10ksps\"\n", 0), std::string::npos);
    EXPECT_EQ(r.out.rfind("rate_index: 13\nrate_text: 10ksps\nfilter: sinc5\nsamples: 1024\n", 0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("\nrms_uv: "), std::string::npos);

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"sweep", "--rates", "14"},
                                                {"sweep", "--rates", "13,"},
                                                {"sweep", "--filters", "sinc4"},
                                                {"sweep", "--count", "3000"},
                                                {"sweep", "--ch", "2"},
                                                {"sweep", "--rates", "1", "--rates", "2"}}) {
        const CliRun b = Cli(bad);
        EXPECT_EQ(b.code, 2) << bad[1] << " " << b.err;
        EXPECT_NE(b.err.find("usage: "), std::string::npos) << b.err;
        EXPECT_TRUE(b.out.empty());
    }
    // A table that cannot be saved is refused before the unit is touched.
    const CliRun w = Cli({"sweep", "--rates", "13", "--out", P("missing/t.csv")});
    EXPECT_EQ(w.code, 4);
    EXPECT_NE(w.err.find("CSVファイルを保存できませんでした"), std::string::npos) << w.err;
}

TEST_F(CliSweepTest, FailuresKeepTheRowsTaken) {
    EXPECT_EQ(Cli({"sweep", "--rates", "13"}).code, 10); // nobody listens
    {
        auto sim = Sim({"--drop-after", "1500"});
        const CliRun r = Cli({"sweep", "--rates", "13", "--filters", "sinc3,sinc5", "--json",
                              "--out", P("lost.csv")});
        EXPECT_EQ(r.code, 13) << r.err;
        EXPECT_EQ(Csv(TempDir::Read(P("lost.csv"))).size(), 2u); // header and the first row
    }
    {
        auto sim = Sim({"--full-scale-at", "100"});
        const CliRun r = Cli({"sweep", "--rates", "13", "--filters", "sinc3", "--json"});
        EXPECT_EQ(r.code, 3) << r.err;
        const auto j = nlohmann::json::parse(r.out);
        EXPECT_EQ(j["level_error"], true);
        EXPECT_TRUE(j["rms_uv"].is_null());
    }
}

TEST_F(CliSweepTest, AnalyzeWritesTheBlockAndSpectrumCsv) {
    // A 1024-sample block at 10 ksps: a tone on bin 64 and seeded noise.
    std::vector<uint32_t> codes(1024);
    std::vector<float> volts(1024);
    std::mt19937 gen(3);
    std::normal_distribution<double> noise(0.0, 1e-4);
    for (size_t i = 0; i < codes.size(); ++i) {
        const double v =
            0.25 * std::sin(2 * M_PI * 64 * static_cast<double>(i) / 1024) + noise(gen);
        codes[i] = static_cast<uint32_t>(std::llround(2147483648.0 + v * 2147483647.0 / 2.5));
        volts[i] = CodeToVolt(codes[i]);
    }
    TSignalData sig;
    sig.ad_dnum = 1024;
    sig.pCode = codes.data();
    sig.pVolt = volts.data();
    sig.deltaF = 10000.0f / 1024; // the writer's resolution line; the reader recomputes it
    TFFTSetting fft;
    fft.DataCountSel = 0;
    fft.DataCountMax = 1024;
    TFileSetting file;
    TADSetting ad;
    file.DataFileName = P("d.DTA");
    file.StartDateTime = "2026/12/09 10:00:00";
    ASSERT_TRUE(TmyFile().WriteDTA(DTA_HEADER, &ad, &sig, &fft, &file));

    const CliRun r = Cli({"analyze", P("d.DTA"), "--json", "--csv", P("block.csv"),
                          "--spectrum-csv", P("spectrum.csv")});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    const auto block = Csv(TempDir::Read(P("block.csv")));
    ASSERT_EQ(block.size(), 1025u);
    EXPECT_EQ(block[0], (std::vector<std::string>{"time_s", "code", "volt"}));
    for (size_t i = 0; i < 1024; ++i) {
        ASSERT_EQ(block[i + 1].size(), 3u);
        EXPECT_NEAR(D(block[i + 1][0]), static_cast<double>(i) * 1e-4,
                    1e-15 * static_cast<double>(i + 1));
        EXPECT_EQ(block[i + 1][1], std::to_string(codes[i]));
        const double v = (codes[i] - 2147483648.0) * 2.5 / 2147483647.0;
        EXPECT_NEAR(D(block[i + 1][2]), v, 1e-15 * std::abs(v));
    }
    const auto spectrum = Csv(TempDir::Read(P("spectrum.csv")));
    ASSERT_EQ(spectrum.size(), 513u);
    EXPECT_EQ(spectrum[0], (std::vector<std::string>{"hz", "vrms", "db"}));
    const int peak = j["peak_bin"].get<int>();
    ASSERT_EQ(peak, 64);
    EXPECT_EQ(D(spectrum[65][0]), 64 * 10000.0 / 1024);
    // The line analyze reports (the shortest decimal of a float) is the exported bin's float,
    // and reads as an on-bin tone of 0.25 V peak under Hanning with its RMS correction.
    EXPECT_EQ(static_cast<float>(D(spectrum[65][1])),
              static_cast<float>(j["peak_v"].get<double>()));
    EXPECT_NEAR(D(spectrum[65][1]), 0.25 / std::sqrt(2.0) * 0.5 * 1.632993162, 1e-4);
    EXPECT_NEAR(D(spectrum[65][2]), 20 * std::log10(D(spectrum[65][1])), 1e-12);

    // With the density scale a fourth column: white noise of 1e-4 V RMS at 10 ksps has the
    // density 1e-4 x sqrt(2 / 10000) V/sqrt(Hz); the power mean of the bins far from the tone
    // reads it within the scatter of 312 bins.
    const CliRun d =
        Cli({"analyze", P("d.DTA"), "--scale", "density", "--spectrum-csv", P("dens.csv")});
    ASSERT_EQ(d.code, 0) << d.err;
    const auto dens = Csv(TempDir::Read(P("dens.csv")));
    ASSERT_EQ(dens.size(), 513u);
    EXPECT_EQ(dens[0], (std::vector<std::string>{"hz", "vrms", "db", "v_per_rthz"}));
    double power = 0;
    for (size_t k = 200; k < 512; ++k) {
        const double v = D(dens[k + 1][3]);
        power += v * v;
        EXPECT_NEAR(D(dens[k + 1][1]), v * std::sqrt(10000.0 / 1024), 1e-12 * v);
    }
    const double density = 1e-4 * std::sqrt(2.0 / 10000);
    EXPECT_NEAR(std::sqrt(power / 312), density, 0.1 * density);

    // Never over an input of the run; the data file stays as it was.
    const std::string before = TempDir::Read(P("d.DTA"));
    const CliRun clash = Cli({"analyze", P("d.DTA"), "--csv", P("d.DTA")});
    EXPECT_EQ(clash.code, 4);
    EXPECT_NE(clash.err.find("it is the data file"), std::string::npos) << clash.err;
    EXPECT_EQ(TempDir::Read(P("d.DTA")), before);
}

TEST_F(CliSweepTest, MeasureNumbersTheCsvOfEachBlock) {
    auto sim = Sim({});
    const CliRun r = Cli({"measure", "--count", "1024", "--blocks", "2", "--csv", P("m"),
                          "--spectrum-csv", P("s.csv"), "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* name : {"m_0001.csv", "m_0002.csv", "s_0001.csv", "s_0002.csv"}) {
        const auto rows = Csv(TempDir::Read(P(name)));
        EXPECT_EQ(rows.size(), name[0] == 'm' ? 1025u : 513u) << name;
    }
}
