#include "fft_setting.h"

#include "ext_setting.h"
#include "paths.h"
#include "tables.h"
#include "ui_font.h"

#include <QShowEvent>

#include <algorithm>

namespace {

const char* const FREQ_TEXTS[FREQ_SCALE_COUNT] = {
    "０．１Ｈｚ", "０．２Ｈｚ", "０．５Ｈｚ", "１Ｈｚ",       "２Ｈｚ",
    "５Ｈｚ",     "１０Ｈｚ",   "２０Ｈｚ",   "５０Ｈｚ",     "１００Ｈｚ",
    "２００Ｈｚ", "５００Ｈｚ", "１ｋＨｚ",   "２．５ｋＨｚ", "５ｋＨｚ",
};
constexpr int FREQ_START_LAST = 11; // ComboBoxFreqS holds scale 0..11
constexpr int DB_START_LAST = 16;   // ComboBoxdBS holds scale 0..16
constexpr int DB_ZERO = 2;          // scale index of 0 dB

// "＋２０ｄＢ", "　　０ｄＢ", "－１８０ｄＢ": every character full-width.
QString dBText(int k) {
    const int v = dBScaleValue(k);
    QString s = v > 0   ? QStringLiteral("＋")
                : v < 0 ? QStringLiteral("－")
                        : QStringLiteral("　　");
    for (QChar c : QString::number(v < 0 ? -v : v))
        s += QChar(static_cast<char16_t>(0xFF10 + (c.unicode() - u'0')));
    return s + QStringLiteral("ｄＢ");
}

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}
QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QCheckBox* MakeCheck(const char* text, QWidget* parent, int x, int y, int w, int h) {
    auto* c = new QCheckBox(Q(text), parent);
    c->setGeometry(x, y, w, h);
    return c;
}

QComboBox* MakeList(QWidget* parent, int x, int y, int w, int h) {
    auto* c = new QComboBox(parent); // pick-only: a typed text could select no item
    c->setEditable(false);
    c->setGeometry(x, y, w, h);
    return c;
}

QLabel* MakeLabel(const char* text, QWidget* parent, int x, int y) {
    auto* l = new QLabel(Q(text), parent);
    l->move(x, y);
    l->adjustSize();
    return l;
}

QGroupBox* MakeGroup(const char* text, QWidget* parent, int x, int y, int w, int h) {
    auto* g = new QGroupBox(Q(text), parent);
    g->setGeometry(x, y, w, h);
    return g;
}

QPushButton* MakeButton(const char* text, QWidget* parent, int x, int y) {
    auto* b = new QPushButton(Q(text), parent);
    b->setGeometry(x, y, 75, 25);
    return b;
}

// A pick-only list always shows an item, so a stored index outside the list is pulled in.
void SelectClamped(QComboBox* c, int index) {
    if (c->count() > 0) c->setCurrentIndex(std::clamp(index, 0, c->count() - 1));
}

uint8_t Flag(const QCheckBox* c) {
    return c->isChecked() ? 1 : 0;
}

} // namespace

