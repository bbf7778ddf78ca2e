#include "ui_font.h"

void InstallFontSubstitutions() {
    QFont::insertSubstitution(QString::fromUtf8(FORM_FONT_FAMILY), QStringLiteral("IPAPGothic"));
}

QFont FormFont(int pixelHeight, bool bold) {
    QFont f(QString::fromUtf8(FORM_FONT_FAMILY));
    f.setPixelSize(pixelHeight);
    f.setBold(bold);
    return f;
}
