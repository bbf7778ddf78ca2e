#include "single_instance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

TSingleInstance::TSingleInstance(const QString& name, QObject* parent) : QObject(parent) {
    serverName_ = QStringLiteral("%1-%2").arg(name).arg(::getuid());
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    lock_ = std::make_unique<QLockFile>(QDir(dir).filePath(serverName_ + QStringLiteral(".lock")));
    lock_->setStaleLockTime(0);
}

bool TSingleInstance::TryBecomeFirst() {
    // A lock left by a copy that crashed is stale and taken over.
    if (!lock_->tryLock(100)) return false;
    QLocalServer::removeServer(serverName_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(serverName_);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = server_.nextPendingConnection()) {
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                if (s->readAll().startsWith("show") && onShowRequest) onShowRequest();
                s->write("ok");
                s->flush();
                s->disconnectFromServer();
            });
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        }
    });
    return true;
}

bool TSingleInstance::AskFirstToShow() {
    QLocalSocket s;
    s.connectToServer(serverName_);
    if (!s.waitForConnected(1000)) return false;
    s.write("show\n");
    s.flush();
    return s.waitForReadyRead(1000);
}
