// A serial server on loopback for the refusals and the flow control a real one (ser2net) never
// makes. It parses nothing: it plays fixed telnet bytes to its one client and keeps what it hears.
#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

class Rfc2217Stub : public QObject {
  public:
    // What the stub answers at connect, before the client has said anything.
    enum class Opening { Agree, RefuseComPort, SetBaud9600 };

    explicit Rfc2217Stub(Opening opening = Opening::Agree);

    bool listen();
    QString name() const;  // "rfc2217://127.0.0.1:N"

    // FLOWCONTROL-SUSPEND and FLOWCONTROL-RESUME to the client.
    void suspend();
    void resume();
    // Offers an option nobody has and waits for the refusal: everything the client sent before
    // has arrived, and it has read everything sent to it before.
    bool ping(int timeoutMs);
    static QByteArray pong();

    // Everything the client sent, telnet commands and doubled IACs as they came.
    QByteArray heard() const { return heard_; }

  private:
    void accept();

    Opening opening_;
    QTcpServer server_;
    QPointer<QTcpSocket> client_;
    QByteArray heard_;
};
