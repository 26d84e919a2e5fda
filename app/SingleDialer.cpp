// SingleDialer: the local socket between a new start of the program and the running dialer.
#include "app/SingleDialer.h"

#include "app/CommandLine.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

namespace app {

namespace {

constexpr qint64 kMaxLineBytes = 4096; // a link is at most 128 characters
constexpr int kServeTimeoutMs = 3000;  // a client that says nothing is dropped

} // namespace

QString DialerSocketName() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)).filePath(QStringLiteral("orvodial-dialer"));
}

bool HandToRunningDialer(const std::optional<std::string>& link, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(DialerSocketName());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    const QByteArray line = link ? "link " + QByteArray::fromStdString(*link) + "\n" : QByteArray("open\n");
    socket.write(line);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    return socket.readLine().trimmed() == "ok";
}

DialerServer::DialerServer(LinkHandler onLink, QObject* parent) : QObject(parent), onLink_(std::move(onLink)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection())
            Serve(socket);
    });
}

bool DialerServer::Listen(QString& error) {
    const QString name = DialerSocketName();
    if (server_.listen(name))
        return true;
    if (server_.serverError() == QAbstractSocket::AddressInUseError) {
        // Nobody answered on it (the caller tried first): a crashed dialer's socket.
        QLocalServer::removeServer(name);
        if (server_.listen(name))
            return true;
    }
    error = server_.errorString();
    return false;
}

void DialerServer::Serve(QLocalSocket* socket) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    auto* timeout = new QTimer(socket);
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, socket, &QLocalSocket::abort);
    timeout->start(kServeTimeoutMs);
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > kMaxLineBytes)
                socket->abort();
            return;
        }
        const QByteArray line = socket->readLine(kMaxLineBytes).trimmed();
        std::optional<std::string> number;
        bool understood = line == "open";
        if (line.startsWith("link ")) {
            const LinkNumber n = NumberFromLink(line.mid(5).toStdString());
            understood = n.error.empty();
            number = n.number;
        }
        socket->write(understood ? "ok\n" : "refused\n");
        socket->flush();
        socket->disconnectFromServer();
        if (understood)
            onLink_(number);
    });
}

} // namespace app
