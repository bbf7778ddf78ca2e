// The main window: form, owned objects, start-up, resize, paint and close.
#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <algorithm>
#include <chrono>
#include <new>

#include "ad7177.h"
#include "amp_setting.h"
#include "fft_setting.h"
#include "form_analysis.h"
#include "graph_fft.h"
#include "measure_session.h"
#include "myfft.h"
#include "myfile.h"
#include "mymessage.h"
#include "mystatus.h"
#include "myversion.h"
#include "qt_dialogs.h"
#include "recorder.h"
#include "spectrum_average.h"
#include "status_bar.h"
#include "ui_font.h"

namespace {

constexpr const char* kCaption = "Kalvex";
constexpr const char* kInitFileName = "Kalvexini.prf";

QLabel* NewLabel(QWidget* parent, const char* text) {
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    l->adjustSize();
    return l;
}

QLineEdit* NewReadout(QWidget* parent, int x, int y) {
    auto* e = new QLineEdit(QStringLiteral("---"), parent);
    e->setReadOnly(true);
    e->setAlignment(Qt::AlignRight);
    e->setGeometry(x, y, 66, 21);
    e->setFocusPolicy(Qt::NoFocus);
    return e;
}

bool FolderWritable(const QString& dir) {
    const QFileInfo info(dir);
    return info.isDir() && info.isWritable();
}

// Folders of installed programs: settings never go there, whoever runs the program.
bool IsSystemFolder(const QString& dir) {
    const QString d = QDir(dir).canonicalPath();
    return d.startsWith(QStringLiteral("/usr/")) || d == QStringLiteral("/bin") ||
           d == QStringLiteral("/sbin") || d.startsWith(QStringLiteral("/opt/"));
}

// The save replaces the file through a temporary file in its folder: the folder must take
// new files, and an existing file must be a writable regular file.
bool SaveCanWork(const QString& dir, const QString& path) {
    if (!FolderWritable(dir)) return false;
    const QFileInfo file(path);
    if (!file.exists() && !file.isSymLink()) return true;
    return file.isFile() && file.isWritable();
}

} // namespace

TInitFilePaths ChooseInitFilePaths(const QString& appDir, const QString& configDir) {
    const QString name = QString::fromUtf8(kInitFileName);
    const QString beside = QDir(appDir).filePath(name);
    if (!IsSystemFolder(appDir) && SaveCanWork(appDir, beside))
        return {beside.toStdString(), beside.toStdString()};
    const QString own = QDir(configDir).filePath(name);
    const QFileInfo ownInfo(own), besideInfo(beside);
    // A site's file next to the program gives the settings until the user has saved their own.
    const bool site = !ownInfo.exists() && besideInfo.isFile() && besideInfo.isReadable();
    return {(site ? beside : own).toStdString(), own.toStdString()};
}

TInitFilePaths DefaultInitFilePaths() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return ChooseInitFilePaths(QCoreApplication::applicationDirPath(), config);
}

TFormMain::TFormMain(TFormMainOptions options) : options_(std::move(options)) {
    Rec = TMeasureRecord::Create();
    if (options_.initFilePath.empty()) {
        const TInitFilePaths p = DefaultInitFilePaths();
        initReadPath_ = p.read;
        initWritePath_ = p.write;
    } else {
        initReadPath_ = initWritePath_ = options_.initFilePath;
    }
    setWindowTitle(QString::fromUtf8(kCaption));
    setFont(FormFont(12));
    // A single border: neither resized nor maximised by the user.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    if (options_.seam) {
        Seam = options_.seam;
    } else {
        OwnSeam = std::make_unique<TQtDialogSeam>(this);
        Seam = OwnSeam.get();
    }
    BuildForm();
    BuildMenus();
    // The window keeps the size of its client area and menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    CreateObjects();
    if (creationFailed_) return;

    pollTimer_.setTimerType(Qt::PreciseTimer);
    pollTimer_.setInterval(options_.pollIntervalMs);
    connect(&pollTimer_, &QTimer::timeout, this, &TFormMain::OnPoll);
    // The delayed start-up work runs once the event loop turns.
    QTimer::singleShot(0, this, [this] {
        if (fFirstIdle) FirstIdle();
    });
}

