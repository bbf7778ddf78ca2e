// TFormNoiseTable: the noise table. The user picks rates, filters, channel and sample count;
// after the duration estimate is confirmed, one block each is measured (the dialog's own
// 1 ms timer drives the sweep while it runs) and each row appears as soon as it is done,
// with the progress and a stop button. The table is saved as CSV and printed on one page.
#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>
#include <vector>

#include "dialog_seam.h"
#include "noise_sweep.h"
#include "record.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPainter;
class QPrinter;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;
class TMeasureSession;

// The table's column headings and one row's cells as shown and printed.
std::vector<QString> NoiseTableHeadings();
std::vector<QString> NoiseTableCells(const TNoiseRow& row);
// The table on a page (or any paint device) inside rect: a title, the plan's line and the
// rows; pixel sizes scale with dpi.
void PaintNoiseTable(QPainter& p, const QRect& rect, int dpi, const TSweepPlan& plan,
                     const std::vector<TNoiseRow>& rows, const QString& when);

class TFormNoiseTable : public QDialog {
    Q_OBJECT
public:
    // seam: the estimate question, the CSV file name and the messages.
    TFormNoiseTable(QWidget* parent, TDialogSeam* seam);
    ~TFormNoiseTable() override;

    // The unit the sweep uses (idle while the dialog is open), the FFT settings whose window
    // the density is computed with, the channel and count offered first. printer: where Print
    // prints; askPrintDialog: show the print dialog first.
    void Setup(TMeasureSession* session, const TFFTSetting& fft, const TADSetting& ad,
               int32_t count, QPrinter* printer, bool askPrintDialog);

    // The plan the controls describe (no rates or no filter: no points).
    TSweepPlan PlanFromControls() const;
    bool Running() const;
    const std::vector<TNoiseRow>& Rows() const { return rows_; }

    // Handlers.
    void StartBtnClick();
    void StopBtnClick();
    void SaveBtnClick();
    void PrintBtnClick();
    // One step of the sweep (the timer's tick).
    void PollStep();
    // The page: false when the job could not be started.
    bool Print(QPrinter& printer);

    // Closing stops a sweep that runs.
    void reject() override;

    QListWidget* RateList = nullptr;
    QCheckBox* Sinc3Check = nullptr;
    QCheckBox* Sinc5Check = nullptr;
    QRadioButton* Ch0Btn = nullptr;
    QRadioButton* Ch1Btn = nullptr;
    QComboBox* CountCombo = nullptr;
    QLabel* EstimateLabel = nullptr;
    QTableWidget* Table = nullptr;
    QProgressBar* Progress = nullptr;
    QLabel* StatusLabel = nullptr;
    QPushButton* StartBtn = nullptr;
    QPushButton* StopBtn = nullptr;
    QPushButton* SaveBtn = nullptr;
    QPushButton* PrintBtn = nullptr;
    QPushButton* CloseBtn = nullptr;

signals:
    // A sweep started (true) or ended (false): the window keeps its own measurement off.
    void runningChanged(bool running);

private:
    void ShowEstimate();
    void AddRow(const TNoiseRow& row);
    void ShowProgress();
    void Finished();
    void SetControls(bool running);

    TDialogSeam* seam_;
    TMeasureSession* session_ = nullptr;
    TFFTSetting fft_;
    QPrinter* printer_ = nullptr;
    bool askPrintDialog_ = true;
    std::unique_ptr<TNoiseSweep> sweep_;
    TSweepPlan plan_; // of the rows shown
    std::vector<TNoiseRow> rows_;
    QString when_;
    QTimer timer_;
    bool inStep_ = false;
};
