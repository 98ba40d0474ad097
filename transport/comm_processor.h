// The serial worker: owns the port on a thread of its own, feeds received bytes to the link,
// runs the engine and writes the frames it picks. The GUI thread talks to it by signals only.
// The port is a serial port of this computer or a serial server's on the network (line_device.h).
#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>

class QEventLoop;
class LineDevice;

class CommProcessor : public QObject {
    Q_OBJECT

  public:
    CommProcessor();
    ~CommProcessor() override;

    // Safe from any thread: a copy of the port's state as the worker last saw it.
    bool isPortOpen() const { return portOpen_.load(); }
    QString portName() const;
    QString portErrorText() const;
    // What the user should know about the open line (a network port's settings); may be empty.
    QString portLineDescription() const;

    static constexpr int kWakeIntervalMs = 333;
    // How often a lost port's device is looked for besides the watch on its folder, which
    // notices it at once where the system tells.
    static constexpr int kWatchIntervalMs = 500;
    void setWatchIntervalMs(int ms) { watchIntervalMs_ = ms; }
    // Whether a lost port's device is being watched for; safe from any thread.
    bool isWatching() const { return watching_.load(); }

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
    // The open port failed under us (adapter unplugged, the other side of a pty closed, the
    // serial server gone); it has been closed, and its device is watched for until it returns
    // or the user closes or opens a port. Emitted once per loss.
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
    void lookForLostPort();
    void wake();

  private:
    // Who asked for the open on its way: the user (answered by OpenSerialPortDone) or the
    // watch for a lost port.
    enum class Opening { None, Asked, Reconnect };

    void onDeviceOpened(bool success);
    void onDeviceLost(const QString &message);
    void stopWatching();
    void writeDueFrames();
    void notePortState(const QString &requestedName = QString(),
                       const QString &errorText = QString());

    LineDevice *device_ = nullptr;  // a child; made anew for each port asked for
    Opening opening_ = Opening::None;
    QEventLoop *waiting_ = nullptr;  // the worker's loop while it waits; worker thread only
    QByteArray rxBuffer;
    QThread thread;
    std::atomic<bool> stopRequested{false};

    std::atomic<bool> oneFramePerWakeup_{false};
    std::atomic<int> watchIntervalMs_{kWatchIntervalMs};
    std::atomic<bool> watching_{false};
    QString lastWatchReason_;
    std::atomic<bool> portOpen_{false};
    mutable QMutex portInfoMutex_;
    QString portName_;
    QString portErrorText_;
    QString portLineDescription_;
    QThread *ownerThread_;
};