TFormMain::~TFormMain() {
    pollTimer_.stop();
    Tft_FIFO::Hooks.pump = nullptr;
    myMessage.reset();
    myStatus.reset();
    myFile.reset();
    Recorder.reset();       // closes its file; it drives Session
    FormNoiseTable.reset(); // stops a sweep that runs; it drives Session
    Session.reset();
    if (ADUnit) ADUnit->CloseDevice();
    ADUnit.reset();
    myFFT.reset();
    FFTGraph.reset();
}

void TFormMain::BuildForm() {
    Client = new QWidget(this);
    Client->setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
    setCentralWidget(Client);

    PaintBox3 = new TPaintBox(Client);
    PaintBox1 = new TPaintBox(Client);
    PaintBox1->setCursor(Qt::CrossCursor);
    // Clicks, drags, the wheel and keys of both boxes go to the graph object (see
    // FFTGraph's callbacks below).

    LabelVoltmax = NewLabel(Client, "+1V");
    LabelVoltzero = NewLabel(Client, "0");
    LabelVoltmin = NewLabel(Client, "-1V");
    LabelVoltUnit = NewLabel(Client, "V");
    LabelTimeS = NewLabel(Client, "0");
    LabelTimeE = NewLabel(Client, "100ms");
    for (QWidget* w :
         std::initializer_list<QWidget*>{PaintBox1, PaintBox3, LabelVoltmax, LabelVoltzero,
                                         LabelVoltmin, LabelVoltUnit, LabelTimeS, LabelTimeE})
        w->hide();

    const int colX = CLIENT_WIDTH - 124;
    GroupRMS = new QGroupBox(QString::fromUtf8("実効値"), Client);
    GroupRMS->setGeometry(colX, 10, 118, 52);
    EditRMS = NewReadout(GroupRMS, 6, 20);
    LabelRMS = NewLabel(GroupRMS, "[Vrms]");
    LabelRMS->move(76, 23);

    GroupPeak = new QGroupBox(QString::fromUtf8("ピーク成分"), Client);
    GroupPeak->setGeometry(colX, 74, 118, 142);
    EditPeakVolt = NewReadout(GroupPeak, 6, 20);
    EditPeakdB = NewReadout(GroupPeak, 6, 48);
    EditPeakHz = NewReadout(GroupPeak, 6, 76);
    LabelPeakVolt = NewLabel(GroupPeak, "Vrms");
    LabelPeakVolt->move(76, 23);
    LabelPeakdB = NewLabel(GroupPeak, "dB");
    LabelPeakdB->move(76, 51);
    LabelPeakHz = NewLabel(GroupPeak, "Hz");
    LabelPeakHz->move(76, 79);
    PeakBackBtn = new QPushButton(QStringLiteral("<<"), GroupPeak);
    PeakBackBtn->setGeometry(6, 106, 50, 26);
    PeakFwdBtn = new QPushButton(QStringLiteral(">>"), GroupPeak);
    PeakFwdBtn->setGeometry(62, 106, 50, 26);
    PeakBackBtn->setAutoRepeat(true);
    PeakFwdBtn->setAutoRepeat(true);
    connect(PeakBackBtn, &QPushButton::clicked, this, &TFormMain::PeakBackBtnClick);
    connect(PeakFwdBtn, &QPushButton::clicked, this, &TFormMain::PeakFwdBtnClick);

    MeasureStartBtn = new QPushButton(QString::fromUtf8("計測開始"), Client);
    // Under the peak readouts, clear of the frequency labels that may reach past the
    // spectrum's right edge at the bottom.
    MeasureStartBtn->setGeometry(colX, 228, 118, 40);
    connect(MeasureStartBtn, &QPushButton::clicked, this, &TFormMain::MeasureStartBtnClick);

    StatusBar1 = new TStatusBar(Client);
    StatusBar1->setGeometry(0, CLIENT_HEIGHT - TStatusBar::BAR_HEIGHT, CLIENT_WIDTH,
                            TStatusBar::BAR_HEIGHT);
    connect(StatusBar1, &TStatusBar::clicked, this, &TFormMain::StatusBar1Click);
}

