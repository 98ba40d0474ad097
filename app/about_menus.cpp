// The about box and the Tools menu: the batch update and the traffic inspector.
#include <QMessageBox>

#include "main_window.h"
#include "traffic_window.h"
#include "ui_dlgabout.h"

void MainWindow::on_mnuAbout_show() {
    QString text = aboutUi->ptedtAboutText->toPlainText();
    text.replace(QStringLiteral("{VERSION_STR}"), QLatin1String(VersionString));
    aboutUi->ptedtAboutText->setPlainText(text);
    aboutDialog.show();
}

// A running batch is reachable whatever the port does.
void MainWindow::on_mnuFwUpdate_show() {
    if (!commProcessor.isPortOpen() && !fwUpdateDialog.isBatchRunning()) {
        QMessageBox::information(this, tr("Not Connected to Module"),
                                 tr("Not connected to module on serial port. Connect first."),
                                 QMessageBox::Ok);
        return;
    }
    fwUpdateDialog.show();
    fwUpdateDialog.raise();
    fwUpdateDialog.activateWindow();
}

// Any number of them, each a window of its own over the one capture.
void MainWindow::showTrafficInspector() {
    auto *inspector = new TrafficWindow(trafficCapture_, this);
    inspector->setAttribute(Qt::WA_DeleteOnClose);
    inspector->setWindowFlag(Qt::Window);
    inspector->show();
}

void MainWindow::on_buttonBox_clicked(QAbstractButton *) {
    aboutDialog.hide();
}
