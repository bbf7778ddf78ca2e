#include <gtest/gtest.h>

#include <random>

#include "fake_seam.h"
#include "file_fixtures.h"
#include "myfile.h"
#include "record.h"
#include "temp_dir.h"

namespace {

class DtaTest : public ::testing::Test {
protected:
    TempDir dir;
    FakeSeam seam;
    TmyFile f{&seam};
    std::unique_ptr<TMeasureRecord> rec = TMeasureRecord::Create();

    // Fills the measurement with n samples of a noisy sine.
    void Fill(int n) {
        std::mt19937 rng(7);
        std::uniform_int_distribution<uint32_t> noise(0, 4000);
        for (int i = 0; i < n; ++i) {
            rec->CodeBuf[i] = 0x80000000u + static_cast<uint32_t>(100000 * (i % 7)) + noise(rng);
            rec->VoltBuf[i] = CodeToVolt(rec->CodeBuf[i]);
        }
        rec->CodeBuf[2] = 0x80000000u;
        rec->VoltBuf[2] = 0.0f;
        rec->SigData.ad_dnum = n;
        rec->SigData.deltaF = 9.765625f;
    }
    std::string Save(const std::string& name) {
        rec->FileSetting.DataFileName = dir.file(name);
        EXPECT_TRUE(f.WriteDTA(DTA_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting,
                               &rec->FileSetting));
        return rec->FileSetting.DataFileName;
    }
    // Reads into the reference slot with working copies of the settings.
    bool Load(const std::string& path, TSignalData& sig, TFFTSetting& fft, TFileSetting& file,
              TADSetting& ad) {
        return f.ReadDTA(path, DTA_HEADER, &sig, &fft, &file, &ad);
    }
    static std::string DataFile(const std::vector<std::string>& dataLines) {
        std::vector<std::string> l{"DataFile:Kalvex"};
        for (auto& s : DefaultSectionLines())
            l.push_back(s);
        for (auto& s : dataLines)
            l.push_back(s);
        return CrLf(l);
    }
    static std::vector<std::string> Samples(int n, const std::string& line = "2147483648,0") {
        std::vector<std::string> l{"D:", "ad_dnum:" + std::to_string(n), "deltaF:9.765625"};
        for (int i = 0; i < n; ++i)
            l.push_back(line);
        l.push_back("END:");
        return l;
    }
    bool LoadText(const std::string& text) {
        const std::string path = dir.file("in.DTA");
        TempDir::Write(path, text);
        TFFTSetting fft;
        TFileSetting file;
        TADSetting ad;
        return Load(path, rec->RefData, fft, file, ad);
    }
};

} // namespace

TEST_F(DtaTest, FileHasTheExampleShape) {
    Fill(1024);
    rec->FileSetting.fSaveDataFile = 1;
    rec->FileSetting.StartDateTime = "2021/02/22 10:15:30";
    rec->FFTSetting.DataCountSel = 0;
    rec->FFTSetting.DataCountMax = 1024;
    rec->CodeBuf[0] = 2147912148u;
    rec->VoltBuf[0] = 0.000498839654028416f;
    rec->CodeBuf[1] = 2146054291u;
    rec->VoltBuf[1] = -0.00166399055160582f;
    rec->CodeBuf[1023] = 2148339001u;
    rec->VoltBuf[1023] = 0.000995761947706342f;
    const std::string path = Save("test1.DTA");
    const std::string text = TempDir::Read(path);
    const std::string head = CrLf({"DataFile:Kalvex", "A:", "spsSel:13", "sinc3:1", "ch_sel:0",
                                   "AEND:", "F:", "fSaveDataFile:1", "DataFileName:" + path,
                                   "StartDateTime:2021/02/22 10:15:30", "FEND:", "G:"});
    EXPECT_EQ(text.substr(0, head.size()), head);
    const std::string data = CrLf({"DataCountMax:1024", "GEND:", "D:", "ad_dnum:1024",
                                   "deltaF:9.765625", "2147912148,0.000498839654028416",
                                   "2146054291,-0.00166399055160582", "2147483648,0"});
    EXPECT_NE(text.find(data), std::string::npos);
    const std::string tail = CrLf({"2148339001,0.000995761947706342", "END:"});
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 35 + 1024);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 35 + 1024);
}

