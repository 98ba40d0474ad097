#include "rfc2217_stub.h"

#include <QTest>

namespace {

constexpr quint8 kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
constexpr quint8 kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
constexpr quint8 kUnassignedOption = 200;
constexpr quint8 kSetBaudRate = 1, kSuspend = 8, kResume = 9;
constexpr quint8 kAnswerOffset = 100;

QByteArray bytes(std::initializer_list<quint8> list) {
    QByteArray out;
    for (quint8 b : list) {
        out.append(char(b));
    }
    return out;
}

QByteArray doubleIac(const QByteArray &data) {
    QByteArray out = data;
    return out.replace("\xff", 1, "\xff\xff", 2);
}

}  // namespace

Rfc2217Stub::Rfc2217Stub(QObject *parent) : QObject(parent) {
    connect(&server_, &QTcpServer::newConnection, this, &Rfc2217Stub::accept);
}

bool Rfc2217Stub::listen() {
    return server_.listen(QHostAddress::LocalHost);
}

QString Rfc2217Stub::name() const {
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(port());
}

void Rfc2217Stub::suspend() {
    suspended_ = true;
    write(bytes({kIac, kSb, kComPort, kSuspend + kAnswerOffset, kIac, kSe}));
}

void Rfc2217Stub::resume() {
    suspended_ = false;
    write(bytes({kIac, kSb, kComPort, kResume + kAnswerOffset, kIac, kSe}));
}

bool Rfc2217Stub::ping(int timeoutMs) {
    const int before = pongs_;
    write(bytes({kIac, kDo, kUnassignedOption}));
    return QTest::qWaitFor([&] { return pongs_ > before; }, timeoutMs);
}

void Rfc2217Stub::sendData(const QByteArray &data) {
    write(doubleIac(data));
}

void Rfc2217Stub::write(const QByteArray &data) {
    if (client_) {
        client_->write(data);
    }
}

void Rfc2217Stub::accept() {
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        if (client_) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        client_ = socket;
        state_ = State::Data;
        answered_.clear();
        connect(socket, &QTcpSocket::readyRead, this, &Rfc2217Stub::read);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void Rfc2217Stub::read() {
    QByteArray data;
    for (const char c : client_->readAll()) {
        const quint8 b = quint8(c);
        switch (state_) {
            case State::Data:
                if (b == kIac) {
                    state_ = State::Iac;
                } else {
                    data.append(c);
                }
                break;
            case State::Iac:
                state_ = State::Data;
                if (b == kIac) {
                    data.append(c);
                } else if (b == kSb) {
                    sub_.clear();
                    state_ = State::Sub;
                } else if (b >= kWill) {
                    verb_ = b;
                    state_ = State::Verb;
                }  // other commands (NOP, GA, ...) mean nothing on a serial line
                break;
            case State::Verb:
                negotiate(verb_, b);
                state_ = State::Data;
                break;
            case State::Sub:
                if (b == kIac) {
                    state_ = State::SubIac;
                } else {
                    sub_.append(c);
                }
                break;
            case State::SubIac:
                if (b == kIac) {
                    sub_.append(c);
                    state_ = State::Sub;
                } else {
                    subnegotiation(sub_);
                    state_ = State::Data;
                }
                break;
        }
    }
    if (!data.isEmpty()) {
        received_ += data;
        if (suspended_) {
            receivedWhileSuspended_ += data;
        }
        emit dataReceived();
    }
}

void Rfc2217Stub::negotiate(quint8 verb, quint8 option) {
    if (option == kUnassignedOption) {
        pongs_ += verb == kWont || verb == kWill ? 1 : 0;
        return;
    }
    const int key = verb << 8 | option;
    if (answered_.contains(key)) {
        return;
    }
    answered_.insert(key);
    const bool known = option == kBinary || option == kSuppressGoAhead || option == kComPort;
    if (verb == kWill) {
        const bool agree = known && !(option == kComPort && refuseComPort_);
        write(bytes({kIac, agree ? kDo : kDont, option}));
    } else if (verb == kDo) {
        // COM-PORT-OPTION is the client's to offer, not the server's.
        const bool agree = known && option != kComPort;
        write(bytes({kIac, agree ? kWill : kWont, option}));
    } else {
        write(bytes({kIac, verb == kWont ? kDont : kWont, option}));
    }
}

void Rfc2217Stub::subnegotiation(const QByteArray &sb) {
    if (sb.size() < 2 || quint8(sb[0]) != kComPort) {
        return;
    }
    const quint8 command = quint8(sb[1]);
    QByteArray value = sb.mid(2);
    settings_[command] = value;
    if (command == kSetBaudRate && baudRateAnswer_) {
        const quint32 r = *baudRateAnswer_;
        value = bytes({quint8(r >> 24), quint8(r >> 16), quint8(r >> 8), quint8(r)});
    }
    if (command == kSuspend || command == kResume) {
        return;  // the client's own flow control of us: nothing to answer
    }
    write(bytes({kIac, kSb, kComPort, quint8(command + kAnswerOffset)}) + doubleIac(value) +
          bytes({kIac, kSe}));
}
