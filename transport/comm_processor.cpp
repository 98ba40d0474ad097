// Serial worker: port I/O, receive path and the engine's pace.
#include "comm_processor.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <cerrno>
#include <cstring>

#include "frame_codec.h"
#include "link_engine.h"
#include "link_state.h"
#include "module3g.h"
#include "port_diagnosis.h"

CommProcessor::CommProcessor() : serialPort(this), ownerThread_(QThread::currentThread()) {
    deviceWatch_.setParent(this);  // moves to the worker's thread with it
    connect(&deviceWatch_, &DeviceWatch::mayBeBack, this, &CommProcessor::lookForLostPort);
    moveToThread(&thread);
    connect(&thread, &QThread::started, this, &CommProcessor::ProcessUartIO);
    connect(this, &CommProcessor::finished, &thread, &QThread::quit, Qt::DirectConnection);
    thread.start(QThread::InheritPriority);
    connect(this, &CommProcessor::OpenSerialPort, this, &CommProcessor::OnOpenSerialPort);
    connect(this, &CommProcessor::DoCloseSerialPort, this, &CommProcessor::OnDoCloseSerialPort);
    connect(&serialPort, &QSerialPort::readyRead, this, &CommProcessor::OnRxUartData);
    connect(&serialPort, &QSerialPort::errorOccurred, this, &CommProcessor::OnSerialPortError);
}

CommProcessor::~CommProcessor() {
    stopRequested = true;
    emit RxUartDataReady();  // wakes the loop now rather than at its next tick
    thread.wait();
}

QString CommProcessor::portName() const {
    QMutexLocker lock(&portInfoMutex_);
    return portName_;
}

QString CommProcessor::portErrorText() const {
    QMutexLocker lock(&portInfoMutex_);
    return portErrorText_;
}

void CommProcessor::notePortState(const QString &requestedName, const QString &errorText) {
    QMutexLocker lock(&portInfoMutex_);
    if (!requestedName.isNull()) {
        portName_ = requestedName;  // as the user named it, not Qt's short form of it
    }
    portErrorText_ = errorText.isNull() ? serialPort.errorString() : errorText;
    portOpen_ = serialPort.isOpen();
}

// Opens with the line's settings; on failure the port's error text says why and what to do.
bool CommProcessor::openPort(const QString &name) {
    serialPort.setPortName(name);
    if (!serialPort.open(QIODevice::ReadWrite)) {
        notePortState(name, portOpenFailure(name, serialPort.error(), serialPort.errorString()));
        return false;
    }
    serialPort.setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    serialPort.setDataBits(QSerialPort::Data8);
    serialPort.setParity(QSerialPort::NoParity);
    serialPort.setStopBits(QSerialPort::OneStop);
    serialPort.setFlowControl(QSerialPort::HardwareControl);
    serialPort.clear(QSerialPort::AllDirections);
    link_port_opened();
    notePortState(name);
    return true;
}

void CommProcessor::OnOpenSerialPort(QString comPort) {
    if (serialPort.isOpen()) {
        emit OpenSerialPortDone(false);
        return;
    }
    stopWatching();  // connecting elsewhere, or to the same port by hand
    emit OpenSerialPortDone(openPort(comPort));
}

void CommProcessor::stopWatching() {
    watching_ = false;
    deviceWatch_.stop();
    watchedPort_.clear();
    lastWatchReason_.clear();
}

// The same device path again, opened as before; a device that is there but will not open yet
// (permissions being set, another program probing it) is tried again at the next look.
void CommProcessor::lookForLostPort() {
    if (serialPort.isOpen() || watchedPort_.isEmpty()) {
        stopWatching();
        return;
    }
    if (!QFile::exists(portDevicePath(watchedPort_))) {
        return;
    }
    const QString port = watchedPort_;
    if (openPort(port)) {
        stopWatching();
        emit SerialPortReconnected(port);
        emit RxUartDataReady();  // what waited for the port goes out now
        return;
    }
    const QString reason = portErrorText();
    if (reason != lastWatchReason_) {
        lastWatchReason_ = reason;
        emit ReconnectFailed(reason);
    }
}

