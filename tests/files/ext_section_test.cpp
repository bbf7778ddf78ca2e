#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ext_setting.h"
#include "fake_seam.h"
#include "file_fixtures.h"
#include "myfile.h"
#include "record.h"
#include "temp_dir.h"

namespace {

std::vector<std::string> ExtLines(const TExtSetting& s, const std::string& low,
                                  const std::string& high) {
    return {"X:",
            "spectrum_scale:" + std::to_string(s.spectrumScale),
            std::string("freq_auto:") + (s.freqAuto ? "1" : "0"),
            std::string("continuous:") + (s.continuous ? "1" : "0"),
            "average_mode:" + std::to_string(s.averageMode),
            "average_count:" + std::to_string(s.averageCount),
            "band_low_hz:" + low,
            "band_high_hz:" + high,
            "XEND:"};
}

class ExtSectionTest : public ::testing::Test {
protected:
    TempDir dir;
    FakeSeam seam;
    TmyFile f{&seam};
    std::unique_ptr<TMeasureRecord> rec = TMeasureRecord::Create();

    // A settings file: the default sections followed by extra lines.
    bool ReadPrfWith(const std::vector<std::string>& extra, TExtSetting& ext, TFFTSetting& fft) {
        auto l = DefaultPrfLines();
        l.insert(l.end(), extra.begin(), extra.end());
        const std::string path = dir.file("t.prf");
        TempDir::Write(path, CrLf(l));
        TFileSetting file;
        TADSetting ad;
        return f.ReadPrf(path, PRF_HEADER, &fft, &file, &ad, &ext);
    }
    bool ReadPrfWith(const std::vector<std::string>& extra, TExtSetting& ext) {
        TFFTSetting fft;
        return ReadPrfWith(extra, ext, fft);
    }
    // A data file of 1024 samples followed by extra lines.
    std::string DataText(const std::vector<std::string>& extra) {
        std::vector<std::string> l{DTA_HEADER};
        for (auto& s : DefaultSectionLines())
            l.push_back(s);
        l.push_back("D:");
        l.push_back("ad_dnum:1024");
        l.push_back("deltaF:9.765625");
        for (int i = 0; i < 1024; ++i)
            l.push_back("2147483748,1.16415322E-7");
        l.push_back("END:");
        l.insert(l.end(), extra.begin(), extra.end());
        return CrLf(l);
    }
};

TExtSetting Sample() {
    TExtSetting s;
    s.spectrumScale = 2;
    s.freqAuto = 1;
    s.continuous = 1;
    s.averageMode = 3;
    s.averageCount = 1024;
    s.bandLowHz = 20.0;
    s.bandHighHz = 4999.5;
    return s;
}

} // namespace

TEST(CheckExtSettingTest, LimitsOfEveryField) {
    EXPECT_TRUE(CheckExtSetting(TExtSetting{}));
    EXPECT_TRUE(CheckExtSetting(Sample()));
    auto bad = [](auto change) {
        TExtSetting s;
        change(s);
        return CheckExtSetting(s);
    };
    EXPECT_FALSE(bad([](TExtSetting& s) { s.spectrumScale = -1; }));
    EXPECT_FALSE(bad([](TExtSetting& s) { s.spectrumScale = 3; }));
    EXPECT_FALSE(bad([](TExtSetting& s) { s.freqAuto = 2; }));
    EXPECT_FALSE(bad([](TExtSetting& s) { s.continuous = 2; }));
    EXPECT_FALSE(bad([](TExtSetting& s) { s.averageMode = 4; }));
    EXPECT_FALSE(bad([](TExtSetting& s) { s.averageCount = 0; }));
    EXPECT_FALSE(bad([](TExtSetting& s) { s.averageCount = 1025; }));
    EXPECT_TRUE(bad([](TExtSetting& s) { s.averageCount = 1; }));
    // Band: both 0, or 0 <= low < high <= 5000.
    EXPECT_TRUE(bad([](TExtSetting& s) { s.bandHighHz = 5000.0; }));
    EXPECT_FALSE(bad([](TExtSetting& s) { s.bandHighHz = 5000.001; }));
    EXPECT_FALSE(bad([](TExtSetting& s) { s.bandLowHz = 10.0; }));
    EXPECT_FALSE(bad([](TExtSetting& s) { s.bandLowHz = s.bandHighHz = 10.0; }));
    EXPECT_FALSE(bad([](TExtSetting& s) {
        s.bandLowHz = -1.0;
        s.bandHighHz = 10.0;
    }));
    EXPECT_FALSE(bad([](TExtSetting& s) {
        s.bandLowHz = 1.0;
        s.bandHighHz = std::numeric_limits<double>::quiet_NaN();
    }));
}