void TFormMain::BuildMenus() {
    auto text = [](const char* s) { return QString::fromUtf8(s); };
    QMenuBar* bar = menuBar();
    MenuFile = bar->addMenu(text("ファイル(&F)"));
    MenuFileNew = MenuFile->addAction(text("新規ファイル"));
    MenuFile->addSeparator();
    MenuFilePrintSetting = MenuFile->addAction(text("印刷設定"));
    MenuFilePrint = MenuFile->addAction(text("印刷(&P)"));
    MenuFile->addSeparator();
    MenuFileExit = MenuFile->addAction(text("終了(&X)"));
    MenuMeasure = bar->addMenu(text("計測(&M)"));
    MenuMeasureStart = MenuMeasure->addAction(text("開始(&S)"));
    MenuMeasure->addSeparator();
    MenuData = bar->addMenu(text("データ(&D)"));
    MenuDataLoad = MenuData->addAction(text("読込み"));
    MenuDataSave = MenuData->addAction(text("保存"));
    MenuData->addSeparator();
    MenuTextSave = MenuData->addAction(text("FFT結果出力"));
    BuildExportMenus();
    MenuSetting = bar->addMenu(text("設定(&S)"));
    MenuDispSetting = MenuSetting->addAction(text("計測/表示設定"));
    MenuSetting->addSeparator();
    MenuADUnitSetting = MenuSetting->addAction(text("AD変換ユニット設定"));
    MenuSetting->addSeparator();
    MenuOpenSettingFile = MenuSetting->addAction(text("読込み"));
    MenuSaveSettingFile = MenuSetting->addAction(text("保存"));
    MenuRef = bar->addMenu(text("参照データ(&R)"));
    MenuRefLoadFile = MenuRef->addAction(text("読み込み"));
    MenuRef->addSeparator();
    MenuRefClear = MenuRef->addAction(text("データをクリア"));
    MenuAnalysis = bar->addMenu(text("解析(&A)"));
    MenuAnalysisFigures = MenuAnalysis->addAction(text("特性とヒストグラム"));
    MenuHelp = bar->addMenu(text("ヘルプ(&H)"));
    MenuHelpVersion = MenuHelp->addAction(text("バージョン(&V)"));

    connect(MenuFileNew, &QAction::triggered, this, &TFormMain::MenuFileNewClick);
    connect(MenuFilePrintSetting, &QAction::triggered, this, &TFormMain::MenuFilePrintSettingClick);
    connect(MenuFilePrint, &QAction::triggered, this, &TFormMain::MenuFilePrintClick);
    connect(MenuFileExit, &QAction::triggered, this, &TFormMain::MenuFileExitClick);
    connect(MenuDataLoad, &QAction::triggered, this, &TFormMain::MenuDataLoadClick);
    connect(MenuDataSave, &QAction::triggered, this, &TFormMain::MenuDataSaveClick);
    connect(MenuTextSave, &QAction::triggered, this, &TFormMain::MenuTextSaveClick);
    connect(MenuOpenSettingFile, &QAction::triggered, this, &TFormMain::MenuOpenSettingFileClick);
    connect(MenuSaveSettingFile, &QAction::triggered, this, &TFormMain::MenuSaveSettingFileClick);
    connect(MenuRefLoadFile, &QAction::triggered, this, &TFormMain::MenuRefLoadFileClick);
    connect(MenuRefClear, &QAction::triggered, this, &TFormMain::MenuRefClearClick);
    connect(MenuHelpVersion, &QAction::triggered, this, &TFormMain::MenuHelpVersionClick);
    connect(MenuAnalysisFigures, &QAction::triggered, this, &TFormMain::MenuAnalysisClick);
    connect(MenuMeasureStart, &QAction::triggered, this, &TFormMain::MenuMeasureStartClick);
    connect(MenuDispSetting, &QAction::triggered, this, &TFormMain::MenuDispSettingClick);
    connect(MenuADUnitSetting, &QAction::triggered, this, &TFormMain::MenuADUnitSettingClick);
    BuildContinuousControls();
}

