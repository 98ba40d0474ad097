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
    // been closed. Emitted once per loss.
    void SerialPortLost(QString errorText);

  public slots:
    void OnOpenSerialPort(QString comPort);
    void OnDoCloseSerialPort();
    void ProcessUartIO();
    void OnRxUartData();

  private slots:
    void OnSerialPortError(QSerialPort::SerialPortError error);

  private:
    void writeDueFrames();
    void notePortState(const QString &requestedName = QString());

    QSerialPort serialPort;
    QByteArray rxBuffer;
    QThread thread;
    std::atomic<bool> stopRequested{false};

    std::atomic<bool> oneFramePerWakeup_{false};
    std::atomic<bool> portOpen_{false};
    mutable QMutex portInfoMutex_;
    QString portName_;
    QString portErrorText_;
    QThread *ownerThread_;
};