TFormFFTSetting::TFormFFTSetting(TDialogSeam& seam, QWidget* parent)
    : QDialog(parent), seam_(seam) {
    setWindowTitle(Q("FFT 計測/表示設定"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFont(FormFont(12));
    setFixedSize(382, 577);
    setModal(true);

    GroupBox4 = MakeGroup("グラフ選択", this, 16, 8, 181, 97);
    CheckWaveGraph = MakeCheck("信号波形も表示する", GroupBox4, 16, 20, 141, 17);
    CheckSigVolt = MakeCheck("電圧値で表示", GroupBox4, 16, 44, 97, 17);
    CheckDCCut2 = MakeCheck("交流分のみ表示", GroupBox4, 16, 68, 109, 17);

    GroupBox5 = MakeGroup("計算オプション", this, 16, 112, 181, 77);
    CheckWinFuncAdjust = MakeCheck("窓関数による減衰を補正", GroupBox5, 16, 20, 153, 17);
    CheckDCCut = MakeCheck("直流成分をカット", GroupBox5, 16, 44, 109, 17);

    GroupBox1 = MakeGroup("表示周波数範囲", this, 16, 196, 181, 77);
    ComboBoxFreqS = MakeList(GroupBox1, 20, 20, 93, 20);
    for (int i = 0; i <= FREQ_START_LAST; ++i)
        ComboBoxFreqS->addItem(Q(FREQ_TEXTS[i]));
    MakeLabel("から", GroupBox1, 124, 24);
    ComboBoxFreqE = MakeList(GroupBox1, 20, 48, 93, 20);
    for (int i = FREQ_END_FIRST; i < FREQ_SCALE_COUNT; ++i)
        ComboBoxFreqE->addItem(Q(FREQ_TEXTS[i]));
    MakeLabel("まで", GroupBox1, 124, 52);

    Label8 = MakeLabel("データ数", this, 216, 16);
    ComboBoxDNum = MakeList(this, 268, 12, 93, 20);
    for (int i = 0; i < DATA_COUNT_CHOICES; ++i)
        ComboBoxDNum->addItem(QString::number(DataCountFromSel(i)));

    RadioGroup1 =
        new TRadioGroup(Q("スペクトルＸ軸"), {Q("周波数直線表示"), Q("周波数対数表示")}, this);
    RadioGroup1->setGeometry(204, 48, 157, 81);

    GroupBox2 = MakeGroup("スペクトルｄＢ表示", this, 204, 140, 157, 113);
    ComboBoxdBS = MakeList(GroupBox2, 20, 24, 85, 20);
    for (int k = 0; k <= DB_START_LAST; ++k)
        ComboBoxdBS->addItem(dBText(k));
    MakeLabel("から", GroupBox2, 116, 28);
    ComboBoxdBE = MakeList(GroupBox2, 20, 52, 85, 20);
    for (int k = DB_END_FIRST; k < DB_SCALE_COUNT; ++k)
        ComboBoxdBE->addItem(dBText(k));
    MakeLabel("まで", GroupBox2, 116, 56);
    CheckBoxAbsodB = MakeCheck("絶対値を表示(dBV)", GroupBox2, 20, 84, 129, 17);

    RadioGroup2 = new TRadioGroup(
        Q("窓関数"), {Q("矩形波窓"), Q("ハニング窓"), Q("ハミング窓"), Q("フラットトップ")}, this);
    RadioGroup2->setGeometry(16, 284, 121, 117);

    GroupBox3 = MakeGroup("線色", this, 148, 284, 117, 117);
    const char* const colourLabels[4] = {"グラフ線", "主目盛り線", "副目盛り線", "参照データ"};
    std::array<TColorBox**, 4> boxes = {&PaintBox1, &PaintBox2, &PaintBox3, &PaintBox4};
    for (int i = 0; i < 4; ++i) {
        const int top = 16 + 24 * i;
        MakeLabel(colourLabels[i], GroupBox3, 10, top + 4);
        *boxes[static_cast<size_t>(i)] = new TColorBox(GroupBox3);
        (*boxes[static_cast<size_t>(i)])->setGeometry(76, top, 25, 20);
    }

    DefaultBtn = MakeButton("既定値", this, 288, 304);
    CancelBtn = MakeButton("取り消し", this, 288, 336);
    SetBtn = MakeButton("設定", this, 288, 368);

    GroupBox6 = MakeGroup("計測データ保存", this, 16, 408, 345, 77);
    CheckSaveData = MakeCheck("計測終了時に自動でデータを保存", GroupBox6, 20, 20, 209, 17);
    FileBtn = MakeButton("ファイル選択", GroupBox6, 252, 16);
    EditFileName = new QLineEdit(GroupBox6);
    EditFileName->setGeometry(20, 45, 309, 20);
    EditFileName->setReadOnly(true);
    {
        QPalette pal = EditFileName->palette();
        pal.setColor(QPalette::Base, pal.color(QPalette::Inactive, QPalette::Window));
        EditFileName->setPalette(pal);
    }

    // Below the original form: the spectrum scale and the automatic frequency range.
    GroupBoxScale = MakeGroup("スペクトル表示", this, 16, 492, 345, 73);
    MakeLabel("縦軸の値", GroupBoxScale, 20, 24);
    ComboBoxScale = MakeList(GroupBoxScale, 96, 20, 233, 20);
    ComboBoxScale->addItem(Q(std::string(SpectrumScaleName(0)) + "（窓補正は上の設定）"));
    ComboBoxScale->addItem(Q(std::string(SpectrumScaleName(1)) + "（Vrms、全窓で同じ値）"));
    ComboBoxScale->addItem(Q(std::string(SpectrumScaleName(2)) + "（V/√Hz）"));
    CheckFreqAuto = MakeCheck("周波数範囲を自動", GroupBoxScale, 20, 48, 209, 17);

    // Set first, then the form from top left to bottom right.
    QWidget* order[] = {SetBtn,
                        CancelBtn,
                        DefaultBtn,
                        CheckWaveGraph,
                        CheckSigVolt,
                        CheckDCCut2,
                        CheckWinFuncAdjust,
                        CheckDCCut,
                        ComboBoxFreqS,
                        ComboBoxFreqE,
                        ComboBoxDNum,
                        RadioGroup1->Button(0),
                        RadioGroup1->Button(1),
                        ComboBoxdBS,
                        ComboBoxdBE,
                        CheckBoxAbsodB,
                        RadioGroup2->Button(0),
                        CheckSaveData,
                        FileBtn,
                        EditFileName,
                        ComboBoxScale,
                        CheckFreqAuto};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    SetBtn->setDefault(true);

    // Lists react to the user's picks only; check boxes and radio groups also to changes made
    // from code, as the consistency rules expect.
    connect(ComboBoxFreqS, &QComboBox::activated, this, [this] { ComboBoxFreqSChange(); });
    connect(ComboBoxFreqE, &QComboBox::activated, this, [this] { ComboBoxFreqEChange(); });
    connect(ComboBoxDNum, &QComboBox::activated, this, [this] { ComboBoxDNumChange(); });
    connect(ComboBoxdBS, &QComboBox::activated, this, [this] { ComboBoxdBSChange(); });
    connect(ComboBoxdBE, &QComboBox::activated, this, [this] { ComboBoxdBEChange(); });
    connect(RadioGroup1, &TRadioGroup::changed, this, [this] { RadioGroup1Click(); });
    connect(CheckBoxAbsodB, &QCheckBox::toggled, this, [this] { CheckBoxAbsodBClick(); });
    connect(CheckSigVolt, &QCheckBox::toggled, this, [this] { CheckSigVoltClick(); });
    connect(CheckSaveData, &QCheckBox::toggled, this, [this] { CheckSaveDataClick(); });
    connect(PaintBox1, &TColorBox::clicked, this, [this] { PaintBox1Click(); });
    connect(PaintBox2, &TColorBox::clicked, this, [this] { PaintBox2Click(); });
    connect(PaintBox3, &TColorBox::clicked, this, [this] { PaintBox3Click(); });
    connect(PaintBox4, &TColorBox::clicked, this, [this] { PaintBox4Click(); });
    connect(DefaultBtn, &QPushButton::clicked, this, [this] { DefaultBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
    connect(SetBtn, &QPushButton::clicked, this, [this] { SetBtnClick(); });
    connect(FileBtn, &QPushButton::clicked, this, [this] { FileBtnClick(); });
}

void TFormFFTSetting::SetupDialog(TFFTSetting* fft, TFileSetting* file, uint8_t* cancel,
                                  TExtSetting* ext) {
    CheckBoxAbsodB->setText(Q("絶対値を表示(dBV)"));
    pFFTSetting = fft;
    WorkSetting = *fft;
    pExtSetting = ext;
    WorkExt = ext ? *ext : TExtSetting{};
    pFileSetting = file;
    fWorkSaveData = file->fSaveDataFile;
    WorkFileName = file->DataFileName;
    WorkDateTime = file->StartDateTime;
    pCancel = cancel;
    ShowData();
}

void TFormFFTSetting::ShowData() {
    TFFTSetting& w = WorkSetting;
    SelectClamped(ComboBoxDNum, w.DataCountSel);
    CheckWaveGraph->setChecked(w.fWaveGraph == 1);
    CheckSigVolt->setChecked(w.fSig_Volt == 1);
    CheckDCCut2->setChecked(w.fDCCut_SigGraph == 1);
    CheckWinFuncAdjust->setChecked(w.fWinFuncAdjust == 1);
    CheckDCCut->setChecked(w.fDCCut_FFT == 1);
    CheckBoxAbsodB->setChecked(w.fAbsoGraph == 1);

    RadioGroup1->SetItemIndex(w.fLogGraph == 1 ? 1 : 0);
    SelectClamped(ComboBoxFreqS, w.index_FreqS);
    SelectClamped(ComboBoxFreqE, w.index_FreqE - FREQ_END_FIRST);

    if (w.index_dB_min < DB_END_FIRST) w.index_dB_min = DB_END_FIRST;
    if (w.fAbsoGraph == 1) {
        ComboBoxdBS->setEnabled(true);
        SelectClamped(ComboBoxdBS, w.index_dB_max);
    } else {
        ComboBoxdBS->setEnabled(false);
        w.index_dB_max = DB_ZERO;
        ComboBoxdBS->setCurrentIndex(DB_ZERO);
    }
    SelectClamped(ComboBoxdBE, w.index_dB_min - DB_END_FIRST);

    RadioGroup2->SetItemIndex(std::clamp(w.whichWindowFunc, 0, RadioGroup2->Count() - 1));
    PaintColorBoxes();

    SelectClamped(ComboBoxScale, WorkExt.spectrumScale);
    CheckFreqAuto->setChecked(WorkExt.freqAuto == 1);
    ComboBoxScale->setEnabled(pExtSetting != nullptr);
    CheckFreqAuto->setEnabled(pExtSetting != nullptr);

    fSkipSaveClick = fWorkSaveData;
    CheckSaveData->setChecked(fWorkSaveData == 1);
    if (CheckSaveData->isChecked()) {
        SelFileName = WorkFileName;
        EditFileName->setText(Q(ShortenPath(SelFileName, 32)));
    } else {
        EditFileName->clear();
    }
}

void TFormFFTSetting::SetDefault(TFFTSetting& fft, TFileSetting& file) {
    SetDefaultFFTSetting(fft, file);
}

bool TFormFFTSetting::CheckdBRange(const TFFTSetting& s) {
    return ::CheckdBRange(s);
}

int32_t TFormFFTSetting::GetDataNum() const {
    const int sel = ComboBoxDNum->currentIndex();
    return sel >= 0 && sel < DATA_COUNT_CHOICES - 1 ? DataCountFromSel(sel) : MAX_DATA_COUNT;
}

void TFormFFTSetting::ComboBoxFreqSChange() {
    const int s = ComboBoxFreqS->currentIndex();
    const int e = ComboBoxFreqE->currentIndex() + FREQ_END_FIRST;
    if (s >= e) SelectClamped(ComboBoxFreqE, s + 1 - FREQ_END_FIRST);
}

void TFormFFTSetting::ComboBoxFreqEChange() {
    // The start stays below the end on the linear axis too, where it is not shown: a block
    // with start >= end could not be read back from a settings file.
    const int s = ComboBoxFreqS->currentIndex();
    const int e = ComboBoxFreqE->currentIndex() + FREQ_END_FIRST;
    if (s >= e) SelectClamped(ComboBoxFreqS, e - 1);
}

void TFormFFTSetting::RadioGroup1Click() {
    ComboBoxFreqS->setEnabled(RadioGroup1->ItemIndex() == 1);
}

void TFormFFTSetting::CheckBoxAbsodBClick() {
    if (CheckBoxAbsodB->isChecked()) {
        ComboBoxdBS->setEnabled(true);
        WorkSetting.fAbsoGraph = 1;
    } else {
        ComboBoxdBS->setEnabled(false);
        ComboBoxdBS->setCurrentIndex(DB_ZERO);
        WorkSetting.fAbsoGraph = 0;
    }
}

void TFormFFTSetting::ComboBoxdBSChange() {
    if (WorkSetting.fAbsoGraph == 0) {
        ComboBoxdBS->setCurrentIndex(DB_ZERO);
        return;
    }
    const int m = ComboBoxdBS->currentIndex();
    const int n = ComboBoxdBE->currentIndex() + DB_END_FIRST;
    if (m >= n) SelectClamped(ComboBoxdBE, m + 1 - DB_END_FIRST);
}

void TFormFFTSetting::ComboBoxdBEChange() {
    if (WorkSetting.fAbsoGraph == 0) return;
    const int m = ComboBoxdBS->currentIndex();
    const int n = ComboBoxdBE->currentIndex() + DB_END_FIRST;
    if (m >= n) SelectClamped(ComboBoxdBS, n - 1);
}

void TFormFFTSetting::CheckSigVoltClick() {
    WorkSetting.fSig_Volt = Flag(CheckSigVolt);
}

int32_t* TFormFFTSetting::ColorField(int box) {
    switch (box) {
    case 0:
        return &WorkSetting.PenColorGraph;
    case 1:
        return &WorkSetting.PenColorMainAxis;
    case 2:
        return &WorkSetting.PenColorSubAxis;
    default:
        return &WorkSetting.PenColorRefGraph;
    }
}

TColorBox* TFormFFTSetting::Box(int box) const {
    switch (box) {
    case 0:
        return PaintBox1;
    case 1:
        return PaintBox2;
    case 2:
        return PaintBox3;
    default:
        return PaintBox4;
    }
}

void TFormFFTSetting::PaintColorBoxes() {
    for (int i = 0; i < 4; ++i)
        Box(i)->SetColor(*ColorField(i));
}

void TFormFFTSetting::ChooseColor(int box) {
    // The dialog opens on the colour the box shows now.
    const std::optional<int32_t> chosen = seam_.getColor(*ColorField(box));
    if (!chosen) return;
    *ColorField(box) = *chosen;
    Box(box)->SetColor(*chosen);
}

bool TFormFFTSetting::SelectDataFile() {
    const std::optional<std::string> name =
        seam_.getSaveFileName("", WorkFileName.empty() ? std::string("*.DTA") : WorkFileName);
    if (!name || name->empty()) return false;
    SelFileName = WithDefaultExtension(*name, ".DTA");
    WorkFileName = SelFileName;
    EditFileName->setText(Q(ShortenPath(SelFileName, 32)));
    return true;
}

void TFormFFTSetting::FileBtnClick() {
    if (!SelectDataFile()) return;
    fSkipSaveClick = 1;
    CheckSaveData->setChecked(true);
}

void TFormFFTSetting::CheckSaveDataClick() {
    if (fSkipSaveClick) {
        fSkipSaveClick = 0;
        return;
    }
    if (!CheckSaveData->isChecked()) return;
    if (SelFileName.empty()) {
        if (!SelectDataFile()) CheckSaveData->setChecked(false);
    } else {
        // Show which file the automatic save will write.
        EditFileName->setText(Q(ShortenPath(SelFileName, 32)));
    }
}

void TFormFFTSetting::DefaultBtnClick() {
    TFileSetting file;
    SetDefault(WorkSetting, file);
    fWorkSaveData = file.fSaveDataFile;
    WorkFileName = file.DataFileName;
    WorkDateTime = file.StartDateTime;
    const TExtSetting def;
    WorkExt.spectrumScale = def.spectrumScale;
    WorkExt.freqAuto = def.freqAuto;
    ShowData();
}

void TFormFFTSetting::SetBtnClick() {
    TFFTSetting& w = WorkSetting;
    w.fWaveGraph = Flag(CheckWaveGraph);
    w.fSig_Volt = Flag(CheckSigVolt);
    w.fDCCut_SigGraph = Flag(CheckDCCut2);
    w.fWinFuncAdjust = Flag(CheckWinFuncAdjust);
    w.fDCCut_FFT = Flag(CheckDCCut);
    w.fAbsoGraph = Flag(CheckBoxAbsodB);
    w.fLogGraph = RadioGroup1->ItemIndex() == 1 ? 1 : 0;
    w.index_FreqS = ComboBoxFreqS->currentIndex();
    w.index_FreqE = ComboBoxFreqE->currentIndex() + FREQ_END_FIRST;
    w.index_dB_max = ComboBoxdBS->currentIndex();
    w.index_dB_min = ComboBoxdBE->currentIndex() + DB_END_FIRST;
    w.whichWindowFunc = RadioGroup2->ItemIndex();
    w.DataCountSel = ComboBoxDNum->currentIndex();
    w.DataCountMax = GetDataNum();
    if (pFFTSetting) *pFFTSetting = w;
    WorkExt.spectrumScale = ComboBoxScale->currentIndex();
    WorkExt.freqAuto = Flag(CheckFreqAuto);
    if (pExtSetting) *pExtSetting = WorkExt;

    fWorkSaveData = Flag(CheckSaveData);
    if (fWorkSaveData == 1 && SelFileName.empty()) {
        seam_.showMessage("QV", "データファイルを選択して下さい", TMsgIcon::Error);
        return;
    }
    if (pFileSetting) {
        // With auto-save off the caller's current data file stays as it is: a name left over
        // from an earlier opening must not replace it.
        if (fWorkSaveData == 1) {
            WorkFileName = SelFileName;
            pFileSetting->DataFileName = WorkFileName;
        }
        pFileSetting->StartDateTime = WorkDateTime;
        pFileSetting->fSaveDataFile = fWorkSaveData;
    }
    if (pCancel) *pCancel = 0;
    done(QDialog::Accepted);
}

void TFormFFTSetting::CancelBtnClick() {
    if (pCancel) *pCancel = 1;
    done(QDialog::Rejected);
}

void TFormFFTSetting::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (e->spontaneous()) return;
    CentreOnDesktop(this);
    SetBtn->setFocus(); // first in the tab order
}
