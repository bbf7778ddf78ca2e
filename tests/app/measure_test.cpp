// The main window's start-up, measurement cycle, readouts and close, on the simulated unit.
#include "app_fixture.h"

#include <QLabel>
#include <QMenu>

#include "file_fixtures_app.h"
#include "myfile.h"

TEST_F(AppTest, FirstStartWritesTheDefaultsAndNamesNoFile) {
    Start();
    EXPECT_EQ(Title(), "Kalvex : Untitled");
    TFFTSetting fft;
    TFileSetting file;
    TADSetting ad;
    ASSERT_TRUE(TmyFile().ReadPrf(InitPath(), PRF_HEADER, &fft, &file, &ad));
    EXPECT_EQ(fft, TFFTSetting{});
    EXPECT_EQ(Text(Form->EditRMS), "---");
    EXPECT_EQ(Text(Form->EditPeakVolt), "---");
    EXPECT_EQ(Form->MeasureStartBtn->text().toStdString(), "計測開始");
}

TEST_F(AppTest, InitFileWithAutoSaveNamesTheFileInTheTitle) {
    Start(InitText({{"fSaveDataFile:", "fSaveDataFile:1"},
                    {"DataFileName:", "DataFileName:C:\\data\\run1.DTA"}}));
    EXPECT_EQ(Title(), "Kalvex : run1.DTA");
    EXPECT_EQ(Form->Rec->FileSetting.DataFileName, "C:\\data\\run1.DTA");
}

TEST_F(AppTest, InvalidInitFileIsReplacedByTheDefaults) {
    Start(InitText({{"whichWindowFunc:", "whichWindowFunc:9"}}));
    EXPECT_EQ(Form->Rec->FFTSetting.whichWindowFunc, 1);
    EXPECT_NE(TempDir::Read(InitPath()).find("whichWindowFunc:1\r\n"), std::string::npos);
}

TEST_F(AppTest, AMeasurementRunsToTheEndAndShowsItsReadouts) {
    AttachUnit();
    Start();
    SmallBlock();
    Measure();
    ASSERT_FALSE(Form->fMeasuring);
    EXPECT_TRUE(Form->fDataValid);
    EXPECT_EQ(Form->Rec->SigData.ad_dnum, 1024);
    EXPECT_EQ(Form->RecvCount, 1024);
    EXPECT_EQ(Panel(0), "ZR4410QM/ 1.00/ 10ksps");
    EXPECT_EQ(Panel(1), "計測終了しました");
    EXPECT_EQ(Panel(2).rfind("最大値：", 0), 0u) << Panel(2);
    // 1 V peak at 1 kHz: about 0.707 V RMS in all, the largest line near 1 kHz.
    EXPECT_EQ(Form->LabelRMS->text().toStdString(), "Vrms");
    EXPECT_NEAR(std::stod(Text(Form->EditRMS)), 0.707, 0.005);
    EXPECT_NEAR(std::stod(Text(Form->EditPeakHz)), 1000.0, 10.0);
    EXPECT_EQ(Form->LabelPeakdB->text().toStdString(), "dBV");
    EXPECT_EQ(Form->MeasureStartBtn->text().toStdString(), "計測開始");
    EXPECT_TRUE(Form->MenuData->isEnabled());
    EXPECT_TRUE(Messages().empty());
    // The unit saw its opening sequence, which first stops a conversion that may still run,
    // the start command and the stop at the end.
    EXPECT_EQ(Unit->Wire, "AX\r?\rS3\rFD\rU?\rV?\rA000400\rAX\r");
}

TEST_F(AppTest, PeakButtonsStepAndTheStatusBarToggles) {
    AttachUnit();
    Start();
    SmallBlock();
    Measure();
    const std::string peak = Text(Form->EditPeakHz);
    Form->PeakFwdBtnClick();
    EXPECT_NEAR(std::stod(Text(Form->EditPeakHz)) - std::stod(peak), 9.766, 0.01);
    Form->PeakBackBtnClick();
    Form->PeakBackBtnClick();
    EXPECT_NEAR(std::stod(peak) - std::stod(Text(Form->EditPeakHz)), 9.766, 0.01);
    // After a measurement the statistics show; a click shows the resolution text.
    Form->StatusBar1Click();
    EXPECT_EQ(Panel(2), "Δｆ= 9.766Hz / 絶対値[dBV] 表示 / 窓関数=ハニング窓(補正あり)");
    Form->StatusBar1Click();
    EXPECT_EQ(Panel(2).rfind("最大値：", 0), 0u);
    // A press into the spectrum picks the bin under it, kept inside the bins.
    Form->PaintBox1MouseDown(0);
    EXPECT_EQ(Text(Form->EditPeakHz), "9.766");
}

