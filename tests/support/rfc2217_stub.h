// A serial server on loopback that a test scripts: the refusals and the flow control a real one
// (ser2net) never makes. It speaks just enough telnet of its own (RFC 854, RFC 2217): it agrees
// to BINARY, SUPPRESS-GO-AHEAD and COM-PORT-OPTION, refuses every other option, and answers
// each line setting with the value asked unless told otherwise. One client at a time.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <optional>

class Rfc2217Stub : public QObject {
    Q_OBJECT

  public:
    explicit Rfc2217Stub(QObject *parent = nullptr);

    bool listen();
    quint16 port() const { return server_.serverPort(); }
    QString name() const;  // "rfc2217://127.0.0.1:N"
    bool hasClient() const { return client_ && client_->state() == QTcpSocket::ConnectedState; }

    // Answers the client's WILL COM-PORT-OPTION with DONT.
    void setRefuseComPort(bool refuse) { refuseComPort_ = refuse; }
    // Answers SET-BAUDRATE with this rate instead of the one asked.
    void setBaudRateAnswer(quint32 rate) { baudRateAnswer_ = rate; }

    // FLOWCONTROL-SUSPEND and FLOWCONTROL-RESUME to the client.
    void suspend();
    void resume();
    // Asks the client for an option nobody has and waits for its refusal: everything it sent
    // before has arrived, and it has read everything sent to it before.
    bool ping(int timeoutMs);
    // Line data to the client, IAC doubled.
    void sendData(const QByteArray &data);

    // Line data from the client (doubled IACs undone), and the part of it that came while
    // the client was suspended.
    QByteArray received() const { return received_; }
    QByteArray receivedWhileSuspended() const { return receivedWhileSuspended_; }
    // The value of each COM-PORT-OPTION command the client sent last, by command.
    QMap<quint8, QByteArray> settings() const { return settings_; }

  signals:
    void dataReceived();

  private:
    void accept();
    void read();
    void negotiate(quint8 verb, quint8 option);
    void subnegotiation(const QByteArray &sb);
    void write(const QByteArray &bytes);

    enum class State { Data, Iac, Verb, Sub, SubIac };

    QTcpServer server_;
    QPointer<QTcpSocket> client_;
    State state_ = State::Data;
    quint8 verb_ = 0;
    QByteArray sub_;
    QSet<int> answered_;  // verb << 8 | option: each request is answered once, so no loops
    bool refuseComPort_ = false;
    std::optional<quint32> baudRateAnswer_;
    bool suspended_ = false;
    int pongs_ = 0;
    QByteArray received_;
    QByteArray receivedWhileSuspended_;
    QMap<quint8, QByteArray> settings_;
};
