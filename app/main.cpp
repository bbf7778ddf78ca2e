// Kalvex: one running copy, the main window and its event loop.
#include <QApplication>
#include <QMessageBox>

#include "main_window.h"
#include "single_instance.h"
#include "ui_font.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kalvex"));
    QApplication::setOrganizationName(QStringLiteral("Kalvex"));
    InstallFontSubstitutions();
    QApplication::setFont(FormFont(12));

    TSingleInstance instance(QStringLiteral("Kalvex"));
    if (!instance.TryBecomeFirst()) {
        QMessageBox::critical(nullptr, QStringLiteral("Kalvex"),
                              QString::fromUtf8("Kalvex はすでに起動しています"));
        instance.AskFirstToShow();
        return 1;
    }

    TFormMain form;
    instance.onShowRequest = [&form] {
        form.showNormal();
        form.raise();
        form.activateWindow();
    };
    return QApplication::exec();
}
