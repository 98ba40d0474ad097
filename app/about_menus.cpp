// The about box and the Tools menu.
#include <QMessageBox>

#include "main_window.h"
#include "ui_dlgabout.h"

void MainWindow::on_mnuAbout_show() {
    QString text = aboutUi->ptedtAboutText->toPlainText();
    text.replace(QStringLiteral("{VERSION_STR}"), QLatin1String(VersionString));
    aboutUi->ptedtAboutText->setPlainText(text);
    aboutDialog.show();
}

void MainWindow::on_mnuFwUpdate_show() {
    if (!commProcessor.isPortOpen()) {
        QMessageBox::information(this, tr("Not Connected to Module"),
                                 tr("Not connected to module on serial port. Connect first."),
                                 QMessageBox::Ok);
        return;
    }
    fwUpdateDialog.show();
}

void MainWindow::on_buttonBox_clicked(QAbstractButton *) {
    aboutDialog.hide();
}
