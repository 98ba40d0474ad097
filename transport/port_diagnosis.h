// Why a serial port would not open, in words a user can act on.
#pragma once

#include <QSerialPort>
#include <QString>

// What to do about `error` on `port` (a name such as ttyUSB0 or a path). A lock file is looked
// at first: Qt reports a port another program locked as a permission error.
QString portOpenAdvice(const QString &port, QSerialPort::SerialPortError error);

// The device a port name stands for.
QString portDevicePath(const QString &port);
