// The block and spectrum CSV exports: every number read back against values computed here
// from the definitions (time = i * period, volts = (code - 2^31) * 2.5 / (2^31 - 1), dB =
// 20 log10 V), the columns and line ends, and the safe write.
#include "csv_export.h"
#include "myfile.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The lines of a CSV text; every line must end in CR LF.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t lf = text.find('\n', pos);
        EXPECT_NE(lf, std::string::npos);
        if (lf == std::string::npos) break;
        EXPECT_GT(lf, pos);
        EXPECT_EQ(text[lf - 1], '\r');
        lines.push_back(text.substr(pos, lf - 1 - pos));
        pos = lf + 1;
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> f;
    std::stringstream s(line);
    std::string item;
    while (std::getline(s, item, ','))
        f.push_back(item);
    return f;
}

double Num(const std::string& s) {
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    EXPECT_EQ(*end, '\0') << s;
    return v;
}

struct Block {
    std::vector<uint32_t> codes;
    std::vector<float> volts, spectrum;
    TSignalData sig;
    Block(int n, int32_t spsSel, uint8_t sinc3)
        : codes(static_cast<size_t>(n)), volts(static_cast<size_t>(n)),
          spectrum(static_cast<size_t>(n / 2)) {
        sig.ad_dnum = n;
        sig.pCode = codes.data();
        sig.pVolt = volts.data();
        sig.pSpectrum = spectrum.data();
        SetBlockRate(sig, spsSel, sinc3);
    }
};

} // namespace

TEST(BlockCsv, EverySampleReadsBackAsTimeCodeAndVolts) {
    Block b(1024, 13, 1); // 10 ksps: 0.1 ms
    std::mt19937_64 rng(42);
    for (auto& c : b.codes)
        c = static_cast<uint32_t>(rng());
    b.codes[0] = 0x80000000u; // 0 V
    b.codes[1] = 0xFFFFFFFFu; // the ends of the range
    b.codes[2] = 0x00000000u;
    b.codes[3] = 0x80000001u; // one step

    const std::vector<std::string> lines = Lines(BlockCsvText(b.sig));
    ASSERT_EQ(lines.size(), 1025u);
    EXPECT_EQ(lines[0], "time_s,code,volt");
    for (int i = 0; i < 1024; ++i) {
        const std::vector<std::string> f = Fields(lines[static_cast<size_t>(i) + 1]);
        ASSERT_EQ(f.size(), 3u) << i;
        const uint32_t code = b.codes[static_cast<size_t>(i)];
        // Times and volts to the last bits (a 6-digit export would miss by 1e-7).
        EXPECT_NEAR(Num(f[0]), i * 1e-4, 1e-15 * (i + 1)) << i;
        EXPECT_EQ(f[1], std::to_string(code));
        const double volts = (static_cast<double>(code) - 2147483648.0) * 2.5 / 2147483647.0;
        EXPECT_NEAR(Num(f[2]), volts, 1e-15 * std::abs(volts)) << i;
    }
    EXPECT_EQ(Fields(lines[1])[2], "0");
    EXPECT_NEAR(Num(Fields(lines[2])[2]), 2.5, 1e-15);
    EXPECT_NEAR(Num(Fields(lines[3])[2]), -2.5 * 2147483648.0 / 2147483647.0, 1e-15);
}

TEST(BlockCsv, TimesFollowTheBlocksOwnRate) {
    // 5 sps Sinc3 (200 ms) and 16.66 sps Sinc5 (1000 / 16.66 ms as a float).
    struct Case {
        int32_t sel;
        uint8_t sinc3;
        double periodS;
        double tol;
    };
    for (const Case& c : {Case{0, 1, 0.2, 1e-15}, Case{2, 0, 1.0 / 16.66, 1e-8}}) {
        Block b(1024, c.sel, c.sinc3);
        const std::vector<std::string> lines = Lines(BlockCsvText(b.sig));
        ASSERT_EQ(lines.size(), 1025u);
        EXPECT_NEAR(Num(Fields(lines[1001])[0]) / 1000.0, c.periodS, c.tol);
        EXPECT_NEAR(BlockPeriodSeconds(b.sig), c.periodS, c.tol);
    }
}

