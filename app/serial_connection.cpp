// Connecting and disconnecting the serial port through the worker, and the reconnect action.
#include <QAction>
#include <QEventLoop>
#include <QMessageBox>
#include <QStatusBar>

#include "main_window.h"
#include "status_field.h"
#include "ui_mainwindow.h"

namespace {
constexpr int kStatusMessageMs = 3500;
}

void MainWindow::openSerialPort(QString comPortStr) {
    if (!openingPort_.isEmpty()) {
        QMessageBox::warning(
            this, tr("Serial port"),
            tr("Still connecting to serial port %1. Wait for it, then connect again.")
                .arg(openingPort_),
            QMessageBox::Ok);
        return;
    }
    if (commProcessor.isPortOpen()) {
        QMessageBox::warning(
            this, tr("Serial port"),
            tr("You are already connected to serial port %1").arg(commProcessor.portName()),
            QMessageBox::Ok);
        return;
    }
    // Wait for the worker's answer without blocking the window.
    openingPort_ = comPortStr;
    QEventLoop waitForOpen;
    bool opened = false;
    connect(&commProcessor, &CommProcessor::OpenSerialPortDone, &waitForOpen, [&](bool done) {
        opened = done;
        waitForOpen.quit();
    });
    emit commProcessor.OpenSerialPort(comPortStr);
    waitForOpen.exec();
    openingPort_.clear();

    if (opened) {
        openFailed_ = false;
        const QString line = commProcessor.portLineDescription();
        statusBar()->showMessage(line.isEmpty()
                                     ? tr("Connected to serial port %1").arg(comPortStr)
                                     : tr("Connected to serial port %1 (%2)").arg(comPortStr, line),
                                 kStatusMessageMs);
    } else if (commProcessor.isPortOpen()) {
        // The lost port came back and was reopened while this request was on its way.
        QMessageBox::warning(this, tr("Serial port"),
                             tr("Serial port %1 came back and was opened again before %2 could "
                                "be. Disconnect first to connect to %2.")
                                 .arg(commProcessor.portName(), comPortStr),
                             QMessageBox::Ok);
    } else {
        openFailed_ = true;
        QMessageBox::critical(this, tr("Error"), commProcessor.portErrorText(), QMessageBox::Ok);
        statusBar()->showMessage(tr("Error opening serial port %1").arg(comPortStr),
                                 kStatusMessageMs);
    }
    showPortState();
}

// What the worker holds now. Each of its reports is read when it arrives, and the last
// report comes after its last change: whatever order the reports and the user's clicks come
// in, the field ends showing the port the worker holds.
void MainWindow::showPortState() {
    const bool open = commProcessor.isPortOpen();
    if (open) {
        setStatusField(ui->frmSerialStatus, ui->lblSerialStatus, status_style::Connected,
                       commProcessor.portName());
    } else if (commProcessor.isWatching()) {
        setStatusField(ui->frmSerialStatus, ui->lblSerialStatus, status_style::NotConnected,
                       tr("Reconnecting..."));
    } else if (openFailed_) {
        setStatusField(ui->frmSerialStatus, ui->lblSerialStatus, status_style::Failure,
                       tr("Connection Failed"));
    } else {
        setStatusField(ui->frmSerialStatus, ui->lblSerialStatus, status_style::NotConnected,
                       tr("Not Connected"));
    }
    // A network port's line: the settings its server answered, or that they are its own.
    ui->frmSerialStatus->setToolTip(open ? commProcessor.portLineDescription() : QString());
    ui->mnuSerialPortDisconnect->setToolTip(
        open ? tr("Disconnect from serial port %1").arg(commProcessor.portName()) : QString());
    fwUpdateDialog.setPortAway(!open);
}

void MainWindow::closeSerialPort() {
    closePort(true);
}

void MainWindow::closePort(bool userLeaves) {
    emit commProcessor.DoCloseSerialPort();
    if (userLeaves) {
        fwUpdateDialog.portClosedByUser();
    }
    openFailed_ = false;
    setStatusField(ui->frmSerialStatus, ui->lblSerialStatus, status_style::NotConnected,
                   tr("Not Connected"));
    statusBar()->showMessage(tr("Serial port disconnected."), kStatusMessageMs);
}

// The close runs on the worker thread; the next open must find it done.
void MainWindow::closePortAndWait() {
    QEventLoop waitForClose;
    connect(&commProcessor, &CommProcessor::SerialPortClosed, &waitForClose, &QEventLoop::quit);
    closePort(false);
    waitForClose.exec();
}

void MainWindow::on_dlgSerialPort_accepted() {
    const QString name = serialPortDialog.selectedPort();
    if (name.isEmpty()) {
        return;
    }
    // While an open is on its way the port's state is not known yet: openSerialPort refuses.
    if (openingPort_.isEmpty() && commProcessor.isPortOpen()) {
        closePortAndWait();
    }
    openSerialPort(name);
}

void MainWindow::updateSerialPortMenuLastUsed() {
    const QString last = DlgSerialPort::lastUsedPort();
    if (last.isEmpty()) {
        return;  // nothing stored, or a dialog confirmed without a real port
    }
    const QList<QAction *> actions = ui->mnuSerialPort->actions();
    for (const QAction *action : actions) {
        if (action->text().contains(last)) {
            return;
        }
    }
    QAction *reconnect = ui->mnuSerialPort->addAction(tr("Connect to %1").arg(last));
    reconnect->setShortcut(QKeySequence(tr("Ctrl+k")));
    connect(reconnect, &QAction::triggered, &serialPortMapper,
            static_cast<void (QSignalMapper::*)()>(&QSignalMapper::map));
    serialPortMapper.setMapping(reconnect, last);
    connect(&serialPortMapper, &QSignalMapper::mappedString, this, &MainWindow::openSerialPort,
            Qt::UniqueConnection);
}

// No box: the worker watches for the device to return and reopens it by itself.
void MainWindow::onSerialPortLost(QString errorText) {
    statusBar()->showMessage(
        tr("%1 Reconnecting as soon as it is back; Disconnect stops waiting.").arg(errorText));
    showPortState();
    update_UI(0, false);  // what the loss interrupted; no frame will come to show it
}

void MainWindow::onSerialPortReconnected(const QString &port) {
    if (commProcessor.isPortOpen()) {
        statusBar()->showMessage(tr("Reconnected to serial port %1.").arg(port), kStatusMessageMs);
    }
    showPortState();
}

void MainWindow::onReconnectFailed(const QString &reason) {
    statusBar()->showMessage(
        tr("Reconnecting; the last try did not open: %1")
            .arg(QString(reason).replace(QLatin1Char('\n'), QLatin1Char(' '))));
}

void MainWindow::offerExtraPort(const QString &name) {
    serialPortDialog.addExtraPort(name);
}