template <class F> bool TFormMain::CreateOwned(const char* name, F&& create) {
    if (creationFailed_) return false;
    try {
        if (options_.beforeCreate) options_.beforeCreate(name);
        create();
        return true;
    } catch (const std::bad_alloc&) {
        creationFailed_ = true;
        // Without the message object the box is shown directly.
        if (myMessage)
            myMessage->ShowMemoryError(name);
        else
            Seam->showMessage(kCaption, TmyMessage::MemoryErrorText(name), TMsgIcon::Error);
        return false;
    }
}

void TFormMain::CreateObjects() {
    if (!CreateOwned("TmyMessage", [this] {
            myMessage = std::make_unique<TmyMessage>(Seam, UNIT_MODEL_NAME, kCaption);
        }))
        return;

    // The axis tick labels: GraphLabels holds the 15 frequency labels, the 22 dB labels, then
    // the six of the form.
    std::array<QLabel*, 15> freq{};
    std::array<QLabel*, 22> dB{};
    if (!CreateOwned("TLabel_dB", [&] {
            for (auto& l : dB)
                l = NewLabel(Client, "");
        }))
        return;
    if (!CreateOwned("TLabel_Freq", [&] {
            for (auto& l : freq)
                l = NewLabel(Client, "");
        }))
        return;
    size_t k = 0;
    for (auto* l : freq)
        GraphLabels[k++] = l;
    for (auto* l : dB)
        GraphLabels[k++] = l;
    for (QLabel* l :
         {LabelVoltmax, LabelVoltzero, LabelVoltmin, LabelVoltUnit, LabelTimeS, LabelTimeE})
        GraphLabels[k++] = l;
    for (QLabel* l : GraphLabels)
        l->hide();
    PeakEdits.EditPeakVolt = EditPeakVolt;
    PeakEdits.EditPeakdB = EditPeakdB;
    PeakEdits.EditPeakHz = EditPeakHz;
    ClearPeakEdits();
    ClearRmsEdit();

    if (!CreateOwned("myStatus", [this] {
            myStatus = std::make_unique<TmyStatus>(StatusBar1, UNIT_MODEL_NAME, 2);
        }))
        return;
    if (!CreateOwned("QV_File", [this] {
            FileSeam = std::make_unique<TAnswerWatch>(Seam);
            myFile = std::make_unique<TmyFile>(FileSeam.get());
        }))
        return;
    if (!CreateOwned("myFFT", [this] { myFFT = std::make_unique<TmyFFT>(Seam); })) return;
    if (!CreateOwned("ADUnit", [this] {
            ADUnit = std::make_unique<TADC>();
            Session = std::make_unique<TMeasureSession>(*ADUnit);
        }))
        return;
    if (options_.pumpEventsInWaits)
        Tft_FIFO::Hooks.pump = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
    if (!CreateOwned("FFTGraph", [this] {
            FFTGraph =
                std::make_unique<TGraph_FFT>(this, PaintBox1, PaintBox3, GraphLabels, &Rec->RefData,
                                             &Rec->SigData, &Rec->ADSetting, &Rec->FFTSetting);
        }))
        return;
    FFTGraph->SetMainFormSize([this] { return QSize(OuterWidth(), OuterHeight()); });
    FFTGraph->SetExtSetting(&Rec->ExtSetting);
    FFTGraph->OnSpectrumClick = [this](int x) { PaintBox1MouseDown(x); };
    FFTGraph->OnSpectrumStep = [this](int dir, bool peak) {
        if (!fDataValid) return;
        if (peak)
            FFTGraph->PeakNext(Rec->SigData, PeakEdits, LabelPeakVolt, dir);
        else if (dir > 0)
            FFTGraph->PeakForward(Rec->SigData, PeakEdits, LabelPeakVolt);
        else
            FFTGraph->PeakBack(Rec->SigData, PeakEdits, LabelPeakVolt);
        FixSilentPeakdB();
    };
    FFTGraph->ShownBlocks = [this](bool& shownData, bool& shownRef) {
        shownData = fDataValid;
        shownRef = fRefValid;
    };
    MeasureStartBtn->setText(QString::fromUtf8("計測開始"));

    FormAmpSetting = new TFormAmpSetting(this);
    FormFFTSetting = new TFormFFTSetting(*Seam, this);
    FormVersion = new TFormVersion(this);
}

