#include "update_server.h"

#include <QTcpSocket>
#include <QTimer>

namespace {
// A client with more to say than a request line and headers is not asking for the list.
constexpr int kMaxRequestBytes = 8192;
constexpr qint64 kEndlessChunkBytes = 64 * 1024;
constexpr int kTrickleIntervalMs = 20;
}  // namespace

UpdateServer::UpdateServer(QObject *parent) : QObject(parent), list_(demoList()) {
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = server_.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        }
    });
}

bool UpdateServer::listen(quint16 port) {
    return server_.listen(QHostAddress::LocalHost, port);
}

QByteArray UpdateServer::demoList() {
    return "fw/KOVA-3G/kova_3g_1.4.0.jad\r\n"
           "fw/KOVA-3G/kova_3g_1.3.2.jad\r\n"
           "fw/KOVA-4G/kova_4g_2.0.1.jad\r\n"
           "readme.txt\r\n";
}

void UpdateServer::serve(QTcpSocket *socket) {
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    if (request.size() > kMaxRequestBytes) {
        socket->abort();
        return;
    }
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n")) {
        return;
    }
    socket->setProperty("answered", true);
    const bool listAsked = request.startsWith("GET /cellularModem/fw_list.php ");
    if (answer_ == Answer::Silence) {
        return;
    }
    if (!listAsked || answer_ == Answer::NotFound) {
        socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
        return;
    }
    const QByteArray header =
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n";
    if (answer_ == Answer::Endless) {
        socket->write(header + "\r\n");
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { feedEndless(socket); });
        feedEndless(socket);
        return;
    }
    if (answer_ == Answer::Trickle && !list_.isEmpty()) {
        socket->write(header + "Content-Length: " + QByteArray::number(list_.size()) + "\r\n\r\n");
        auto *drip = new QTimer(socket);
        connect(drip, &QTimer::timeout, socket, [this, socket, drip, sent = 0]() mutable {
            socket->write(list_.mid(sent++, 1));
            if (sent >= list_.size()) {
                drip->stop();
                socket->disconnectFromHost();
            }
        });
        drip->start(kTrickleIntervalMs);
        return;
    }
    socket->write(header + "Content-Length: " + QByteArray::number(list_.size()) + "\r\n\r\n" +
                  list_);
    socket->disconnectFromHost();
}

void UpdateServer::feedEndless(QTcpSocket *socket) {
    while (socket->bytesToWrite() < kEndlessChunkBytes && !list_.isEmpty()) {
        socket->write(list_);
    }
}
