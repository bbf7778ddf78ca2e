// The main window: form, owned objects, start-up, resize, paint and close.
#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrinter>
#include <QPushButton>
#include <QStandardPaths>

#include "ad7177.h"
#include "amp_setting.h"
#include "fft_setting.h"
#include "graph_fft.h"
#include "myfft.h"
#include "myfile.h"
#include "mymessage.h"
#include "mystatus.h"
#include "myversion.h"
#include "qt_dialogs.h"
#include "status_bar.h"
#include "ui_font.h"

namespace {

constexpr const char* kModelName = "ZR4410QM";
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

} // namespace

std::string DefaultInitFilePath() {
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString beside = QDir(appDir).filePath(QString::fromUtf8(kInitFileName));
    // Next to the program when this user can keep it there.
    const QFileInfo file(beside);
    const bool usable = file.exists() ? file.isWritable() : FolderWritable(appDir);
    if (usable && !IsSystemFolder(appDir)) return beside.toStdString();
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return QDir(config).filePath(QString::fromUtf8(kInitFileName)).toStdString();
}

TFormMain::TFormMain(TFormMainOptions options) : options_(std::move(options)) {
    Rec = TMeasureRecord::Create();
    initPath_ = options_.initFilePath.empty() ? DefaultInitFilePath() : options_.initFilePath;
    setWindowTitle(QString::fromUtf8(kCaption));
    setFont(FormFont(12));

    if (options_.seam) {
        Seam = options_.seam;
    } else {
        OwnSeam = std::make_unique<TQtDialogSeam>(this);
        Seam = OwnSeam.get();
    }
    BuildForm();
    BuildMenus();
    CreateObjects();

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
    connect(PaintBox1, &TPaintBox::MouseDown, this,
            [this](int x, int, Qt::MouseButton) { PaintBox1MouseDown(x); });

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
    MeasureStartBtn->setGeometry(colX, CLIENT_HEIGHT - 20 - 52, 118, 40);
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
    connect(MenuMeasureStart, &QAction::triggered, this, &TFormMain::MenuMeasureStartClick);
    connect(MenuDispSetting, &QAction::triggered, this, &TFormMain::MenuDispSettingClick);
    connect(MenuADUnitSetting, &QAction::triggered, this, &TFormMain::MenuADUnitSettingClick);
}

void TFormMain::CreateObjects() {
    myMessage = std::make_unique<TmyMessage>(Seam, kModelName, kCaption);

    // The axis tick labels: 15 frequency labels, then 22 dB labels, then the six of the form.
    size_t k = 0;
    std::array<QLabel*, 15> freq{};
    std::array<QLabel*, 22> dB{};
    for (auto& l : freq)
        l = NewLabel(Client, "");
    for (auto& l : dB)
        l = NewLabel(Client, "");
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

    myStatus = std::make_unique<TmyStatus>(StatusBar1, kModelName, 2);
    myFile = std::make_unique<TmyFile>(Seam);
    myFFT = std::make_unique<TmyFFT>(Seam);
    ADUnit = std::make_unique<TADC>();
    if (options_.pumpEventsInWaits)
        Tft_FIFO::Hooks.pump = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
    FFTGraph = std::make_unique<TGraph_FFT>(this, PaintBox1, PaintBox3, GraphLabels, &Rec->RefData,
                                            &Rec->SigData, &Rec->ADSetting, &Rec->FFTSetting);
    FFTGraph->SetMainFormSize([this] { return QSize(OuterWidth(), OuterHeight()); });
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

void TFormMain::FirstIdle() {
    fFirstIdle = false;
    ReadSettingFile();
    UpdateTitle(false);
    FFTGraph->UpdateScales();
    FFTGraph->LayoutGraphs();
    FFTGraph->ResizeBitmaps();
    FFTGraph->ClearGraphs();
    FFTGraph->PaintGraphs();
    PlaceStatusBar();
    if (!isVisible()) show();
    MeasureStartBtn->setFocus();
}

void TFormMain::ReadSettingFile() {
    SetDefaultADSetting(Rec->ADSetting);
    NextADSetting = Rec->ADSetting;
    SetDefaultFFTSetting(Rec->FFTSetting, Rec->FileSetting);
    if (myFile->ReadPrf(initPath_, PRF_HEADER, &Rec->FFTSetting, &Rec->FileSetting,
                        &Rec->ADSetting)) {
        NextADSetting = Rec->ADSetting;
        return;
    }
    SetDefaultADSetting(Rec->ADSetting);
    NextADSetting = Rec->ADSetting;
    SetDefaultFFTSetting(Rec->FFTSetting, Rec->FileSetting);
    if (!myFile->WritePrf(initPath_, PRF_HEADER, &Rec->FFTSetting, &Rec->FileSetting,
                          &Rec->ADSetting))
        myMessage->ShowInitSaveError();
}

void TFormMain::WriteInitFile() {
    if (!myFile->WritePrf(initPath_, PRF_HEADER, &Rec->FFTSetting, &Rec->FileSetting,
                          &Rec->ADSetting))
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

void TFormMain::closeEvent(QCloseEvent* event) {
    // A unit wait is pumping events under us: close once it has returned.
    if (unitCallDepth_ > 0) {
        closePending_ = true;
        event->ignore();
        return;
    }
    if (fMeasuring) StopMeasure();
    if (!fFirstIdle) WriteInitFile();
    event->accept();
}

void TFormMain::MenuFileExitClick() {
    close();
}

void TFormMain::OnPoll() {
    if (fMeasuring) AcquireStep();
    if (fPlaceStatusBar) {
        fPlaceStatusBar = false;
        PlaceStatusBar();
    }
    if (!fMeasuring) pollTimer_.stop();
}
