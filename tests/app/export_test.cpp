// The export and copy commands of the window after a measured block: CSV files read back
// against the block and the volts by their definition, the pictures (PNG and SVG of a graph
// and of the report page), the clipboard, the refusals, and the noise table window.
#include "app_fixture.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "noise_table.h"

namespace {

class ExportTest : public AppTest {
protected:
    void Measured() {
        AttachUnit();
        Start();
        SmallBlock();
        Measure();
        ASSERT_TRUE(Form->fDataValid);
        seam.asked.clear();
    }
    static std::vector<std::vector<std::string>> Csv(const std::string& text) {
        std::vector<std::vector<std::string>> rows;
        std::stringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            EXPECT_EQ(line.back(), '\r');
            line.pop_back();
            std::vector<std::string> f;
            std::stringstream ls(line);
            std::string item;
            while (std::getline(ls, item, ','))
                f.push_back(item);
            rows.push_back(f);
        }
        return rows;
    }
    static double D(const std::string& s) { return std::strtod(s.c_str(), nullptr); }
    // Pixels of the image darker than mid-grey.
    static int Dark(const QImage& img) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qGray(img.pixel(x, y)) < 128) ++n;
        return n;
    }
    static void Keep(const QImage& img, const char* name) {
        if (const char* d = std::getenv("KALVEX_SCREENSHOT_DIR"))
            img.save(QString::fromUtf8(d) + "/" + name);
    }
};

} // namespace

TEST_F(ExportTest, BlockAndSpectrumCsvHoldTheBlock) {
    Measured();
    seam.fileNames = {dir.file("block")};
    Form->MenuExportBlockCsvClick();
    const auto block = Csv(TempDir::Read(dir.file("block.csv")));
    ASSERT_EQ(block.size(), 1025u);
    EXPECT_EQ(block[0], (std::vector<std::string>{"time_s", "code", "volt"}));
    for (size_t i = 0; i < 1024; ++i) {
        const uint32_t code = Form->Rec->CodeBuf[i];
        ASSERT_EQ(block[i + 1][1], std::to_string(code));
        EXPECT_NEAR(D(block[i + 1][0]), static_cast<double>(i) * 1e-4,
                    1e-15 * static_cast<double>(i + 1));
        const double v = (code - 2147483648.0) * 2.5 / 2147483647.0;
        EXPECT_NEAR(D(block[i + 1][2]), v, 1e-15 * std::abs(v) + 1e-300);
    }

    seam.fileNames = {dir.file("spectrum.csv")};
    Form->MenuExportSpectrumCsvClick();
    const auto spectrum = Csv(TempDir::Read(dir.file("spectrum.csv")));
    ASSERT_EQ(spectrum.size(), 513u);
    for (size_t k = 1; k < 512; ++k) {
        EXPECT_EQ(D(spectrum[k + 1][0]), static_cast<double>(k) * 10000.0 / 1024);
        EXPECT_EQ(D(spectrum[k + 1][1]), Form->Rec->Spectrum[k]); // the float shown, exactly
    }
    // The default tone: 1 V peak at 1 kHz reads near 1/sqrt(2) V with the RMS correction,
    // spread over the bins by the window.
    double peak = 0;
    for (size_t k = 1; k < 512; ++k)
        peak = std::max(peak, D(spectrum[k + 1][1]));
    EXPECT_GT(peak, 0.3);
    EXPECT_LT(peak, 0.75);
}

TEST_F(ExportTest, RefusalsLeaveFilesAlone) {
    AttachUnit();
    Start();
    Form->MenuExportBlockCsvClick(); // nothing held: the no-data box, no file question
    ASSERT_FALSE(seam.asked.empty());
    EXPECT_EQ(seam.asked.back().kind, "message");
    for (const auto& a : seam.asked)
        EXPECT_NE(a.kind, "save");

    SmallBlock();
    Measure();
    const std::string locked = dir.file("locked.csv");
    TempDir::Write(locked, "old");
    ::chmod(locked.c_str(), 0444);
    seam.asked.clear();
    seam.fileNames = {locked};
    seam.answers = {true}; // overwrite: yes
    Form->MenuExportSpectrumCsvClick();
    EXPECT_EQ(TempDir::Read(locked), "old");
    ASSERT_FALSE(Messages().empty());
    EXPECT_NE(Messages().back().find("CSVファイルを保存できませんでした"), std::string::npos);

    const std::string kept = dir.file("kept.png");
    TempDir::Write(kept, "mine");
    seam.fileNames = {kept};
    seam.answers = {false}; // overwrite: no
    Form->MenuExportGraphClick(TFormMain::TGraphPick::Spectrum);
    EXPECT_EQ(TempDir::Read(kept), "mine");
}

