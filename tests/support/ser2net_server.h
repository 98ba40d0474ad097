// The real ser2net in front of one serial device, for tests that reach the device over the
// network: a raw TCP accepter and a telnet accepter with RFC 2217 line settings, each on a free
// loopback port. ser2net runs in a session of its own and dies with this object (or with the
// test program).
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class Ser2netServer {
  public:
    // Empty when ser2net can run here; otherwise why not, for a QSKIP.
    static QString unavailableReason();

    explicit Ser2netServer(const QString &devicePath);
    ~Ser2netServer();

    // Picks two free ports, writes the configuration and waits until ser2net listens on both;
    // false with errorString() when it does not.
    bool start();
    void stop();
    // stop() and start() on the same ports: a server that went away and came back.
    bool restart();
    bool isRunning() const;
    QString errorString() const { return error_; }

    quint16 rawPort() const { return rawPort_; }
    quint16 rfc2217Port() const { return rfc2217Port_; }
    QString rawName() const;
    QString rfc2217Name() const;

  private:
    bool launch();
    bool listensOn(quint16 port) const;

    QString device_;
    QTemporaryDir folder_;
    std::unique_ptr<QProcess> process_;
    quint16 rawPort_ = 0;
    quint16 rfc2217Port_ = 0;
    QString error_;
};