int TFormMain::OuterWidth() const {
    return Client->width() + FRAME_EXTRA_WIDTH;
}
int TFormMain::OuterHeight() const {
    return Client->height() + FRAME_EXTRA_HEIGHT;
}

void TFormMain::CentreOnScreen() {
    const QScreen* sc = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!sc) return;
    const QRect avail = sc->availableGeometry();
    const QSize outer(OuterWidth(), OuterHeight());
    // A screen smaller than the window keeps its top-left corner on the screen.
    const int x = std::max(avail.left(), avail.left() + (avail.width() - outer.width()) / 2);
    const int y = std::max(avail.top(), avail.top() + (avail.height() - outer.height()) / 2);
    move(x, y);
}

void TFormMain::FirstIdle() {
    if (creationFailed_) return;
    fFirstIdle = false;
    ReadSettingFile();
    UpdateTitle(false);
    FFTGraph->UpdateScales();
    FFTGraph->LayoutGraphs();
    FFTGraph->ResizeBitmaps();
    FFTGraph->ClearGraphs();
    FFTGraph->PaintGraphs();
    PlaceStatusBar();
    if (!isVisible()) {
        CentreOnScreen();
        show();
    }
    MeasureStartBtn->setFocus();
}

void TFormMain::ReadSettingFile() {
    SetDefaultADSetting(Rec->ADSetting);
    NextADSetting = Rec->ADSetting;
    SetDefaultFFTSetting(Rec->FFTSetting, Rec->FileSetting);
    Rec->ExtSetting = TExtSetting{};
    // A dB range the settings dialog would refuse makes the file invalid like any bad value.
    if (myFile->ReadPrf(initReadPath_, PRF_HEADER, &Rec->FFTSetting, &Rec->FileSetting,
                        &Rec->ADSetting, &Rec->ExtSetting) &&
        CheckdBRange(Rec->FFTSetting)) {
        NextADSetting = Rec->ADSetting;
        return;
    }
    SetDefaultADSetting(Rec->ADSetting);
    NextADSetting = Rec->ADSetting;
    SetDefaultFFTSetting(Rec->FFTSetting, Rec->FileSetting);
    Rec->ExtSetting = TExtSetting{};
    if (!myFile->WritePrf(initWritePath_, PRF_HEADER, &Rec->FFTSetting, &Rec->FileSetting,
                          &Rec->ADSetting, &Rec->ExtSetting))
        myMessage->ShowInitSaveError();
}

void TFormMain::WriteInitFile() {
    if (!myFile->WritePrf(initWritePath_, PRF_HEADER, &Rec->FFTSetting, &Rec->FileSetting,
                          &Rec->ADSetting, &Rec->ExtSetting))
        myMessage->ShowInitSaveError();
}

void TFormMain::PlaceStatusBar() {
    StatusBar1->setGeometry(0, Client->height() - TStatusBar::BAR_HEIGHT, Client->width(),
                            TStatusBar::BAR_HEIGHT);
}

void TFormMain::RelayoutGraphs() {
    FFTGraph->UpdateScales();
    FFTGraph->LayoutGraphs();
    FFTGraph->ResizeBitmaps();
    FFTGraph->ClearGraphs();
}

void TFormMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (!FFTGraph || !myFFT || fFirstIdle) return;
    RelayoutGraphs();
    if (fDataValid || fRefValid) DrawGraphs();
    fPlaceStatusBar = true;
    if (!pollTimer_.isActive()) QTimer::singleShot(0, this, &TFormMain::OnPoll);
}

