// What the serial worker reads and writes: a serial port of this computer or a connection to a
// serial server on the network. Both open asynchronously and answer with opened(); one that
// fails under the worker says so once with lost(), and can then be watched for its return, so
// the receive path, the pacing and the reconnecting are the same for both.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class LineDevice : public QObject {
    Q_OBJECT

  public:
    using QObject::QObject;

    // Starts opening; opened() answers, possibly before this returns.
    virtual void open() = 0;
    // Closes, or gives up an open on its way without an answer.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual void write(const QByteArray &bytes) = 0;
    virtual void flush() = 0;
    virtual QByteArray readAll() = 0;
    // Why the last open failed, in words a user can act on.
    virtual QString errorText() const = 0;
    // What the user should know about the line once it is open; empty when it is the usual.
    virtual QString lineDescription() const { return QString(); }

    // After lost(): mayBeBack() when the device may be there again, at least every intervalMs.
    virtual void watchForReturn(int intervalMs) = 0;
    virtual void stopWatching() = 0;
    // Whether an open is worth trying now.
    virtual bool mayOpen() const { return true; }

  signals:
    void opened(bool success);
    void readyRead();
    void lost(QString message);
    void mayBeBack();
};

// The device a port name stands for: rfc2217:// and tcp:// names reach the network, any other
// name is a serial port of this computer. Nothing, with `why` said, for a network name that
// is malformed.
std::unique_ptr<LineDevice> makeLineDevice(const QString &name, QString *why);
