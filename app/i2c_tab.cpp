// I2C tab: reads and writes registers of devices on the module's I²C bus, addresses and data in
// hexadecimal.
#include <QMessageBox>

#include "link_requests.h"
#include "link_state.h"
#include "main_window.h"
#include "request_texts.h"
#include "status_field.h"
#include "ui_mainwindow.h"

namespace {

bool parse(const QString &text, int base, int *value) {
    bool ok = false;
    *value = text.toInt(&ok, base);
    return ok;
}

}  // namespace

void MainWindow::on_pushButton_I2C_Read_clicked() {
    int address = 0;
    int reg = 0;
    int count = 0;
    // Invalid fields are ignored: the read simply does not happen.
    if (!parse(ui->lineEdit_I2C_Addr->text(), 16, &address) ||
        !parse(ui->lineEdit_I2C_Reg->text(), 16, &reg) ||
        !parse(ui->edtI2cNumBytesRead->text(), 10, &count) ||
        count > catalogue_limit(*catalogue_field("i2c.count"))) {
        return;
    }
    queued(link_i2c_read(uint8_t(address), uint8_t(reg), uint8_t(count)), tr("I2C"));
}

void MainWindow::on_pushButton_I2C_Write_clicked() {
    const auto refuse = [this](const QString &why) {
        QMessageBox::warning(this, tr("I2C Write Error"), why, QMessageBox::Ok);
    };
    int address = 0;
    int reg = 0;
    if (!parse(ui->lineEdit_I2C_Addr->text(), 16, &address)) {
        refuse(tr("Invalid I²C slave address."));
        return;
    }
    if (!parse(ui->lineEdit_I2C_Reg->text(), 16, &reg)) {
        refuse(tr("Invalid I²C registry."));
        return;
    }
    QByteArray data;
    const QString reason = i2cWriteRefusal(uint8_t(address), uint8_t(reg),
                                           ui->plainTextEdit_I2C_Write->toPlainText(), &data);
    if (!reason.isEmpty()) {
        refuse(reason);
        return;
    }
    queued(link_i2c_write(uint8_t(address), uint8_t(reg), uint8_t(data.size()), data), tr("I2C"));
}

void MainWindow::refreshI2c(const LinkSnapshot &state) {
    QFrame *frame = ui->frame_I2cOperationStatus;
    QLabel *label = ui->label_I2cOperationStatus;
    applyStandardStatus(frame, label, state.cmdStatus[CMD_I2C], tr("Operation Successful"),
                        {tr("ERROR: No Response from I²C subsystem"),
                         tr("ERROR: Transmission Error (I²C NAK)"), tr("ERROR: Protocol Error")});
    const QByteArray data(reinterpret_cast<const char *>(state.i2cData.data()),
                          state.i2cReadLength);
    const QString hex = QString::fromLatin1(data.toHex());
    if (ui->plainTextEdit_I2C_Read->toPlainText() != hex) {
        ui->plainTextEdit_I2C_Read->setPlainText(hex);
    }
}
