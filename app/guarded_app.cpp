#include "guarded_app.h"

#include <exception>

bool DeliverGuarded(const std::function<bool()>& deliver,
                    const std::function<void(const std::string&)>& onUnhandled) {
    std::string what;
    try {
        return deliver();
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    if (onUnhandled) onUnhandled(what);
    return false;
}

bool TGuardedApplication::notify(QObject* receiver, QEvent* event) {
    return DeliverGuarded([&] { return QApplication::notify(receiver, event); }, onUnhandled);
}