TEST(CheckExtSettingTest, ScaleNames) {
    EXPECT_STREQ(SpectrumScaleName(0), "雑音実効値");
    EXPECT_STREQ(SpectrumScaleName(1), "トーン振幅");
    EXPECT_STREQ(SpectrumScaleName(2), "雑音密度");
    EXPECT_STREQ(SpectrumScaleName(9), "雑音実効値");
}

TEST_F(ExtSectionTest, SettingsFileKeepsTheOldSectionsAndAddsXAfterGend) {
    TFFTSetting fft;
    TFileSetting file;
    TADSetting ad;
    const TExtSetting ext = Sample();
    const std::string path = dir.file("Kalvexini.prf");
    ASSERT_TRUE(f.WritePrf(path, PRF_HEADER, &fft, &file, &ad, &ext));
    const std::string text = TempDir::Read(path);
    const std::string old = CrLf(DefaultPrfLines());
    ASSERT_EQ(text.substr(0, old.size()), old);
    EXPECT_EQ(text.substr(old.size()), CrLf(ExtLines(ext, "20", "4999.5")));
    // Without the block the file is exactly as before.
    ASSERT_TRUE(f.WritePrf(path, PRF_HEADER, &fft, &file, &ad));
    EXPECT_EQ(TempDir::Read(path), old);
}

TEST_F(ExtSectionTest, OldFilesAndMissingKeysKeepTheCallersValues) {
    TExtSetting held = Sample();
    ASSERT_TRUE(ReadPrfWith({}, held));
    EXPECT_EQ(held, Sample());
    // Only one key: the others stay; an unknown key and comments are passed over.
    ASSERT_TRUE(ReadPrfWith({"X:", "; note", "future_key:abc", "average_count:7", "XEND:"}, held));
    TExtSetting want = Sample();
    want.averageCount = 7;
    EXPECT_EQ(held, want);
}

TEST_F(ExtSectionTest, BadValuesRejectTheWholeFileAndChangeNothing) {
    const std::vector<std::vector<std::string>> bad = {
        {"X:", "spectrum_scale:3", "XEND:"},
        {"X:", "spectrum_scale:-1", "XEND:"},
        {"X:", "spectrum_scale:1.0", "XEND:"},
        {"X:", "freq_auto:2", "XEND:"},
        {"X:", "continuous:yes", "XEND:"},
        {"X:", "average_mode:4", "XEND:"},
        {"X:", "average_count:0", "XEND:"},
        {"X:", "average_count:2000", "XEND:"},
        {"X:", "band_low_hz:100", "band_high_hz:0", "XEND:"},
        {"X:", "band_low_hz:100", "band_high_hz:50", "XEND:"},
        {"X:", "band_low_hz:0", "band_high_hz:5001", "XEND:"},
        {"X:", "band_low_hz:-5", "band_high_hz:50", "XEND:"},
        {"X:", "band_high_hz:inf", "XEND:"},
        {"X:", "band_high_hz:", "XEND:"},
        {"X:", "spectrum_scale:1"}, // no end marker
    };
    for (const auto& lines : bad) {
        TExtSetting held = Sample();
        TFFTSetting fft;
        fft.whichWindowFunc = 0;
        EXPECT_FALSE(ReadPrfWith(lines, held, fft)) << lines[1];
        EXPECT_EQ(held, Sample()) << lines[1];
        EXPECT_EQ(fft.whichWindowFunc, 0) << lines[1];
    }
    // A band whose keys come high first is judged as a pair.
    TExtSetting s;
    ASSERT_TRUE(ReadPrfWith({"X:", "band_high_hz:300", "band_low_hz:100", "XEND:"}, s));
    EXPECT_EQ(s.bandLowHz, 100.0);
    EXPECT_EQ(s.bandHighHz, 300.0);
}

