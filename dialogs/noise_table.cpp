#include "noise_table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

#include "csv_export.h"
#include "measure_session.h"
#include "myfile.h"
#include "numfmt.h"
#include "paths.h"
#include "tables.h"
#include "texts.h"
#include "ui_font.h"

namespace {

constexpr const char* kCaption = "Kalvex";

QString U(const std::string& s) {
    return QString::fromStdString(s);
}

QString FailText(const TNoiseSweep& s, bool stalled) {
    const QString model = QString::fromUtf8(UNIT_MODEL_NAME);
    if (s.LinkLost() && stalled) return model + QString::fromUtf8(TEXT_STALLED_SUFFIX);
    if (s.LinkLost()) return QString::fromUtf8(TEXT_MEASURE_ERROR);
    switch (s.FailReason()) {
    case TStartResult::NotFound:
        return model + QString::fromUtf8(TEXT_NOT_FOUND_SUFFIX);
    case TStartResult::NoResponse:
        return model + QString::fromUtf8(TEXT_NO_RESPONSE_SUFFIX);
    case TStartResult::SendError:
        return QString::fromUtf8(TEXT_SEND_ERROR);
    default:
        return model + QString::fromUtf8("が設定を受け付けませんでした");
    }
}

QString PlanLine(const TSweepPlan& plan) {
    return QString::fromUtf8("CH%1、%2 サンプル/ブロック、%3 ブロック")
        .arg(plan.ch)
        .arg(plan.count)
        .arg(plan.points.size());
}

} // namespace

std::vector<QString> NoiseTableHeadings() {
    return {QString::fromUtf8("レート"),
            QString::fromUtf8("フィルタ"),
            QString::fromUtf8("RMS (µV)"),
            QString::fromUtf8("RMS (コード)"),
            QString::fromUtf8("p-p (µV)"),
            QString::fromUtf8("p-p (コード)"),
            QString::fromUtf8("実効ビット"),
            QString::fromUtf8("ノイズフリービット"),
            QString::fromUtf8("ノイズ密度 (nV/√Hz)")};
}

std::vector<QString> NoiseTableCells(const TNoiseRow& r) {
    std::vector<QString> c = {U(r.rateText), QString::fromUtf8(r.sinc3 ? "Sinc3" : "Sinc5+Sinc1")};
    if (r.levelError) {
        c.push_back(QString::fromUtf8(TEXT_LEVEL_ERROR));
        while (c.size() < 9)
            c.push_back(QString());
        return c;
    }
    c.push_back(U(FormatFixed(r.rmsUv, 3)));
    c.push_back(U(FormatFixed(r.rmsCodes, 1)));
    c.push_back(U(FormatFixed(r.ppUv, 3)));
    c.push_back(U(FormatFixed(r.ppCodes, 0)));
    c.push_back(U(FormatFixed(r.effectiveBits, 2)));
    c.push_back(U(FormatFixed(r.noiseFreeBits, 2)));
    c.push_back(U(FormatFixed(r.densityVrtHz * 1e9, 2)));
    return c;
}

