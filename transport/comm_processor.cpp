// Serial worker: port I/O, receive path and the engine's pace.
#include "comm_processor.h"

#include <QEventLoop>
#include <QTimer>

#include "frame_codec.h"
#include "line_device.h"
#include "link_engine.h"
#include "link_state.h"
#include "module3g.h"

CommProcessor::CommProcessor() : ownerThread_(QThread::currentThread()) {
    moveToThread(&thread);
    connect(&thread, &QThread::started, this, &CommProcessor::ProcessUartIO);
    connect(this, &CommProcessor::finished, &thread, &QThread::quit, Qt::DirectConnection);
    thread.start(QThread::InheritPriority);
    connect(this, &CommProcessor::OpenSerialPort, this, &CommProcessor::OnOpenSerialPort);
    connect(this, &CommProcessor::DoCloseSerialPort, this, &CommProcessor::OnDoCloseSerialPort);
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

QString CommProcessor::portLineDescription() const {
    QMutexLocker lock(&portInfoMutex_);
    return portLineDescription_;
}

void CommProcessor::notePortState(const QString &requestedName, const QString &errorText) {
    const bool open = device_ != nullptr && device_->isOpen();
    QMutexLocker lock(&portInfoMutex_);
    if (!requestedName.isNull()) {
        portName_ = requestedName;  // as the user named it, not Qt's short form of it
    }
    portErrorText_ = !errorText.isNull()  ? errorText
                     : device_ != nullptr ? device_->errorText()
                                          : QString();
    portLineDescription_ = open ? device_->lineDescription() : QString();
    portOpen_ = open;
}

void CommProcessor::OnOpenSerialPort(QString comPort) {
    if ((device_ != nullptr && device_->isOpen()) || opening_ == Opening::Asked) {
        emit OpenSerialPortDone(false);
        return;
    }
    stopWatching();  // connecting elsewhere, or to the same port by hand
    delete device_;
    device_ = nullptr;
    QString why;
    std::unique_ptr<LineDevice> device = makeLineDevice(comPort, &why);
    if (!device) {
        notePortState(comPort, why);
        emit OpenSerialPortDone(false);
        return;
    }
    device_ = device.release();
    device_->setParent(this);
    connect(device_, &LineDevice::opened, this, &CommProcessor::onDeviceOpened);
    connect(device_, &LineDevice::readyRead, this, &CommProcessor::OnRxUartData);
    connect(device_, &LineDevice::lost, this, &CommProcessor::onDeviceLost);
    connect(device_, &LineDevice::mayBeBack, this, &CommProcessor::lookForLostPort);
    {
        QMutexLocker lock(&portInfoMutex_);
        portName_ = comPort;
    }
    opening_ = Opening::Asked;
    device_->open();
}

void CommProcessor::onDeviceOpened(bool success) {
    const Opening opening = opening_;
    opening_ = Opening::None;
    if (success) {
        link_port_opened();
    }
    notePortState();
    if (opening == Opening::Asked) {
        emit OpenSerialPortDone(success);
        return;
    }
    if (success) {
        const QString port = portName();
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

void CommProcessor::stopWatching() {
    watching_ = false;
    if (device_ != nullptr) {
        device_->stopWatching();
    }
    lastWatchReason_.clear();
}

// The same port again, opened as before; one that is there but will not open yet (permissions
// being set, another program probing it, a serial server still starting) is tried again at the
// next look.
void CommProcessor::lookForLostPort() {
    if (device_ == nullptr || device_->isOpen() || !watching_) {
        stopWatching();
        return;
    }
    if (opening_ != Opening::None || !device_->mayOpen()) {
        return;
    }
    opening_ = Opening::Reconnect;
    device_->open();
}

void CommProcessor::OnDoCloseSerialPort() {
    stopWatching();
    const bool answerOwed = opening_ == Opening::Asked;
    opening_ = Opening::None;
    if (device_ != nullptr) {
        device_->close();
    }
    notePortState(QString(), answerOwed ? tr("The port was closed before it opened.") : QString());
    if (answerOwed) {
        emit OpenSerialPortDone(false);
    }
    emit SerialPortClosed();
}

void CommProcessor::OnRxUartData() {
    if (device_ != nullptr) {
        rxBuffer.append(device_->readAll());
    }
    emit RxUartDataReady();
}

void CommProcessor::onDeviceLost(const QString &message) {
    notePortState();
    link_port_lost();
    watching_ = true;
    device_->watchForReturn(watchIntervalMs_.load());
    emit SerialPortLost(message);
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
            device_->write(frame);
            written << frame;
            if (oneFramePerWakeup_) {
                break;
            }
        }
        if (!written.isEmpty()) {
            device_->flush();
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
            if (device_ != nullptr && device_->isOpen()) {
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
    opening_ = Opening::None;
    delete device_;  // on the thread its sockets and timers belong to
    device_ = nullptr;
    notePortState();
    moveToThread(ownerThread_);
    emit finished();
}
