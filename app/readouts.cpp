// Readouts, status panel 2, window title, peak navigation and the two settings dialogs.
#include <QLabel>
#include <QLineEdit>

#include "ad7177.h"
#include "amp_setting.h"
#include "fft_setting.h"
#include "graph_fft.h"
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

void TFormMain::ShowRms() {
    RmsVolt = CalcRms(Rec->Spectrum.data(), Rec->SigData.ad_dnum);
    const TValueText t = RmsText(RmsVolt);
    EditRMS->setText(QString::fromStdString(t.number));
    LabelRMS->setText(QString::fromStdString(t.unit));
    LabelRMS->adjustSize();
}

void TFormMain::ShowFirstPeak() {
    if (!fDataValid) return;
    FFTGraph->ShowPeak(Rec->SigData, PeakEdits, LabelPeakVolt);
    LabelPeakdB->setText(QString::fromStdString(PeakdBUnit(Rec->FFTSetting.fAbsoGraph)));
    LabelPeakdB->adjustSize();
}

void TFormMain::PeakFwdBtnClick() {
    if (fDataValid) FFTGraph->PeakForward(Rec->SigData, PeakEdits, LabelPeakVolt);
}

void TFormMain::PeakBackBtnClick() {
    if (fDataValid) FFTGraph->PeakBack(Rec->SigData, PeakEdits, LabelPeakVolt);
}

void TFormMain::PaintBox1MouseDown(int x) {
    if (!fDataValid || Rec->SigData.ad_dnum == 0) return;
    const int bin = FFTGraph->XToBin(PaintBox1->width(), x);
    FFTGraph->ShowBin(bin, PeakEdits, LabelPeakVolt);
}

void TFormMain::SetStatusPanel(const std::string& text, int index) {
    myStatus->SetPanelText(text, index);
}

void TFormMain::ShowDeltaFStatus() {
    SetStatusPanel(
        DeltaFStatusText(fDataValid, Rec->ADSetting, Rec->SigData.ad_dnum, Rec->FFTSetting), 2);
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
    const uint32_t hi = GetCodeMax(Rec->SigData);
    const uint32_t lo = GetCodeMin(Rec->SigData);
    if (Rec->FFTSetting.fSig_Volt == 1)
        myStatus->ShowVoltStats(CodeToMicroVolt(hi), CodeToMicroVolt(lo),
                                CodeCountToMicroVolt(static_cast<uint32_t>(CodeStdDev)));
    else
        myStatus->ShowCodeStats(hi, lo, CodeStdDev);
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
    FormFFTSetting->SetupDialog(&work, &Rec->FileSetting, &Rec->fDialogCancel);
    FormFFTSetting->exec();
    if (Rec->fDialogCancel == 1) return;
    ApplyFFTSetting(work);
}

void TFormMain::ApplyFFTSetting(const TFFTSetting& work) {
    const TFFTSetting& old = Rec->FFTSetting;
    if (work.DataCountSel != old.DataCountSel && fDataValid && !fDataSaved) {
        fDataValid = false;
        fDataSaved = false;
        Rec->SigData.ad_dnum = 0;
    }
    const bool recompute = work.fWinFuncAdjust != old.fWinFuncAdjust ||
                           work.fDCCut_FFT != old.fDCCut_FFT ||
                           work.whichWindowFunc != old.whichWindowFunc;
    Rec->FFTSetting = work;
    UpdateTitle(true);
    RelayoutGraphs();
    if (!fDataValid && !fRefValid) {
        FFTGraph->PaintGraphs();
        return;
    }
    if (recompute) {
        if (fDataValid) {
            ConvertCodes(Rec->SigData, Rec->ADSetting);
            CalcSpectrum(Rec->SigData);
        }
        if (fRefValid) {
            ConvertCodes(Rec->RefData, Rec->RefADSetting);
            CalcSpectrum(Rec->RefData);
        }
    }
    DrawGraphs();
    // The dB readout comes from the drawing, so the readouts follow every redraw.
    if (fDataValid) {
        ShowFirstPeak();
        ShowRms();
    }
    ShowDeltaFStatus();
}

void TFormMain::MenuADUnitSettingClick() {
    FormAmpSetting->SetupDialog(&NextADSetting, &Rec->fDialogCancel, ADUnit.get());
    FormAmpSetting->exec();
    activateWindow();
}
