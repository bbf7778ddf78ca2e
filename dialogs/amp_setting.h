// TFormAmpSetting: the modal dialog for the A/D unit's sampling rate, digital filter and input
// channel. Edits the caller's settings block for the next measurement start; sends nothing.
#pragma once

#include "ad7177.h"
#include "record.h"

#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <cstdint>

class TFormAmpSetting : public QDialog {
    Q_OBJECT
public:
    explicit TFormAmpSetting(QWidget* parent = nullptr);

    // setting and cancel (the record's fDialogCancel) are written by the handlers; adc gives the
    // rate texts and the model name. All three must outlive the opening.
    void SetupDialog(TADSetting* setting, uint8_t* cancel, const TADC* adc);

    // Handlers, under the form's names.
    void SetBtnClick();
    void CancelBtnClick();
    void DefaultBtnClick();
    void Sinc3_RBtnClick();
    void Sinc5_RBtnClick();

    // Any other way out (Esc, the window manager) counts as Cancel.
    void reject() override { CancelBtnClick(); }

    QLabel* Label1;
    QComboBox* ComboBox1;
    QFrame* Panel2;
    QRadioButton* Sinc3_RBtn;
    QRadioButton* Sinc5_RBtn;
    QFrame* Panel1;
    QRadioButton* CH0_RBtn;
    QRadioButton* CH1_RBtn;
    QPushButton* DefaultBtn;
    QPushButton* CancelBtn;
    QPushButton* SetBtn;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void FillRateList(uint8_t sinc3);
    void ChangeFilter(uint8_t sinc3);

    TADSetting* pSetting = nullptr;
    uint8_t* pCancel = nullptr;
    const TADC* pADC = nullptr;
};
