// TFormMain: the main window. It holds the measurement record for its whole life, owns the
// objects that work on it, runs the measurement cycle from a polling timer and shows the
// readouts, the status bar and the menus.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialog_seam.h"
#include "graph_fft.h"
#include "record.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPrinter;
class QPushButton;
class TADC;
class TFormAmpSetting;
class TFormAnalysis;
class TFormNoiseTable;
struct TPrintData;
class TFormFFTSetting;
class TFormVersion;
class TMeasureSession;
class TRecorder;
class TRecordingWindow;
class TSpectrumAverager;
class TStatusBar;
class TmyFFT;
class TmyFile;
class TmyMessage;
class TmyStatus;
enum class TBlockResult;
enum class TBlockSource;

// The parts of a program run that tests replace.
struct TFormMainOptions {
    TDialogSeam* seam = nullptr;     // null: Qt dialogs over the window
    std::string initFilePath;        // empty: the usual place of "Kalvexini.prf"
    bool pumpEventsInWaits = true;   // the unit's reply waits keep the window responsive
    int pollIntervalMs = 1;          // the shortest poll of the unit while it streams
    bool pollFollowsRate = true;     // poll as often as the rate needs (PollPause), not always
    int progressIntervalMs = 80;     // the progress text in panel 2 at most this often
    bool printWithoutDialog = false; // print to the printer as set up, without asking
    // Called with each owned object's name just before it is created (tests make a creation
    // fail by throwing std::bad_alloc).
    std::function<void(const std::string&)> beforeCreate;
    // Ends the event loop after an unhandled exception (empty: the application's loop).
    std::function<void()> endLoop;
};

// A dialog seam that passes everything on and remembers whether a Yes/No question was
// answered No since the last Reset: the writers' overwrite question, which they report as
// success.
class TAnswerWatch : public TDialogSeam {
public:
    explicit TAnswerWatch(TDialogSeam* inner) : inner_(inner) {}
    void Reset() { declined_ = false; }
    bool Declined() const { return declined_; }

