// The menu commands: new file, data and reference files, FFT export, settings files, printing
// and the about box.
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

#include "ad7177.h"
#include "analysis_page.h"
#include "block_pipeline.h"
#include "graph_fft.h"
#include "main_window.h"
#include "myfile.h"
#include "mymessage.h"
#include "myprint.h"
#include "mystatus.h"
#include "myversion.h"
#include "paths.h"
#include "readout_text.h"

#include <new>

namespace {

constexpr const char* kDataFilter = "データファイル (*.DTA)|*.DTA";
constexpr const char* kPrfFilter = "設定 ファイル (*.prf)|*.prf";

} // namespace

void TFormMain::LockControls() {
    EnableCommands(false);
    MeasureStartBtn->setEnabled(false);
}

void TFormMain::UnlockControls() {
    EnableCommands(true);
    MeasureStartBtn->setEnabled(true);
    MeasureStartBtn->setFocus();
}

void TFormMain::MenuFileNewClick() {
    // Auto-save on or off: a block that is not in a file is asked about (a failed or declined
    // auto-save leaves it unsaved).
    if (!ConfirmDiscard()) return;
    const std::string& cur = Rec->FileSetting.DataFileName;
    const auto name =
        Seam->getSaveFileName("Data files (*.DTA)|*.DTA", cur.empty() ? "*.DTA" : cur);
    if (!name || name->empty()) return;
    Rec->FileSetting.DataFileName = WithDefaultExtension(*name, ".DTA");
    fDataValid = false;
    fDataSaved = false;
    Rec->SigData.ad_dnum = 0;
    CodeStdDev = 0.0f;
    FFTGraph->ClearGraphs();
    FFTGraph->PaintGraphs();
    ClearReadouts();
    ShowTitleFile();
}

void TFormMain::MenuFilePrintSettingClick() {
    QPageSetupDialog dlg(Printer(), this);
    dlg.exec();
}

QPrinter* TFormMain::Printer() {
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer_->setResolution(600);
        printer_->setDocName(QStringLiteral("Kalvex"));
    }
    return printer_.get();
}

void TFormMain::MenuFilePrintClick() {
    if (!fDataValid) {
        myMessage->ShowNoData();
        return;
    }
    if (RefusePartialBlock()) return;
    QPrinter* printer = Printer();
    if (!options_.printWithoutDialog) {
        QPrintDialog dlg(printer, this);
        if (dlg.exec() != QDialog::Accepted) return;
    }
    TPrintData job = PrintJobData();
    // The figures and the code histogram of the block on a page of their own.
    job.ExtraPage = [this](QPainter& p, const QRect& area, int dpi) {
        DrawAnalysisPage(p, area, dpi,
                         ComputeAnalysis(AnalysisBlockOf(*Rec, true, Averager.get())));
    };
    bool printed = false;
    try {
        TmyPrint print(FFTGraph.get(), printer, &Rec->FFTSetting);
        printed = print.Print(job);
    } catch (const std::bad_alloc&) {
        myMessage->ShowMemoryError("TQV_Print");
        close();
        return;
    }
    if (!printed) myMessage->ShowPrintError();
}

bool TFormMain::LoadDataFile(bool isRef) {
    // A measurement read goes straight into the held block's arrays: ask before anything.
    if (!isRef && !ConfirmDiscard()) return true;
    const std::string& cur = Rec->FileSetting.DataFileName;
    const auto name = Seam->getOpenFileName(kDataFilter, cur.empty() ? "*.DTA" : cur);
    if (!name || name->empty()) return true;
    activateWindow();

    // The reader fills scratch copies; nothing held changes unless the whole file is good.
    TSignalData& target = isRef ? Rec->RefData : Rec->SigData;
    TSignalData sig = target;
    TADSetting ad = Rec->ADSetting;
    TFileSetting file = Rec->FileSetting;
    TFFTSetting fft = Rec->FFTSetting;
    TExtSetting ext = Rec->ExtSetting;
    // The file's display settings are taken over with a measurement: their dB range must be
    // one the settings dialog accepts (a reference's settings are not used).
    if (!myFile->ReadDTA(*name, DTA_HEADER, &sig, &fft, &file, &ad, &ext) ||
        (!isRef && !CheckdBRange(fft))) {
        myMessage->ShowDataFileError();
        return false;
    }
    SetBlockRate(sig, ad.spsSel, ad.sinc3);
    target = sig;
    if (isRef) {
        fRefValid = true;
        Rec->RefADSetting = ad;
        ProcessBlock(Rec->RefData, TBlockSource::Held);
    } else {
        fDataValid = true;
        fDataSaved = true;
        Rec->FFTSetting = fft;
        Rec->ExtSetting = ext;
        Rec->ADSetting = ad;
        NextADSetting = ad;
        Rec->FileSetting.StartDateTime = file.StartDateTime;
        Rec->FileSetting.fSaveDataFile = file.fSaveDataFile;
        Rec->FileSetting.DataFileName = *name;
        ProcessBlock(Rec->SigData, TBlockSource::Held);
        ShowDeltaFStatus();
    }
    RelayoutGraphs();
    DrawGraphs();
    if (!isRef) {
        ShowFirstPeak();
        ShowRms();
        myStatus->ShowDataLoaded();
        ShowTitleFile();
    } else {
        myStatus->ShowRefLoaded();
    }
    return true;
}

