// Kalvex: one running copy, the main window and its event loop.
#include <QMessageBox>
#include <exception>

#include "guarded_app.h"
#include "main_window.h"
#include "mymessage.h"
#include "qt_dialogs.h"
#include "single_instance.h"
#include "ui_font.h"

int main(int argc, char** argv) {
    TGuardedApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kalvex"));
    QApplication::setOrganizationName(QStringLiteral("Kalvex"));
    InstallFontSubstitutions();
    QApplication::setFont(FormFont(12));
    // Qt's own dialogs and buttons speak Japanese like the rest of the program.
    InstallQtTranslations(&app);

    TSingleInstance instance(QStringLiteral("Kalvex"));
    if (!instance.TryBecomeFirst()) {
        QMessageBox::critical(nullptr, QStringLiteral("Kalvex"),
                              QString::fromUtf8("Kalvex はすでに起動しています"));
        instance.AskFirstToShow();
        return 1;
    }

    std::unique_ptr<TFormMain> form;
    try {
        form = std::make_unique<TFormMain>();
    } catch (const std::bad_alloc&) {
        QMessageBox::critical(nullptr, QStringLiteral("Kalvex"),
                              QString::fromStdString(TmyMessage::MemoryErrorText("TFormMain")));
        return 1;
    }
    // The memory error box has been shown; nothing else may run.
    if (form->CreationFailed()) return 1;
    TFormMain* f = form.get();
    app.onUnhandled = [f](const std::string& what) { f->HandleUnhandledException(what); };
    instance.onShowRequest = [f] {
        f->showNormal();
        f->raise();
        f->activateWindow();
    };
    const int rc = QApplication::exec();
    app.onUnhandled = nullptr;
    return rc;
}
