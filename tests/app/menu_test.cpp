// The menu commands, with every dialog answered by a script.
#include "app_fixture.h"

#include <QLabel>
#include <QMenu>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>

#include "file_fixtures_app.h"
#include "myfile.h"

namespace {

class MenuTest : public AppTest {
protected:
    // A measured block held, unsaved, with auto-save off.
    void Measured() {
        AttachUnit();
        Start();
        SmallBlock();
        Measure();
        ASSERT_TRUE(Form->fDataValid);
        seam.asked.clear();
    }
    // A data file of the program's own making, written from the window's current block.
    std::string SavedData(const std::string& name) {
        const std::string path = dir.file(name);
        seam.fileNames = {path};
        seam.answers = {true};
        Form->MenuDataSaveClick();
        return path;
    }
    const FakeSeam::Asked& LastDialog(const std::string& kind) const {
        for (auto it = seam.asked.rbegin(); it != seam.asked.rend(); ++it)
            if (it->kind == kind) return *it;
        static const FakeSeam::Asked none{};
        return none;
    }
};

} // namespace

TEST_F(MenuTest, FileNewAsksOnlyForUnsavedMeasuredData) {
    Measured();
    seam.answers = {false}; // Cancel
    Form->MenuFileNewClick();
    EXPECT_EQ(LastDialog("okcancel").text, "データを保存していませんが、破棄してもいいですか？");
    EXPECT_EQ(LastDialog("okcancel").icon, TMsgIcon::Warning);
    EXPECT_TRUE(Form->fDataValid);
    EXPECT_TRUE(LastDialog("save").kind.empty());

    seam.answers = {true};
    seam.fileNames = {dir.file("next")};
    Form->MenuFileNewClick();
    EXPECT_EQ(LastDialog("save").caption, "Data files (*.DTA)|*.DTA");
    EXPECT_EQ(LastDialog("save").text, "*.DTA");
    EXPECT_FALSE(Form->fDataValid);
    EXPECT_EQ(Form->Rec->FileSetting.DataFileName, dir.file("next.DTA"));
    EXPECT_EQ(Title(), "Kalvex : next.DTA");
    EXPECT_EQ(Text(Form->EditRMS), "---");

    // A name with a dot anywhere keeps its form; a cancelled dialog changes nothing.
    seam.fileNames = {dir.file("m.v2/run")};
    Form->MenuFileNewClick();
    EXPECT_EQ(Form->Rec->FileSetting.DataFileName, dir.file("m.v2/run"));
    seam.asked.clear();
    Form->MenuFileNewClick();
    EXPECT_EQ(Form->Rec->FileSetting.DataFileName, dir.file("m.v2/run"));
    EXPECT_TRUE(Messages().empty());
}

TEST_F(MenuTest, SaveDataAppliesTheExtensionRuleAndNamesTheFile) {
    Start();
    Form->MenuDataSaveClick();
    EXPECT_EQ(Messages(), std::vector<std::string>{"データがありません"});
    seam.asked.clear();

    Measured();
    SavedData("run");
    EXPECT_EQ(LastDialog("save").caption, "データファイル (*.DTA)|*.DTA");
    EXPECT_EQ(Form->Rec->FileSetting.DataFileName, dir.file("run.DTA"));
    EXPECT_TRUE(Form->fDataSaved);
    EXPECT_EQ(Title(), "Kalvex : run.DTA");
    EXPECT_EQ(TempDir::Read(dir.file("run.DTA")).substr(0, 17), "DataFile:Kalvex\r\n");
    SavedData("run.txt");
    EXPECT_EQ(Form->Rec->FileSetting.DataFileName, dir.file("run.txt.DTA"));
    SavedData("a.dta");
    EXPECT_EQ(Form->Rec->FileSetting.DataFileName, dir.file("a.dta.DTA"));
    EXPECT_TRUE(Form->MeasureStartBtn->isEnabled());
    EXPECT_TRUE(Form->MenuFile->isEnabled());
}

