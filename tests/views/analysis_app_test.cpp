// The analysis window beside the main window on the simulated unit: it follows every block
// the main window shows, and the print gets its page.
#include "app_fixture.h"

#include <QMenuBar>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>

#include "form_analysis.h"
#include "numfmt.h"

namespace {

std::string Cell(const TFormAnalysis& form, const std::string& name) {
    const QTableWidget* t = form.FiguresTable;
    for (int r = 0; r < t->rowCount(); ++r)
        if (t->item(r, 0)->text().toStdString() == name) return t->item(r, 1)->text().toStdString();
    ADD_FAILURE() << "no row " << name;
    return {};
}

// KALVEX_KEEP_SHOTS=folder keeps a picture of the window on the given tab to look at.
void KeepShot(TFormAnalysis& form, int tab, const char* name) {
    const char* folder = std::getenv("KALVEX_KEEP_SHOTS");
    if (!folder) return;
    form.Tabs->setCurrentIndex(tab);
    form.grab().save(QString::fromUtf8(folder) + "/" + name);
}

} // namespace

class AnalysisAppTest : public AppTest {
protected:
    // Prints the held block to a PDF (portrait A4) and gives the text of its second page.
    std::string PrintedAnalysisPage(const std::string& pdf) {
        QPrinter* printer = Form->Printer();
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(QString::fromStdString(pdf));
        printer->setPageSize(QPageSize(QPageSize::A4));
        printer->setPageOrientation(QPageLayout::Portrait);
        Form->MenuFilePrintClick();
        EXPECT_TRUE(Messages().empty());
        QProcess text;
        text.start("pdftotext", {"-f", "2", "-l", "2", QString::fromStdString(pdf), "-"});
        EXPECT_TRUE(text.waitForFinished(10000));
        return text.readAllStandardOutput().toStdString();
    }
};

TEST_F(AnalysisAppTest, TheMenuOpensAWindowThatFollowsEachBlock) {
    AttachUnit();
    Start();
    SmallBlock();
    QAction* item = nullptr;
    for (QAction* a : Form->menuBar()->actions())
        if (a->text().toStdString() == "解析(&A)")
            for (QAction* sub : a->menu()->actions())
                if (sub->text().toStdString() == "特性とヒストグラム") item = sub;
    ASSERT_NE(item, nullptr);
    item->trigger();
    TFormAnalysis* form = Form->AnalysisForm;
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(Cell(*form, "SNR"), "—") << "no block yet";

    // CH0's 1 kHz tone of 1 V peak.
    Measure();
    ASSERT_TRUE(Form->fDataValid);
    const double hz = ParseDouble(Cell(*form, "基本波周波数")).value_or(0);
    EXPECT_NEAR(hz, 1000.0, 5.0);
    EXPECT_NEAR(ParseDouble(Cell(*form, "基本波振幅")).value_or(0), 707.1, 1.0);
    EXPECT_NE(Cell(*form, "SNR"), "—");
    KeepShot(*form, 0, "analysis-figures.png");

    // CH1's quiet input: no tone, noise only, and the histogram of its few codes.
    Form->NextADSetting.ch_sel = 1;
    Measure();
    ASSERT_TRUE(Form->fDataValid);
    EXPECT_EQ(Cell(*form, "基本波周波数"), "—");
    EXPECT_NE(Cell(*form, "ノイズ密度"), "—");
    EXPECT_EQ(form->Result().histogram.samples, 1024u);
    KeepShot(*form, 1, "analysis-histogram.png");

    // A settings change that recomputes: the rectangular window.
    TFFTSetting work = Form->Rec->FFTSetting;
    work.whichWindowFunc = 0;
    const std::string before = Cell(*form, "ノイズ密度");
    ASSERT_TRUE(Form->ApplyFFTSetting(work));
    EXPECT_NE(Cell(*form, "ノイズ密度"), before);

    // The block is dropped (a new data file): nothing shown.
    seam.answers.push_back(true);
    seam.fileNames.push_back(dir.file("next.DTA"));
    Form->MenuFileNewClick();
    EXPECT_FALSE(Form->fDataValid);
    EXPECT_EQ(Cell(*form, "平均コード"), "—");
}

