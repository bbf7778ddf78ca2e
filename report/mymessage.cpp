#include "mymessage.h"

#include "texts.h"

TmyMessage::TmyMessage(TDialogSeam* seam, std::string unitName, std::string caption)
    : seam_(seam), UnitName(std::move(unitName)), Caption_(std::move(caption)) {}

void TmyMessage::Show(const std::string& text, TMsgIcon icon) {
    if (seam_) seam_->showMessage(Caption_, text, icon);
}

std::string TmyMessage::MemoryErrorText(const std::string& objectName) {
    return "致命的なメモリエラーです:" + objectName;
}
void TmyMessage::ShowMemoryError(const std::string& objectName) {
    Show(MemoryErrorText(objectName), TMsgIcon::Error);
}
void TmyMessage::ShowException(const std::string& what) {
    Show(what.empty() ? std::string("予期しないエラーが発生しました") : what, TMsgIcon::Error);
}
bool TmyMessage::ConfirmDiscard() {
    return !seam_ ||
           seam_->askOkCancel(Caption_, "データを保存していませんが、破棄してもいいですか？",
                              TMsgIcon::Warning);
}
void TmyMessage::ShowSendError() {
    Show(TEXT_SEND_ERROR, TMsgIcon::Error);
}
void TmyMessage::ShowNotFound() {
    Show(UnitName + TEXT_NOT_FOUND_SUFFIX, TMsgIcon::Error);
}
void TmyMessage::ShowNoResponse() {
    Show(UnitName + TEXT_NO_RESPONSE_SUFFIX, TMsgIcon::Error);
}
void TmyMessage::ShowInitSaveError() {
    Show("初期設定ファイルを保存できませんでした", TMsgIcon::Warning);
}
void TmyMessage::ShowDataSaveError() {
    Show(TEXT_DATA_SAVE_ERROR, TMsgIcon::Error);
}
void TmyMessage::ShowDataFileError() {
    Show(TEXT_DATA_FILE_ERROR, TMsgIcon::Error);
}
void TmyMessage::ShowFFTSaveError() {
    Show(TEXT_FFT_SAVE_ERROR, TMsgIcon::Error);
}
void TmyMessage::ShowSettingFileError() {
    Show(TEXT_SETTING_FILE_ERROR, TMsgIcon::Error);
}
void TmyMessage::ShowNoData() {
    Show("データがありません", TMsgIcon::Error);
}
void TmyMessage::ShowLevelError() {
    Show(TEXT_LEVEL_ERROR, TMsgIcon::Warning);
}
void TmyMessage::ShowPrintError() {
    Show("印刷できませんでした", TMsgIcon::Error);
}