TEST_F(MenuTest, SaveIntoAFolderThatIsNotThereReportsFailure) {
    Measured();
    seam.fileNames = {dir.file("missing/run.DTA")};
    Form->MenuDataSaveClick();
    EXPECT_EQ(Messages(), std::vector<std::string>{"データ保存できませんでした"});
    EXPECT_FALSE(Form->fDataSaved);
}

TEST_F(MenuTest, LoadDataTakesTheFilesSettingsAndRecomputes) {
    Measured();
    Form->Rec->FFTSetting.whichWindowFunc = 2;
    const std::string path = SavedData("keep.DTA");
    const std::string rms = Text(Form->EditRMS);
    const std::string peak = Text(Form->EditPeakHz);

    Start(); // a fresh window without data
    seam.fileNames = {path};
    Form->MenuDataLoadClick();
    EXPECT_EQ(LastDialog("open").caption, "データファイル (*.DTA)|*.DTA");
    EXPECT_TRUE(Form->fDataValid);
    EXPECT_TRUE(Form->fDataSaved);
    EXPECT_EQ(Form->Rec->SigData.ad_dnum, 1024);
    EXPECT_EQ(Form->Rec->FFTSetting.whichWindowFunc, 2);
    EXPECT_EQ(Form->Rec->FileSetting.DataFileName, path);
    EXPECT_EQ(Title(), "Kalvex : keep.DTA");
    EXPECT_EQ(Panel(1), "データファイル読み込みました");
    EXPECT_EQ(Text(Form->EditRMS), rms);
    EXPECT_EQ(Text(Form->EditPeakHz), peak);
    EXPECT_NEAR(Form->Rec->SigData.deltaF, 9.765625f, 1e-5f);
}

TEST_F(MenuTest, AFailedLoadLeavesEverythingAsItWas) {
    Measured();
    const std::string good = SavedData("good.DTA");
    std::string text = TempDir::Read(good);
    text.replace(text.rfind("\r\n", text.size() - 8), 2, "\r\nbroken,x\r\n");
    const std::string bad = dir.file("bad.DTA");
    TempDir::Write(bad, text.substr(0, text.size() / 2));
    const uint32_t firstCode = Form->Rec->CodeBuf[0];
    const std::string title = Title();
    const std::string rms = Text(Form->EditRMS);
    seam.asked.clear();
    seam.fileNames = {bad};
    Form->MenuDataLoadClick();
    EXPECT_EQ(Messages(), std::vector<std::string>{"データファイルの内容が正しくありませんでした"});
    EXPECT_EQ(Form->Rec->CodeBuf[0], firstCode);
    EXPECT_EQ(Form->Rec->SigData.ad_dnum, 1024);
    EXPECT_EQ(Form->Rec->FileSetting.DataFileName, good);
    EXPECT_EQ(Title(), title);
    EXPECT_EQ(Text(Form->EditRMS), rms);
    // A cancelled dialog is no error.
    seam.asked.clear();
    Form->MenuDataLoadClick();
    EXPECT_TRUE(Messages().empty());
}

TEST_F(MenuTest, AReferenceJoinsTheMeasurementAndClearsAgain) {
    Measured();
    const std::string ref = SavedData("ref.DTA");
    Form->Rec->FileSetting.DataFileName = dir.file("other.DTA");
    Form->ShowTitleFile();
    Measure();
    const std::string title = Title();
    const TFFTSetting fft = Form->Rec->FFTSetting;
    seam.fileNames = {ref};
    Form->MenuRefLoadFileClick();
    EXPECT_TRUE(Form->fRefValid);
    EXPECT_TRUE(Form->fDataValid);
    EXPECT_EQ(Form->Rec->RefData.ad_dnum, 1024);
    EXPECT_EQ(Title(), title);
    EXPECT_EQ(Form->Rec->FFTSetting, fft);
    EXPECT_EQ(Panel(1), "参照データを読み込みました");
    EXPECT_GT(Form->Rec->RefSpectrum[100], 0.0f);

    Form->MenuRefClearClick();
    EXPECT_FALSE(Form->fRefValid);
    EXPECT_EQ(Form->Rec->RefData.ad_dnum, 0);
    EXPECT_TRUE(Form->fDataValid);
    EXPECT_EQ(Panel(2).rfind("Δｆ= ", 0), 0u);
}