void TFormMain::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    if (FFTGraph && myFFT && !fFirstIdle) FFTGraph->PaintGraphs();
}

void TFormMain::ShowAnalysis() {
    if (AnalysisForm) AnalysisForm->ShowBlock(AnalysisBlockOf(*Rec, fDataValid, Averager.get()));
}

void TFormMain::MenuAnalysisClick() {
    const bool first = !AnalysisForm;
    if (first) AnalysisForm = new TFormAnalysis(this);
    AnalysisForm->ShowBlock(AnalysisBlockOf(*Rec, fDataValid, Averager.get()));
    if (first) {
        // Beside the main window: on the right, or on the left where only that side has room.
        const QRect main = frameGeometry();
        QPoint at(main.right() + 8, main.top());
        if (const QScreen* screen = this->screen()) {
            const QRect room = screen->availableGeometry();
            const int w = AnalysisForm->frameGeometry().width();
            if (at.x() + w > room.right() && main.left() - 8 - w >= room.left())
                at.setX(main.left() - 8 - w);
            at.setX(std::max(room.left(), std::min(at.x(), room.right() - w)));
        }
        AnalysisForm->move(at);
    }
    AnalysisForm->show();
    AnalysisForm->raise();
    AnalysisForm->activateWindow();
}

void TFormMain::closeEvent(QCloseEvent* event) {
    // A unit wait is pumping events under us: close once it has returned.
    if (unitCallDepth_ > 0) {
        closePending_ = true;
        event->ignore();
        return;
    }
    if (creationFailed_ || fatalSeen_) {
        event->accept();
        return;
    }
    // An unsaved block is dropped only when the user agrees; Cancel keeps the window open.
    if (!ConfirmDiscard()) {
        event->ignore();
        return;
    }
    if (fMeasuring) StopMeasure();
    if (!fFirstIdle) WriteInitFile();
    if (AnalysisForm) AnalysisForm->close();
    event->accept();
}

bool TFormMain::ConfirmDiscard() {
    if (!fDataValid || fDataSaved || !myMessage) return true;
    return myMessage->ConfirmDiscard();
}

void TFormMain::HandleUnhandledException(const std::string& what) {
    if (fatalSeen_) return;
    fatalSeen_ = true;
    pollTimer_.stop();
    try {
        if (fMeasuring && ADUnit) StopMeasure();
        if (myMessage) myMessage->ShowException(what);
        if (!fFirstIdle && !creationFailed_ && myFile) WriteInitFile();
    } catch (...) {
        // Ending cleanly matters more than anything that failed on the way out.
    }
    if (options_.endLoop)
        options_.endLoop();
    else
        QCoreApplication::exit(0);
}

void TFormMain::MenuFileExitClick() {
    close();
}

void TFormMain::StartPolling() {
    int ms = options_.pollIntervalMs;
    if (options_.pollFollowsRate) {
        const TADSetting& ad = Session->Setting();
        const auto pause =
            std::chrono::duration_cast<std::chrono::milliseconds>(PollPause(ad.spsSel, ad.sinc3));
        ms = std::max(ms, static_cast<int>(pause.count()));
    }
    pollTimer_.setInterval(ms);
    pollTimer_.start();
}

void TFormMain::OnPoll() {
    if (fMeasuring) {
        // As many reads as there are samples waiting (within a few milliseconds), so that a
        // poll that came late catches up; a finished block ends the round.
        QElapsedTimer spent;
        spent.start();
        const int32_t blocks = BlocksDone;
        for (int i = 0; i < 64 && fMeasuring; ++i) {
            AcquireStep();
            if (Session->LastRead() == 0 || BlocksDone != blocks || spent.elapsed() >= 5) break;
        }
    }
    if (fRecording) RecordStep();
    if (fPlaceStatusBar) {
        fPlaceStatusBar = false;
        PlaceStatusBar();
    }
    if (!fMeasuring && !fRecording) pollTimer_.stop();
}
