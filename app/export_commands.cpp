// The export and copy commands (pictures of the graphs and of the report page, the block and
// spectrum as CSV, the clipboard) and the noise table window.
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QSvgGenerator>

#include <cmath>
#include <new>

#include "ad7177.h"
#include "csv_export.h"
#include "main_window.h"
#include "measure_session.h"
#include "myfft.h"
#include "myfile.h"
#include "mymessage.h"
#include "myprint.h"
#include "noise_table.h"
#include "paint_box.h"
#include "paths.h"
#include "readout_text.h"

namespace {

constexpr const char* kCaption = "Kalvex";
constexpr const char* kPictureFilter = "PNG画像 (*.png)|*.png|SVG画像 (*.svg)|*.svg";
constexpr const char* kCsvFilter = "CSVファイル (*.csv)|*.csv";
// Room around a graph box for its axis labels, in screen pixels.
constexpr int kLabelLeft = 84, kLabelRight = 30, kLabelTop = 14, kLabelBottom = 30, kGap = 12;
// Pictures of a graph are saved at twice the screen's size, the clipboard gets its size.
constexpr float kFileScale = 2.0f;
// The report page as a picture: the printable area of A4 portrait at 300 dpi (the page's pens
// are made for printer resolutions).
constexpr int kPageDpi = 300, kPageWidthMm = 200, kPageHeightMm = 287;

// A length in screen pixels at scale s.
int Scaled(int v, float s) {
    return static_cast<int>(std::lround(static_cast<double>(v) * s));
}

bool IsSvg(const std::string& path) {
    const std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : std::string();
    return ext == ".svg" || ext == ".SVG";
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

void TFormMain::BuildExportMenus() {
    auto text = [](const char* s) { return QString::fromUtf8(s); };
    MenuData->addSeparator();
    MenuExport = MenuData->addMenu(text("エクスポート"));
    MenuExportWave = MenuExport->addAction(text("波形グラフ (PNG/SVG)..."));
    MenuExportSpectrum = MenuExport->addAction(text("スペクトルグラフ (PNG/SVG)..."));
    MenuExportReport = MenuExport->addAction(text("レポートページ (PNG/SVG)..."));
    MenuExport->addSeparator();
    MenuExportBlockCsv = MenuExport->addAction(text("ブロック CSV..."));
    MenuExportSpectrumCsv = MenuExport->addAction(text("スペクトル CSV..."));
    QMenu* copy = MenuData->addMenu(text("コピー"));
    MenuCopyGraph = copy->addAction(text("グラフ画像"));
    MenuCopyReadouts = copy->addAction(text("読み値"));
    MenuNoiseTable = MenuMeasure->addAction(text("ノイズ表..."));

    connect(MenuExportWave, &QAction::triggered, this,
            [this] { MenuExportGraphClick(TGraphPick::Wave); });
    connect(MenuExportSpectrum, &QAction::triggered, this,
            [this] { MenuExportGraphClick(TGraphPick::Spectrum); });
    connect(MenuExportReport, &QAction::triggered, this, &TFormMain::MenuExportReportClick);
    connect(MenuExportBlockCsv, &QAction::triggered, this, &TFormMain::MenuExportBlockCsvClick);
    connect(MenuExportSpectrumCsv, &QAction::triggered, this,
            &TFormMain::MenuExportSpectrumCsvClick);
    connect(MenuCopyGraph, &QAction::triggered, this, &TFormMain::MenuCopyGraphClick);
    connect(MenuCopyReadouts, &QAction::triggered, this, &TFormMain::MenuCopyReadoutsClick);
    connect(MenuNoiseTable, &QAction::triggered, this, &TFormMain::MenuNoiseTableClick);
}

// The report page as the print command and the page export give it.
TPrintData TFormMain::PrintJobData() {
    TPrintData job;
    job.ad_dnum = Rec->SigData.ad_dnum;
    job.pFFTSetting = &Rec->FFTSetting;
    job.pFileSetting = &Rec->FileSetting;
    job.RateText = ADUnit->GetRateText(Rec->SigData.spsSel, Rec->SigData.sinc3);
    job.DeltaFText = HzText(Rec->SigData.deltaF) + "Hz";
    job.PeakVoltText = EditPeakVolt->text().toStdString();
    job.PeakdBText = EditPeakdB->text().toStdString();
    job.PeakHzText = EditPeakHz->text().toStdString();
    job.PeakVoltUnit = PeakEdits.PeakVoltUnit;
    job.spectrumScale = Rec->ExtSetting.spectrumScale;
    return job;
}

QSize TFormMain::GraphPictureSize(TGraphPick which, float s) const {
    const bool wave = which != TGraphPick::Spectrum;
    const bool spectrum = which != TGraphPick::Wave;
    const QSize w = FFTGraph->WaveDestRect.size(), f = FFTGraph->SpecDestRect.size();
    const int boxW = std::max(wave ? w.width() : 0, spectrum ? f.width() : 0);
    int h = 0;
    if (wave) h += kLabelTop + w.height() + kLabelBottom;
    if (spectrum) h += kLabelTop + f.height() + kLabelBottom;
    if (wave && spectrum) h += kGap;
    return QSize(Scaled(kLabelLeft + boxW + kLabelRight, s), Scaled(h, s));
}

void TFormMain::PaintGraphPicture(QPainter& p, TGraphPick which, float s) {
    p.save();
    p.scale(s, s);
    const QSize size = GraphPictureSize(which, 1.0f);
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    int top = 0;
    // The box as the window paints it (bitmap, frame, markers), its labels around it.
    auto box = [&](bool isWave) {
        const TPaintBox* paintBox = isWave ? PaintBox3 : PaintBox1;
        const QRect dest = isWave ? FFTGraph->WaveDestRect : FFTGraph->SpecDestRect;
        const int x1 = kLabelLeft, y1 = top + kLabelTop;
        const QImage shown = paintBox->Render();
        const QRect framed = dest.adjusted(-1, -1, 1, 1).intersected(shown.rect());
        p.drawImage(QPoint(x1, y1) + framed.topLeft() - dest.topLeft(), shown, framed);
        const TPrintRect r{x1, y1, x1 + dest.width(), y1 + dest.height()};
        if (isWave) {
            FFTGraph->PrintVoltLabels(p, 1.0f, r);
            FFTGraph->PrintTimeLabels(p, 1.0f, r);
        } else {
            FFTGraph->PrintFreqLabels(p, 1.0f, r);
            FFTGraph->PrintdBLabels(p, 1.0f, r);
        }
        top = r.bottom + kLabelBottom + kGap;
    };
    if (which != TGraphPick::Spectrum) box(true);
    if (which != TGraphPick::Wave) box(false);
    p.restore();
}

std::string TFormMain::ReadoutsText() const {
    auto line = [](const char* name, const QString& value, const QString& unit) {
        return std::string(name) + "\t" + value.toStdString() + "\t" + unit.toStdString() + "\n";
    };
    std::string t;
    t += line("RMS", EditRMS->text(), LabelRMS->text());
    t += line("ピーク値", EditPeakVolt->text(), Q(PeakEdits.PeakVoltUnit));
    t += line("ピーク値", EditPeakdB->text(), LabelPeakdB->text());
    t += line("ピーク周波数", EditPeakHz->text(), QStringLiteral("Hz"));
    t += line("サンプリング", Q(ADUnit->GetRateText(Rec->SigData.spsSel, Rec->SigData.sinc3)),
              QString());
    t += line("データ数", QString::number(Rec->SigData.ad_dnum), QString());
    t += line("周波数分解能", Q(HzText(Rec->SigData.deltaF)), QStringLiteral("Hz"));
    return t;
}

void TFormMain::MenuExportGraphClick(TGraphPick which) {
    if (!fDataValid) {
        myMessage->ShowNoData();
        return;
    }
    if (RefusePartialBlock()) return;
    const std::string initial = which == TGraphPick::Wave ? "waveform.png" : "spectrum.png";
    const auto name = Seam->getSaveFileName(kPictureFilter, initial);
    if (!name || name->empty()) return;
    const std::string path = IsSvg(*name) ? *name : WithDefaultExtension(*name, ".png");
    if (FileExists(path) && !myFile->ConfirmOverwrite(path)) return;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    bool drawn = false;
    if (IsSvg(path)) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(GraphPictureSize(which, 1.0f));
        svg.setViewBox(QRect(QPoint(0, 0), svg.size()));
        svg.setTitle(QString::fromUtf8(which == TGraphPick::Wave ? "波形" : "スペクトル"));
        QPainter p;
        if (p.begin(&svg)) {
            PaintGraphPicture(p, which, 1.0f);
            drawn = p.end();
        }
    } else {
        QImage image(GraphPictureSize(which, kFileScale), QImage::Format_RGB32);
        QPainter p(&image);
        PaintGraphPicture(p, which, kFileScale);
        p.end();
        drawn = image.save(&buffer, "PNG");
    }
    if (!drawn || !WriteFileAtomic(path, std::string_view(bytes.constData(), bytes.size())))
        Seam->showMessage(kCaption, path + ": 画像を保存できませんでした", TMsgIcon::Error);
}

void TFormMain::MenuExportReportClick() {
    if (!fDataValid) {
        myMessage->ShowNoData();
        return;
    }
    if (RefusePartialBlock()) return;
    const auto name = Seam->getSaveFileName(kPictureFilter, "report.png");
    if (!name || name->empty()) return;
    const std::string path = IsSvg(*name) ? *name : WithDefaultExtension(*name, ".png");
    if (FileExists(path) && !myFile->ConfirmOverwrite(path)) return;
    const QSize page(MmToPixel(kPageWidthMm, kPageDpi), MmToPixel(kPageHeightMm, kPageDpi));
    const TPrintData job = PrintJobData();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    bool drawn = false;
    try {
        TmyPrint print(FFTGraph.get(), nullptr, &Rec->FFTSetting);
        if (IsSvg(path)) {
            QSvgGenerator svg;
            svg.setOutputDevice(&buffer);
            svg.setSize(page);
            svg.setViewBox(QRect(QPoint(0, 0), page));
            svg.setResolution(kPageDpi);
            svg.setTitle(QString::fromUtf8("レポート"));
            QPainter p;
            if (p.begin(&svg)) {
                p.fillRect(QRect(QPoint(0, 0), page), Qt::white);
                drawn = print.PaintPage(p, kPageDpi, kPageWidthMm, kPageHeightMm, false, job);
                drawn = p.end() && drawn;
            }
        } else {
            QImage image(page, QImage::Format_RGB32);
            image.setDotsPerMeterX(static_cast<int>(kPageDpi / 0.0254));
            image.setDotsPerMeterY(static_cast<int>(kPageDpi / 0.0254));
            image.fill(Qt::white);
            QPainter p(&image);
            drawn = print.PaintPage(p, kPageDpi, kPageWidthMm, kPageHeightMm, false, job);
            p.end();
            drawn = drawn && image.save(&buffer, "PNG");
        }
    } catch (const std::bad_alloc&) {
        drawn = false;
    }
    if (!drawn || !WriteFileAtomic(path, std::string_view(bytes.constData(), bytes.size())))
        Seam->showMessage(kCaption, path + ": 画像を保存できませんでした", TMsgIcon::Error);
}

void TFormMain::MenuExportBlockCsvClick() {
    if (!fDataValid) {
        myMessage->ShowNoData();
        return;
    }
    const std::string& cur = Rec->FileSetting.DataFileName;
    const auto name =
        Seam->getSaveFileName(kCsvFilter, cur.empty() ? "block.csv" : BaseName(cur) + ".csv");
    if (!name || name->empty()) return;
    const std::string path = WithDefaultExtension(*name, ".csv");
    if (FileExists(path) && !myFile->ConfirmOverwrite(path)) return;
    if (!WriteBlockCsv(path, Rec->SigData))
        Seam->showMessage(kCaption, path + ": " + TEXT_CSV_SAVE_ERROR, TMsgIcon::Error);
}

void TFormMain::MenuExportSpectrumCsvClick() {
    if (!fDataValid) {
        myMessage->ShowNoData();
        return;
    }
    if (RefusePartialBlock()) return;
    const std::string& cur = Rec->FileSetting.DataFileName;
    const auto name = Seam->getSaveFileName(
        kCsvFilter, cur.empty() ? "spectrum.csv" : BaseName(cur) + "_spectrum.csv");
    if (!name || name->empty()) return;
    const std::string path = WithDefaultExtension(*name, ".csv");
    if (FileExists(path) && !myFile->ConfirmOverwrite(path)) return;
    const bool density = Rec->ExtSetting.spectrumScale == SPECTRUM_SCALE_DENSITY;
    if (!WriteSpectrumCsv(path, SpectrumCsvOf(Rec->SigData, density)))
        Seam->showMessage(kCaption, path + ": " + TEXT_CSV_SAVE_ERROR, TMsgIcon::Error);
}

void TFormMain::MenuCopyGraphClick() {
    if (!fDataValid) {
        myMessage->ShowNoData();
        return;
    }
    const TGraphPick which =
        Rec->FFTSetting.fWaveGraph == 1 ? TGraphPick::Both : TGraphPick::Spectrum;
    QImage image(GraphPictureSize(which, 1.0f), QImage::Format_RGB32);
    QPainter p(&image);
    PaintGraphPicture(p, which, 1.0f);
    p.end();
    QApplication::clipboard()->setImage(image);
}

void TFormMain::MenuCopyReadoutsClick() {
    if (!fDataValid) {
        myMessage->ShowNoData();
        return;
    }
    QApplication::clipboard()->setText(Q(ReadoutsText()));
}

void TFormMain::TNoiseTableDeleter::operator()(TFormNoiseTable* form) const {
    delete form;
}

void TFormMain::MenuNoiseTableClick() {
    if (fMeasuring) return; // the unit is busy; the menu is off meanwhile
    if (!FormNoiseTable) {
        FormNoiseTable.reset(new TFormNoiseTable(this, Seam));
        connect(FormNoiseTable.get(), &TFormNoiseTable::runningChanged, this, [this](bool running) {
            MeasureStartBtn->setEnabled(!running);
            MenuMeasureStart->setEnabled(!running);
            MenuADUnitSetting->setEnabled(!running);
        });
    }
    if (!FormNoiseTable->Running()) // a running sweep keeps what it was started with
        FormNoiseTable->Setup(Session.get(), Rec->FFTSetting, NextADSetting,
                              Rec->FFTSetting.DataCountMax, Printer(),
                              !options_.printWithoutDialog);
    FormNoiseTable->show();
    FormNoiseTable->raise();
    FormNoiseTable->activateWindow();
}