    bool askYesNo(const std::string& c, const std::string& t, TMsgIcon i) override {
        const bool yes = inner_ && inner_->askYesNo(c, t, i);
        if (!yes) declined_ = true;
        return yes;
    }
    bool askOkCancel(const std::string& c, const std::string& t, TMsgIcon i) override {
        return inner_ && inner_->askOkCancel(c, t, i);
    }
    void showMessage(const std::string& c, const std::string& t, TMsgIcon i) override {
        if (inner_) inner_->showMessage(c, t, i);
    }
    std::optional<std::string> getSaveFileName(const std::string& f,
                                               const std::string& n) override {
        return inner_ ? inner_->getSaveFileName(f, n) : std::nullopt;
    }
    std::optional<std::string> getOpenFileName(const std::string& f,
                                               const std::string& n) override {
        return inner_ ? inner_->getOpenFileName(f, n) : std::nullopt;
    }
    std::optional<int32_t> getColor(int32_t initial) override {
        return inner_ ? inner_->getColor(initial) : std::nullopt;
    }

private:
    TDialogSeam* inner_;
    bool declined_ = false;
};

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int CLIENT_WIDTH = 812;
    static constexpr int CLIENT_HEIGHT = 466;
    // The outer frame of the window the layout numbers were made for: borders, caption and
    // menu bar around the client area.
    static constexpr int FRAME_EXTRA_WIDTH = 8;
    static constexpr int FRAME_EXTRA_HEIGHT = 46;

    explicit TFormMain(TFormMainOptions options = {});
    ~TFormMain() override;

    // --- state (cleared at creation) ---
    std::unique_ptr<TMeasureRecord> Rec;
    TADSetting NextADSetting;
    bool fFirstIdle = true;
    bool fUnitOpen = false;
    bool fMeasuring = false;
    bool fDataValid = false;
    bool fRefValid = false;
    bool fDataSaved = false;
    bool fPlaceStatusBar = false;
    bool fStatusDeltaF = false;
    int32_t RecvCount = 0;
    float CodeStdDev = 0.0f;
    float RmsVolt = 0.0f;

    // --- operations ---
    void FirstIdle();
    void ReadSettingFile();
    void WriteInitFile();
    void PlaceStatusBar();
    // Where the init file is saved, and where it was read from (a site's read-only file next
    // to the program when this user has none of their own).
    const std::string& InitFilePath() const { return initWritePath_; }
    const std::string& InitReadPath() const { return initReadPath_; }
    // An owned object could not be created: the window is unusable and the program ends.
    bool CreationFailed() const { return creationFailed_; }
    // An exception reached the event loop: the error box, the init file, then the loop ends.
    void HandleUnhandledException(const std::string& what);

    // Measurement cycle, driven through Session.
    void StartMeasure();
    bool OpenUnit();
    void StopMeasure();
    void AcquireStep();
    // A block's figures through the shared block pipeline; for the measured block the window
    // keeps the RMS and code deviation its readouts show.
    TBlockResult ProcessBlock(TSignalData& block, TBlockSource source);
    void DrawGraphs();
    void AutoSaveData();
    void SetMeasuringControls();
    void SetIdleControls();

    // Readouts and title.
    void ClearPeakEdits();
    void ClearRmsEdit();
    void ShowRms();
    void ShowFirstPeak();
    // The units beside the peak volt and dB readouts, in a font that fits the box.
    void ShowPeakUnits();
    void ShowDeltaFStatus();
    void ShowLevelStats();
    void ShowTitleFile();
    // Empties the readouts and panels 1 and 2 (the held block is gone).
    void ClearReadouts();
    void UpdateTitle(bool onlyIfNamed);

    // Handlers.
    void MeasureStartBtnClick();
    void MenuMeasureStartClick();
    // The stop click came while the unit was being opened.
    bool StopRequested() const;
    void PeakFwdBtnClick();
    void PeakBackBtnClick();
    void PaintBox1MouseDown(int x);
    void StatusBar1Click();
    void MenuDispSettingClick();
    void MenuADUnitSettingClick();
    // What the FFT settings dialog's Set leads to: the new block taken over, the graphs
    // redrawn, the spectra recomputed when the window or its options changed.
    // file: the dialog's file settings, taken over with the rest. False when the user kept the
    // held block by cancelling the discard question (nothing changed then).
    bool ApplyFFTSetting(const TFFTSetting& work, const TFileSetting* file = nullptr);
    // True when no unsaved block would be lost, or the user agreed to drop it.
    bool ConfirmDiscard();
    void MenuFileExitClick();

    // Menu commands.
    void LockControls();
    void UnlockControls();
    void MenuFileNewClick();
    void MenuFilePrintSettingClick();
    void MenuFilePrintClick();
    bool LoadDataFile(bool isRef);
    void MenuDataLoadClick();
    void MenuRefLoadFileClick();
    void MenuDataSaveClick();
    void SaveFFTFile();
    void MenuTextSaveClick();
    void MenuOpenSettingFileClick();
    void MenuSaveSettingFileClick();
    void MenuRefClearClick();
    void MenuHelpVersionClick();
    // Opens the analysis window (figures and code histogram) beside this one.
    void MenuAnalysisClick();
    // Hands the block now shown (or none) to the analysis window, when it exists.
    void ShowAnalysis();
    // The printer the print commands use (600 dpi; a PDF file where no printer is installed).
    QPrinter* Printer();

    // The window's outer size as the graph layout sees it.
    int OuterWidth() const;
    int OuterHeight() const;

    // --- controls, by their form names ---
    QWidget* Client = nullptr;
    TPaintBox* PaintBox1 = nullptr; // spectrum
    TPaintBox* PaintBox3 = nullptr; // waveform
    QLabel* LabelVoltmax = nullptr;
    QLabel* LabelVoltzero = nullptr;
    QLabel* LabelVoltmin = nullptr;
    QLabel* LabelVoltUnit = nullptr;
    QLabel* LabelTimeS = nullptr;
    QLabel* LabelTimeE = nullptr;
    QGroupBox* GroupRMS = nullptr;
    QLineEdit* EditRMS = nullptr;
    QLabel* LabelRMS = nullptr;
    QGroupBox* GroupPeak = nullptr;
    QLineEdit* EditPeakVolt = nullptr;
    QLineEdit* EditPeakdB = nullptr;
    QLineEdit* EditPeakHz = nullptr;
    QLabel* LabelPeakVolt = nullptr;
    QLabel* LabelPeakdB = nullptr;
    QLabel* LabelPeakHz = nullptr;
    QPushButton* PeakBackBtn = nullptr;
    QPushButton* PeakFwdBtn = nullptr;
    QPushButton* MeasureStartBtn = nullptr;
    TStatusBar* StatusBar1 = nullptr;
    std::array<QLabel*, 43> GraphLabels{};
    TPeakEdits PeakEdits; // the three peak edits and the unit text of the volt readout

    QMenu* MenuFile = nullptr;
    QAction* MenuFileNew = nullptr;
    QAction* MenuFilePrintSetting = nullptr;
    QAction* MenuFilePrint = nullptr;
    QAction* MenuFileExit = nullptr;
    QMenu* MenuMeasure = nullptr;
    QAction* MenuMeasureStart = nullptr;
    QMenu* MenuData = nullptr;
    QAction* MenuDataLoad = nullptr;
    QAction* MenuDataSave = nullptr;
    QAction* MenuTextSave = nullptr;
    QMenu* MenuSetting = nullptr;
    QAction* MenuDispSetting = nullptr;
    QAction* MenuADUnitSetting = nullptr;
    QAction* MenuOpenSettingFile = nullptr;
    QAction* MenuSaveSettingFile = nullptr;
    QMenu* MenuRef = nullptr;
    QAction* MenuRefLoadFile = nullptr;
    QAction* MenuRefClear = nullptr;
    QMenu* MenuHelp = nullptr;
    QAction* MenuHelpVersion = nullptr;
    QMenu* MenuAnalysis = nullptr;
    QAction* MenuAnalysisFigures = nullptr;

    // --- owned objects, in the order of creation ---
    std::unique_ptr<TDialogSeam> OwnSeam;
    TDialogSeam* Seam = nullptr;
    std::unique_ptr<TAnswerWatch> FileSeam; // the seam TmyFile asks through
    std::unique_ptr<TmyMessage> myMessage;
    std::unique_ptr<TmyStatus> myStatus;
    std::unique_ptr<TmyFile> myFile;
    std::unique_ptr<TmyFFT> myFFT;
    std::unique_ptr<TADC> ADUnit;
    std::unique_ptr<TMeasureSession> Session; // drives ADUnit
    std::unique_ptr<TGraph_FFT> FFTGraph;
    TFormAmpSetting* FormAmpSetting = nullptr;
    TFormFFTSetting* FormFFTSetting = nullptr;
    TFormVersion* FormVersion = nullptr;

    // --- continuous measurement, spectrum averaging, long recordings (continuous.cpp) ---
    QAction* MenuContinuous = nullptr;
    QMenu* MenuAverage = nullptr;
    std::array<QAction*, 4> MenuAverageModes{}; // なし, 線形平均, 指数平均, ピークホールド
    std::array<QAction*, 5> MenuAverageCounts{}; // N = 4 .. 64
    QAction* MenuAverageReset = nullptr;
    QAction* MenuRecordStart = nullptr;
    QAction* MenuRecordStop = nullptr;
    QLabel* LabelAverage = nullptr; // "平均 7/16" under the start button
    QPushButton* AverageResetBtn = nullptr;
    std::unique_ptr<TSpectrumAverager> Averager;
    std::unique_ptr<TRecorder> Recorder;
    TRecordingWindow* RecordingForm = nullptr;
    bool fRecording = false;
    bool fPartialBlock = false; // the held block is what came before a stop
    int32_t BlocksDone = 0;     // continuous blocks completed since the start
    void BuildContinuousControls();
    void SyncContinuousMenus();
    void MenuContinuousClick(bool on);
    void SetAverageMode(int32_t mode);
    void SetAverageCount(int32_t n);
    void AverageResetClick();
    void ShowAverageCount();
    // A continuous block is in: pipeline, average, graphs, readouts; the stream goes on.
    void FinishContinuousBlock();
    // After a stop: what came of the block being collected becomes the held block.
    void KeepStoppedBlock();
    // The samples of the block so far in the waveform (throttled).
    void ShowLiveBlock(bool force);
    // A block kept after a stop without a count of 2^n is not saved, exported or printed: the
    // message, and true.
    bool RefusePartialBlock();
    void MenuRecordStartClick();
    void MenuRecordStopClick();
    void RecordStep();
    // The recording ended (stopped, link lost, write failed): file closed, controls back.
    void EndRecording();
    TFormAnalysis* AnalysisForm = nullptr; // created when first opened

    // --- exports, the clipboard and the noise table (export_commands.cpp) ---
    enum class TGraphPick { Wave, Spectrum, Both };
    QMenu* MenuExport = nullptr;
    QAction* MenuExportWave = nullptr;
    QAction* MenuExportSpectrum = nullptr;
    QAction* MenuExportReport = nullptr;
    QAction* MenuExportBlockCsv = nullptr;
    QAction* MenuExportSpectrumCsv = nullptr;
    QAction* MenuCopyGraph = nullptr;
    QAction* MenuCopyReadouts = nullptr;
    QAction* MenuNoiseTable = nullptr;
    // Created when first opened; a member after Session, so that a sweep that still runs is
    // stopped while the unit is there.
    struct TNoiseTableDeleter {
        void operator()(TFormNoiseTable* form) const;
    };
    std::unique_ptr<TFormNoiseTable, TNoiseTableDeleter> FormNoiseTable;
    void BuildExportMenus();
    // What the report page shows besides the graphs (the print command's texts).
    TPrintData PrintJobData();
    // A graph with its axis labels, drawn at scale s (1: the screen's size) from the top left;
    // the size it takes.
    QSize GraphPictureSize(TGraphPick which, float s) const;
    void PaintGraphPicture(QPainter& p, TGraphPick which, float s);
    // The readouts as tab-separated lines: name, value, unit.
    std::string ReadoutsText() const;
    void MenuExportGraphClick(TGraphPick which);
    void MenuExportReportClick();
    void MenuExportBlockCsvClick();
    void MenuExportSpectrumCsvClick();
    void MenuCopyGraphClick();
    void MenuCopyReadoutsClick();
    void MenuNoiseTableClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void BuildForm();
    void BuildMenus();
    void CreateObjects();
    void SetStatusPanel(const std::string& text, int index);
    // The menus, the start menu item and the peak buttons.
    void EnableCommands(bool on);
    void RelayoutGraphs();
    void OnPoll();
    // Polls the streaming unit as often as the session's rate needs.
    void StartPolling();
    // Creates one owned object; a failed allocation shows the memory error with its name.
    template <class F> bool CreateOwned(const char* name, F&& create);
    // The start command, once the unit is open and identified.
    void BeginBlock();
    // The block is in: the pipeline, the graphs, the readouts, the auto-save.
    void FinishBlock();
    // The link was closed under the window (a stop that could not be written, a lost link).
    void NoteLinkState();
    // The count received so far in panel 2, at most every progressIntervalMs unless forced.
    void ShowProgress(bool force);
    // A block without any signal has no dB trace: its dB readout is the floor of the axis.
    void FixSilentPeakdB();
    void CentreOnScreen();

    TFormMainOptions options_;
    std::unique_ptr<QPrinter> printer_;
    std::string initReadPath_, initWritePath_;
    QTimer pollTimer_;
    int unitCallDepth_ = 0; // inside a unit wait that pumps events
    bool closePending_ = false;
    QElapsedTimer progressShown_;
    QElapsedTimer liveShown_;       // the live waveform's last redraw
    std::vector<uint32_t> contBuf_; // continuous blocks come in here
    bool recordingEnded_ = false;
    bool progressPending_ = false; // a count not yet in panel 2
    bool creationFailed_ = false;
    bool fatalSeen_ = false;
};

// Where "Kalvexini.prf" is read from and saved to.
struct TInitFilePaths {
    std::string read, write;
};
// Saved next to the program when a save can work there (the folder takes the temporary file,
// an existing file is writable, and it is not the folder of an installed program); otherwise
// in the user's configuration folder, read from there once it exists, before that from a
// readable file next to the program.
TInitFilePaths ChooseInitFilePaths(const QString& appDir, const QString& configDir);
TInitFilePaths DefaultInitFilePaths();
