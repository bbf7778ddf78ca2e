#include "form_analysis.h"

#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "histogram_plot.h"
#include "readout_text.h"
#include "ui_font.h"

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

TFormAnalysis::TFormAnalysis(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QString::fromUtf8("解析"));
    setFont(FormFont(12));
    auto* layout = new QVBoxLayout(this);
    BlockLabel = new QLabel(this);
    layout->addWidget(BlockLabel);
    Tabs = new QTabWidget(this);
    layout->addWidget(Tabs);

    FiguresTable = new QTableWidget(0, 3, Tabs);
    FiguresTable->setHorizontalHeaderLabels(
        {QString::fromUtf8("項目"), QString::fromUtf8("値"), QString::fromUtf8("単位")});
    FiguresTable->verticalHeader()->setVisible(false);
    FiguresTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FiguresTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    FiguresTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    FiguresTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    FiguresTable->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    FiguresTable->verticalHeader()->setDefaultSectionSize(20);
    Tabs->addTab(FiguresTable, QString::fromUtf8("特性"));

    HistogramView = new THistogramView(Tabs);
    Tabs->addTab(HistogramView, QString::fromUtf8("ヒストグラム"));
    resize(600, 560);
    Refresh();
}

void TFormAnalysis::ShowBlock(TAnalysisBlock block) {
    // A redraw of the same block (a reference loaded or cleared) keeps what is computed.
    if (!pending_ && computed_ && block == block_) return;
    block_ = std::move(block);
    pending_ = true;
    if (isVisible()) Refresh();
}

const TAnalysisResult& TFormAnalysis::Result() {
    if (pending_) Refresh();
    return result_;
}

void TFormAnalysis::showEvent(QShowEvent* event) {
    if (pending_) Refresh();
    QWidget::showEvent(event);
}

void TFormAnalysis::Refresh() {
    pending_ = false;
    computed_ = true;
    result_ = ComputeAnalysis(block_);
    if (result_.hasBlock) {
        const int n = static_cast<int>(block_.codes.size());
        const double df = block_.periodMs > 0.0 ? 1000.0 / (block_.periodMs * n) : 0.0;
        BlockLabel->setText(QString::fromUtf8("データ数：") + QString::number(n) +
                            QString::fromUtf8("　周波数分解能：") + Q(HzText(df)) + "Hz" +
                            (result_.averagedBlocks > 0
                                 ? QString::fromUtf8("　") + Q(AveragedBlocksText(result_))
                                 : QString()));
    } else {
        BlockLabel->setText(QString::fromUtf8("データがありません"));
    }

    const std::vector<TFigureRow> rows = FigureRows(result_);
    FiguresTable->setRowCount(static_cast<int>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        const int r = static_cast<int>(i);
        const std::string* cells[] = {&rows[i].name, &rows[i].value, &rows[i].unit};
        for (int c = 0; c < 3; ++c) {
            QTableWidgetItem* item = FiguresTable->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                FiguresTable->setItem(r, c, item);
            }
            item->setText(Q(*cells[c]));
            item->setTextAlignment(c == 1 ? Qt::AlignRight | Qt::AlignVCenter
                                          : Qt::AlignLeft | Qt::AlignVCenter);
        }
    }
    HistogramView->SetHistogram(result_.hasBlock ? result_.histogram : TCodeHistogram{});
}
