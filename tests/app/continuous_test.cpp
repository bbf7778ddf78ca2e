// The window in continuous mode (averaging count, one start command, the noise floor's
// scatter shrinking with the average), the live waveform of a long block, the block kept after
// a stop (and refused as a data file), and a recording with its window, on the simulated unit.
// With KALVEX_SHOTS=folder set, each state is also saved as a PNG there.
#include "app_fixture.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <sstream>

#include "measure_session.h"
#include "recorder.h"
#include "recording_rows.h"
#include "recording_window.h"
#include "tables.h"

namespace {

void Shot(QWidget* w, const char* name) {
    const char* dirEnv = std::getenv("KALVEX_SHOTS");
    if (!dirEnv) return;
    if (auto* form = dynamic_cast<TFormMain*>(w)) form->PlaceStatusBar();
    w->grab().save(QString::fromUtf8(dirEnv) + "/" + name + ".png");
}

// Standard deviation in dB of the bins 10..n/2-10 of a spectrum.
double ScatterdB(const float* s, int n) {
    std::vector<double> dB;
    for (int k = 10; k < n / 2 - 10; ++k)
        dB.push_back(20.0 * std::log10(std::max(1e-30, static_cast<double>(s[k]))));
    const double m = std::accumulate(dB.begin(), dB.end(), 0.0) / static_cast<double>(dB.size());
    double sq = 0.0;
    for (double v : dB)
        sq += (v - m) * (v - m);
    return std::sqrt(sq / static_cast<double>(dB.size()));
}

// A quiet input: noise only, so that the spectrum is a noise floor.
TUnitConfig NoiseUnit() {
    TUnitConfig c;
    c.channels[0].sines.clear();
    c.channels[0].noiseRmsV = 1e-5;
    return c;
}

class ContinuousAppTest : public AppTest {
protected:
    // Steps the continuous measurement until `blocks` blocks are in.
    void RunBlocks(int blocks) {
        for (int i = 0; i < 2000000 && Form->fMeasuring && Form->BlocksDone < blocks; ++i) {
            ClockUs += 1000;
            Form->AcquireStep();
        }
    }
    void Continuous(int mode, int count) {
        Form->Rec->ExtSetting.continuous = 1;
        Form->Rec->ExtSetting.averageMode = mode;
        Form->Rec->ExtSetting.averageCount = count;
    }
    std::string Label() const { return Form->LabelAverage->text().toStdString(); }
};

} // namespace

// Blocks back to back, the count under the start button, one start command on the wire; the
// averaged floor scatters less than a single block's (5.6 dB for one periodogram of Gaussian
// noise, about 5.6/sqrt(16) for sixteen).
TEST_F(ContinuousAppTest, AveragesBlocksAndShowsTheCount) {
    AttachUnit(NoiseUnit());
    Start();
    SmallBlock();
    Continuous(1, 16);
    Form->StartMeasure();
    ASSERT_TRUE(Form->fMeasuring);
    EXPECT_EQ(Form->MeasureStartBtn->text().toStdString(), "計測中止");
    RunBlocks(1);
    const double single = ScatterdB(Form->Rec->SigData.pSpectrum, 1024);
    EXPECT_EQ(Label(), "平均 1/16");
    RunBlocks(7);
    EXPECT_EQ(Label(), "平均 7/16");
    Shot(Form.get(), "continuous_7_of_16");
    RunBlocks(20);
    ASSERT_TRUE(Form->fMeasuring);
    EXPECT_EQ(Label(), "平均 16/16");
    const double averaged = ScatterdB(Form->Rec->SigData.pSpectrum, 1024);
    EXPECT_GT(single, 4.0);
    EXPECT_LT(averaged, single / 2.5) << single << " dB vs " << averaged << " dB";
    EXPECT_EQ(Unit->Wire.find("A0FFFFF\r"), Unit->Wire.rfind("A0FFFFF\r")); // one start
    EXPECT_EQ(Unit->Wire.find("A000400\r"), std::string::npos);
    // The reset button starts the count afresh while the stream goes on.
    EXPECT_TRUE(Form->AverageResetBtn->isEnabled());
    Form->AverageResetBtn->click();
    EXPECT_EQ(Label(), "平均 0/16");
    RunBlocks(22);
    EXPECT_EQ(Label(), "平均 2/16");
    // Stop: the last complete block stays with its average, valid to save.
    Form->MeasureStartBtnClick();
    EXPECT_FALSE(Form->fMeasuring);
    EXPECT_TRUE(Form->fDataValid);
    EXPECT_EQ(Form->Rec->SigData.ad_dnum, 1024);
    EXPECT_FALSE(Text(Form->EditRMS).empty());
    EXPECT_EQ(Panel(2).rfind("最大値：", 0), 0u) << Panel(2); // its statistics, not a count
    EXPECT_EQ(Unit->Wire.substr(Unit->Wire.size() - 3), "AX\r");
}