TEST_F(AnalysisAppTest, ThePrintHasTheAnalysisPage) {
    AttachUnit();
    Start();
    SmallBlock();
    Measure();
    ASSERT_TRUE(Form->fDataValid);
    const std::string pdf = dir.file("report.pdf");
    const std::string t = PrintedAnalysisPage(pdf);
    const std::string bytes = TempDir::Read(pdf);
    // KALVEX_KEEP_PDF=path keeps a copy to look at.
    if (const char* keep = std::getenv("KALVEX_KEEP_PDF")) TempDir::Write(keep, bytes);
    ASSERT_EQ(bytes.substr(0, 5), "%PDF-");
    QProcess info;
    info.start("pdfinfo", {QString::fromStdString(pdf)});
    ASSERT_TRUE(info.waitForFinished(10000));
    const QString out = QString::fromUtf8(info.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QRegularExpression("Pages:\\s+2\\b"))) << out.toStdString();
    EXPECT_EQ(t.find("スペクトル特性"), std::string::npos) << "a single block";
    for (const char* s : {"解析：特性とヒストグラム", "SNR", "ENOB", "実効ビット数",
                          "未出現コード:", "サンプル数: 1024"})
        EXPECT_NE(t.find(s), std::string::npos) << s << "\n" << t;

    // Landscape: the same page, table and histogram side by side.
    QPrinter* printer = Form->Printer();
    printer->setPageOrientation(QPageLayout::Landscape);
    Form->MenuFilePrintClick();
    EXPECT_TRUE(Messages().empty());
    if (const char* keep = std::getenv("KALVEX_KEEP_PDF"))
        TempDir::Write(std::string(keep) + ".landscape.pdf", TempDir::Read(pdf));
    QProcess info2;
    info2.start("pdfinfo", {QString::fromStdString(pdf)});
    ASSERT_TRUE(info2.waitForFinished(10000));
    EXPECT_TRUE(QString::fromUtf8(info2.readAllStandardOutput())
                    .contains(QRegularExpression("Pages:\\s+2\\b")));
}

// Continuous measurement with averaging: the spectral figures are those of the averaged
// spectrum and the header says over how many blocks; the code figures stay the last block's.
// After the stop the held block keeps them; a single block afterwards stands alone.
TEST_F(AnalysisAppTest, ContinuousAveragingGivesTheSpectralFigures) {
    AttachUnit();
    Start();
    SmallBlock();
    Form->MenuAnalysisClick();
    TFormAnalysis* form = Form->AnalysisForm;
    ASSERT_NE(form, nullptr);
    Form->Rec->ExtSetting.continuous = 1;
    Form->Rec->ExtSetting.averageMode = 1;
    Form->Rec->ExtSetting.averageCount = 16;
    Form->StartMeasure();
    ASSERT_TRUE(Form->fMeasuring);
    for (int i = 0; i < 2000000 && Form->fMeasuring && Form->BlocksDone < 7; ++i) {
        ClockUs += 1000;
        Form->AcquireStep();
    }
    ASSERT_EQ(Form->BlocksDone, 7);
    auto label = [&] { return form->BlockLabel->text().toStdString(); };
    EXPECT_NE(label().find("　スペクトル特性：平均 7 ブロック"), std::string::npos) << label();
    const TAnalysisResult alone = ComputeAnalysis(AnalysisBlockOf(*Form->Rec, true));
    const TAnalysisResult& shown = form->Result();
    EXPECT_EQ(shown.averagedBlocks, 7);
    ASSERT_TRUE(shown.figures.spectral && alone.figures.spectral);
    EXPECT_NE(shown.figures.band_noise_v, alone.figures.band_noise_v);
    EXPECT_EQ(shown.figures.noise_rms_code, alone.figures.noise_rms_code);
    EXPECT_EQ(shown.histogram.counts, alone.histogram.counts);
    EXPECT_EQ(Cell(*form, "SNR"), FigureNumber(shown.figures.snr_db, 2));
    KeepShot(*form, 0, "analysis-averaged.png");

    Form->MeasureStartBtnClick();
    EXPECT_FALSE(Form->fMeasuring);
    EXPECT_NE(label().find("　スペクトル特性：平均 7 ブロック"), std::string::npos) << label();
    const std::string page = PrintedAnalysisPage(dir.file("averaged.pdf"));
    EXPECT_NE(page.find("（スペクトル特性：平均 7 ブロック）"), std::string::npos) << page;

    Form->Rec->ExtSetting.continuous = 0;
    Measure();
    ASSERT_TRUE(Form->fDataValid);
    EXPECT_EQ(label().find("平均"), std::string::npos) << label();
    EXPECT_EQ(form->Result().averagedBlocks, 0);
}
