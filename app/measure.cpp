// The measurement cycle: start, open and identify the unit, collect the block step by step,
// and the completion work.
#include <QDateTime>
#include <QMenu>
#include <QPushButton>

#include "ad7177.h"
#include "graph_fft.h"
#include "main_window.h"
#include "myfft.h"
#include "myfile.h"
#include "mymessage.h"
#include "mystatus.h"
#include "signal_stats.h"
#include "tables.h"

namespace {

// Counts the unit calls that pump events, so that a close request waits for them.
class UnitCallScope {
public:
    explicit UnitCallScope(int& depth) : depth_(depth) { ++depth_; }
    ~UnitCallScope() { --depth_; }
    UnitCallScope(const UnitCallScope&) = delete;
    UnitCallScope& operator=(const UnitCallScope&) = delete;

private:
    int& depth_;
};

} // namespace

void TFormMain::MeasureStartBtnClick() {
    // The caption tells: "計測中止" stands from the first step of the start on.
    if (MeasureStartBtn->text() == QString::fromUtf8("計測開始")) {
        StartMeasure();
    } else if (!fMeasuring) {
        // The unit is still being opened: the start ends as soon as the current reply is in.
        if (unitCallDepth_ > 0)
            stopRequested_ = true;
        else
            SetIdleControls();
    } else {
        StopMeasure();
        myStatus->ShowStopped();
    }
}

void TFormMain::MenuMeasureStartClick() {
    StartMeasure();
}

void TFormMain::EnableCommands(bool on) {
    for (QMenu* m : {MenuFile, MenuMeasure, MenuData, MenuSetting, MenuHelp, MenuRef})
        m->setEnabled(on);
    MenuMeasureStart->setEnabled(on);
    PeakBackBtn->setEnabled(on);
    PeakFwdBtn->setEnabled(on);
}

// The start button stays enabled while measuring: it is the stop button then.
void TFormMain::SetMeasuringControls() {
    MeasureStartBtn->setText(QString::fromUtf8("計測中止"));
    EnableCommands(false);
}

void TFormMain::SetIdleControls() {
    MeasureStartBtn->setText(QString::fromUtf8("計測開始"));
    EnableCommands(true);
}

void TFormMain::StartMeasure() {
    if (!ADUnit || fMeasuring || unitCallDepth_ > 0) return;
    {
        UnitCallScope scope(unitCallDepth_);
        stopRequested_ = false;
        SetMeasuringControls();
        myStatus->ClearStatus();
        // Panel 0 tells of this start only: an old "not found" must not outlive it.
        myStatus->SetPanelText("", 0);
        Rec->ADSetting = NextADSetting;
        fUnitOpen = OpenUnit();
        if (stopRequested_) {
            // Stopped while opening: nothing was started, nothing is kept open.
            if (fUnitOpen) CloseUnit();
            myStatus->ShowStopped();
        } else if (fUnitOpen) {
            RecvCount = 0;
            FFTGraph->ClearGraphs();
            FFTGraph->PaintGraphs();
            ClearPeakEdits();
            ClearRmsEdit();
            if (ADUnit->StartConvert(Rec->ADSetting.ch_sel, Rec->FFTSetting.DataCountMax)) {
                fMeasuring = true;
                fDataValid = false;
                fDataSaved = false;
                // The old block is gone: the axes show the block now being measured.
                Rec->SigData.ad_dnum = 0;
                CodeStdDev = 0.0f;
                FFTGraph->UpdateScales();
                FFTGraph->LayoutGraphs();
                FFTGraph->ClearGraphs();
                FFTGraph->PaintGraphs();
                Rec->FileSetting.StartDateTime =
                    QDateTime::currentDateTime()
                        .toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"))
                        .toStdString();
                myStatus->ShowMeasuring();
                myStatus->ShowStarting();
                UpdateTitle(true);
                pollTimer_.start();
            } else {
                ADUnit->StopConvert();
                CloseUnit();
                myStatus->ShowSendError();
                myMessage->ShowSendError();
            }
        }
        if (!fMeasuring) SetIdleControls();
    }
    if (closePending_) {
        closePending_ = false;
        close();
    }
}