TEST_F(DtaTest, RoundTripKeepsCodesVoltsAndSettings) {
    Fill(262144);
    rec->VoltBuf[5] = 1.17549435e-38f;
    rec->VoltBuf[6] = -2.4999998f;
    rec->SigData.deltaF = 0.038146973f;
    rec->ADSetting = {0, 0, 1};
    rec->FFTSetting.whichWindowFunc = 2;
    const std::string path = Save("big.DTA");

    TSignalData sig = rec->RefData;
    TFFTSetting fft;
    TFileSetting file;
    TADSetting ad;
    ASSERT_TRUE(Load(path, sig, fft, file, ad));
    EXPECT_EQ(sig.ad_dnum, 262144);
    EXPECT_EQ(sig.deltaF, rec->SigData.deltaF);
    EXPECT_TRUE(
        std::equal(rec->CodeBuf.begin(), rec->CodeBuf.begin() + 262144, rec->RefCodeBuf.begin()));
    EXPECT_TRUE(
        std::equal(rec->VoltBuf.begin(), rec->VoltBuf.begin() + 262144, rec->RefVoltBuf.begin()));
    EXPECT_EQ(ad, rec->ADSetting);
    EXPECT_EQ(fft, rec->FFTSetting);
    EXPECT_EQ(file.DataFileName, path);
}

TEST_F(DtaTest, OverwriteQuestionNoMeansNothingWrittenButSuccess) {
    Fill(1024);
    const std::string path = dir.file("x.DTA");
    TempDir::Write(path, "old");
    rec->FileSetting.DataFileName = path;
    seam.answers = {false};
    EXPECT_TRUE(f.WriteDTA(DTA_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting,
                           &rec->FileSetting));
    EXPECT_EQ(TempDir::Read(path), "old");
    ASSERT_EQ(seam.asked.size(), 1u);
    EXPECT_EQ(seam.asked[0].kind, "yesno");
    EXPECT_EQ(seam.asked[0].text, "ファイル：" + path + "があります。\n上書きしますか");
    seam.answers = {true};
    EXPECT_TRUE(f.WriteDTA(DTA_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting,
                           &rec->FileSetting));
    EXPECT_EQ(TempDir::Read(path).substr(0, 17), "DataFile:Kalvex\r\n");
    // Without anyone to ask, an existing file is kept.
    TmyFile quiet;
    TempDir::Write(path, "old");
    EXPECT_TRUE(quiet.WriteDTA(DTA_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting,
                               &rec->FileSetting));
    EXPECT_EQ(TempDir::Read(path), "old");
}

TEST_F(DtaTest, SampleLineConversions) {
    EXPECT_EQ(TmyFile::DecStrToCode("2147483648"), 2147483648u);
    EXPECT_EQ(TmyFile::DecStrToCode("4294967295"), 4294967295u);
    EXPECT_EQ(TmyFile::DecStrToCode(""), 0u);
    EXPECT_EQ(TmyFile::DecStrToCode("-12"), 12u);
    EXPECT_EQ(TmyFile::DecStrToCode("1 2"), 102u);
    EXPECT_EQ(TmyFile::DecStrToCode("1a"), 20u);
    EXPECT_EQ(TmyFile::DecStrToCode("F"), 15u);
    EXPECT_EQ(TmyFile::DigitValue('g'), 0);

    // No comma: code 0, the whole line is the voltage.
    ASSERT_TRUE(LoadText(DataFile(Samples(1024, "0.5"))));
    EXPECT_EQ(rec->RefCodeBuf[0], 0u);
    EXPECT_EQ(rec->RefVoltBuf[0], 0.5f);
    ASSERT_TRUE(LoadText(DataFile(Samples(1024, "-12,1E-5"))));
    EXPECT_EQ(rec->RefCodeBuf[1023], 12u);
    EXPECT_EQ(rec->RefVoltBuf[1023], 1e-5f);
}