TEST_F(MenuTest, FftExportProposesTheDataNameAndRenamesTheData) {
    Start();
    Form->MenuTextSaveClick();
    EXPECT_EQ(Messages(),
              (std::vector<std::string>{"データがありません", "FFTデータ保存できませんでした"}));

    Measured();
    Form->Rec->FileSetting.DataFileName = dir.file("m.v2/run.DTA");
    std::filesystem::create_directory(dir.file("m.v2"));
    seam.fileNames = {dir.file("m.v2/x")};
    Form->MenuTextSaveClick();
    EXPECT_EQ(LastDialog("save").caption, "FFTファイル (*.FFT)|*.FFT");
    EXPECT_EQ(LastDialog("save").text, dir.file("m.v2/run.FFT"));
    // "m.v2/x" holds a dot already, so no extension is added.
    EXPECT_EQ(Form->Rec->FileSetting.DataFileName, dir.file("m.v2/x.DTA"));
    const std::string text = TempDir::Read(dir.file("m.v2/x"));
    EXPECT_EQ(text.substr(0, 21), "DataFile:Kalvex_FFT\r\n");
    EXPECT_NE(text.find("DataFileName:" + dir.file("m.v2/x") + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("fftnum:511\r\n"), std::string::npos);
}

TEST_F(MenuTest, SettingsFilesSaveAskAndLoadWithTheirChecks) {
    Measured();
    Form->NextADSetting.spsSel = 4;
    seam.fileNames = {dir.file("mine")};
    Form->MenuSaveSettingFileClick();
    EXPECT_EQ(LastDialog("save").caption, "設定 ファイル (*.prf)|*.prf");
    const std::string prf = dir.file("mine.prf");
    EXPECT_NE(TempDir::Read(prf).find("spsSel:4\r\n"), std::string::npos);
    // Saving again asks; No keeps the file.
    TempDir::Write(prf, "keep");
    seam.fileNames = {prf};
    seam.answers = {false};
    Form->MenuSaveSettingFileClick();
    EXPECT_EQ(LastDialog("yesno").text, "同名のファイル：" + prf + "があります。\n上書きしますか");
    EXPECT_EQ(TempDir::Read(prf), "keep");

    // Inconsistent dB range: refused, nothing changes.
    TempDir::Write(prf, InitText({{"index_dB_max:", "index_dB_max:17"}}));
    seam.asked.clear();
    seam.fileNames = {prf};
    Form->MenuOpenSettingFileClick();
    EXPECT_EQ(Messages(), std::vector<std::string>{"設定ファイルの内容が正しくありませんでした"});
    EXPECT_TRUE(Form->fDataValid);

    // A good file replaces the settings and drops measurement and reference (once the user
    // agrees to lose the unsaved block).
    TempDir::Write(prf,
                   InitText({{"whichWindowFunc:", "whichWindowFunc:0"}, {"spsSel:", "spsSel:2"}}));
    seam.fileNames = {prf};
    seam.answers = {true};
    Form->MenuOpenSettingFileClick();
    EXPECT_FALSE(Form->fDataValid);
    EXPECT_FALSE(Form->fRefValid);
    EXPECT_EQ(Form->Rec->FFTSetting.whichWindowFunc, 0);
    EXPECT_EQ(Form->NextADSetting.spsSel, 2);
    EXPECT_EQ(Text(Form->EditPeakHz), "---");
}

TEST_F(MenuTest, FftSettingsRedrawRecomputeOrDropUnsavedData) {
    Measured();
    const std::string peak = Text(Form->EditPeakVolt);
    TFFTSetting colours = Form->Rec->FFTSetting;
    colours.PenColorGraph = 0xFF0000;
    Form->ApplyFFTSetting(colours);
    EXPECT_EQ(Text(Form->EditPeakVolt), peak);
    EXPECT_TRUE(Form->fDataValid);

    TFFTSetting window = Form->Rec->FFTSetting;
    window.whichWindowFunc = 0;
    Form->ApplyFFTSetting(window);
    EXPECT_NE(Text(Form->EditPeakVolt), peak);
    EXPECT_EQ(Panel(2), "Δｆ= 9.766Hz / 絶対値[dBV] 表示 / 窓関数=矩形波窓(補正なし)");

    // A new sample count drops the unsaved block once the user agrees.
    TFFTSetting count = Form->Rec->FFTSetting;
    count.DataCountSel = 1;
    count.DataCountMax = 2048;
    seam.answers = {true};
    Form->ApplyFFTSetting(count);
    EXPECT_FALSE(Form->fDataValid);
    EXPECT_EQ(Form->Rec->SigData.ad_dnum, 0);
    ASSERT_EQ(seam.asked.size(), 1u);
    EXPECT_EQ(seam.asked[0].text, "データを保存していませんが、破棄してもいいですか？");
}

// The report page, then the page of the figures and the histogram.
TEST_F(MenuTest, PrintWritesTheReportAndTheAnalysisPage) {
    Start();
    Form->MenuFilePrintClick();
    EXPECT_EQ(Messages(), std::vector<std::string>{"データがありません"});

    Measured();
    QPrinter* printer = Form->Printer();
    const std::string pdf = dir.file("report.pdf");
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(QString::fromStdString(pdf));
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setPageOrientation(QPageLayout::Portrait);
    Form->MenuFilePrintClick();
    EXPECT_TRUE(Messages().empty());
    const std::string bytes = TempDir::Read(pdf);
    // KALVEX_KEEP_PDF=path keeps a copy of the page to look at.
    if (const char* keep = std::getenv("KALVEX_KEEP_PDF")) TempDir::Write(keep, bytes);
    ASSERT_EQ(bytes.substr(0, 5), "%PDF-");
    QProcess info;
    info.start("pdfinfo", {QString::fromStdString(pdf)});
    if (info.waitForFinished(10000)) {
        const QString out = QString::fromUtf8(info.readAllStandardOutput());
        EXPECT_TRUE(out.contains(QRegularExpression("Pages:\\s+2\\b"))) << out.toStdString();
        EXPECT_TRUE(out.contains("595 x 842 pts (A4)")) << out.toStdString();
    }
    // Text of the page, in order.
    QProcess text;
    text.start("pdftotext", {"-layout", QString::fromStdString(pdf), "-"});
    if (text.waitForFinished(10000)) {
        const std::string t = text.readAllStandardOutput().toStdString();
        size_t at = 0;
        for (const char* line :
             {"< Brisane >", "データ数：1024", "サンプリング：10ksps", "周波数分解能：9.766Hz",
              "dB表示：絶対値表示[dBV]", "窓関数による減衰の補正計算：有り", "窓関数：ハニング窓",
              "FFT計算 DCカット：有り", "信号波形 DCカット：有り", "ピーク値[mVrms]：",
              "ピーク値[dBV]：", "ピーク値[Hz]：", "測定：", "ファイル名："}) {
            const size_t found = t.find(line, at);
            EXPECT_NE(found, std::string::npos) << line;
            if (found != std::string::npos) at = found;
        }
    }

    // An output file that cannot be written is reported.
    printer->setOutputFileName(QString::fromStdString(dir.file("no/such/dir/r.pdf")));
    Form->MenuFilePrintClick();
    EXPECT_EQ(Messages(), std::vector<std::string>{"印刷できませんでした"});
}
