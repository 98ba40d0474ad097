// The serial worker: owns the port on a thread of its own, feeds received bytes to the link,
// runs the engine and writes the frames it picks. The GUI thread talks to it by signals only.
#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QThread>
#include <atomic>

#include "device_watch.h"

class QEventLoop;

class CommProcessor : public QObject {
    Q_OBJECT

  public:
    CommProcessor();
    ~CommProcessor() override;

    // Safe from any thread: a copy of the port's state as the worker last saw it.
    bool isPortOpen() const { return portOpen_.load(); }
    QString portName() const;
    QString portErrorText() const;

    static constexpr int kWakeIntervalMs = 333;
    // How often a lost port's device is looked for besides the watch on its folder, which
    // notices it at once where the system tells.
    static constexpr int kWatchIntervalMs = 500;
    void setWatchIntervalMs(int ms) { watchIntervalMs_ = ms; }
    // Whether a lost port's device is being watched for; safe from any thread.
    bool isWatching() const { return watching_.load(); }

    // What the user reads when an open port goes: the port named, and the system's reason
    // when it adds something.
    static QString portLossMessage(const QString &port, const QString &reason);

    // Writes one frame per wake-up instead of every frame ready, for comparison in the
    // benchmarks.
    void setOneFramePerWakeup(bool one) { oneFramePerWakeup_ = one; }

  signals:
    void OpenSerialPort(QString comPort);
    void OpenSerialPortDone(bool success);
    void DoCloseSerialPort();
    void RxUartDataReady();
    void UartMessageSent(QByteArray messageBytes);
    void finished();
    // After DoCloseSerialPort has been carried out.
    void SerialPortClosed();
    // The open port failed under us (adapter unplugged, the other side of a pty closed); it has
    // been closed, and its device is watched for until it returns or the user closes or opens
    // a port. Emitted once per loss.
    void SerialPortLost(QString errorText);
    // The lost port's device returned and was opened again with the same settings.
    void SerialPortReconnected(QString port);
    // The lost port's device is there but would not open; emitted when the reason changes.
    void ReconnectFailed(QString reason);

  public slots:
    void OnOpenSerialPort(QString comPort);
    void OnDoCloseSerialPort();
    void ProcessUartIO();
    void OnRxUartData();

  private slots:
    void OnSerialPortError(QSerialPort::SerialPortError error);
    void lookForLostPort();
    void wake();

  private:
    bool openPort(const QString &name);
    void stopWatching();
    void writeDueFrames();
    void notePortState(const QString &requestedName = QString(),
                       const QString &errorText = QString());

    QSerialPort serialPort;
    QEventLoop *waiting_ = nullptr;  // the worker's loop while it waits; worker thread only
    QByteArray rxBuffer;
    QThread thread;
    std::atomic<bool> stopRequested{false};

    std::atomic<bool> oneFramePerWakeup_{false};
    std::atomic<int> watchIntervalMs_{kWatchIntervalMs};
    std::atomic<bool> watching_{false};
    DeviceWatch deviceWatch_;
    QString watchedPort_;
    QString lastWatchReason_;
    std::atomic<bool> portOpen_{false};
    mutable QMutex portInfoMutex_;
    QString portName_;
    QString portErrorText_;
    QThread *ownerThread_;
};