void CommProcessor::OnDoCloseSerialPort() {
    stopWatching();
    serialPort.close();
    notePortState();
    emit SerialPortClosed();
}

void CommProcessor::OnRxUartData() {
    rxBuffer.append(serialPort.readAll());
    emit RxUartDataReady();
}

void CommProcessor::OnSerialPortError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError) {
        return;  // every open reports NoError; the others belong to the call that failed
    }
    if (!serialPort.isOpen()) {
        return;
    }
    // A pty whose other side closed reports ReadError in a tight loop until the port closes.
    const QString name = portName();
    const QString reason = serialPort.errorString();
    serialPort.close();
    notePortState();
    link_port_lost();
    watchedPort_ = name;
    watching_ = true;
    deviceWatch_.start(portDevicePath(name), watchIntervalMs_.load());
    emit SerialPortLost(portLossMessage(name, reason));
}

QString CommProcessor::portLossMessage(const QString &port, const QString &reason) {
    const QString message = tr("Serial port %1 was closed or unplugged.").arg(port);
    // What the system says after a device went away is often beside the point.
    const QStringList saysNothing = {QString(), QStringLiteral("Unknown error"),
                                     QString::fromLocal8Bit(std::strerror(ENOTTY)),
                                     QString::fromLocal8Bit(std::strerror(EIO))};
    if (saysNothing.contains(reason)) {
        return message;
    }
    return tr("%1 (%2)").arg(message, reason);
}

// Writes every frame the engine has ready, not just one, so that a burst of module frames
// gets its acknowledgements before the module's own retransmission timer runs out. The frames
// are on the line before anyone is told: a window woken first could keep this thread, or the
// module's, off the processor for the length of its refresh while an acknowledgement waits.
void CommProcessor::writeDueFrames() {
    QList<QByteArray> written;
    {
        const LinkNotificationsHeld held;
        for (QByteArray frame = link_process(); !frame.isEmpty(); frame = link_process()) {
            serialPort.write(frame);
            written << frame;
            if (oneFramePerWakeup_) {
                break;
            }
        }
        if (!written.isEmpty()) {
            serialPort.flush();
        }
    }
    for (const QByteArray &frame : written) {
        emit UartMessageSent(frame);
    }
}

// Other threads wake the loop through this object, never through the loop itself: a wake-up
// posted to a stack-local loop while it is torn down leaks, or lands on a freed object.
void CommProcessor::wake() {
    if (waiting_ != nullptr) {
        waiting_->quit();
    }
}

void CommProcessor::ProcessUartIO() {
    const QMetaObject::Connection queued =
        connect(link_notifier(), &Module3G::command_queued, this, &CommProcessor::wake);
    const QMetaObject::Connection woken =
        connect(this, &CommProcessor::RxUartDataReady, this, &CommProcessor::wake);
    {
        QEventLoop loop;
        QTimer tick;
        waiting_ = &loop;
        connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
        tick.start(kWakeIntervalMs);
        while (!stopRequested) {
            loop.exec();
            if (stopRequested) {
                break;
            }
            link_receive(rxBuffer);
            rxBuffer.clear();
            // Frames wait in the table while no port is open and go out as soon as one is:
            // writing them to a closed port would only start their 10-second clock. What waits
            // for a reply is given up on in time all the same.
            if (serialPort.isOpen()) {
                writeDueFrames();
            } else {
                link_tick();
            }
        }
        waiting_ = nullptr;
    }
    disconnect(queued);
    disconnect(woken);
    stopWatching();
    if (serialPort.isOpen()) {
        serialPort.close();
        notePortState();
    }
    moveToThread(ownerThread_);  // the owner destroys the port once this thread has ended
    emit finished();
}
