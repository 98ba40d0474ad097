#include "dlg_serial_port.h"

#include <QSerialPortInfo>
#include <QSettings>

#include "ui_dlgserialport.h"

namespace {
const char *const kSettingsGroup = "SerialPort";
const char *const kLastPortKey = "LastSerialPort";

QSettings toolSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvinta"),
                     QStringLiteral("KOVA_TestTool"));
}
}  // namespace

DlgSerialPort::DlgSerialPort(QWidget *parent) : QDialog(parent), ui(new Ui::DlgSerialPort) {
    ui->setupUi(this);
    // Ports the system does not list can be typed: a pty, a /dev/serial/by-id link.
    ui->cmbSerialPort->setEditable(true);
    ui->cmbSerialPort->setToolTip(
        tr("A serial port of this computer, or one on a serial server such as ser2net: "
           "rfc2217://HOST:PORT sends the line settings (telnet with RFC 2217), tcp://HOST:PORT "
           "passes the bytes as they are and keeps the server's line settings."));
}

DlgSerialPort::~DlgSerialPort() {
    delete ui;
}

void DlgSerialPort::showEvent(QShowEvent *event) {
    refreshPorts();
    selectLastUsedPort();
    QDialog::showEvent(event);
}

void DlgSerialPort::accept() {
    const QString port = selectedPort();
    if (!port.isEmpty() && findPort(port) < 0) {
        addExtraPort(port);  // offered again for the rest of the run
    }
    saveLastUsedPort();
    QDialog::accept();
}

void DlgSerialPort::refreshPorts() {
    ui->cmbSerialPort->clear();
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        ui->cmbSerialPort->addItem(port.portName(), true);
    }
    for (const QString &port : qAsConst(extraPorts_)) {
        ui->cmbSerialPort->addItem(port, true);
    }
    if (ui->cmbSerialPort->count() == 0) {
        ui->cmbSerialPort->addItem(tr("No Serial Port Found"), false);
    }
}

void DlgSerialPort::selectLastUsedPort() {
    const QString last = lastUsedPort();
    if (last.isNull()) {
        return;
    }
    const int index = findPort(last);
    if (index >= 0) {
        ui->cmbSerialPort->setCurrentIndex(index);
    }
}

QString DlgSerialPort::selectedPort() const {
    const QString name = ui->cmbSerialPort->currentText().trimmed();
    const QVariant real = ui->cmbSerialPort->itemData(findPort(name));
    // A typed name is taken as it is; only the placeholder names no port.
    return real.isValid() && !real.toBool() ? QString() : name;
}

int DlgSerialPort::findPort(const QString &name) const {
    return ui->cmbSerialPort->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void DlgSerialPort::saveLastUsedPort() {
    QSettings settings = toolSettings();
    settings.beginGroup(QLatin1String(kSettingsGroup));
    settings.setValue(QLatin1String(kLastPortKey), selectedPort());
}

void DlgSerialPort::addExtraPort(const QString &name) {
    if (!extraPorts_.contains(name)) {
        extraPorts_.append(name);
    }
}

QString DlgSerialPort::lastUsedPort() {
    QSettings settings = toolSettings();
    settings.beginGroup(QLatin1String(kSettingsGroup));
    const QVariant value = settings.value(QLatin1String(kLastPortKey));
    return value.isValid() ? value.toString() : QString();
}