// A single block is unchanged by the new modes: the start command carries its count.
TEST_F(ContinuousAppTest, ASingleBlockStillGoesOutWithItsCount) {
    AttachUnit();
    Start();
    SmallBlock();
    Measure();
    EXPECT_TRUE(Form->fDataValid);
    EXPECT_NE(Unit->Wire.find("A000400\r"), std::string::npos);
    EXPECT_EQ(Unit->Wire.find("A0FFFFF\r"), std::string::npos);
    EXPECT_EQ(Label(), "");
    Shot(Form.get(), "single_block");
}

// Half-way through a long block the waveform shows what came (and the held count stays 0);
// a stop keeps the samples as a block of their own: statistics yes, spectrum no, and the data
// file save says why instead of writing a file the reader would refuse.
TEST_F(ContinuousAppTest, AStopKeepsWhatCameOfTheBlock) {
    AttachUnit();
    Start();
    Form->Rec->FFTSetting.DataCountSel = 8;
    Form->Rec->FFTSetting.DataCountMax = 262144;
    Form->Rec->FileSetting.fSaveDataFile = 0;
    Form->StartMeasure();
    ASSERT_TRUE(Form->fMeasuring) << Panel(0) << " / " << Panel(1) << " / " << Panel(2);
    for (int i = 0; i < 200000 && Form->RecvCount < 100000; ++i) {
        ClockUs += 1000;
        Form->AcquireStep();
    }
    EXPECT_EQ(Form->Rec->SigData.ad_dnum, 0); // the live view draws, it holds nothing
    // The live waveform's time axis spans the whole block, the samples so far from the left
    // (the poll draws it every 250 ms; here at once).
    Form->ShowLiveBlock(true);
    EXPECT_EQ(Form->Rec->SigData.ad_dnum, 0);
    const double spanS = 262144 * 1e-4;
    const std::string end = Form->LabelTimeE->text().toStdString();
    EXPECT_NEAR(std::stod(end), spanS, 0.01) << end;
    Shot(Form.get(), "live_half_way");
    Form->MenuAnalysisClick(); // the figures window follows the kept block
    Form->MeasureStartBtnClick();
    const int kept = Form->Rec->SigData.ad_dnum;
    EXPECT_GE(kept, 100000);
    EXPECT_LT(kept, 262144);
    EXPECT_TRUE(Form->fDataValid);
    EXPECT_EQ(Text(Form->EditRMS), "---"); // no spectrum, no RMS of its bins
    EXPECT_EQ(Text(Form->EditPeakHz), "---");
    EXPECT_NE(Panel(2).find("2^n"), std::string::npos) << Panel(2);
    EXPECT_NE(Panel(2).find(std::to_string(kept)), std::string::npos) << Panel(2);
    EXPECT_EQ(Panel(1), "計測中止しました");
    Shot(Form.get(), "partial_after_stop");
    // The statistics are those of the samples kept (codes, in double).
    double sum = 0.0, sq = 0.0;
    const uint32_t* c = Form->Rec->CodeBuf.data();
    for (int i = 0; i < kept; ++i)
        sum += c[i];
    const double mean = sum / kept;
    for (int i = 0; i < kept; ++i)
        sq += (c[i] - mean) * (c[i] - mean);
    EXPECT_NEAR(Form->CodeStdDev, std::sqrt(sq / kept), 1e-4 * std::sqrt(sq / kept));

    seam.fileNames.push_back(dir.file("partial.DTA"));
    seam.asked.clear();
    Form->MenuDataSaveClick();
    ASSERT_FALSE(Messages().empty());
    EXPECT_NE(Messages().back().find("保存・出力・印刷できません"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("partial.DTA")));
}

// An earlier recording is not replaced unless the user says so.
TEST_F(ContinuousAppTest, AnExistingRecordingIsAskedAbout) {
    AttachUnit();
    Start();
    const std::string path = dir.file("old.csv");
    TempDir::Write(path, "earlier recording");
    seam.fileNames.push_back(path);
    seam.answers = {false};
    Form->MenuRecordStartClick();
    EXPECT_FALSE(Form->fRecording);
    EXPECT_EQ(TempDir::Read(path), "earlier recording");
    ASSERT_FALSE(seam.asked.empty());
    EXPECT_EQ(seam.asked.back().text, "ファイル：" + path + "があります。\n上書きしますか");
}

