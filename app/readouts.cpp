// Readouts, status panel 2, window title, peak navigation and the two settings dialogs.
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>

#include "ad7177.h"
#include "amp_setting.h"
#include "block_pipeline.h"
#include "fft_setting.h"
#include "graph_fft.h"
#include "graph_scales.h"
#include "main_window.h"
#include "mystatus.h"
#include "paths.h"
#include "readout_text.h"
#include "signal_stats.h"

void TFormMain::ClearPeakEdits() {
    for (QLineEdit* e : {EditPeakVolt, EditPeakdB, EditPeakHz})
        e->setText(QStringLiteral("---"));
}

void TFormMain::ClearRmsEdit() {
    EditRMS->setText(QStringLiteral("---"));
    LabelRMS->setText(QStringLiteral("Vrms"));
    LabelRMS->adjustSize();
}

void TFormMain::ClearReadouts() {
    ClearPeakEdits();
    ClearRmsEdit();
    myStatus->ClearStatus();
    ShowAnalysis();
}

void TFormMain::FixSilentPeakdB() {
    const TSignalData& sig = Rec->SigData;
    const int bins = BlockBinCount(sig);
    if (!fDataValid || bins == 0 || SpectrumMax(sig.pSpectrum, bins) != 0) return;
    EditPeakdB->setText(QString::fromStdString(PeakdBText(MakedBAxis(Rec->FFTSetting).F)));
}

void TFormMain::ShowRms() {
    const TValueText t = RmsText(RmsVolt);
    EditRMS->setText(QString::fromStdString(t.number));
    LabelRMS->setText(QString::fromStdString(t.unit));
    LabelRMS->adjustSize();
}

void TFormMain::ShowFirstPeak() {
    if (!fDataValid) return;
    FFTGraph->ShowPeak(Rec->SigData, PeakEdits, LabelPeakVolt);
    FixSilentPeakdB();
    ShowPeakUnits();
}

void TFormMain::ShowPeakUnits() {
    LabelPeakdB->setText(QString::fromStdString(
        PeakdBUnit(Rec->FFTSetting.fAbsoGraph, Rec->ExtSetting.spectrumScale)));
    // A long unit ("dBV/√Hz") gets a smaller font rather than running past the box.
    for (QLabel* l : {LabelPeakVolt, LabelPeakdB}) {
        QFont f = GroupPeak->font();
        const int room = GroupPeak->width() - l->x() - 3;
        while (f.pixelSize() > 7 && QFontMetrics(f).horizontalAdvance(l->text()) > room)
            f.setPixelSize(f.pixelSize() - 1);
        l->setFont(f);
        l->adjustSize();
    }
}

void TFormMain::PeakFwdBtnClick() {
    if (!fDataValid) return;
    // With Shift: the next line above the noise instead of the next bin.
    if (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier)
        FFTGraph->PeakNext(Rec->SigData, PeakEdits, LabelPeakVolt, 1);
    else
        FFTGraph->PeakForward(Rec->SigData, PeakEdits, LabelPeakVolt);
    FixSilentPeakdB();
}

void TFormMain::PeakBackBtnClick() {
    if (!fDataValid) return;
    if (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier)
        FFTGraph->PeakNext(Rec->SigData, PeakEdits, LabelPeakVolt, -1);
    else
        FFTGraph->PeakBack(Rec->SigData, PeakEdits, LabelPeakVolt);
    FixSilentPeakdB();
}

void TFormMain::PaintBox1MouseDown(int x) {
    if (!fDataValid || Rec->SigData.ad_dnum == 0) return;
    const int bin = FFTGraph->SnapBin(PaintBox1->width(), x);
    FFTGraph->ShowBin(bin, PeakEdits, LabelPeakVolt);
    FixSilentPeakdB();
}

void TFormMain::SetStatusPanel(const std::string& text, int index) {
    myStatus->SetPanelText(text, index);
}

void TFormMain::ShowDeltaFStatus() {
    SetStatusPanel(
        DeltaFStatusText(fDataValid, Rec->SigData.periodMs, Rec->SigData.ad_dnum, Rec->FFTSetting),
        2);
    fStatusDeltaF = true;
}

void TFormMain::StatusBar1Click() {
    if (!fStatusDeltaF) {
        ShowDeltaFStatus();
    } else {
        fStatusDeltaF = false;
        ShowLevelStats();
    }
}