void PaintNoiseTable(QPainter& p, const QRect& rect, int dpi, const TSweepPlan& plan,
                     const std::vector<TNoiseRow>& rows, const QString& when) {
    auto px = [dpi](double mm) { return static_cast<int>(mm * dpi / 25.4 + 0.5); };
    p.save();
    p.setPen(Qt::black);
    QFont title = FormFont(px(6), true);
    p.setFont(title);
    int y = rect.top();
    const int titleH = px(9);
    p.drawText(QRect(rect.left(), y, rect.width(), titleH), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromUtf8("ノイズ表"));
    y += titleH;
    QFont body = FormFont(px(3.5));
    p.setFont(body);
    const int lineH = px(6);
    p.drawText(QRect(rect.left(), y, rect.width(), lineH), Qt::AlignLeft | Qt::AlignVCenter,
               PlanLine(plan) + QString::fromUtf8("　") + when);
    y += lineH + px(2);

    // Column widths in parts of the whole width.
    const std::vector<QString> head = NoiseTableHeadings();
    const double parts[] = {1.0, 1.3, 1.0, 1.3, 1.0, 1.3, 1.0, 1.6, 2.1};
    double total = 0;
    for (double w : parts)
        total += w;
    std::vector<int> x = {rect.left()};
    for (double w : parts)
        x.push_back(x.back() + static_cast<int>(rect.width() * w / total));
    x.back() = rect.right();

    auto rowAt = [&](const std::vector<QString>& cells, bool bold, int top) {
        QFont f = FormFont(px(bold ? 2.9 : 3.2), bold); // headings are the longer texts
        p.setFont(f);
        for (size_t c = 0; c < cells.size() && c + 1 < x.size(); ++c) {
            const QRect cell(x[c] + px(1), top, x[c + 1] - x[c] - px(2), lineH);
            p.drawText(cell, (c < 2 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter, cells[c]);
        }
    };
    QPen grid(Qt::black);
    grid.setWidth(std::max(1, px(0.2)));
    p.setPen(grid);
    rowAt(head, true, y);
    const int top = y;
    y += lineH;
    p.drawLine(rect.left(), y, rect.right(), y);
    for (const TNoiseRow& r : rows) {
        if (y + lineH > rect.bottom()) break; // what does not fit the page is left off
        rowAt(NoiseTableCells(r), false, y);
        y += lineH;
    }
    p.drawRect(QRect(rect.left(), top, rect.width(), y - top));
    for (size_t c = 1; c + 1 < x.size(); ++c)
        p.drawLine(x[c], top, x[c], y);
    p.restore();
}

TFormNoiseTable::TFormNoiseTable(QWidget* parent, TDialogSeam* seam)
    : QDialog(parent), seam_(seam) {
    setWindowTitle(QString::fromUtf8("ノイズ表"));
    setFont(FormFont(12));
    setModal(false);

    RateList = new QListWidget(this);
    for (int32_t i = 0; i < RATE_COUNT; ++i) {
        auto* item = new QListWidgetItem(U(RateText(i, 1)), RateList);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        item->setCheckState(i == 0 || i == 6 || i == 10 || i == 13 ? Qt::Checked : Qt::Unchecked);
    }
    RateList->setFixedWidth(120);
    Sinc3Check = new QCheckBox(QString::fromUtf8("Sinc3"), this);
    Sinc5Check = new QCheckBox(QString::fromUtf8("Sinc5+Sinc1"), this);
    Sinc3Check->setChecked(true);
    Sinc5Check->setChecked(true);
    Ch0Btn = new QRadioButton(QString::fromUtf8("CH0"), this);
    Ch1Btn = new QRadioButton(QString::fromUtf8("CH1"), this);
    Ch0Btn->setChecked(true);
    CountCombo = new QComboBox(this);
    for (int32_t sel = 0; sel < DATA_COUNT_CHOICES; ++sel)
        CountCombo->addItem(QString::number(DataCountFromSel(sel)));
    EstimateLabel = new QLabel(this);
    EstimateLabel->setWordWrap(true);
    EstimateLabel->setMinimumWidth(170);

    Table = new QTableWidget(0, 9, this);
    QStringList heads;
    for (const QString& h : NoiseTableHeadings())
        heads << h;
    Table->setHorizontalHeaderLabels(heads);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->verticalHeader()->setVisible(false);
    Table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Progress = new QProgressBar(this);
    Progress->setRange(0, 1);
    Progress->setValue(0);
    StatusLabel = new QLabel(this);

    StartBtn = new QPushButton(QString::fromUtf8("開始"), this);
    StopBtn = new QPushButton(QString::fromUtf8("停止"), this);
    SaveBtn = new QPushButton(QString::fromUtf8("CSV保存..."), this);
    PrintBtn = new QPushButton(QString::fromUtf8("印刷..."), this);
    CloseBtn = new QPushButton(QString::fromUtf8("閉じる"), this);

    auto* rateBox = new QGroupBox(QString::fromUtf8("レート"), this);
    auto* rl = new QVBoxLayout(rateBox);
    rl->addWidget(RateList);
    auto* filterBox = new QGroupBox(QString::fromUtf8("フィルタ"), this);
    auto* fl = new QVBoxLayout(filterBox);
    fl->addWidget(Sinc3Check);
    fl->addWidget(Sinc5Check);
    auto* chBox = new QGroupBox(QString::fromUtf8("チャンネル"), this);
    auto* cl = new QVBoxLayout(chBox);
    cl->addWidget(Ch0Btn);
    cl->addWidget(Ch1Btn);
    auto* countBox = new QGroupBox(QString::fromUtf8("サンプル数"), this);
    auto* nl = new QVBoxLayout(countBox);
    nl->addWidget(CountCombo);
    auto* side = new QVBoxLayout;
    side->addWidget(filterBox);
    side->addWidget(chBox);
    side->addWidget(countBox);
    side->addWidget(EstimateLabel);
    side->addStretch();
    auto* choose = new QHBoxLayout;
    choose->addWidget(rateBox);
    choose->addLayout(side);

    auto* right = new QVBoxLayout;
    right->addWidget(Table, 1);
    auto* prog = new QHBoxLayout;
    prog->addWidget(Progress, 1);
    prog->addWidget(StatusLabel, 1);
    right->addLayout(prog);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(StartBtn);
    buttons->addWidget(StopBtn);
    buttons->addStretch();
    buttons->addWidget(SaveBtn);
    buttons->addWidget(PrintBtn);
    buttons->addWidget(CloseBtn);
    right->addLayout(buttons);

    auto* top = new QHBoxLayout(this);
    top->addLayout(choose);
    top->addLayout(right, 1);
    resize(1000, 430);

    connect(StartBtn, &QPushButton::clicked, this, [this] { StartBtnClick(); });
    connect(StopBtn, &QPushButton::clicked, this, [this] { StopBtnClick(); });
    connect(SaveBtn, &QPushButton::clicked, this, [this] { SaveBtnClick(); });
    connect(PrintBtn, &QPushButton::clicked, this, [this] { PrintBtnClick(); });
    connect(CloseBtn, &QPushButton::clicked, this, [this] { reject(); });
    connect(RateList, &QListWidget::itemChanged, this, [this] { ShowEstimate(); });
    connect(Sinc3Check, &QCheckBox::toggled, this, [this] { ShowEstimate(); });
    connect(Sinc5Check, &QCheckBox::toggled, this, [this] { ShowEstimate(); });
    connect(CountCombo, &QComboBox::currentIndexChanged, this, [this] { ShowEstimate(); });
    timer_.setInterval(1);
    connect(&timer_, &QTimer::timeout, this, [this] { PollStep(); });
    SetControls(false);
    ShowEstimate();
}

TFormNoiseTable::~TFormNoiseTable() {
    timer_.stop();
    if (sweep_) sweep_->Stop();
}

void TFormNoiseTable::Setup(TMeasureSession* session, const TFFTSetting& fft, const TADSetting& ad,
                            int32_t count, QPrinter* printer, bool askPrintDialog) {
    session_ = session;
    fft_ = fft;
    printer_ = printer;
    askPrintDialog_ = askPrintDialog;
    (ad.ch_sel == 1 ? Ch1Btn : Ch0Btn)->setChecked(true);
    const int32_t sel = DataCountSelFor(count);
    CountCombo->setCurrentIndex(sel >= 0 ? sel : 0);
    ShowEstimate();
}

TSweepPlan TFormNoiseTable::PlanFromControls() const {
    std::vector<int32_t> rates;
    for (int i = 0; i < RateList->count(); ++i)
        if (RateList->item(i)->checkState() == Qt::Checked) rates.push_back(i);
    std::vector<uint8_t> filters;
    if (Sinc3Check->isChecked()) filters.push_back(1);
    if (Sinc5Check->isChecked()) filters.push_back(0);
    TSweepPlan plan;
    plan.points = SweepPoints(rates, filters);
    plan.ch = Ch1Btn->isChecked() ? 1 : 0;
    plan.count = DataCountFromSel(CountCombo->currentIndex());
    return plan;
}

bool TFormNoiseTable::Running() const {
    return sweep_ && (sweep_->State() == TNoiseSweep::TState::Idle ||
                      sweep_->State() == TNoiseSweep::TState::Running);
}

void TFormNoiseTable::ShowEstimate() {
    const TSweepPlan plan = PlanFromControls();
    EstimateLabel->setText(plan.points.empty()
                               ? QString::fromUtf8("レートとフィルタを選んでください")
                               : U(SweepEstimateText(plan)));
    if (!Running()) StartBtn->setEnabled(!plan.points.empty() && session_);
}

void TFormNoiseTable::SetControls(bool running) {
    for (QWidget* w : std::initializer_list<QWidget*>{RateList, Sinc3Check, Sinc5Check, Ch0Btn,
                                                      Ch1Btn, CountCombo, SaveBtn, PrintBtn})
        w->setEnabled(!running);
    SaveBtn->setEnabled(!running && !rows_.empty());
    PrintBtn->setEnabled(!running && !rows_.empty());
    StopBtn->setEnabled(running);
    StartBtn->setEnabled(!running && session_ && !PlanFromControls().points.empty());
}

void TFormNoiseTable::StartBtnClick() {
    if (Running() || !session_) return;
    const TSweepPlan plan = PlanFromControls();
    if (plan.points.empty()) return;
    const std::string question = SweepEstimateText(plan) + "\n" +
                                 std::to_string(plan.points.size()) +
                                 " ブロックを計測します。開始しますか";
    if (seam_ && !seam_->askOkCancel(kCaption, question, TMsgIcon::Question)) return;
    plan_ = plan;
    rows_.clear();
    Table->setRowCount(0);
    when_ = QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
    // A sweep runs for hours unattended: a unit that hangs ends it.
    session_->SetStallLimit(STALL_LIMIT_US);
    sweep_ = std::make_unique<TNoiseSweep>(*session_, plan_, fft_);
    Progress->setRange(0, static_cast<int>(plan_.points.size()) * 1000);
    Progress->setValue(0);
    StatusLabel->setText(QString::fromUtf8("計測中..."));
    SetControls(true);
    emit runningChanged(true);
    timer_.start(1);
}

void TFormNoiseTable::StopBtnClick() {
    if (!Running()) return;
    sweep_->Stop();
    // Clicked while a step waits for the unit: that step ends the sweep when it returns.
    if (!inStep_) Finished();
}

void TFormNoiseTable::PollStep() {
    // The unit's waits pump events: a tick that comes meanwhile is no step of its own.
    if (!Running() || inStep_) return;
    inStep_ = true;
    const TNoiseSweep::TStep step = sweep_->Step();
    inStep_ = false;
    if (step == TNoiseSweep::TStep::Row) AddRow(sweep_->Rows().back());
    if (step == TNoiseSweep::TStep::Finished || !Running()) {
        Finished();
        return;
    }
    ShowProgress();
    // Polled as often as the rate being measured needs.
    const size_t at = static_cast<size_t>(sweep_->CurrentPoint());
    if (at < plan_.points.size()) {
        const TSweepPoint& p = plan_.points[at];
        const int ms = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(PollPause(p.spsSel, p.sinc3))
                .count());
        if (timer_.interval() != std::max(1, ms)) timer_.setInterval(std::max(1, ms));
    }
}