void TFormMain::MenuDataLoadClick() {
    LockControls();
    LoadDataFile(false);
    UnlockControls();
}

void TFormMain::MenuRefLoadFileClick() {
    LockControls();
    LoadDataFile(true);
    UnlockControls();
}

void TFormMain::MenuDataSaveClick() {
    if (!fDataValid) {
        myMessage->ShowNoData();
        return;
    }
    if (RefusePartialBlock()) return;
    LockControls();
    const std::string& cur = Rec->FileSetting.DataFileName;
    const auto name = Seam->getSaveFileName(kDataFilter, cur.empty() ? "*.DTA" : cur);
    if (name && !name->empty()) {
        Rec->FileSetting.DataFileName = DataSaveName(*name);
        Rec->ADSetting.sinc3 = Rec->SigData.sinc3;
        FileSeam->Reset();
        if (!myFile->WriteDTA(DTA_HEADER, &Rec->ADSetting, &Rec->SigData, &Rec->FFTSetting,
                              &Rec->FileSetting, &Rec->ExtSetting)) {
            myMessage->ShowDataSaveError();
        } else if (!FileSeam->Declined()) {
            // "No" to the overwrite question wrote nothing: the saved state stays as it was.
            fDataSaved = true;
            ShowTitleFile();
        }
    }
    UnlockControls();
}

void TFormMain::SaveFFTFile() {
    if (!fDataValid) {
        myMessage->ShowNoData();
        myMessage->ShowFFTSaveError();
        return;
    }
    if (RefusePartialBlock()) return;
    const std::string& cur = Rec->FileSetting.DataFileName;
    const auto name = Seam->getSaveFileName("FFTファイル (*.FFT)|*.FFT",
                                            cur.empty() ? "*.FFT" : BaseName(cur) + ".FFT");
    if (!name || name->empty()) return;
    const std::string fftName = WithDefaultExtension(*name, ".FFT");
    Rec->FileSetting.DataFileName = BaseName(fftName) + ".DTA";
    TFileSetting file = Rec->FileSetting;
    file.DataFileName = fftName;
    if (!myFile->WriteFFT(FFT_HEADER, &Rec->ADSetting, &Rec->SigData, &Rec->FFTSetting, &file,
                          &Rec->ExtSetting))
        myMessage->ShowFFTSaveError();
}

void TFormMain::MenuTextSaveClick() {
    LockControls();
    SaveFFTFile();
    UnlockControls();
}

void TFormMain::MenuOpenSettingFileClick() {
    const auto name = Seam->getOpenFileName(kPrfFilter, "*.prf");
    if (!name || name->empty()) return;
    activateWindow();
    TFFTSetting fft;
    TFileSetting file;
    TADSetting ad;
    TExtSetting ext;
    SetDefaultFFTSetting(fft, file);
    SetDefaultADSetting(ad);
    if (!myFile->ReadPrf(*name, PRF_HEADER, &fft, &file, &ad, &ext) || !CheckdBRange(fft)) {
        myMessage->ShowSettingFileError();
        return;
    }
    if (!ConfirmDiscard()) return;
    Rec->ADSetting = ad;
    NextADSetting = ad;
    Rec->FileSetting = file;
    Rec->FFTSetting = fft;
    Rec->ExtSetting = ext;
    fRefValid = false;
    fDataValid = false;
    fDataSaved = false;
    // Both blocks are dropped, so neither may set the axes any more.
    Rec->SigData.ad_dnum = 0;
    Rec->RefData.ad_dnum = 0;
    CodeStdDev = 0.0f;
    FFTGraph->UpdateScales();
    FFTGraph->LayoutGraphs();
    FFTGraph->ResizeBitmaps();
    FFTGraph->ClearGraphs();
    FFTGraph->PaintGraphs();
    ClearReadouts();
    UpdateTitle(true);
}

void TFormMain::MenuSaveSettingFileClick() {
    const auto chosen = Seam->getSaveFileName(kPrfFilter, "*.prf");
    if (!chosen || chosen->empty()) return;
    const std::string name = WithDefaultExtension(*chosen, ".prf");
    if (FileExists(name) &&
        !Seam->askYesNo("Kalvex", "同名のファイル：" + name + "があります。\n上書きしますか",
                        TMsgIcon::Question))
        return;
    if (!myFile->WritePrf(name, PRF_HEADER, &Rec->FFTSetting, &Rec->FileSetting, &NextADSetting,
                          &Rec->ExtSetting))
        myMessage->ShowInitSaveError();
}

void TFormMain::MenuRefClearClick() {
    if (!fRefValid && Rec->RefData.ad_dnum == 0) return;
    fRefValid = false;
    Rec->RefData.ad_dnum = 0;
    // The axes and labels no longer include the reference.
    FFTGraph->UpdateScales();
    FFTGraph->LayoutGraphs();
    FFTGraph->ClearGraphs();
    FFTGraph->PaintGraphs();
    myStatus->ClearStatus();
    if (fDataValid) {
        DrawGraphs();
        ShowDeltaFStatus();
    }
}

void TFormMain::MenuHelpVersionClick() {
    FormVersion->exec();
    activateWindow();
}
