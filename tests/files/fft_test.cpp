#include <gtest/gtest.h>

#include "fake_seam.h"
#include "myfile.h"
#include "record.h"
#include "temp_dir.h"

namespace {

class FftFileTest : public ::testing::Test {
protected:
    TempDir dir;
    FakeSeam seam;
    TmyFile f{&seam};
    std::unique_ptr<TMeasureRecord> rec = TMeasureRecord::Create();

    std::string Write(int n, float deltaF) {
        rec->SigData.ad_dnum = n;
        rec->SigData.deltaF = deltaF;
        TFileSetting file = rec->FileSetting;
        file.DataFileName = dir.file("out.FFT");
        EXPECT_TRUE(
            f.WriteFFT(FFT_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting, &file));
        return TempDir::Read(file.DataFileName);
    }
};

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST_F(FftFileTest, SpectrumSectionHasTheExampleShape) {
    rec->Spectrum[0] = 5.0f; // the DC bin is never written
    rec->Spectrum[1] = 1.23449999591685E-5f;
    rec->Spectrum[2] = 0.000250999990385026f;
    rec->Spectrum[3] = 0.0706999972462654f;
    rec->Spectrum[511] = 3.09999990122378E-7f;
    rec->Spectrum[512] = 9.0f;
    const std::string text = Write(1024, 9.765625f);
    EXPECT_EQ(text.substr(0, 21), "DataFile:Kalvex_FFT\r\n");
    EXPECT_NE(text.find("DataFileName:" + dir.file("out.FFT") + "\r\n"), std::string::npos);
    const std::string body = "GEND:\r\nFFT:\r\nfftnum:511\r\ndeltaF:9.765625\r\n"
                             "9.766Hz, 1.23449999591685E-5\r\n"
                             "19.531Hz, 0.000250999990385026\r\n"
                             "29.297Hz, 0.0706999972462654\r\n"
                             "39.063Hz, 0\r\n";
    EXPECT_NE(text.find(body), std::string::npos);
    const std::string tail = "4990.234Hz, 3.09999990122378E-7\r\nEND:\r\n";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 34 + 511 + 1);
}

TEST_F(FftFileTest, FrequencyTextsAlwaysHaveThreeDecimals) {
    const std::string text = Write(262144, 0.152587890625f);
    EXPECT_NE(text.find("fftnum:131071\r\ndeltaF:0.152587890625\r\n0.153Hz, 0\r\n0.305Hz, 0\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\r\n19999.847Hz, 0\r\nEND:\r\n"), std::string::npos);
    EXPECT_EQ(Count(text, "Hz, "), 131071u);
}

TEST_F(FftFileTest, DeclinedOverwriteKeepsTheFile) {
    const std::string path = dir.file("out.FFT");
    TempDir::Write(path, "mine");
    seam.answers = {false};
    rec->SigData.ad_dnum = 1024;
    TFileSetting file;
    file.DataFileName = path;
    EXPECT_TRUE(f.WriteFFT(FFT_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting, &file));
    EXPECT_EQ(TempDir::Read(path), "mine");
    EXPECT_FALSE(f.WriteFFT(FFT_HEADER, &rec->ADSetting, nullptr, &rec->FFTSetting, &file));
    file.DataFileName.clear();
    EXPECT_FALSE(f.WriteFFT(FFT_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting, &file));
}
