// One running copy per user: a lock file, plus a local socket on which the running copy
// listens so that a second start can ask it to come to the front.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <functional>
#include <memory>

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // name: "Kalvex"; the lock and the socket are per user.
    explicit TSingleInstance(const QString& name, QObject* parent = nullptr);

    // True when this is the only copy; it then listens for later starts.
    bool TryBecomeFirst();
    // Asks the running copy to show its window; true when it answered.
    bool AskFirstToShow();
    // Called in the first copy when a later start asks it to show itself.
    std::function<void()> onShowRequest;

private:
    QString serverName_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};
