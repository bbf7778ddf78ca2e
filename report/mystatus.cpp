#include "mystatus.h"

#include "readout_text.h"
#include "status_bar.h"
#include "texts.h"

TmyStatus::TmyStatus(TStatusBar* bar, std::string unitName, int maxPanel)
    : bar_(bar), UnitName(std::move(unitName)), maxPanel_(maxPanel) {}

void TmyStatus::SetPanelText(const std::string& text, int index) {
    if (!bar_ || index < 0 || index > maxPanel_) return;
    const QString t = QString::fromStdString(text);
    const int w = bar_->TextWidth(t);
    bar_->SetPanel(index, t, w <= 100 ? 110 : w + 10);
}

void TmyStatus::ClearStatus() {
    if (!bar_) return;
    for (int i : {1, 2})
        bar_->SetPanel(i, QString(), bar_->PanelWantedWidth(i));
}

void TmyStatus::ShowUnitInfo(const std::string& name, const std::string& version,
                             const std::string& rateText) {
    SetPanelText(name + "/ " + version + "/ " + rateText, 0);
}

void TmyStatus::ShowNotFound() {
    SetPanelText(UnitName + TEXT_NOT_FOUND_SUFFIX, 0);
}
void TmyStatus::ShowSendError() {
    SetPanelText(TEXT_SEND_ERROR, 0);
}
void TmyStatus::ShowNoResponse() {
    SetPanelText(UnitName + "応答しませんでした", 0);
}
void TmyStatus::ShowFilterError() {
    SetPanelText(UnitName + "のフィルタ設定ができませんでした", 0);
}
void TmyStatus::ShowRateError() {
    SetPanelText(UnitName + "のサンプリングレート設定ができませんでした", 0);
}
void TmyStatus::ShowNameError() {
    SetPanelText(UnitName + "のユニット名を読み出せませんでした", 0);
}
void TmyStatus::ShowVersionError() {
    SetPanelText(UnitName + "のバージョンを読み出せませんでした", 0);
}
void TmyStatus::ShowWrongUnit(const std::string& name) {
    // The name is what the unit sent: only printable ASCII reaches the panel.
    std::string shown;
    for (char c : name)
        shown += (c >= 0x20 && c < 0x7F) ? c : '?';
    SetPanelText("接続されたユニット（" + shown + "）は" + UnitName + "ではありません", 0);
}
void TmyStatus::ShowLinkLost() {
    SetPanelText(UnitName + "との通信が途切れました", 0);
}
void TmyStatus::ShowMeasuring() {
    SetPanelText("計測中です", 1);
}
void TmyStatus::ShowFinished() {
    SetPanelText("計測終了しました", 1);
}
void TmyStatus::ShowStopped() {
    SetPanelText("計測中止しました", 1);
}
void TmyStatus::ShowDataLoaded() {
    SetPanelText("データファイル読み込みました", 1);
}
void TmyStatus::ShowRefLoaded() {
    SetPanelText("参照データを読み込みました", 1);
}
void TmyStatus::ShowStarting() {
    SetPanelText("測定開始処理中です。。。", 2);
}
void TmyStatus::ShowMeasureError() {
    SetPanelText(TEXT_MEASURE_ERROR, 2);
}
void TmyStatus::ShowLevelError() {
    SetPanelText(TEXT_LEVEL_ERROR, 2);
}

void TmyStatus::ShowProgress(int n, uint32_t code) {
    SetPanelText("データ番号：" + std::to_string(n) + " / AD変換値：" + std::to_string(code), 2);
}

void TmyStatus::ShowCodeStats(uint32_t maxCode, uint32_t minCode, double stdDev) {
    SetPanelText(CodeStatsText(maxCode, minCode, stdDev), 2);
}

void TmyStatus::ShowVoltStats(double maxUv, double minUv, double stdUv) {
    SetPanelText(VoltStatsText(maxUv, minUv, stdUv), 2);
}

std::string TmyStatus::PanelText(int index) const {
    return bar_ ? bar_->PanelText(index).toStdString() : std::string();
}
