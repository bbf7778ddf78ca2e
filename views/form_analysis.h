// TFormAnalysis: the analysis window beside the main window. Tab "特性" holds the figures
// table, tab "ヒストグラム" the code histogram. It takes a copy of each block the main window
// shows and computes only while it is visible.
#pragma once

#include <QWidget>

#include "analysis_model.h"

class QLabel;
class QTabWidget;
class QTableWidget;
class THistogramView;

class TFormAnalysis : public QWidget {
    Q_OBJECT
public:
    explicit TFormAnalysis(QWidget* parent = nullptr);

    // The block now shown in the main window (no codes: none). Computed at once when the
    // window is visible, else when it is shown next.
    void ShowBlock(TAnalysisBlock block);
    // What the window shows; computes a pending block first.
    const TAnalysisResult& Result();
    // A block arrived while hidden and is not computed yet.
    bool Pending() const { return pending_; }

    QLabel* BlockLabel = nullptr;
    QTabWidget* Tabs = nullptr;
    QTableWidget* FiguresTable = nullptr;
    THistogramView* HistogramView = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Refresh();

    TAnalysisBlock block_;
    TAnalysisResult result_;
    bool pending_ = false;
    bool computed_ = false; // result_ belongs to block_
};