void TFormMain::ShowLevelStats() {
    // Without a held block the graph's empty-block range is shown, as on its axis.
    const TCodeRange r = fDataValid ? CodeRangeOne(Rec->SigData) : TCodeRange{};
    const float sd = fDataValid ? CodeStdDev : 0.0f;
    if (Rec->FFTSetting.fSig_Volt == 1)
        myStatus->ShowVoltStats(CodeToMicroVolt(r.max), CodeToMicroVolt(r.min),
                                CodeCountToMicroVolt(static_cast<uint32_t>(sd)));
    else
        myStatus->ShowCodeStats(r.max, r.min, sd);
}

void TFormMain::ShowTitleFile() {
    setWindowTitle(QStringLiteral("Kalvex : ") +
                   QString::fromStdString(FileNamePart(Rec->FileSetting.DataFileName)));
}

void TFormMain::UpdateTitle(bool onlyIfNamed) {
    const TFileSetting& f = Rec->FileSetting;
    if (f.fSaveDataFile == 1 && !f.DataFileName.empty())
        ShowTitleFile();
    else if (!onlyIfNamed)
        setWindowTitle(QStringLiteral("Kalvex : Untitled"));
}

void TFormMain::MenuDispSettingClick() {
    TFFTSetting work = Rec->FFTSetting;
    // The file settings too are taken over only once the whole change is accepted.
    TFileSetting file = Rec->FileSetting;
    TExtSetting ext = Rec->ExtSetting;
    FormFFTSetting->SetupDialog(&work, &file, &Rec->fDialogCancel, &ext);
    FormFFTSetting->exec();
    if (Rec->fDialogCancel == 1) return;
    const TExtSetting old = Rec->ExtSetting;
    Rec->ExtSetting = ext;
    if (!ApplyFFTSetting(work, &file)) {
        Rec->ExtSetting = old;
        return;
    }
    // A new spectrum scale changes every bin: the blocks go through the pipeline again.
    if (ext.spectrumScale != old.spectrumScale && (fDataValid || fRefValid)) {
        if (fDataValid) ProcessBlock(Rec->SigData, TBlockSource::Held);
        if (fRefValid) ProcessBlock(Rec->RefData, TBlockSource::Held);
        DrawGraphs();
        if (fDataValid) {
            ShowFirstPeak();
            ShowRms();
        }
    }
}

bool TFormMain::ApplyFFTSetting(const TFFTSetting& work, const TFileSetting* file) {
    const TFFTSetting& old = Rec->FFTSetting;
    const bool drop = work.DataCountSel != old.DataCountSel && fDataValid && !fDataSaved;
    if (drop && !ConfirmDiscard()) return false;
    if (file) Rec->FileSetting = *file;
    if (drop) {
        fDataValid = false;
        fDataSaved = false;
        Rec->SigData.ad_dnum = 0;
        CodeStdDev = 0.0f;
        ClearReadouts();
    }
    const bool recompute = work.fWinFuncAdjust != old.fWinFuncAdjust ||
                           work.fDCCut_FFT != old.fDCCut_FFT ||
                           work.whichWindowFunc != old.whichWindowFunc;
    Rec->FFTSetting = work;
    UpdateTitle(true);
    RelayoutGraphs();
    if (!fDataValid && !fRefValid) {
        FFTGraph->PaintGraphs();
        return true;
    }
    if (recompute) {
        if (fDataValid) ProcessBlock(Rec->SigData, TBlockSource::Held);
        if (fRefValid) ProcessBlock(Rec->RefData, TBlockSource::Held);
    }
    DrawGraphs();
    // The dB readout comes from the drawing, so the readouts follow every redraw; a new
    // spectrum starts at its largest line, an unchanged one keeps the bin the user chose.
    if (fDataValid) {
        if (recompute) {
            ShowFirstPeak();
            ShowRms();
        } else {
            FFTGraph->ShowBin(FFTGraph->CursorBin, PeakEdits, LabelPeakVolt);
            FixSilentPeakdB();
            ShowPeakUnits();
        }
    }
    ShowDeltaFStatus();
    return true;
}

void TFormMain::MenuADUnitSettingClick() {
    FormAmpSetting->SetupDialog(&NextADSetting, &Rec->fDialogCancel, ADUnit.get());
    FormAmpSetting->exec();
    activateWindow();
}
