// TFormFFTSetting: the modal "FFT 計測/表示設定" dialog. Edits a copy of the FFT settings block
// and the main window's auto-save fields; reports a cancel through the caller's flag.
#pragma once

#include "dialog_seam.h"
#include "form_controls.h"
#include "record.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <array>
#include <cstdint>
#include <string>

class TFormFFTSetting : public QDialog {
    Q_OBJECT
public:
    // The seam answers the file and colour choices and shows the dialog's one error box.
    explicit TFormFFTSetting(TDialogSeam& seam, QWidget* parent = nullptr);

    // fft: the caller's copy, written back by Set; file: the caller's block itself; cancel: the
    // caller's fDialogCancel. All three must outlive the opening. ext, when given, is the
    // caller's copy of the settings of our own (spectrum scale, automatic frequency range),
    // edited in WorkExt and written back by Set; without it those controls are disabled.
    void SetupDialog(TFFTSetting* fft, TFileSetting* file, uint8_t* cancel,
                     TExtSetting* ext = nullptr);
    void ShowData();
    static void SetDefault(TFFTSetting& fft, TFileSetting& file);
    static bool CheckdBRange(const TFFTSetting& s);
    int32_t GetDataNum() const;

    // Handlers, under the form's names.
    void ComboBoxFreqSChange();
    void ComboBoxFreqEChange();
    void ComboBoxDNumChange() {}
    void RadioGroup1Click();
    void ComboBoxdBSChange();
    void ComboBoxdBEChange();
    void CheckBoxAbsodBClick();
    void CheckSigVoltClick();
    void PaintBox1Click() { ChooseColor(0); }
    void PaintBox2Click() { ChooseColor(1); }
    void PaintBox3Click() { ChooseColor(2); }
    void PaintBox4Click() { ChooseColor(3); }
    void DefaultBtnClick();
    void CancelBtnClick();
    void SetBtnClick();
    void CheckSaveDataClick();
    void FileBtnClick();
    bool SelectDataFile();
    void PaintColorBoxes();

    // Any other way out (Esc, the window manager) counts as Cancel, so the flag always tells.
    void reject() override { CancelBtnClick(); }

    // Working state.
    TFFTSetting WorkSetting;
    TFFTSetting* pFFTSetting = nullptr;
    TExtSetting WorkExt;
    TExtSetting* pExtSetting = nullptr;
    TFileSetting* pFileSetting = nullptr;
    uint8_t fWorkSaveData = 0;
    std::string WorkFileName;
    std::string WorkDateTime;
    std::string SelFileName;
    uint8_t* pCancel = nullptr;
    uint8_t fSkipSaveClick = 0;

    // Controls, by their form names.
    QGroupBox* GroupBox4;
    QCheckBox* CheckWaveGraph;
    QCheckBox* CheckSigVolt;
    QCheckBox* CheckDCCut2;
    QGroupBox* GroupBox5;
    QCheckBox* CheckWinFuncAdjust;
    QCheckBox* CheckDCCut;
    QGroupBox* GroupBox1;
    QComboBox* ComboBoxFreqS;
    QComboBox* ComboBoxFreqE;
    QLabel* Label8;
    QComboBox* ComboBoxDNum;
    TRadioGroup* RadioGroup1;
    QGroupBox* GroupBox2;
    QComboBox* ComboBoxdBS;
    QComboBox* ComboBoxdBE;
    QCheckBox* CheckBoxAbsodB;
    TRadioGroup* RadioGroup2;
    QGroupBox* GroupBox3;
    TColorBox* PaintBox1;
    TColorBox* PaintBox2;
    TColorBox* PaintBox3;
    TColorBox* PaintBox4;
    QPushButton* DefaultBtn;
    QPushButton* CancelBtn;
    QPushButton* SetBtn;
    QGroupBox* GroupBox6;
    QCheckBox* CheckSaveData;
    QPushButton* FileBtn;
    QLineEdit* EditFileName;
    QGroupBox* GroupBoxScale;
    QComboBox* ComboBoxScale; // 0 雑音実効値, 1 トーン振幅, 2 雑音密度 (TExtSetting::spectrumScale)
    QCheckBox* CheckFreqAuto;

    static constexpr int FREQ_END_FIRST = 6; // scale index of ComboBoxFreqE's first item
    static constexpr int DB_END_FIRST = 3;   // scale index of ComboBoxdBE's first item

protected:
    void showEvent(QShowEvent* e) override;

private:
    void ChooseColor(int box);
    int32_t* ColorField(int box);
    TColorBox* Box(int box) const;

    TDialogSeam& seam_;
};
