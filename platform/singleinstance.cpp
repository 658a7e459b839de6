#include "singleinstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QTimer>

#include <unistd.h>

#include <deque>
#include <memory>

namespace vorel::platform {

struct TSingleInstance::Impl {
    QString path;
    std::unique_ptr<QLocalServer> server;
    std::unique_ptr<QTimer> watch;
    std::deque<QPointer<QLocalSocket>> open; // connections being read, oldest first
};

namespace {

QString runtimeFolder() {
    const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QDir(QString::fromLocal8Bit(xdg)).exists())
        return QString::fromLocal8Bit(xdg);
    return QDir::tempPath();
}

bool deliver(const QString &path, const std::string &message, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    // NUL ends a message: it is the one byte a path cannot hold (a newline can).
    socket.write(QByteArray::fromStdString(message));
    socket.write(QByteArray(1, '\0'));
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return true;
}

} // namespace

std::string TSingleInstance::SocketPath(const std::string &name) {
    // The name may hold characters a file name should not; keep it readable.
    QString safe;
    for (QChar c : QString::fromStdString(name))
        safe += (c.isLetterOrNumber() || c == '.' || c == '-') ? c : QChar('_');
    return (runtimeFolder() + "/vorel-" + QString::number(geteuid()) + "-" + safe).toStdString();
}

TSingleInstance::TSingleInstance(const std::string &name) : d_(std::make_unique<Impl>()) {
    d_->path = QString::fromStdString(SocketPath(name));
}

TSingleInstance::~TSingleInstance() {
    d_->watch.reset();
    d_->server.reset();
}

bool TSingleInstance::Claim() {
    // Two starts at the same moment must not both remove and re-create the socket.
    QLockFile lock(d_->path + ".lock");
    lock.setStaleLockTime(5000);
    if (!lock.tryLock(3000))
        return false;
    {
        QLocalSocket probe;
        probe.connectToServer(d_->path);
        if (probe.waitForConnected(300))
            return false;
    }
    listen();
    // The server can close under us (out of descriptors, its socket file
    // removed): a later start would then open a second window. Checked often
    // enough that a hand-over after it waits at most this long.
    d_->watch = std::make_unique<QTimer>();
    d_->watch->setInterval(RecoverMs);
    QObject::connect(d_->watch.get(), &QTimer::timeout, d_->watch.get(), [this] {
        if (!d_->server || !d_->server->isListening() || !QFileInfo::exists(d_->path))
            listen();
    });
    d_->watch->start();
    return true;
}

void TSingleInstance::listen() {
    d_->server.reset();
    d_->open.clear();
    QLocalServer::removeServer(d_->path); // a crashed instance's socket, or our closed one
    d_->server = std::make_unique<QLocalServer>();
    d_->server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!d_->server->listen(d_->path)) {
        d_->server.reset(); // run alone rather than refuse to start; tried again later
        return;
    }
    QLocalServer *server = d_->server.get();
    QObject::connect(server, &QLocalServer::newConnection, server, [this, server] {
        while (QLocalSocket *s = server->nextPendingConnection()) {
            // A bounded number of callers at once, each for a short time: idle
            // connections must not take every descriptor the program has. The
            // newest caller is the one starting now: the oldest makes room.
            std::erase_if(d_->open, [](const QPointer<QLocalSocket> &p) { return p.isNull(); });
            while (d_->open.size() >= MaxConnections) {
                if (QLocalSocket *oldest = d_->open.front()) {
                    oldest->abort();
                    oldest->deleteLater();
                }
                d_->open.pop_front();
            }
            d_->open.emplace_back(s);
            QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            QTimer::singleShot(ConnectionMs, s, [s] {
                s->abort();
                s->deleteLater();
            });
            auto pending = std::make_shared<QByteArray>();
            auto handled = std::make_shared<int>(0);
            QObject::connect(s, &QLocalSocket::readyRead, s, [this, s, pending, handled] {
                pending->append(s->readAll());
                for (qsizetype end; (end = pending->indexOf('\0')) >= 0;) {
                    const QByteArray line = pending->left(end);
                    pending->remove(0, end + 1);
                    if (++*handled > MaxMessagesPerConnection || line.size() > MaxMessageBytes)
                        continue;
                    // Handled from the event loop, not inside the socket's signal:
                    // the handler may run a nested loop (a message box) in which
                    // the socket closes and is deleted.
                    QTimer::singleShot(0, d_->server.get(), [this, message = line.toStdString()] {
                        if (OnMessage)
                            OnMessage(message);
                    });
                }
                // A message longer than any path ends the connection.
                if (pending->size() > MaxMessageBytes) {
                    s->abort();
                    s->deleteLater();
                }
            });
        }
    });
}

bool TSingleInstance::Send(const std::string &message, int timeoutMs) {
    return deliver(d_->path, message, timeoutMs);
}

} // namespace vorel::platform
