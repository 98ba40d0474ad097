// A serial port exported by a serial server: raw TCP, or telnet with RFC 2217's line settings.
// It counts as open once the connection is up and, for RFC 2217, every line setting has been
// answered as asked; a server that refuses the connection or closes it at once (a port in use)
// fails the open with its reason.
#pragma once

#include <QTcpSocket>
#include <QTimer>
#include <memory>

#include "line_device.h"
#include "network_port_name.h"

class TelnetClient;

class NetworkLineDevice : public LineDevice {
    Q_OBJECT

  public:
    // Connecting and, for RFC 2217, the answers to the line settings, together.
    static constexpr int kOpenTimeoutMs = 5000;
    // A raw connection that a server closes this soon was refused by it.
    static constexpr int kRawSettleMs = 150;
    // Writes the server holds back longer than this, or more bytes than this, count as a lost
    // connection: the frames would go out stale.
    static constexpr int kSuspendLimitMs = 10000;
    static constexpr int kMaxHeldBytes = 64 * 1024;

    NetworkLineDevice(const QString &name, const NetworkPortName &address);
    ~NetworkLineDevice() override;

    void open() override;
    void close() override;
    bool isOpen() const override { return state_ == State::Open; }
    void write(const QByteArray &bytes) override;
    void flush() override { socket_.flush(); }
    QByteArray readAll() override;
    QString errorText() const override { return errorText_; }
    QString lineDescription() const override;
    void watchForReturn(int intervalMs) override;
    void stopWatching() override { retry_.stop(); }

    void setSuspendLimitMs(int ms) { suspendLimit_.setInterval(ms); }

  private:
    enum class State { Closed, Connecting, Negotiating, Open };

    void onConnected();
    void onReadyRead();
    void onSocketError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void sendTelnetOutput();
    void checkNegotiation();
    void becomeOpen();
    void failOpen(const QString &why);
    void loseConnection(const QString &why);
    QString serverWords() const;
    QString closedMessage() const;

    QString name_;
    NetworkPortName address_;
    QTcpSocket socket_;
    std::unique_ptr<TelnetClient> telnet_;
    State state_ = State::Closed;
    QByteArray received_;  // the line's data not yet read; before the open, the server's words
    QTimer openTimeout_;
    QTimer rawSettle_;
    QTimer suspendLimit_;
    QTimer retry_;
    QString errorText_;
};
