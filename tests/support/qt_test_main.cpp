// main() for test binaries that need a QApplication: offscreen unless told otherwise, with the
// program's font substitution.
#include <gtest/gtest.h>

#include <QApplication>

#if __has_include("ui_font.h")
#include "ui_font.h"
#define KALVEX_HAS_UI_FONT 1
#endif

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#ifdef KALVEX_HAS_UI_FONT
    InstallFontSubstitutions();
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
