// The noise table window on the simulated unit in-process (the unit's clock in the test's
// hand): the plan from the controls and its estimate, the question before a start, rows as
// they come, stop, a missing unit, the CSV save and its failure, and the printed page.
#include "noise_table.h"

#include "fake_seam.h"
#include "measure_session.h"
#include "temp_dir.h"
#include "virtual_unit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace {

class NoiseTableTest : public DeviceLinkTest {
protected:
    void SetUp() override {
        DeviceLinkTest::SetUp();
        Form = std::make_unique<TFormNoiseTable>(nullptr, &Seam);
        Session = std::make_unique<TMeasureSession>(*Adc);
        QObject::connect(Form.get(), &TFormNoiseTable::runningChanged,
                         [this](bool on) { Signals.push_back(on); });
    }
    void TearDown() override {
        Form.reset();
        Session.reset();
        DeviceLinkTest::TearDown();
    }
    // Only the rates given, Sinc3 and/or Sinc5, on channel ch, 1024 samples.
    void Choose(std::vector<int> rates, bool sinc3, bool sinc5, int ch = 1) {
        TADSetting ad;
        ad.ch_sel = ch;
        Form->Setup(Session.get(), TFFTSetting{}, ad, 1024, &Printer, false);
        for (int i = 0; i < Form->RateList->count(); ++i)
            Form->RateList->item(i)->setCheckState(
                std::find(rates.begin(), rates.end(), i) != rates.end() ? Qt::Checked
                                                                        : Qt::Unchecked);
        Form->Sinc3Check->setChecked(sinc3);
        Form->Sinc5Check->setChecked(sinc5);
    }
    // Steps as the dialog's timer would, the unit's time passing; stops after n rows if given.
    void RunSweep(size_t stopAfterRows = 0) {
        for (int i = 0; i < 1000000 && Form->Running(); ++i) {
            Form->PollStep();
            Advance(1.0);
            if (stopAfterRows && Form->Rows().size() == stopAfterRows) Form->StopBtnClick();
        }
    }
    void Shot(QWidget& w, const char* name) {
        // Pictures for a person to look at, only when asked for.
        if (const char* d = std::getenv("KALVEX_SCREENSHOT_DIR"))
            w.grab().save(QString::fromUtf8(d) + "/" + name);
    }
    TUnitConfig Quiet() {
        TUnitConfig c;
        c.channels[1] = TChannelSignal{};
        c.channels[1].noiseRmsV = 2e-6;
        return c;
    }

    FakeSeam Seam;
    QPrinter Printer{QPrinter::HighResolution};
    std::unique_ptr<TFormNoiseTable> Form;
    std::unique_ptr<TMeasureSession> Session;
    std::vector<bool> Signals;
};

} // namespace

TEST_F(NoiseTableTest, ControlsMakeThePlanAndItsEstimate) {
    Choose({0}, true, false, 1);
    TSweepPlan plan = Form->PlanFromControls();
    ASSERT_EQ(plan.points.size(), 1u);
    EXPECT_EQ(plan.points[0], (TSweepPoint{0, 1}));
    EXPECT_EQ(plan.ch, 1);
    EXPECT_EQ(plan.count, 1024);
    // 1024 x 200 ms + the block's overhead.
    EXPECT_EQ(Form->EstimateLabel->text().toStdString(), "所要時間の目安: 約 3 分 26 秒");

    Choose({13, 10}, true, true, 0);
    Form->CountCombo->setCurrentIndex(2); // 4096
    plan = Form->PlanFromControls();
    ASSERT_EQ(plan.points.size(), 4u);
    EXPECT_EQ(plan.points[3], (TSweepPoint{13, 0}));
    EXPECT_EQ(plan.count, 4096);
    EXPECT_EQ(plan.ch, 0);

    Choose({}, true, true);
    EXPECT_TRUE(Form->PlanFromControls().points.empty());
    EXPECT_FALSE(Form->StartBtn->isEnabled());
    Choose({5}, false, false);
    EXPECT_FALSE(Form->StartBtn->isEnabled());
}

