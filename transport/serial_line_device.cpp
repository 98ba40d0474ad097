#include "serial_line_device.h"

#include <QFile>

#include "port_diagnosis.h"

SerialLineDevice::SerialLineDevice(const QString &name) : name_(name) {
    port_.setParent(this);
    watch_.setParent(this);
    connect(&port_, &QSerialPort::readyRead, this, &LineDevice::readyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialLineDevice::onError);
    connect(&watch_, &DeviceWatch::mayBeBack, this, &LineDevice::mayBeBack);
}

void SerialLineDevice::open() {
    port_.setPortName(name_);
    if (!port_.open(QIODevice::ReadWrite)) {
        errorText_ = portOpenFailure(name_, port_.error(), port_.errorString());
        emit opened(false);
        return;
    }
    port_.setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::HardwareControl);
    port_.clear(QSerialPort::AllDirections);
    errorText_.clear();
    emit opened(true);
}

void SerialLineDevice::close() {
    port_.close();
}

void SerialLineDevice::watchForReturn(int intervalMs) {
    watch_.start(portDevicePath(name_), intervalMs);
}

bool SerialLineDevice::mayOpen() const {
    return QFile::exists(portDevicePath(name_));
}

void SerialLineDevice::onError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError) {
        return;  // every open reports NoError; the others belong to the call that failed
    }
    if (!port_.isOpen()) {
        return;
    }
    // A pty whose other side closed reports ReadError in a tight loop until the port closes.
    const QString reason = port_.errorString();
    port_.close();
    errorText_ = portLossMessage(name_, reason);
    emit lost(errorText_);
}