TEST_F(AppTest, StartFailuresReportAsTheyShould) {
    // No unit at all.
    d2xx::DetachVirtualDevice();
    ::setenv("KALVEX_UNIT_SOCKET", dir.file("none.sock").c_str(), 1);
    Start();
    Form->StartMeasure();
    ::unsetenv("KALVEX_UNIT_SOCKET");
    EXPECT_EQ(Panel(0), "ZR4410QMが見つかりませんでした");
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0], "ZR4410QMが見つかりませんでした");
    EXPECT_FALSE(Form->fMeasuring);
    EXPECT_EQ(Form->MeasureStartBtn->text().toStdString(), "計測開始");

    // A unit that does not answer.
    AttachUnit(Silent());
    Form->StartMeasure();
    EXPECT_EQ(Panel(0), "ZR4410QM応答しませんでした");
    EXPECT_EQ(Messages().back(), "ZR4410QMが応答しませんでした");
    EXPECT_FALSE(Form->fUnitOpen);

    // A unit of another model: no message, the button returns.
    TUnitConfig other;
    other.modelName = "ZR9999";
    AttachUnit(other);
    const size_t before = Messages().size();
    Form->StartMeasure();
    EXPECT_EQ(Messages().size(), before);
    EXPECT_FALSE(Form->fMeasuring);
    EXPECT_TRUE(Form->MenuMeasureStart->isEnabled());
}

TEST_F(AppTest, LevelAndLinkFailuresDuringTheBlock) {
    AttachUnit(FullScaleAt(1023));
    Start();
    SmallBlock();
    Measure();
    EXPECT_EQ(Panel(2), "入力信号レベルが適正範囲からはずれています");
    EXPECT_EQ(Messages().back(), "入力信号レベルが適正範囲からはずれています");
    EXPECT_FALSE(Form->fDataValid);
    EXPECT_EQ(Form->Rec->SigData.ad_dnum, 0);

    AttachUnit(DropAfter(300));
    Measure();
    EXPECT_EQ(Panel(2), "計測エラーで終了");
    EXPECT_FALSE(Form->fMeasuring);
    EXPECT_EQ(Form->Rec->SigData.ad_dnum, 0);

    // Once the fault is gone the next measurement works.
    AttachUnit();
    Measure();
    EXPECT_TRUE(Form->fDataValid);
    EXPECT_EQ(Panel(1), "計測終了しました");
}

// What came before the stop is kept as a block of its own count.
TEST_F(AppTest, StopByButtonKeepsThePartialBlock) {
    AttachUnit();
    Start();
    Form->MeasureStartBtnClick();
    ASSERT_TRUE(Form->fMeasuring);
    EXPECT_EQ(Form->MeasureStartBtn->text().toStdString(), "計測中止");
    EXPECT_FALSE(Form->MenuMeasureStart->isEnabled());
    Form->StartMeasure(); // refused while measuring
    for (int i = 0; i < 20; ++i) {
        ClockUs += 1000;
        Form->AcquireStep();
    }
    const int32_t came = Form->RecvCount;
    ASSERT_GT(came, 0);
    Form->MeasureStartBtnClick();
    EXPECT_FALSE(Form->fMeasuring);
    EXPECT_TRUE(Form->fDataValid);
    EXPECT_EQ(Form->Rec->SigData.ad_dnum, came);
    EXPECT_EQ(Panel(1), "計測中止しました");
    EXPECT_EQ(Form->MeasureStartBtn->text().toStdString(), "計測開始");
    EXPECT_NE(Unit->Wire.find("AX\r"), std::string::npos);
}

TEST_F(AppTest, AutoSaveAsksBeforeReplacingAndNoIsNotASave) {
    const std::string data = dir.file("auto.DTA");
    AttachUnit();
    Start(InitText(
        {{"fSaveDataFile:", "fSaveDataFile:1"}, {"DataFileName:", "DataFileName:" + data}}));
    SmallBlock();
    Measure();
    EXPECT_TRUE(Form->fDataSaved);
    EXPECT_EQ(TempDir::Read(data).substr(0, 17), "DataFile:Kalvex\r\n");
    EXPECT_EQ(Title(), "Kalvex : auto.DTA");
    TempDir::Write(data, "keep");
    seam.answers = {false};
    Measure();
    EXPECT_FALSE(Form->fDataSaved);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(TempDir::Read(data), "keep");
    EXPECT_EQ(seam.asked.back().text, "ファイル：" + data + "があります。\n上書きしますか");
}

TEST_F(AppTest, ClosingStopsTheUnitAndWritesTheInitFile) {
    AttachUnit();
    Start();
    Form->Rec->FFTSetting.whichWindowFunc = 3;
    Form->StartMeasure();
    ASSERT_TRUE(Form->fMeasuring);
    Form->close();
    EXPECT_FALSE(Form->fMeasuring);
    EXPECT_NE(Unit->Wire.find("AX\r"), std::string::npos);
    EXPECT_NE(TempDir::Read(InitPath()).find("whichWindowFunc:3\r\n"), std::string::npos);
}