void TFormNoiseTable::AddRow(const TNoiseRow& row) {
    rows_.push_back(row);
    const int r = Table->rowCount();
    Table->insertRow(r);
    const std::vector<QString> cells = NoiseTableCells(row);
    for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
        auto* item = new QTableWidgetItem(cells[static_cast<size_t>(c)]);
        item->setTextAlignment((c < 2 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
        Table->setItem(r, c, item);
    }
    if (row.levelError) Table->setSpan(r, 2, 1, 7);
    Table->scrollToBottom();
}

void TFormNoiseTable::ShowProgress() {
    if (!sweep_ || plan_.count <= 0) return;
    const int done =
        sweep_->CurrentPoint() * 1000 + static_cast<int>(1000LL * sweep_->Received() / plan_.count);
    Progress->setValue(std::min(done, Progress->maximum()));
    const int point = std::min(sweep_->CurrentPoint(), static_cast<int>(plan_.points.size()) - 1);
    const TSweepPoint& p = plan_.points[static_cast<size_t>(std::max(point, 0))];
    StatusLabel->setText(QString::fromUtf8("%1/%2: %3 %4  %5/%6")
                             .arg(point + 1)
                             .arg(plan_.points.size())
                             .arg(U(RateText(p.spsSel, p.sinc3)))
                             .arg(QString::fromUtf8(p.sinc3 ? "Sinc3" : "Sinc5+Sinc1"))
                             .arg(sweep_->Received())
                             .arg(plan_.count));
}

void TFormNoiseTable::Finished() {
    timer_.stop();
    if (!sweep_) return;
    switch (sweep_->State()) {
    case TNoiseSweep::TState::Done:
        Progress->setValue(Progress->maximum());
        StatusLabel->setText(QString::fromUtf8("完了しました"));
        break;
    case TNoiseSweep::TState::Failed:
        StatusLabel->setText(FailText(*sweep_, session_->Stalled()));
        break;
    default:
        StatusLabel->setText(QString::fromUtf8("停止しました"));
        break;
    }
    sweep_.reset();
    SetControls(false);
    emit runningChanged(false);
}

void TFormNoiseTable::SaveBtnClick() {
    if (Running() || rows_.empty() || !seam_) return;
    const auto name = seam_->getSaveFileName("CSVファイル (*.csv)|*.csv", "noise_table.csv");
    if (!name || name->empty()) return;
    const std::string path = WithDefaultExtension(*name, ".csv");
    if (FileExists(path) && !TmyFile(seam_).ConfirmOverwrite(path)) return;
    if (!WriteFileAtomic(path, NoiseTableCsv(rows_)))
        seam_->showMessage(kCaption, path + ": " + TEXT_CSV_SAVE_ERROR, TMsgIcon::Error);
}

void TFormNoiseTable::PrintBtnClick() {
    if (Running() || rows_.empty() || !printer_) return;
    if (askPrintDialog_) {
        QPrintDialog dlg(printer_, this);
        if (dlg.exec() != QDialog::Accepted) return;
    }
    if (!Print(*printer_) && seam_)
        seam_->showMessage(kCaption, "印刷できませんでした", TMsgIcon::Error);
}

bool TFormNoiseTable::Print(QPrinter& printer) {
    QPainter p;
    if (!p.begin(&printer)) return false;
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const int margin = printer.resolution() / 2; // half an inch inside the printable area
    PaintNoiseTable(p, QRect(margin, margin, page.width() - 2 * margin, page.height() - 2 * margin),
                    printer.resolution(), plan_, rows_, when_);
    return p.end();
}

void TFormNoiseTable::reject() {
    if (Running()) {
        sweep_->Stop();
        if (!inStep_) Finished();
    }
    QDialog::reject();
}