TEST(BlockCsv, NothingToWriteWithoutSamples) {
    Block b(1024, 13, 1);
    b.sig.ad_dnum = 0;
    EXPECT_TRUE(BlockCsvText(b.sig).empty());
    TempDir dir;
    EXPECT_FALSE(WriteBlockCsv(dir.file("none.csv"), b.sig));
    EXPECT_FALSE(FileExists(dir.file("none.csv")));
}

TEST(SpectrumCsv, HzVoltsAndDecibelsPerBin) {
    Block b(2048, 10, 1); // 1 ksps: delta f = 1000 / 2048 Hz
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> level(-9.0, 0.0);
    for (auto& v : b.spectrum)
        v = static_cast<float>(std::pow(10.0, level(rng)));
    b.spectrum[5] = 0.0f;

    const TSpectrumCsvInput in = SpectrumCsvOf(b.sig);
    EXPECT_EQ(in.bins, 1024);
    EXPECT_DOUBLE_EQ(in.deltaF, 1000.0 / 2048.0);
    const std::vector<std::string> lines = Lines(SpectrumCsvText(in));
    ASSERT_EQ(lines.size(), 1025u);
    EXPECT_EQ(lines[0], "hz,vrms,db");
    for (int k = 0; k < 1024; ++k) {
        const std::vector<std::string> f = Fields(lines[static_cast<size_t>(k) + 1]);
        ASSERT_EQ(f.size(), 3u);
        const double v = b.spectrum[static_cast<size_t>(k)];
        EXPECT_EQ(Num(f[0]), k * 1000.0 / 2048.0);
        EXPECT_EQ(Num(f[1]), v); // the float's value exactly
        if (k == 5)
            EXPECT_EQ(f[2], "-inf");
        else
            EXPECT_NEAR(Num(f[2]), 20.0 * std::log10(v), 1e-12);
    }
}

TEST(SpectrumCsv, ADensitySpectrumGetsItsColumnAndTheBinsVolts) {
    const std::vector<float> s = {0.0f, 1e-6f, 3e-9f, 0.5f}; // V/sqrt(Hz)
    TSpectrumCsvInput in{s.data(), 4, 2.5, true};
    const std::vector<std::string> lines = Lines(SpectrumCsvText(in));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "hz,vrms,db,v_per_rthz");
    for (int k = 0; k < 4; ++k) {
        const std::vector<std::string> f = Fields(lines[static_cast<size_t>(k) + 1]);
        ASSERT_EQ(f.size(), 4u);
        const double d = s[static_cast<size_t>(k)];
        EXPECT_EQ(Num(f[0]), 2.5 * k);
        // The bin's noise in volts: density^2 x delta f is its power.
        EXPECT_NEAR(Num(f[1]), std::sqrt(d * d * 2.5), 1e-15 * d);
        EXPECT_EQ(Num(f[3]), d);
        if (k == 0)
            EXPECT_EQ(f[2], "-inf");
        else
            EXPECT_NEAR(Num(f[2]), 20.0 * std::log10(d), 1e-12);
    }
}

TEST(CsvWrite, WritesTheTextAndLeavesAProtectedFileAlone) {
    Block b(1024, 13, 1);
    for (size_t i = 0; i < b.codes.size(); ++i)
        b.codes[i] = 0x80000000u + static_cast<uint32_t>(i);
    TempDir dir;
    const std::string ok = dir.file("block.csv");
    ASSERT_TRUE(WriteBlockCsv(ok, b.sig));
    EXPECT_EQ(TempDir::Read(ok), BlockCsvText(b.sig));
    ASSERT_TRUE(WriteSpectrumCsv(dir.file("spectrum.csv"), SpectrumCsvOf(b.sig)));
    EXPECT_EQ(TempDir::Read(dir.file("spectrum.csv")), SpectrumCsvText(SpectrumCsvOf(b.sig)));

    const std::string locked = dir.file("locked.csv");
    TempDir::Write(locked, "old");
    ::chmod(locked.c_str(), 0444);
    EXPECT_FALSE(WriteBlockCsv(locked, b.sig));
    EXPECT_EQ(TempDir::Read(locked), "old");
    // A folder is no target; nothing is left behind in it.
    EXPECT_FALSE(WriteSpectrumCsv(dir.path(), SpectrumCsvOf(b.sig)));
    EXPECT_FALSE(WriteBlockCsv(dir.file("missing/folder.csv"), b.sig));
}