TEST_F(NoiseTableTest, TheEstimateIsAskedFirstAndRowsComeInAsMeasured) {
    Attach(Quiet());
    Choose({13, 12}, true, true);
    Seam.answers = {false};
    Form->StartBtnClick();
    ASSERT_EQ(Seam.asked.size(), 1u);
    EXPECT_EQ(Seam.asked[0].kind, "okcancel");
    EXPECT_EQ(Seam.asked[0].text.rfind("所要時間の目安: 約 3 秒", 0), 0u) << Seam.asked[0].text;
    EXPECT_FALSE(Form->Running());
    EXPECT_TRUE(Unit->Wire.empty()) << "Cancel sends nothing";

    Seam.answers = {true};
    Form->StartBtnClick();
    EXPECT_TRUE(Form->Running());
    EXPECT_FALSE(Form->StartBtn->isEnabled());
    EXPECT_TRUE(Form->StopBtn->isEnabled());
    EXPECT_FALSE(Form->RateList->isEnabled());
    for (int i = 0; i < 200; ++i) { // part of the first block
        Form->PollStep();
        Advance(1.0);
    }
    Shot(*Form, "noise_table_running.png");
    RunSweep();
    EXPECT_FALSE(Form->Running());
    EXPECT_EQ(Signals, (std::vector<bool>{true, false}));
    ASSERT_EQ(Form->Rows().size(), 4u);
    ASSERT_EQ(Form->Table->rowCount(), 4);
    for (int r = 0; r < 4; ++r) {
        const std::vector<QString> cells = NoiseTableCells(Form->Rows()[static_cast<size_t>(r)]);
        for (int c = 0; c < 9; ++c)
            EXPECT_EQ(Form->Table->item(r, c)->text(), cells[static_cast<size_t>(c)]) << r << c;
        // 2 uV of noise on CH1, in microvolts with three decimals.
        EXPECT_NEAR(Form->Table->item(r, 2)->text().toDouble(), 2.0, 0.25);
    }
    // In the list's order: 5 ksps first, each rate in both filters.
    EXPECT_EQ(Form->Table->item(0, 0)->text().toStdString(), "5ksps");
    EXPECT_EQ(Form->Table->item(2, 0)->text().toStdString(), "10ksps");
    EXPECT_EQ(Form->Table->item(1, 1)->text().toStdString(), "Sinc5+Sinc1");
    EXPECT_EQ(Form->Progress->value(), Form->Progress->maximum());
    EXPECT_EQ(Form->StatusLabel->text().toStdString(), "完了しました");
    EXPECT_TRUE(Form->SaveBtn->isEnabled());
    EXPECT_TRUE(Form->PrintBtn->isEnabled());
    Shot(*Form, "noise_table_done.png");
}

TEST_F(NoiseTableTest, StopKeepsTheRowsAndAMissingUnitSaysSo) {
    Attach(Quiet());
    Choose({13, 12, 11}, true, false);
    Seam.answers = {true};
    Form->StartBtnClick();
    RunSweep(1);
    EXPECT_FALSE(Form->Running());
    EXPECT_EQ(Form->Rows().size(), 1u);
    EXPECT_EQ(Form->StatusLabel->text().toStdString(), "停止しました");
    EXPECT_EQ(Unit->Wire.rfind("AX\r") + 3, Unit->Wire.size());

    d2xx::DetachVirtualDevice();
    Seam.answers = {true};
    Form->StartBtnClick();
    RunSweep();
    EXPECT_TRUE(Form->Rows().empty());
    EXPECT_EQ(Form->StatusLabel->text().toStdString(), "ZR4410QMが見つかりませんでした");
    EXPECT_TRUE(Form->StartBtn->isEnabled());
}

TEST_F(NoiseTableTest, SavesTheTableAndReportsAFailedSave) {
    Attach(Quiet());
    Choose({13}, true, true);
    Seam.answers = {true};
    Form->StartBtnClick();
    RunSweep();
    ASSERT_EQ(Form->Rows().size(), 2u);

    TempDir dir;
    Seam.fileNames = {dir.file("table")};
    Form->SaveBtnClick();
    EXPECT_EQ(TempDir::Read(dir.file("table.csv")), NoiseTableCsv(Form->Rows()));

    // An existing file is asked about first; No keeps it.
    Seam.fileNames = {dir.file("table.csv")};
    TempDir::Write(dir.file("table.csv"), "earlier");
    Seam.answers = {false};
    Form->SaveBtnClick();
    EXPECT_EQ(TempDir::Read(dir.file("table.csv")), "earlier");

    const std::string locked = dir.file("locked.csv");
    TempDir::Write(locked, "old");
    ::chmod(locked.c_str(), 0444);
    Seam.fileNames = {locked};
    Seam.answers = {true};
    Seam.asked.clear();
    Form->SaveBtnClick();
    EXPECT_EQ(TempDir::Read(locked), "old");
    ASSERT_FALSE(Seam.asked.empty());
    EXPECT_EQ(Seam.asked.back().kind, "message");
    EXPECT_NE(Seam.asked.back().text.find("CSVファイルを保存できませんでした"), std::string::npos);

    // The printed page: a PDF with the table.
    Printer.setOutputFormat(QPrinter::PdfFormat);
    Printer.setOutputFileName(QString::fromStdString(dir.file("table.pdf")));
    EXPECT_TRUE(Form->Print(Printer));
    EXPECT_GT(TempDir::Read(dir.file("table.pdf")).size(), 1000u);
    if (const char* d = std::getenv("KALVEX_SCREENSHOT_DIR"))
        std::filesystem::copy_file(dir.file("table.pdf"), std::string(d) + "/noise_table.pdf",
                                   std::filesystem::copy_options::overwrite_existing);
    // The same drawing on an image, for a look: the heading row and every row drawn in black.
    QImage page(1240, 1754, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter p(&page);
        PaintNoiseTable(p, QRect(75, 75, 1090, 1600), 150, Form->PlanFromControls(), Form->Rows(),
                        QStringLiteral("2026/12/09 10:00:00"));
    }
    int dark = 0;
    for (int y = 75; y < 500; ++y)
        for (int x = 75; x < 1165; ++x)
            if (qGray(page.pixel(x, y)) < 128) ++dark;
    EXPECT_GT(dark, 2000);
    if (const char* d = std::getenv("KALVEX_SCREENSHOT_DIR"))
        page.save(QString::fromUtf8(d) + "/noise_table_page.png");
}