// A recording from the measure menu: the file, the window with chart and statistics, the stop.
TEST_F(ContinuousAppTest, RecordsToAFileWithItsWindow) {
    TUnitConfig c;
    c.channels[0].sines = {TSine{0.5, 0.8, 0.0}};
    c.channels[0].noiseRmsV = 2e-5;
    AttachUnit(c);
    Start();
    const std::string path = dir.file("rec.csv");
    seam.fileNames.push_back(path);
    Form->MenuRecordStartClick();
    ASSERT_TRUE(Form->fRecording);
    ASSERT_NE(Form->RecordingForm, nullptr);
    EXPECT_TRUE(Form->RecordingForm->isVisible());
    EXPECT_FALSE(Form->MeasureStartBtn->isEnabled());
    // A minute at 10 ksps.
    for (int i = 0; i < 200000 && Form->Recorder->Samples() < 600000; ++i) {
        ClockUs += 2000;
        Form->RecordStep();
    }
    Form->RecordingForm->Refresh();
    Shot(Form->RecordingForm, "recording_one_minute");
    Form->RecordingForm->SpanBox()->setCurrentIndex(1); // the last 10 s
    Shot(Form->RecordingForm, "recording_last_10s");
    Form->RecordingForm->StopButton()->click();
    EXPECT_FALSE(Form->fRecording);
    EXPECT_TRUE(Form->MeasureStartBtn->isEnabled());
    EXPECT_EQ(Panel(1), "記録を終了しました");
    const uint64_t n = Form->Recorder->SamplesWritten();
    EXPECT_GE(n, 600000u);
    // Every sample is a line of the file.
    const std::string text = TempDir::Read(path);
    size_t lines = 0;
    for (char ch : text)
        lines += ch == '\n';
    EXPECT_EQ(lines, n + 9); // the header's 8 lines and the column line
    EXPECT_NE(Form->RecordingForm->StatsText().find("RMSノイズ"), std::string::npos);
}

TEST_F(ContinuousAppTest, ALostLinkEndsTheRecordingAndSaysSo) {
    AttachUnit(DropAfter(50000));
    Start();
    seam.fileNames.push_back(dir.file("cut.csv"));
    Form->MenuRecordStartClick();
    ASSERT_TRUE(Form->fRecording);
    for (int i = 0; i < 200000 && Form->fRecording; ++i) {
        ClockUs += 2000;
        Form->RecordStep();
    }
    EXPECT_FALSE(Form->fRecording);
    EXPECT_NE(Panel(1).find("接続が切れたため記録を終了しました"), std::string::npos) << Panel(1);
    ASSERT_FALSE(Messages().empty());
    EXPECT_NE(Messages().back().find("接続が切れた"), std::string::npos);
    const std::string text = TempDir::Read(dir.file("cut.csv"));
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    Shot(Form->RecordingForm, "recording_link_lost");
}

// A unit that hangs with the cable in: a single block waits for the user's stop as it always
// has, but a recording, which runs unattended, ends once the unit has sent nothing for five
// seconds, with the file closed and the reason in the message and panel 0.
TEST_F(ContinuousAppTest, AHungUnitEndsARecordingButNotABlock) {
    TUnitFaults hang;
    hang.hangAfter = 3008; // 47 reads of 64 at 10 ksps
    AttachUnit(hang);
    Start();
    Form->Rec->FFTSetting.DataCountSel = 2;
    Form->Rec->FFTSetting.DataCountMax = 4096;
    Form->StartMeasure();
    ASSERT_TRUE(Form->fMeasuring);
    for (int i = 0; i < 60000 && Form->fMeasuring; ++i) { // a minute
        ClockUs += 1000;
        Form->AcquireStep();
    }
    EXPECT_TRUE(Form->fMeasuring);
    EXPECT_EQ(Form->Session->Received(), 3008);
    Form->MeasureStartBtnClick();
    ASSERT_FALSE(Form->fMeasuring);

    AttachUnit(hang); // the unit powered off and on: it streams again until it hangs
    seam.fileNames.push_back(dir.file("hung.csv"));
    Form->MenuRecordStartClick();
    ASSERT_TRUE(Form->fRecording);
    const int64_t begun = ClockUs;
    for (int i = 0; i < 20000 && Form->fRecording; ++i) {
        ClockUs += 1000;
        Form->RecordStep();
    }
    EXPECT_FALSE(Form->fRecording);
    // 0.3 s of samples, then five seconds of silence.
    EXPECT_GT(ClockUs - begun, STALL_LIMIT_US);
    EXPECT_LT(ClockUs - begun, STALL_LIMIT_US + 2000000);
    EXPECT_NE(Panel(1).find("データが届かないため記録を終了しました"), std::string::npos)
        << Panel(1);
    EXPECT_NE(Panel(0).find("5秒間データが届きませんでした"), std::string::npos) << Panel(0);
    ASSERT_FALSE(Messages().empty());
    EXPECT_NE(Messages().back().find("5秒間データが届きませんでした。記録を終了しました"),
              std::string::npos);
    bool whole = false;
    const auto rows = RecordingRows(TempDir::Read(dir.file("hung.csv")), &whole);
    EXPECT_TRUE(whole);
    EXPECT_EQ(rows.size(), Form->Recorder->SamplesWritten());
    EXPECT_GT(rows.size(), 0u);
}