bool TFormMain::OpenUnit() {
    TADC& u = *ADUnit;
    if (!u.OpenDevice()) {
        u.CloseDevice();
        myMessage->ShowNotFound();
        myStatus->ShowNotFound();
        return false;
    }
    if (!u.CheckResponse()) {
        u.CloseDevice();
        myMessage->ShowNoResponse();
        myStatus->ShowNoResponse();
        return false;
    }
    const TADSetting& ad = Rec->ADSetting;
    // From here on the link stays open on failure; panel 0 says which step failed.
    if (stopRequested_) return false;
    if (!(ad.sinc3 == 1 ? u.SetFilterSinc3() : u.SetFilterSinc5()))
        return OpenFailed(&TmyStatus::ShowFilterError);
    if (stopRequested_) return false;
    if (!u.SetRate(ad.spsSel)) return OpenFailed(&TmyStatus::ShowRateError);
    const std::string rate = u.GetRateText(ad.spsSel, ad.sinc3);
    std::string name, version;
    if (stopRequested_) return false;
    if (!u.GetUnitName(name)) return OpenFailed(&TmyStatus::ShowNameError);
    if (name != u.GetModelName()) {
        if (!stopRequested_) myStatus->ShowWrongUnit(name);
        return false;
    }
    if (stopRequested_) return false;
    if (!u.GetVersion(version)) return OpenFailed(&TmyStatus::ShowVersionError);
    if (stopRequested_) return false;
    myStatus->ShowUnitInfo(name, version, rate);
    return true;
}

bool TFormMain::OpenFailed(void (TmyStatus::*showText)()) {
    // A stop click during the failed step is the answer the user sees.
    if (!stopRequested_) (myStatus.get()->*showText)();
    return false;
}

void TFormMain::CloseUnit() {
    ADUnit->CloseDevice();
    fUnitOpen = false;
}

void TFormMain::StopMeasure() {
    if (!ADUnit->StopConvert()) CloseUnit();
    fMeasuring = false;
    SetIdleControls();
}

void TFormMain::AcquireStep() {
    const int block = SamplesPerRead(Rec->ADSetting.spsSel);
    const int32_t total = Rec->FFTSetting.DataCountMax;
    if (RecvCount >= total) return;
    int n = 0;
    // Never past the end of the block, whatever the count.
    const int want = std::min(block, total - RecvCount);
    if (!ADUnit->ReadSamples(Rec->CodeBuf.data() + RecvCount, n, want)) {
        // A link that cannot even take the stop command is closed.
        if (!ADUnit->StopConvert()) CloseUnit();
        myStatus->ShowLinkLost();
        myStatus->SetPanelText("", 1); // no longer measuring
        myStatus->ShowMeasureError();
        fMeasuring = false;
        Rec->SigData.ad_dnum = 0;
        SetIdleControls();
        return;
    }
    if (n <= 0) return;
    RecvCount += n;
    if (RecvCount < total) {
        myStatus->ShowProgress(RecvCount, Rec->CodeBuf[static_cast<size_t>(RecvCount - 1)]);
        return;
    }

    StopMeasure();
    fDataValid = true;
    fDataSaved = false;
    fMeasuring = false;
    TSignalData& sig = Rec->SigData;
    sig.ad_dnum = total;
    sig.spsSel = Rec->ADSetting.spsSel;
    sig.sinc3 = Rec->ADSetting.sinc3;
    if (!CheckLevelAndConvert(sig, Rec->ADSetting)) {
        ADUnit->StopConvert();
        fMeasuring = false;
        sig.ad_dnum = 0;
        // Nothing valid is held after a rejected block: save, print and export refuse.
        fDataValid = false;
        SetIdleControls();
        myStatus->SetPanelText("", 1); // no longer measuring
        myStatus->ShowLevelError();
        myMessage->ShowLevelError();
        return;
    }
    CalcSpectrum(sig);
    DrawGraphs();
    ShowFirstPeak();
    ShowRms();
    CodeStdDev = static_cast<float>(CalcCodeStdDev(sig));
    AutoSaveData();
    ShowDeltaFStatus();
    myStatus->ShowFinished();
    ShowLevelStats();
    fStatusDeltaF = false;
    SetIdleControls();
}

void TFormMain::CalcSpectrum(TSignalData& block) {
    ::CalcSpectrum(*myFFT, Rec->FFTSetting, block, SpectrumWorkOf(*Rec));
}

void TFormMain::DrawGraphs() {
    FFTGraph->DrawGraphs(fDataValid, fRefValid);
}

void TFormMain::AutoSaveData() {
    TFileSetting& file = Rec->FileSetting;
    if (file.fSaveDataFile != 1 || file.DataFileName.empty()) return;
    Rec->ADSetting.sinc3 = Rec->SigData.sinc3;
    FileSeam->Reset();
    const bool written =
        myFile->WriteDTA(DTA_HEADER, &Rec->ADSetting, &Rec->SigData, &Rec->FFTSetting, &file);
    // "No" to the overwrite question keeps the old file: the block is not saved, and the
    // user, who chose so, gets no error box.
    fDataSaved = written && !FileSeam->Declined();
    if (fDataSaved)
        ShowTitleFile();
    else if (!written)
        myMessage->ShowDataSaveError();
}
