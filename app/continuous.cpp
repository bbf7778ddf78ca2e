// Continuous measurement with spectrum averaging, the live waveform of a block being
// collected, the block kept after a stop, and long recordings with their window.
#include <QActionGroup>
#include <QDateTime>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include <algorithm>

#include "ad7177.h"
#include "block_average.h"
#include "block_pipeline.h"
#include "main_window.h"
#include "measure_session.h"
#include "myfile.h"
#include "mymessage.h"
#include "mystatus.h"
#include "paths.h"
#include "recorder.h"
#include "recording_window.h"
#include "signal_stats.h"
#include "tables.h"
#include "texts.h"

namespace {

constexpr std::array<int32_t, 5> kAverageCounts{4, 8, 16, 32, 64};
// The live waveform at most this often, and only for blocks that take longer than this.
constexpr int kLiveIntervalMs = 250;
// A block shorter than this is there before a live view would show much: it is waited for.
constexpr double kLiveMinBlockMs = 1000.0;

QString Utf8(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

void TFormMain::BuildContinuousControls() {
    Averager = std::make_unique<TSpectrumAverager>();
    MenuContinuous = MenuMeasure->addAction(Utf8("連続計測"));
    MenuContinuous->setCheckable(true);
    MenuAverage = MenuMeasure->addMenu(Utf8("スペクトル平均"));
    auto* modes = new QActionGroup(this);
    const char* names[] = {"なし", "線形平均", "指数平均", "ピークホールド"};
    for (int32_t i = 0; i < 4; ++i) {
        QAction* a = MenuAverage->addAction(Utf8(names[i]));
        a->setCheckable(true);
        modes->addAction(a);
        MenuAverageModes[static_cast<size_t>(i)] = a;
        connect(a, &QAction::triggered, this, [this, i] { SetAverageMode(i); });
    }
    MenuAverage->addSeparator();
    auto* counts = new QActionGroup(this);
    for (size_t i = 0; i < kAverageCounts.size(); ++i) {
        const int32_t n = kAverageCounts[i];
        QAction* a = MenuAverage->addAction(Utf8("平均回数 ") + QString::number(n));
        a->setCheckable(true);
        counts->addAction(a);
        MenuAverageCounts[i] = a;
        connect(a, &QAction::triggered, this, [this, n] { SetAverageCount(n); });
    }
    MenuAverageReset = MenuMeasure->addAction(Utf8("平均リセット"));
    MenuMeasure->addSeparator();
    MenuRecordStart = MenuMeasure->addAction(Utf8("記録開始..."));
    MenuRecordStop = MenuMeasure->addAction(Utf8("記録停止"));
    MenuRecordStop->setEnabled(false);
    connect(MenuContinuous, &QAction::toggled, this, &TFormMain::MenuContinuousClick);
    connect(MenuAverageReset, &QAction::triggered, this, &TFormMain::AverageResetClick);
    connect(MenuRecordStart, &QAction::triggered, this, &TFormMain::MenuRecordStartClick);
    connect(MenuRecordStop, &QAction::triggered, this, &TFormMain::MenuRecordStopClick);
    connect(MenuMeasure, &QMenu::aboutToShow, this, &TFormMain::SyncContinuousMenus);

    // Under the start button: the averaging count and its reset, which must be reachable
    // while the menus are locked by the measurement.
    const int colX = CLIENT_WIDTH - 124;
    LabelAverage = new QLabel(Client);
    LabelAverage->setGeometry(colX, 276, 118, 18);
    LabelAverage->setAlignment(Qt::AlignCenter);
    AverageResetBtn = new QPushButton(Utf8("平均リセット"), Client);
    AverageResetBtn->setGeometry(colX, 296, 118, 26);
    connect(AverageResetBtn, &QPushButton::clicked, this, &TFormMain::AverageResetClick);
    ShowAverageCount();
}

void TFormMain::SyncContinuousMenus() {
    const TExtSetting& ext = Rec->ExtSetting;
    {
        const QSignalBlocker block(MenuContinuous);
        MenuContinuous->setChecked(ext.continuous == 1);
    }
    const auto mode = static_cast<size_t>(std::clamp(ext.averageMode, 0, 3));
    MenuAverageModes[mode]->setChecked(true);
    for (size_t i = 0; i < kAverageCounts.size(); ++i)
        MenuAverageCounts[i]->setChecked(kAverageCounts[i] == ext.averageCount);
    MenuRecordStart->setEnabled(!fRecording && !fMeasuring);
    MenuRecordStop->setEnabled(fRecording);
}

void TFormMain::MenuContinuousClick(bool on) {
    Rec->ExtSetting.continuous = on ? 1 : 0;
    ShowAverageCount();
}

void TFormMain::SetAverageMode(int32_t mode) {
    Rec->ExtSetting.averageMode = std::clamp(mode, 0, 3);
    SetupAverager(*Averager, Rec->ExtSetting.averageMode, Rec->ExtSetting.averageCount);
    ShowAverageCount();
}

void TFormMain::SetAverageCount(int32_t n) {
    Rec->ExtSetting.averageCount = n;
    SetupAverager(*Averager, Rec->ExtSetting.averageMode, Rec->ExtSetting.averageCount);
    ShowAverageCount();
}

void TFormMain::AverageResetClick() {
    Averager->Reset();
    ShowAverageCount();
}

void TFormMain::ShowAverageCount() {
    if (!LabelAverage) return;
    const bool continuous = Rec->ExtSetting.continuous == 1;
    std::string text;
    if (continuous && Rec->ExtSetting.averageMode != 0) {
        // Before a start the averaging the settings ask for ("平均 0/16"); while measuring
        // the menus are locked, so the running average is never set afresh here.
        TSpectrumAverager want;
        SetupAverager(want, Rec->ExtSetting.averageMode, Rec->ExtSetting.averageCount);
        if (!fMeasuring && (Averager->Mode() != want.Mode() || Averager->Blocks() != want.Blocks()))
            *Averager = want;
        text = AverageCountText(*Averager);
    } else if (continuous) {
        text = "連続計測 " + std::to_string(BlocksDone);
    }
    LabelAverage->setText(QString::fromStdString(text));
    // Only continuous measurement has a count to reset.
    AverageResetBtn->setVisible(continuous);
    AverageResetBtn->setEnabled(continuous && Rec->ExtSetting.averageMode != 0);
}

void TFormMain::ShowLiveBlock(bool force) {
    const int n = Session->Received() % std::max(1, Session->Wanted());
    if (n <= 0) return;
    const TADSetting& ad = Session->Setting();
    const double blockMs =
        Session->Wanted() * static_cast<double>(SamplePeriodMs(ad.spsSel, ad.sinc3));
    if (!force && blockMs < kLiveMinBlockMs) return;
    if (!force && liveShown_.isValid() && liveShown_.elapsed() < kLiveIntervalMs) return;
    liveShown_.start();
    // The samples so far as a block of their own in the waveform; in continuous mode the held
    // block (and its averaged spectrum) stays as it is, only the waveform shows what comes.
    TSignalData live = Rec->SigData;
    const TSignalData held = Rec->SigData;
    const bool continuous = Session->Continuous();
    live.pCode = continuous ? contBuf_.data() : Rec->CodeBuf.data();
    std::vector<float> volts;
    if (continuous) {
        volts.resize(static_cast<size_t>(n));
        live.pVolt = volts.data();
    }
    Session->TakeBlock(live);
    live.ad_dnum = n;
    ConvertCodes(live);
    Rec->SigData = live;
    // The time axis spans the whole block; the samples so far fill it from the left.
    FFTGraph->LiveBlockSamples = Session->Wanted();
    FFTGraph->DrawWave(0);
    FFTGraph->UpdateScales();
    FFTGraph->LayoutGraphs();
    FFTGraph->LiveBlockSamples = 0;
    Rec->SigData = held;
}

void TFormMain::FinishContinuousBlock() {
    const int n = Session->Received();
    std::copy(contBuf_.begin(), contBuf_.begin() + n, Rec->CodeBuf.begin());
    TSignalData& sig = Rec->SigData;
    Session->TakeBlock(sig);
    const TBlockResult r = ProcessBlock(sig, TBlockSource::Measured);
    if (r == TBlockResult::LevelError) {
        // As a single block: the stream ends, nothing new is held.
        Session->Stop();
        NoteLinkState();
        fMeasuring = false;
        // The rejected block replaced the codes of the last good one: nothing is held.
        sig.ad_dnum = 0;
        fDataValid = false;
        SetIdleControls();
        myStatus->SetPanelText("", 1);
        myStatus->ShowLevelError();
        myMessage->ShowLevelError();
        return;
    }
    ++BlocksDone;
    TBlockReadouts ro;
    ro.rms = RmsVolt;
    AverageBlockSpectrum(sig, Rec->FFTSetting, *Averager, ro);
    RmsVolt = ro.rms;
    fDataValid = true;
    fDataSaved = false;
    fPartialBlock = false;
    DrawGraphs();
    ShowFirstPeak();
    ShowRms();
    ShowAverageCount();
}

void TFormMain::KeepStoppedBlock() {
    const bool continuous = Session->Continuous();
    if (continuous && BlocksDone > 0) {
        // The last complete block stays, with its averaged spectrum; the live trace of the
        // block that was coming goes.
        DrawGraphs();
        AutoSaveData();
        ShowAverageCount();
        ShowLevelStats(); // in place of the progress of the block that was coming
        return;
    }
    const int n = Session->Received();
    if (n <= 0) return;
    if (continuous) std::copy(contBuf_.begin(), contBuf_.begin() + n, Rec->CodeBuf.begin());
    TSignalData& sig = Rec->SigData;
    Session->TakeBlock(sig);
    const TBlockResult r = ProcessBlock(sig, TBlockSource::Measured);
    if (r == TBlockResult::LevelError) {
        sig.ad_dnum = 0;
        fDataValid = false;
        myStatus->ShowLevelError();
        return;
    }
    fDataValid = true;
    fDataSaved = false;
    fPartialBlock = r == TBlockResult::Invalid;
    if (fPartialBlock) {
        // Waveform and statistics; the spectrum and its readouts need a count of 2^n.
        FFTGraph->ClearGraphs();
        FFTGraph->DrawWave(0);
        FFTGraph->UpdateScales();
        FFTGraph->LayoutGraphs();
        FFTGraph->PaintGraphs();
        ShowAnalysis();
        ClearPeakEdits();
        ClearRmsEdit();
        myStatus->SetPanelText("データ数 " + std::to_string(n) +
                                   "：スペクトルにはデータ数2^n（1024～262144）が必要です",
                               2);
        return;
    }
    DrawGraphs();
    ShowFirstPeak();
    ShowRms();
    AutoSaveData();
    ShowLevelStats();
}

bool TFormMain::RefusePartialBlock() {
    if (!fDataValid || IsValidDataCount(Rec->SigData.ad_dnum)) return false;
    Seam->showMessage(
        "Kalvex",
        "計測中止までのデータ（" + std::to_string(Rec->SigData.ad_dnum) +
            "個）はデータ数が2^n（1024～262144）でないため、保存・出力・印刷できません。",
        TMsgIcon::Warning);
    return true;
}

// --- long recordings ---

void TFormMain::MenuRecordStartClick() {
    if (!Session || fMeasuring || fRecording || unitCallDepth_ > 0) return;
    const auto name = Seam->getSaveFileName("記録ファイル (*.csv)|*.csv", "*.csv");
    if (!name || name->empty()) return;
    const std::string path = WithDefaultExtension(*name, ".csv");
    // An earlier recording is never replaced without asking.
    if (FileExists(path) && !myFile->ConfirmOverwrite(path)) return;
    {
        struct TDepth {
            int& d;
            ~TDepth() { --d; }
        } depth{++unitCallDepth_};
        SetMeasuringControls();
        MeasureStartBtn->setEnabled(false);
        myStatus->ClearStatus();
        myStatus->SetPanelText("", 0);
        Rec->ADSetting = NextADSetting;
        fUnitOpen = OpenUnit();
        if (!fUnitOpen) {
            MeasureStartBtn->setEnabled(true);
            SetIdleControls();
            return;
        }
    }
    if (!Recorder) Recorder = std::make_unique<TRecorder>(*Session);
    // A recording runs for hours unattended: a unit that hangs ends it with the file closed.
    Session->SetStallLimit(STALL_LIMIT_US);
    const std::string start =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")).toStdString();
    if (!Recorder->Begin(path, start)) {
        NoteLinkState();
        MeasureStartBtn->setEnabled(true);
        SetIdleControls();
        Seam->showMessage("Kalvex", "記録ファイルを作成できません：" + Recorder->Error(),
                          TMsgIcon::Error);
        return;
    }
    fRecording = true;
    recordingEnded_ = false;
    if (!RecordingForm) RecordingForm = new TRecordingWindow(this);
    RecordingForm->SetRecorder(Recorder.get());
    RecordingForm->SetRecording(true);
    RecordingForm->SetStatusText("記録中です");
    connect(RecordingForm->StopButton(), &QPushButton::clicked, this,
            &TFormMain::MenuRecordStopClick, Qt::UniqueConnection);
    RecordingForm->show();
    RecordingForm->raise();
    // The measure menu stays open for "記録停止".
    MenuMeasure->setEnabled(true);
    for (QAction* a : MenuMeasure->actions())
        a->setEnabled(a == MenuRecordStop);
    myStatus->SetPanelText("記録中です", 1);
    StartPolling();
}

void TFormMain::RecordStep() {
    if (!fRecording || !Recorder) return;
    // As many reads as there are samples waiting (within a few milliseconds), so that the
    // window keeps up with a unit that runs ahead after a busy moment.
    QElapsedTimer spent;
    spent.start();
    for (int i = 0; i < 64 && spent.elapsed() < 5; ++i) {
        if (Recorder->Step() != TRecorder::TState::Recording) break;
        if (Session->LastRead() == 0) break;
    }
    if (Recorder->State() != TRecorder::TState::Recording) {
        EndRecording();
        return;
    }
    if (!liveShown_.isValid() || liveShown_.elapsed() >= kLiveIntervalMs) {
        liveShown_.start();
        if (RecordingForm) RecordingForm->Refresh();
        myStatus->SetPanelText("サンプル数：" + std::to_string(Recorder->Samples()), 2);
    }
}

void TFormMain::MenuRecordStopClick() {
    if (!fRecording || !Recorder) return;
    Recorder->Stop();
    EndRecording();
}

void TFormMain::EndRecording() {
    fRecording = false;
    NoteLinkState();
    std::string text, panel; // the box and the recording window; panel 1 when shorter
    switch (Recorder->EndReason()) {
    case TRecorder::TEnd::LinkLost:
        if (Session->Stalled()) {
            const std::string stalled = std::string(UNIT_MODEL_NAME) + TEXT_STALLED_SUFFIX;
            text = stalled + "。記録を終了しました（ファイルは閉じました）";
            panel = "データが届かないため記録を終了しました（ファイルは閉じました）";
            myStatus->SetPanelText(stalled, 0);
        } else {
            text = "接続が切れたため記録を終了しました（ファイルは閉じました）";
            myStatus->ShowLinkLost();
        }
        break;
    case TRecorder::TEnd::WriteFailed:
        text = "書き込みに失敗したため記録を終了しました：" + Recorder->Error();
        break;
    default:
        text = "記録を終了しました";
        break;
    }
    myStatus->SetPanelText(panel.empty() ? text : panel, 1);
    myStatus->SetPanelText("サンプル数：" + std::to_string(Recorder->SamplesWritten()), 2);
    if (RecordingForm) {
        RecordingForm->Refresh();
        RecordingForm->SetRecording(false);
        RecordingForm->SetStatusText(text);
    }
    MeasureStartBtn->setEnabled(true);
    SetIdleControls();
    for (QAction* a : MenuMeasure->actions())
        a->setEnabled(true);
    MenuRecordStop->setEnabled(false);
    if (Recorder->EndReason() != TRecorder::TEnd::Stopped)
        Seam->showMessage("Kalvex", text, TMsgIcon::Warning);
}