TEST_F(ExtSectionTest, ShuffledSectionsReadBackAfterTheWriter) {
    std::mt19937 rng(20261209);
    std::uniform_int_distribution<int> scale(0, 2), flag(0, 1), mode(0, 3), count(1, 1024);
    std::uniform_real_distribution<double> hz(0.0, 5000.0);
    for (int round = 0; round < 50; ++round) {
        TExtSetting s;
        s.spectrumScale = scale(rng);
        s.freqAuto = static_cast<uint8_t>(flag(rng));
        s.continuous = static_cast<uint8_t>(flag(rng));
        s.averageMode = mode(rng);
        s.averageCount = count(rng);
        if (flag(rng)) {
            double a = hz(rng), b = hz(rng);
            if (a == b) b = 5000.0;
            s.bandLowHz = std::min(a, b);
            s.bandHighHz = std::max(a, b);
        }
        char low[40], high[40];
        std::snprintf(low, sizeof low, "%.17g", s.bandLowHz);
        std::snprintf(high, sizeof high, "%.17g", s.bandHighHz);
        auto lines = ExtLines(s, low, high);
        std::shuffle(lines.begin() + 1, lines.end() - 1, rng);
        TExtSetting first;
        ASSERT_TRUE(ReadPrfWith(lines, first));
        ASSERT_EQ(first, s);
        TFFTSetting fft;
        TFileSetting file;
        TADSetting ad;
        const std::string path = dir.file("back.prf");
        ASSERT_TRUE(f.WritePrf(path, PRF_HEADER, &fft, &file, &ad, &first));
        TExtSetting second;
        second.averageCount = 99;
        ASSERT_TRUE(f.ReadPrf(path, PRF_HEADER, &fft, &file, &ad, &second));
        EXPECT_EQ(second, s);
    }
}

TEST_F(ExtSectionTest, DataFileCarriesTheSectionAfterEnd) {
    for (int i = 0; i < 1024; ++i)
        rec->CodeBuf[i] = 0x80000000u + static_cast<uint32_t>(i);
    rec->SigData.ad_dnum = 1024;
    rec->SigData.deltaF = 9.765625f;
    rec->FileSetting.DataFileName = dir.file("a.DTA");
    const TExtSetting ext = Sample();
    ASSERT_TRUE(f.WriteDTA(DTA_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting,
                           &rec->FileSetting, &ext));
    const std::string text = TempDir::Read(rec->FileSetting.DataFileName);
    const std::string tail = "END:\r\n" + CrLf(ExtLines(ext, "20", "4999.5"));
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);

    TSignalData& sig = rec->RefData;
    TFFTSetting fft;
    TFileSetting file;
    TADSetting ad;
    TExtSetting back;
    ASSERT_TRUE(
        f.ReadDTA(rec->FileSetting.DataFileName, DTA_HEADER, &sig, &fft, &file, &ad, &back));
    EXPECT_EQ(back, ext);
    EXPECT_EQ(sig.ad_dnum, 1024);
    EXPECT_EQ(sig.pCode[5], 0x80000005u);
}

TEST_F(ExtSectionTest, DataFileWithBadSectionIsRefusedAndOldOneLoads) {
    TSignalData& sig = rec->RefData;
    sig.pCode[0] = 42;
    sig.ad_dnum = 0;
    TFFTSetting fft;
    TFileSetting file;
    TADSetting ad;
    TExtSetting held = Sample();
    const std::string path = dir.file("in.DTA");
    TempDir::Write(path, DataText({"X:", "average_mode:9", "XEND:"}));
    EXPECT_FALSE(f.ReadDTA(path, DTA_HEADER, &sig, &fft, &file, &ad, &held));
    EXPECT_EQ(held, Sample());
    EXPECT_EQ(sig.ad_dnum, 0);
    EXPECT_EQ(sig.pCode[0], 42u);
    // Written before the section existed.
    TempDir::Write(path, DataText({}));
    ASSERT_TRUE(f.ReadDTA(path, DTA_HEADER, &sig, &fft, &file, &ad, &held));
    EXPECT_EQ(held, Sample());
    EXPECT_EQ(sig.ad_dnum, 1024);
    EXPECT_EQ(sig.pCode[0], 2147483748u);
}

TEST_F(ExtSectionTest, SpectrumExportNamesTheScaleOnlyWhenNotRms) {
    rec->SigData.ad_dnum = 1024;
    rec->SigData.deltaF = 9.765625f;
    TFileSetting file = rec->FileSetting;
    file.DataFileName = dir.file("out.FFT");
    auto write = [&](const TExtSetting* ext) {
        std::filesystem::remove(file.DataFileName);
        EXPECT_TRUE(
            f.WriteFFT(FFT_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting, &file, ext));
        return TempDir::Read(file.DataFileName);
    };
    const std::string plain = write(nullptr);
    TExtSetting ext;
    EXPECT_EQ(write(&ext), plain);
    const std::string head = "fftnum:511\r\ndeltaF:9.765625\r\n";
    ASSERT_NE(plain.find(head + "9.766Hz, "), std::string::npos);
    ext.spectrumScale = 1;
    EXPECT_NE(write(&ext).find(head + "scale:tone\r\nunit:Vrms\r\n9.766Hz, "), std::string::npos);
    ext.spectrumScale = 2;
    EXPECT_NE(write(&ext).find(head + "scale:density\r\nunit:V/rtHz\r\n9.766Hz, "),
              std::string::npos);
}
