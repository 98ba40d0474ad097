#include "network_line_device.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

#include "telnet_client.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("CommProcessor", text);
}

// What a server may say before it closes a connection it will not serve is bounded: anything
// after it is not worth a user's reading.
constexpr int kMaxServerWords = 200;

QString parityName(uint8_t parity) {
    switch (parity) {
        case 1:
            return tr("no parity");
        case 2:
            return tr("odd parity");
        case 3:
            return tr("even parity");
        case 4:
            return tr("mark parity");
        case 5:
            return tr("space parity");
    }
    return tr("parity %1").arg(parity);
}

QString stopSizeName(uint8_t size) {
    return size == 3   ? tr("1.5 stop bits")
           : size == 2 ? tr("2 stop bits")
                       : tr("%1 stop bit").arg(size);
}

QString controlName(uint8_t control) {
    switch (control) {
        case 1:
            return tr("no flow control");
        case 2:
            return tr("XON/XOFF flow control");
        case 3:
            return tr("RTS/CTS flow control");
    }
    return tr("flow control %1").arg(control);
}

// One setting as a user reads it, for the value given.
QString settingText(uint8_t command, uint32_t value) {
    switch (command) {
        case telnet::kSetBaudRate:
            return tr("%1 baud").arg(value);
        case telnet::kSetDataSize:
            return tr("%1 data bits").arg(value);
        case telnet::kSetParity:
            return parityName(uint8_t(value));
        case telnet::kSetStopSize:
            return stopSizeName(uint8_t(value));
        case telnet::kSetControl:
            return controlName(uint8_t(value));
    }
    return QString::number(value);
}

// The system's keepalive first asks after two hours; a server gone from a quiet line should be
// noticed about as soon as a frame's retransmission would notice it.
void setKeepAliveTimes(int fd) {
#ifdef TCP_KEEPIDLE
    const int idleSeconds = 10;
    const int intervalSeconds = 5;
    const int probes = 3;
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
#else
    (void)fd;
#endif
}

}  // namespace

NetworkLineDevice::NetworkLineDevice(const QString &name, const NetworkPortName &address)
    : name_(name), address_(address) {
    for (QObject *child : std::initializer_list<QObject *>{&socket_, &openTimeout_, &rawSettle_,
                                                           &suspendLimit_, &retry_}) {
        child->setParent(this);  // moves to the worker's thread with it
    }
    openTimeout_.setSingleShot(true);
    openTimeout_.setInterval(kOpenTimeoutMs);
    rawSettle_.setSingleShot(true);
    rawSettle_.setInterval(kRawSettleMs);
    suspendLimit_.setSingleShot(true);
    suspendLimit_.setInterval(kSuspendLimitMs);
    connect(&socket_, &QTcpSocket::connected, this, &NetworkLineDevice::onConnected);
    connect(&socket_, &QTcpSocket::readyRead, this, &NetworkLineDevice::onReadyRead);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &NetworkLineDevice::onSocketError);
    connect(&socket_, &QTcpSocket::disconnected, this, &NetworkLineDevice::onDisconnected);
    connect(&openTimeout_, &QTimer::timeout, this, [this] {
        failOpen(state_ == State::Negotiating
                     ? tr("%1: the serial server did not answer the line settings within %2 s. "
                          "Is its accepter telnet(rfc2217)? For the bytes as they are, open "
                          "tcp://%3.")
                           .arg(name_)
                           .arg(kOpenTimeoutMs / 1000)
                           .arg(address_.hostAndPort())
                     : tr("%1: no answer from %2 within %3 s.")
                           .arg(name_, address_.hostAndPort())
                           .arg(kOpenTimeoutMs / 1000));
    });
    connect(&rawSettle_, &QTimer::timeout, this, &NetworkLineDevice::becomeOpen);
    connect(&suspendLimit_, &QTimer::timeout, this, [this] {
        loseConnection(tr("%1: the serial server held our writes back for more than %2 s.")
                           .arg(name_)
                           .arg(suspendLimit_.interval() / 1000.0));
    });
    connect(&retry_, &QTimer::timeout, this, &LineDevice::mayBeBack);
}

// The socket would report its own close while the members it reports to are being destroyed.
NetworkLineDevice::~NetworkLineDevice() {
    socket_.disconnect(this);
    close();
}

void NetworkLineDevice::open() {
    close();
    errorText_.clear();
    state_ = State::Connecting;
    openTimeout_.start();
    socket_.connectToHost(address_.host, address_.port);
}

void NetworkLineDevice::close() {
    openTimeout_.stop();
    rawSettle_.stop();
    suspendLimit_.stop();
    state_ = State::Closed;  // first: the abort below reports nothing to act on
    socket_.abort();
    telnet_.reset();
    received_.clear();
}

void NetworkLineDevice::onConnected() {
    // A frame is small and waits for its ACK: it must not wait for Nagle's timer. Keepalive
    // notices a server that went away while the line was quiet.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket_.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    setKeepAliveTimes(int(socket_.socketDescriptor()));
    state_ = State::Negotiating;
    if (address_.kind == NetworkPortName::RawTcp) {
        rawSettle_.start();
        return;
    }
    telnet_ = std::make_unique<TelnetClient>();
    telnet_->start(SerialLineRequest());
    sendTelnetOutput();
}

