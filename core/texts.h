// The program's message texts that more than one front end shows (the window's boxes and status
// bar, and kalvex-cli). Every other wording lives with TmyMessage and TmyStatus.
#pragma once

inline constexpr const char* TEXT_DATA_FILE_ERROR = "データファイルの内容が正しくありませんでした";
inline constexpr const char* TEXT_SETTING_FILE_ERROR = "設定ファイルの内容が正しくありませんでした";
inline constexpr const char* TEXT_LEVEL_ERROR = "入力信号レベルが適正範囲からはずれています";
inline constexpr const char* TEXT_FFT_SAVE_ERROR = "FFTデータ保存できませんでした";
inline constexpr const char* TEXT_NOT_FOUND_SUFFIX = "が見つかりませんでした";
inline constexpr const char* TEXT_NO_RESPONSE_SUFFIX = "が応答しませんでした";
inline constexpr const char* TEXT_SEND_ERROR = "コマンド送信エラーです";
inline constexpr const char* TEXT_MEASURE_ERROR = "計測エラーで終了";
// After the model name: an unattended run whose unit sent nothing for five seconds.
inline constexpr const char* TEXT_STALLED_SUFFIX = "から5秒間データが届きませんでした";
inline constexpr const char* TEXT_DATA_SAVE_ERROR = "データ保存できませんでした";