// A slow block (5 sps: 1024 samples take 3 min 25 s) is watched as it comes: half-way the
// waveform holds the samples so far and its time axis ends where they end.
TEST_F(ContinuousAppTest, ASlowBlockIsDrawnAsItComes) {
    TUnitConfig c;
    c.channels[0].sines = {TSine{0.01, 0.5, 0.0}};
    c.channels[0].noiseRmsV = 1e-4;
    AttachUnit(c);
    Start();
    SmallBlock();
    Form->NextADSetting.spsSel = 0;
    Form->StartMeasure();
    ASSERT_TRUE(Form->fMeasuring);
    for (int i = 0; i < 2000000 && Form->RecvCount < 512; ++i) {
        ClockUs += 1000;
        Form->AcquireStep();
    }
    Form->ShowLiveBlock(true);
    const double periodS = static_cast<double>(SamplePeriodMs(0, 1)) / 1000.0;
    const std::string end = Form->LabelTimeE->text().toStdString();
    EXPECT_NEAR(std::stod(end), 1024 * periodS, 0.5) << end; // the whole block's span
    EXPECT_EQ(Form->Rec->SigData.ad_dnum, 0);
    Shot(Form.get(), "live_slow_block");
}

// The measure menu's new commands set what the next start does, and show it when reopened.
TEST_F(ContinuousAppTest, TheMeasureMenuSetsTheModes) {
    AttachUnit();
    Start();
    std::vector<std::string> texts;
    for (QAction* a : Form->MenuMeasure->actions())
        if (!a->isSeparator()) texts.push_back(a->text().toStdString());
    // Ours, in this order, after the start command (other commands may stand between).
    const auto from = std::find(texts.begin(), texts.end(), "連続計測");
    ASSERT_NE(from, texts.end());
    EXPECT_EQ(std::vector<std::string>(from, texts.end()),
              (std::vector<std::string>{"連続計測", "スペクトル平均", "平均リセット", "記録開始...",
                                        "記録停止"}));
    std::vector<std::string> averaging;
    for (QAction* a : Form->MenuAverage->actions())
        if (!a->isSeparator()) averaging.push_back(a->text().toStdString());
    EXPECT_EQ(averaging, (std::vector<std::string>{"なし", "線形平均", "指数平均", "ピークホールド",
                                                   "平均回数 4", "平均回数 8", "平均回数 16",
                                                   "平均回数 32", "平均回数 64"}));
    EXPECT_FALSE(Form->MenuRecordStop->isEnabled());
    Form->MenuContinuous->trigger();
    EXPECT_EQ(Form->Rec->ExtSetting.continuous, 1);
    Form->MenuAverageModes[3]->trigger();
    Form->MenuAverageCounts[1]->trigger();
    EXPECT_EQ(Form->Rec->ExtSetting.averageMode, 3);
    EXPECT_EQ(Form->Rec->ExtSetting.averageCount, 8);
    EXPECT_EQ(Label(), "ピーク保持 0");
    EXPECT_TRUE(Form->AverageResetBtn->isVisible());
    // A setting from elsewhere (a settings file) shows when the menu opens.
    Form->Rec->ExtSetting.continuous = 0;
    Form->Rec->ExtSetting.averageMode = 2;
    Form->SyncContinuousMenus();
    EXPECT_FALSE(Form->MenuContinuous->isChecked());
    EXPECT_TRUE(Form->MenuAverageModes[2]->isChecked());
    Form->MenuContinuous->trigger();
    EXPECT_EQ(Label(), "平均 0/8");
}