TEST_F(DtaTest, EveryFormOfASampleLineReadsByTheSameRules) {
    auto lines = Samples(1024, "7,0.5");
    lines[3] = "12345678901,1"; // more than ten digits: the column wraps
    lines[4] = "+5,+2.5";       // signs count as zero digits; "+" before a number
    lines[5] = "1\r2,1E-3";     // a CR inside is removed first
    lines[6] = ";comment";      // skipped, not counted
    lines.insert(lines.begin() + 7, "9,-0.25");
    lines[8] = "a,1e2"; // hex letters count in the code column
    lines[9] = ",3";    // no code text
    ASSERT_TRUE(LoadText(DataFile(lines)));
    EXPECT_EQ(rec->RefCodeBuf[0], TmyFile::DecStrToCode("12345678901"));
    EXPECT_EQ(rec->RefVoltBuf[0], 1.0f);
    EXPECT_EQ(rec->RefCodeBuf[1], 5u);
    EXPECT_EQ(rec->RefVoltBuf[1], 2.5f);
    EXPECT_EQ(rec->RefCodeBuf[2], 12u);
    EXPECT_EQ(rec->RefVoltBuf[2], 1e-3f);
    EXPECT_EQ(rec->RefCodeBuf[3], 9u);
    EXPECT_EQ(rec->RefVoltBuf[3], -0.25f);
    EXPECT_EQ(rec->RefCodeBuf[4], 10u);
    EXPECT_EQ(rec->RefVoltBuf[4], 100.0f);
    EXPECT_EQ(rec->RefCodeBuf[5], 0u);
    EXPECT_EQ(rec->RefCodeBuf[6], 7u);
    EXPECT_EQ(rec->RefVoltBuf[6], 0.5f);
    for (const char* bad : {"7,0.5 ", "7,inf", "7,0x10", "7,", "7,1.5\r\r\rx"}) {
        auto l = Samples(1024);
        l[500] = bad;
        EXPECT_FALSE(LoadText(DataFile(l))) << bad;
    }
}

TEST_F(DtaTest, CountsAndDataSectionRules) {
    EXPECT_FALSE(LoadText(DataFile(Samples(1023))));
    EXPECT_FALSE(LoadText(DataFile(Samples(1500))));
    EXPECT_TRUE(LoadText(DataFile(Samples(1024))));
    auto big = Samples(1024);
    big[1] = "ad_dnum:262145";
    EXPECT_FALSE(LoadText(DataFile(big)));
    // 1023 of 1024 sample lines.
    auto shortOne = Samples(1024);
    shortOne.erase(shortOne.end() - 2, shortOne.end());
    EXPECT_FALSE(LoadText(DataFile(shortOne)));
    // Nothing after the last sample line matters, "END:" included.
    auto noEnd = Samples(1024);
    noEnd.pop_back();
    EXPECT_TRUE(LoadText(DataFile(noEnd)));
    noEnd.push_back("garbage");
    EXPECT_TRUE(LoadText(DataFile(noEnd)));
    // deltaF must be a number above zero.
    auto d = Samples(1024);
    d[2] = "deltaF:0";
    EXPECT_FALSE(LoadText(DataFile(d)));
    d[2] = "deltaF:x";
    EXPECT_FALSE(LoadText(DataFile(d)));
    // A bad voltage anywhere.
    auto v = Samples(1024);
    v[500] = "2147483648,1.2.3";
    EXPECT_FALSE(LoadText(DataFile(v)));
    v[500] = "2147483648,1e300";
    EXPECT_FALSE(LoadText(DataFile(v)));
    // "D:" directly after "GEND:"; a blank line between is a line of its own.
    auto blank = Samples(1024);
    blank.insert(blank.begin(), "");
    EXPECT_FALSE(LoadText(DataFile(blank)));
    auto comment = Samples(1024);
    comment.insert(comment.begin(), ";note");
    EXPECT_TRUE(LoadText(DataFile(comment)));
    // The count must be given.
    auto noCount = Samples(1024);
    noCount[1] = "count:1024";
    EXPECT_FALSE(LoadText(DataFile(noCount)));
}