void NetworkLineDevice::onReadyRead() {
    const QByteArray bytes = socket_.readAll();
    const bool wasSuspended = telnet_ && telnet_->suspended();
    const QByteArray data = telnet_ ? telnet_->receive(bytes) : bytes;
    if (state_ == State::Negotiating && received_.size() + data.size() > kMaxHeldBytes) {
        received_.clear();  // more than words: what it says before the open is not kept
    }
    received_ += data;
    if (telnet_) {
        sendTelnetOutput();
        if (wasSuspended && !telnet_->suspended()) {
            suspendLimit_.stop();
        }
    }
    if (state_ == State::Negotiating) {
        checkNegotiation();
    } else if (state_ == State::Open && !received_.isEmpty()) {
        emit readyRead();
    }
}

void NetworkLineDevice::sendTelnetOutput() {
    if (telnet_ && telnet_->hasOutgoing()) {
        socket_.write(telnet_->takeOutgoing());
    }
}

void NetworkLineDevice::checkNegotiation() {
    if (!telnet_) {
        return;
    }
    switch (telnet_->failure()) {
        case TelnetClient::Failure::None:
            if (telnet_->ready()) {
                becomeOpen();
            }
            return;
        case TelnetClient::Failure::ComPortRefused:
            failOpen(tr("%1: the serial server refused the line settings: it does not take RFC "
                        "2217's COM-PORT option. Turn on rfc2217 in its telnet accepter, or open "
                        "tcp://%2 for the bytes as they are.")
                         .arg(name_, address_.hostAndPort()));
            return;
        case TelnetClient::Failure::BinaryRefused:
            failOpen(tr("%1: the serial server refused binary transmission, which the module's "
                        "frames need.")
                         .arg(name_));
            return;
        case TelnetClient::Failure::SettingRefused: {
            const TelnetClient::Refusal &r = telnet_->refusal();
            failOpen(tr("%1: the serial server refused the line settings: asked for %2, it set %3.")
                         .arg(name_, settingText(r.command, r.asked),
                              settingText(r.command, r.answered)));
            return;
        }
    }
}

void NetworkLineDevice::becomeOpen() {
    openTimeout_.stop();
    state_ = State::Open;
    emit opened(true);
    // The server opens the device as the connection comes, so the module may have spoken
    // while the connection settled: a frame it repeats until acknowledged must not be lost.
    if (!received_.isEmpty()) {
        emit readyRead();
    }
}

void NetworkLineDevice::failOpen(const QString &why) {
    close();
    errorText_ = why;
    emit opened(false);
}

void NetworkLineDevice::loseConnection(const QString &why) {
    close();
    errorText_ = why;
    emit lost(why);
}

void NetworkLineDevice::write(const QByteArray &bytes) {
    if (state_ != State::Open) {
        return;
    }
    if (!telnet_) {
        socket_.write(bytes);
        return;
    }
    telnet_->send(bytes);
    // A quiet line may stay suspended as long as the server likes; a frame held is what ages.
    if (telnet_->suspended() && !suspendLimit_.isActive()) {
        suspendLimit_.start();
    }
    if (telnet_->heldBytes() > kMaxHeldBytes) {
        loseConnection(tr("%1: the serial server held back more than %2 bytes of our writes.")
                           .arg(name_)
                           .arg(kMaxHeldBytes));
        return;
    }
    sendTelnetOutput();
}

QByteArray NetworkLineDevice::readAll() {
    if (state_ != State::Open) {
        return QByteArray();
    }
    QByteArray data;
    data.swap(received_);
    return data;
}

// The server's own words before it closed a connection: printable text, one line.
QString NetworkLineDevice::serverWords() const {
    QString words = QString::fromLatin1(received_.left(kMaxServerWords));
    words.replace(QRegularExpression(QStringLiteral("[^\\x20-\\x7e]+")), QStringLiteral(" "));
    return words.simplified();
}

QString NetworkLineDevice::closedMessage() const {
    // Once open, what came before the close was the module's.
    const QString words = state_ == State::Open ? QString() : serverWords();
    if (words.contains(QLatin1String("in use"), Qt::CaseInsensitive)) {
        return tr("%1 is in use by another client of the serial server.").arg(name_);
    }
    if (!words.isEmpty()) {
        return tr("%1: the serial server closed the connection, saying: %2").arg(name_, words);
    }
    return tr("%1: the serial server closed the connection.").arg(name_);
}

void NetworkLineDevice::onSocketError(QAbstractSocket::SocketError error) {
    if (state_ == State::Closed) {
        return;
    }
    QString why;
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            why = tr("%1: the connection was refused. Is the serial server running, and listening "
                     "on port %2 of %3?")
                      .arg(name_)
                      .arg(address_.port)
                      .arg(address_.host);
            break;
        case QAbstractSocket::HostNotFoundError:
            why = tr("%1: host %2 was not found.").arg(name_, address_.host);
            break;
        case QAbstractSocket::RemoteHostClosedError:
            why = closedMessage();
            break;
        default:
            why = tr("%1: %2").arg(name_, socket_.errorString());
            break;
    }
    if (state_ == State::Open) {
        loseConnection(why);
    } else {
        failOpen(why);
    }
}

// A close without an error (the server shut its side down cleanly).
void NetworkLineDevice::onDisconnected() {
    if (state_ == State::Open) {
        loseConnection(closedMessage());
    } else if (state_ != State::Closed) {
        failOpen(closedMessage());
    }
}

QString NetworkLineDevice::lineDescription() const {
    if (!telnet_) {
        return tr(
            "raw TCP: the bytes pass as they are, and the line settings are the serial "
            "server's own");
    }
    QStringList settings;
    for (const uint8_t command : telnet::kLineSettings) {
        settings << settingText(command, telnet_->answer(command).value_or(0));
    }
    return tr("the serial server set %1").arg(settings.join(QLatin1String(", ")));
}

void NetworkLineDevice::watchForReturn(int intervalMs) {
    retry_.start(intervalMs);
}
