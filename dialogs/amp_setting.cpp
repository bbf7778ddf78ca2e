#include "amp_setting.h"

#include "form_controls.h"
#include "tables.h"
#include "ui_font.h"

#include <QShowEvent>

#include <algorithm>

namespace {

QRadioButton* MakeRadio(const char* text, QWidget* parent, int x, int y) {
    auto* b = new QRadioButton(QString::fromUtf8(text), parent);
    b->setGeometry(x, y, 97, 17);
    return b;
}

QPushButton* MakeButton(const char* text, QWidget* parent, int x, int y) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setGeometry(x, y, 75, 25);
    return b;
}

QFrame* MakePanel(QWidget* parent, int x, int y) {
    auto* p = new QFrame(parent);
    p->setFrameStyle(QFrame::Box | QFrame::Plain);
    p->setLineWidth(1);
    p->setGeometry(x, y, 120, 61);
    return p;
}

} // namespace

TFormAmpSetting::TFormAmpSetting(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFont(FormFont(12));
    setFixedSize(303, 196);
    setModal(true);

    Label1 = new QLabel(QString::fromUtf8("サンプリング"), this);
    Label1->move(24, 16);
    Label1->adjustSize();
    ComboBox1 = new QComboBox(this); // pick-only: a typed text would select no rate
    ComboBox1->setEditable(false);
    ComboBox1->setGeometry(24, 32, 121, 21);

    Panel2 = MakePanel(this, 24, 64);
    Sinc3_RBtn = MakeRadio("Sinc3", Panel2, 16, 8);
    Sinc5_RBtn = MakeRadio("Sinc5+Sinc1", Panel2, 16, 32);
    Panel1 = MakePanel(this, 156, 64);
    CH0_RBtn = MakeRadio("CH0", Panel1, 16, 8);
    CH1_RBtn = MakeRadio("CH1", Panel1, 16, 32);

    DefaultBtn = MakeButton("既定値", this, 24, 140);
    CancelBtn = MakeButton("取り消し", this, 112, 140);
    SetBtn = MakeButton("設定", this, 200, 140);

    setTabOrder(ComboBox1, DefaultBtn);
    setTabOrder(DefaultBtn, CancelBtn);
    setTabOrder(CancelBtn, SetBtn);
    setTabOrder(SetBtn, Sinc3_RBtn);
    setTabOrder(Sinc3_RBtn, Sinc5_RBtn);
    setTabOrder(Sinc5_RBtn, CH0_RBtn);
    setTabOrder(CH0_RBtn, CH1_RBtn);
    SetBtn->setDefault(true); // Enter confirms

    // Checking a filter button runs its handler, from the user or from code.
    connect(Sinc3_RBtn, &QRadioButton::toggled, this, [this](bool on) {
        if (on) Sinc3_RBtnClick();
    });
    connect(Sinc5_RBtn, &QRadioButton::toggled, this, [this](bool on) {
        if (on) Sinc5_RBtnClick();
    });
    connect(DefaultBtn, &QPushButton::clicked, this, [this] { DefaultBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
    connect(SetBtn, &QPushButton::clicked, this, [this] { SetBtnClick(); });
}

void TFormAmpSetting::FillRateList(uint8_t sinc3) {
    ComboBox1->clear();
    for (int i = 0; i < RATE_COUNT; ++i)
        ComboBox1->addItem(QString::fromStdString(pADC ? pADC->GetRateText(i, sinc3) : ""));
}

void TFormAmpSetting::SetupDialog(TADSetting* setting, uint8_t* cancel, const TADC* adc) {
    pSetting = setting;
    pCancel = cancel;
    pADC = adc;
    FillRateList(setting->sinc3);
    // A pick-only list always shows a rate: an index outside the table is pulled in.
    ComboBox1->setCurrentIndex(std::clamp(setting->spsSel, 0, RATE_COUNT - 1));
    if (setting->sinc3 == 1)
        Sinc3_RBtn->setChecked(true);
    else
        Sinc5_RBtn->setChecked(true);
    if (setting->ch_sel == 1)
        CH1_RBtn->setChecked(true);
    else
        CH0_RBtn->setChecked(true);
    setWindowTitle(QString::fromStdString(adc ? adc->GetModelName() : ""));
}

// Only the texts change with the filter; the entry keeps its meaning.
void TFormAmpSetting::ChangeFilter(uint8_t sinc3) {
    if (pSetting) pSetting->sinc3 = sinc3;
    const int entry = ComboBox1->currentIndex();
    FillRateList(sinc3);
    ComboBox1->setCurrentIndex(entry);
}

void TFormAmpSetting::Sinc3_RBtnClick() {
    ChangeFilter(1);
}

void TFormAmpSetting::Sinc5_RBtnClick() {
    ChangeFilter(0);
}

void TFormAmpSetting::DefaultBtnClick() {
    if (!pSetting) return;
    SetDefaultADSetting(*pSetting);
    ComboBox1->setCurrentIndex(pSetting->spsSel);
    if (pSetting->sinc3 == 1)
        Sinc3_RBtn->setChecked(true);
    else
        Sinc5_RBtn->setChecked(true);
    if (pSetting->ch_sel == 1)
        CH1_RBtn->setChecked(true);
    else
        CH0_RBtn->setChecked(true);
}

void TFormAmpSetting::SetBtnClick() {
    if (pSetting) {
        // A list without a selection keeps the rate the block had.
        if (ComboBox1->currentIndex() >= 0) pSetting->spsSel = ComboBox1->currentIndex();
        pSetting->sinc3 = Sinc3_RBtn->isChecked() ? 1 : 0;
        pSetting->ch_sel = CH1_RBtn->isChecked() ? 1 : 0;
    }
    if (pCancel) *pCancel = 0;
    done(QDialog::Accepted);
}

void TFormAmpSetting::CancelBtnClick() {
    if (pCancel) *pCancel = 1;
    done(QDialog::Rejected);
}

void TFormAmpSetting::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (e->spontaneous()) return;
    CentreOnDesktop(this);
    ComboBox1->setFocus(); // first in the tab order
}
