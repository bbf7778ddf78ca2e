// The program's fonts. The forms ask for the Japanese proportional Gothic face of their home
// platform; here IPAPGothic stands in for it, with the same metrics.
#pragma once

#include <QFont>

inline constexpr const char* FORM_FONT_FAMILY = "ＭＳ Ｐゴシック";

// Maps the forms' face to the installed one. Call once after the QApplication exists.
void InstallFontSubstitutions();

// The forms' face at a height in pixels.
QFont FormFont(int pixelHeight, bool bold = false);
