// The measurement cycle: the window's side of the measurement session (controls, panel texts,
// messages) and the completion work.
#include <QDateTime>
#include <QMenu>
#include <QPushButton>

#include "ad7177.h"
#include "block_average.h"
#include "block_pipeline.h"
#include "graph_fft.h"
#include "main_window.h"
#include "measure_session.h"
#include "myfft.h"
#include "myfile.h"
#include "mymessage.h"
#include "mystatus.h"

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
            Session->RequestStop();
        else
            SetIdleControls();
    } else {
        StopMeasure();
        // The count reached stays readable beside the stop.
        if (progressPending_) ShowProgress(true);
        myStatus->ShowStopped();
        // What came is kept as a block of its own.
        KeepStoppedBlock();
    }
}

void TFormMain::MenuMeasureStartClick() {
    StartMeasure();
}

bool TFormMain::StopRequested() const {
    return Session && Session->StopRequested();
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
    if (!Session || fMeasuring || unitCallDepth_ > 0) return;
    {
        UnitCallScope scope(unitCallDepth_);
        SetMeasuringControls();
        myStatus->ClearStatus();
        // Panel 0 tells of this start only: an old "not found" must not outlive it.
        myStatus->SetPanelText("", 0);
        Rec->ADSetting = NextADSetting;
        fUnitOpen = OpenUnit();
        if (fUnitOpen) BeginBlock();
        if (!fMeasuring) SetIdleControls();
    }
    if (closePending_) {
        closePending_ = false;
        close();
    }
}

bool TFormMain::OpenUnit() {
    const TStartResult opened = Session->Open(Rec->ADSetting);
    switch (opened) {
    case TStartResult::Started: {
        const TUnitIdentity& id = Session->Identity();
        myStatus->ShowUnitInfo(id.name, id.version, id.rateText);
        return true;
    }
    case TStartResult::NotFound:
        myMessage->ShowNotFound();
        myStatus->ShowNotFound();
        break;
    case TStartResult::NoResponse:
        myMessage->ShowNoResponse();
        myStatus->ShowNoResponse();
        break;
    // The unit answered but refused a step: no box, panel 0 says which.
    case TStartResult::FilterRefused:
        myStatus->ShowFilterError();
        break;
    case TStartResult::RateRefused:
        myStatus->ShowRateError();
        break;
    case TStartResult::NameRefused:
        myStatus->ShowNameError();
        break;
    case TStartResult::WrongModel:
        myStatus->ShowWrongUnit(Session->Identity().name);
        break;
    case TStartResult::VersionRefused:
        myStatus->ShowVersionError();
        break;
    case TStartResult::Stopped:
    case TStartResult::SendError:
    case TStartResult::Busy:
        break;
    }
    // Stopped while opening: nothing was started, the link is closed.
    if (Session->StopRequested()) myStatus->ShowStopped();
    return false;
}

void TFormMain::BeginBlock() {
    RecvCount = 0;
    FFTGraph->ClearGraphs();
    FFTGraph->PaintGraphs();
    ClearPeakEdits();
    ClearRmsEdit();
    fPartialBlock = false;
    BlocksDone = 0;
    const int32_t count = Rec->FFTSetting.DataCountMax;
    // The user is there to stop a block (the same session may have run a recording before).
    Session->SetStallLimit(0);
    TStartResult began;
    if (Rec->ExtSetting.continuous == 1) {
        // Blocks back to back: they come into a buffer of their own, so that the held block
        // stays whole while the next one is collected.
        contBuf_.resize(DATA_BUF_LEN);
        SetupAverager(*Averager, Rec->ExtSetting.averageMode, Rec->ExtSetting.averageCount);
        began = Session->BeginContinuous(count, contBuf_.data());
    } else {
        began = Session->Begin(count, Rec->CodeBuf.data());
    }
    if (began != TStartResult::Started) {
        fUnitOpen = false; // "AX" tried and the link closed
        myStatus->ShowSendError();
        myMessage->ShowSendError();
        return;
    }
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
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")).toStdString();
    myStatus->ShowMeasuring();
    myStatus->ShowStarting();
    progressShown_.invalidate();
    liveShown_.invalidate();
    progressPending_ = false;
    ShowAverageCount();
    UpdateTitle(true);
    StartPolling();
}

