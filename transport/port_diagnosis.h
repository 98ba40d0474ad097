// Why a serial port would not open, in words a user can act on.
#pragma once

#include <QSerialPort>
#include <QString>

// What the user reads when `port` (a name such as ttyUSB0 or a path) would not open with `error`:
// the system's `reason` unless something plainer can be said, then what to do about it.
QString portOpenFailure(const QString &port, QSerialPort::SerialPortError error,
                        const QString &reason);

// The device a port name stands for.
QString portDevicePath(const QString &port);

// What the user reads when an open port goes: the port named, and the system's reason when it
// adds something.
QString portLossMessage(const QString &port, const QString &reason);
