#include "rfc2217_stub.h"

#include <QTest>

namespace {

QByteArray hex(const char *text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// WILL and DO BINARY and SUPPRESS-GO-AHEAD, and COM-PORT-OPTION taken or refused.
const char *const kAgree = "FFFB00 FFFD00 FFFB03 FFFD03 FFFD2C";
const char *const kRefuseComPort = "FFFB00 FFFD00 FFFB03 FFFD03 FFFE2C";
// The answers to the tool's line settings, sent unasked: the client keeps them all the same.
const char *const kAnswers =
    "FFFA2C 65 0001C200 FFF0 FFFA2C 66 08 FFF0 FFFA2C 67 01 FFF0 FFFA2C 68 01 FFF0 "
    "FFFA2C 69 03 FFF0";

}  // namespace

Rfc2217Stub::Rfc2217Stub(Opening opening) : opening_(opening) {
    connect(&server_, &QTcpServer::newConnection, this, &Rfc2217Stub::accept);
}

bool Rfc2217Stub::listen() {
    return server_.listen(QHostAddress::LocalHost);
}

QString Rfc2217Stub::name() const {
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(server_.serverPort());
}

void Rfc2217Stub::suspend() {
    client_->write(hex("FFFA2C 6C FFF0"));
}

void Rfc2217Stub::resume() {
    client_->write(hex("FFFA2C 6D FFF0"));
}

QByteArray Rfc2217Stub::pong() {
    return hex("FFFC C8");
}

bool Rfc2217Stub::ping(int timeoutMs) {
    const int before = heard_.count(pong());
    client_->write(hex("FFFD C8"));
    return QTest::qWaitFor([&] { return heard_.count(pong()) > before; }, timeoutMs);
}

void Rfc2217Stub::accept() {
    QTcpSocket *socket = server_.nextPendingConnection();
    server_.close();  // one client
    client_ = socket;
    connect(socket, &QTcpSocket::readyRead, this, [this] { heard_ += client_->readAll(); });
    QByteArray opening = hex(opening_ == Opening::RefuseComPort ? kRefuseComPort : kAgree);
    if (opening_ != Opening::RefuseComPort) {
        opening += hex(kAnswers);
        if (opening_ == Opening::SetBaud9600) {
            opening.replace(hex("0001C200"), hex("00002580"));
        }
    }
    socket->write(opening);
}
