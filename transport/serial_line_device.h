// A serial port of this computer, set to the module's line: 115200 baud, 8N1, RTS/CTS.
#pragma once

#include <QSerialPort>

#include "device_watch.h"
#include "line_device.h"

class SerialLineDevice : public LineDevice {
    Q_OBJECT

  public:
    explicit SerialLineDevice(const QString &name);

    void open() override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    void write(const QByteArray &bytes) override { port_.write(bytes); }
    void flush() override { port_.flush(); }
    QByteArray readAll() override { return port_.readAll(); }
    QString errorText() const override { return errorText_; }
    void watchForReturn(int intervalMs) override;
    void stopWatching() override { watch_.stop(); }
    bool mayOpen() const override;

  private:
    void onError(QSerialPort::SerialPortError error);

    QString name_;
    QSerialPort port_;
    DeviceWatch watch_;
    QString errorText_;
};