TEST_F(DtaTest, HeadersOfOtherFilesAreRejected) {
    std::string text = DataFile(Samples(1024));
    EXPECT_TRUE(LoadText(text));
    EXPECT_FALSE(LoadText("DataFile:Kalvex_FFT" + text.substr(15)));
    EXPECT_FALSE(LoadText("Kalvexini" + text.substr(15)));
    EXPECT_FALSE(LoadText(""));
}

TEST_F(DtaTest, FailedLoadLeavesTheHeldBlockAndSettingsUntouched) {
    Fill(2048);
    rec->RefData = rec->SigData;
    rec->RefData.pCode = rec->RefCodeBuf.data();
    rec->RefData.pVolt = rec->RefVoltBuf.data();
    std::copy_n(rec->CodeBuf.begin(), 2048, rec->RefCodeBuf.begin());
    std::copy_n(rec->VoltBuf.begin(), 2048, rec->RefVoltBuf.begin());

    // Samples that go bad half-way through a 1024-line block.
    auto lines = Samples(1024, "1,0.25");
    lines[800] = "1,oops";
    const std::string path = dir.file("bad.DTA");
    TempDir::Write(path, DataFile(lines));
    TSignalData sig = rec->RefData;
    TFFTSetting fft;
    fft.whichWindowFunc = 0;
    TFileSetting file{0, "keep", "me"};
    TADSetting ad{1, 0, 1};
    EXPECT_FALSE(Load(path, sig, fft, file, ad));
    EXPECT_EQ(sig.ad_dnum, 2048);
    EXPECT_TRUE(
        std::equal(rec->CodeBuf.begin(), rec->CodeBuf.begin() + 2048, rec->RefCodeBuf.begin()));
    EXPECT_EQ(fft.whichWindowFunc, 0);
    EXPECT_EQ(file.DataFileName, "keep");
    EXPECT_EQ(ad, (TADSetting{1, 0, 1}));
}

TEST_F(DtaTest, GarbageNeverCrashes) {
    std::mt19937 rng(3);
    std::string valid = DataFile(Samples(1024, "2147483648,0.001"));
    for (int round = 0; round < 200; ++round) {
        std::string t = valid;
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            const size_t at = rng() % t.size();
            switch (rng() % 3) {
            case 0:
                t[at] = static_cast<char>(rng());
                break;
            case 1:
                t.erase(at, rng() % 40);
                break;
            default:
                t.insert(at, std::string(rng() % 5, static_cast<char>(rng())));
            }
        }
        LoadText(t); // any answer, as long as it returns
    }
    EXPECT_FALSE(LoadText(std::string(10 << 20, '\xff')));
}

TEST_F(DtaTest, SettingsSectionOfADataFileIsJudgedAsInASettingsFile) {
    Fill(1024);
    rec->RefData = rec->SigData;
    rec->RefData.pCode = rec->RefCodeBuf.data();
    rec->RefData.pVolt = rec->RefVoltBuf.data();
    std::copy_n(rec->CodeBuf.begin(), 1024, rec->RefCodeBuf.begin());
    const std::string good = DataFile(Samples(1024, "1,0.25"));
    auto withLine = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    for (const char* bad : {"index_dB_min:2147483647", "index_dB_max:-2147483648",
                            "index_dB_min:-1", "index_dB_min:21"}) {
        const std::string key = std::string(bad).substr(0, std::string(bad).find(':') + 1);
        const std::string from = key == "index_dB_min:" ? "index_dB_min:17" : "index_dB_max:2";
        EXPECT_FALSE(LoadText(withLine(from, bad))) << bad;
        EXPECT_EQ(rec->RefData.ad_dnum, 1024);
        EXPECT_EQ(rec->RefCodeBuf[0], rec->CodeBuf[0]) << "no sample was taken over";
    }
    // The frequency lines in either order, judged together.
    EXPECT_TRUE(
        LoadText(withLine("index_FreqS:0\r\nindex_FreqE:14", "index_FreqE:14\r\nindex_FreqS:0")));
    EXPECT_FALSE(
        LoadText(withLine("index_FreqS:0\r\nindex_FreqE:14", "index_FreqE:3\r\nindex_FreqS:5")));
}