void TFormMain::NoteLinkState() {
    if (!ADUnit->IsOpen()) fUnitOpen = false;
}

void TFormMain::StopMeasure() {
    Session->Stop();
    NoteLinkState();
    fMeasuring = false;
    SetIdleControls();
}

void TFormMain::ShowProgress(bool force) {
    // Repainting the panel on every read costs more than the read itself at the fast rates.
    if (!force && progressShown_.isValid() &&
        progressShown_.elapsed() < options_.progressIntervalMs) {
        progressPending_ = true;
        return;
    }
    myStatus->ShowProgress(RecvCount, Session->LastCode());
    progressShown_.start();
    progressPending_ = false;
}

void TFormMain::AcquireStep() {
    if (!fMeasuring) return;
    const TMeasureSession::TStep step = Session->Step();
    RecvCount = Session->Received();
    switch (step) {
    case TMeasureSession::TStep::Waiting:
        return;
    case TMeasureSession::TStep::Progress:
        ShowProgress(false);
        ShowLiveBlock(false);
        return;
    case TMeasureSession::TStep::LinkLost:
        NoteLinkState();
        myStatus->ShowLinkLost();
        myStatus->SetPanelText("", 1); // no longer measuring
        myStatus->ShowMeasureError();
        fMeasuring = false;
        // Continuous blocks completed before stay; a single block is gone.
        if (!Session->Continuous() || BlocksDone == 0) Rec->SigData.ad_dnum = 0;
        if (Session->Continuous() && BlocksDone > 0) DrawGraphs();
        SetIdleControls();
        return;
    case TMeasureSession::TStep::Complete:
        if (Session->Continuous())
            FinishContinuousBlock();
        else
            FinishBlock();
        return;
    }
}

void TFormMain::FinishBlock() {
    // The session has sent "AX".
    NoteLinkState();
    fMeasuring = false;
    SetIdleControls();
    fDataValid = true;
    fDataSaved = false;
    TSignalData& sig = Rec->SigData;
    Session->TakeBlock(sig);
    if (ProcessBlock(sig, TBlockSource::Measured) == TBlockResult::LevelError) {
        Session->RejectBlock();
        sig.ad_dnum = 0;
        // Nothing valid is held after a rejected block: save, print and export refuse.
        fDataValid = false;
        SetIdleControls();
        myStatus->SetPanelText("", 1); // no longer measuring
        myStatus->ShowLevelError();
        myMessage->ShowLevelError();
        return;
    }
    DrawGraphs();
    ShowFirstPeak();
    ShowRms();
    AutoSaveData();
    ShowDeltaFStatus();
    myStatus->ShowFinished();
    ShowLevelStats();
    fStatusDeltaF = false;
    SetIdleControls();
}

TBlockResult TFormMain::ProcessBlock(TSignalData& block, TBlockSource source) {
    TBlockReadouts ro;
    const TBlockResult r = RunBlockPipeline(block, Rec->FFTSetting, *myFFT, SpectrumWorkOf(*Rec),
                                            source, ro, Rec->ExtSetting.spectrumScale);
    if (&block == &Rec->SigData && r != TBlockResult::LevelError) {
        CodeStdDev = ro.codeStdDev;
        RmsVolt = ro.rms;
    }
    return r;
}

void TFormMain::DrawGraphs() {
    FFTGraph->DrawGraphs(fDataValid, fRefValid);
    ShowAnalysis();
}

void TFormMain::AutoSaveData() {
    TFileSetting& file = Rec->FileSetting;
    if (file.fSaveDataFile != 1 || file.DataFileName.empty()) return;
    // A block cut short by a stop has no count the data file takes.
    if (!IsValidDataCount(Rec->SigData.ad_dnum)) return;
    Rec->ADSetting.sinc3 = Rec->SigData.sinc3;
    FileSeam->Reset();
    const bool written = myFile->WriteDTA(DTA_HEADER, &Rec->ADSetting, &Rec->SigData,
                                          &Rec->FFTSetting, &file, &Rec->ExtSetting);
    // "No" to the overwrite question keeps the old file: the block is not saved, and the
    // user, who chose so, gets no error box.
    fDataSaved = written && !FileSeam->Declined();
    if (fDataSaved)
        ShowTitleFile();
    else if (!written)
        myMessage->ShowDataSaveError();
}
