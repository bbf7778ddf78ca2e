// The program's application object: an exception that would leave an event handler ends up
// with the main window (error box, init file, clean end) instead of killing the program.
#pragma once

#include <QApplication>
#include <functional>
#include <string>

// Runs deliver and returns its result. An exception that escapes it is handed to onUnhandled
// with its text (empty when it carries none) and false is returned.
bool DeliverGuarded(const std::function<bool()>& deliver,
                    const std::function<void(const std::string&)>& onUnhandled);

class TGuardedApplication : public QApplication {
public:
    TGuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;

    std::function<void(const std::string&)> onUnhandled;
};
