#include <QApplication>
#include <gtest/gtest.h>

#include "graph_fixture.h"
#include "ui_font.h"

int main(int argc, char** argv) {
    PrepareGraphApp();
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