TEST_F(ExportTest, GraphAndReportPictures) {
    Measured();
    seam.fileNames = {dir.file("spectrum")};
    Form->MenuExportGraphClick(TFormMain::TGraphPick::Spectrum);
    QImage spectrum(QString::fromStdString(dir.file("spectrum.png")));
    ASSERT_FALSE(spectrum.isNull());
    EXPECT_EQ(spectrum.size(), Form->GraphPictureSize(TFormMain::TGraphPick::Spectrum, 2.0f));
    EXPECT_GT(Dark(spectrum), 500); // frame, labels and trace
    Keep(spectrum, "export_spectrum.png");

    seam.fileNames = {dir.file("wave.svg")};
    Form->MenuExportGraphClick(TFormMain::TGraphPick::Wave);
    const std::string svg = TempDir::Read(dir.file("wave.svg"));
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("<image"), std::string::npos); // the trace bitmap
    EXPECT_NE(svg.find("</svg>"), std::string::npos);

    seam.fileNames = {dir.file("report.png")};
    Form->MenuExportReportClick();
    QImage page(QString::fromStdString(dir.file("report.png")));
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(page.width(), 2362); // 200 mm at 300 dpi
    EXPECT_GT(Dark(page), 5000);
    Keep(page, "export_report.png");
    seam.fileNames = {dir.file("report.svg")};
    Form->MenuExportReportClick();
    EXPECT_NE(TempDir::Read(dir.file("report.svg")).find("</svg>"), std::string::npos);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ExportTest, ClipboardGetsThePictureAndTheReadouts) {
    Measured();
    Form->MenuCopyReadoutsClick();
    const std::string text = QApplication::clipboard()->text().toStdString();
    EXPECT_EQ(text.rfind("RMS\t" + Text(Form->EditRMS) + "\t" +
                             Form->LabelRMS->text().toStdString() + "\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("ピーク周波数\t" + Text(Form->EditPeakHz) + "\tHz\n"), std::string::npos);
    EXPECT_NE(text.find("データ数\t1024\t\n"), std::string::npos);

    Form->MenuCopyGraphClick();
    const QImage img = QApplication::clipboard()->image();
    EXPECT_EQ(img.size(), Form->GraphPictureSize(TFormMain::TGraphPick::Both, 1.0f));
    Keep(img, "export_clipboard.png");
    if (const char* d = std::getenv("KALVEX_SCREENSHOT_DIR")) {
        Form->MenuExport->grab().save(QString::fromUtf8(d) + "/menu_export.png");
        Form->MenuData->grab().save(QString::fromUtf8(d) + "/menu_data.png");
    }
}

TEST_F(ExportTest, NoiseTableWindowKeepsTheMeasurementOff) {
    AttachUnit();
    Start();
    Form->MenuNoiseTableClick();
    ASSERT_NE(Form->FormNoiseTable, nullptr);
    EXPECT_TRUE(Form->FormNoiseTable->isVisible());
    for (int i = 0; i < Form->FormNoiseTable->RateList->count(); ++i)
        Form->FormNoiseTable->RateList->item(i)->setCheckState(i == 13 ? Qt::Checked
                                                                       : Qt::Unchecked);
    seam.answers = {true};
    Form->FormNoiseTable->StartBtnClick();
    EXPECT_FALSE(Form->MeasureStartBtn->isEnabled());
    for (int i = 0; i < 100000 && Form->FormNoiseTable->Running(); ++i) {
        ClockUs += 1000;
        Form->FormNoiseTable->PollStep();
    }
    EXPECT_EQ(Form->FormNoiseTable->Rows().size(), 2u);
    EXPECT_TRUE(Form->MeasureStartBtn->isEnabled());
    // The unit is free again for the window's own measurement.
    SmallBlock();
    Measure();
    EXPECT_TRUE(Form->fDataValid);
}

TEST_F(ExportTest, ClosingTheWindowEndsARunningSweep) {
    AttachUnit();
    Start();
    Form->MenuNoiseTableClick();
    seam.answers = {true};
    Form->FormNoiseTable->StartBtnClick(); // 4 rates in both filters
    for (int i = 0; i < 300; ++i) {
        ClockUs += 1000;
        Form->FormNoiseTable->PollStep();
    }
    ASSERT_TRUE(Form->FormNoiseTable->Running());
    Form.reset();
    EXPECT_EQ(Unit->Wire.rfind("AX\r") + 3, Unit->Wire.size()) << "the unit is stopped";
}
