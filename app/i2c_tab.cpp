// I2C tab: reads and writes registers of devices on the module's I²C bus, addresses and data in
// hexadecimal.
#include <QMessageBox>
#include <cstdlib>

#include "link_requests.h"
#include "link_state.h"
#include "main_window.h"
#include "status_field.h"
#include "ui_mainwindow.h"

namespace {

// The count byte of a write holds at most this many data bytes.
constexpr int kMaxWriteBytes = 255;
// Bytes 7E, 9E and CE take two places on the line: this many always fit one frame.
constexpr int kMaxEscapedWriteBytes = 248;

bool parse(const QString &text, int base, int *value) {
    bool ok = false;
    *value = text.toInt(&ok, base);
    return ok;
}

// As strtol reads it in base 16: leading blanks, a sign and "0x" pass, reading stops at the
// first character that is not a digit, no digit gives 0. The low eight bits are kept.
char writeByte(const QString &piece) {
    return static_cast<char>(std::strtol(piece.toUtf8().constData(), nullptr, 16) & 0xFF);
}

}  // namespace

void MainWindow::on_pushButton_I2C_Read_clicked() {
    int address = 0;
    int reg = 0;
    int count = 0;
    // Invalid fields are ignored: the read simply does not happen.
    if (!parse(ui->lineEdit_I2C_Addr->text(), 16, &address) ||
        !parse(ui->lineEdit_I2C_Reg->text(), 16, &reg) ||
        !parse(ui->edtI2cNumBytesRead->text(), 10, &count) || count > 255) {
        return;
    }
    queued(link_i2c_read(uint8_t(address), uint8_t(reg), uint8_t(count)), tr("I2C"));
}

void MainWindow::on_pushButton_I2C_Write_clicked() {
    const QString title = tr("I2C Write Error");
    int address = 0;
    int reg = 0;
    if (!parse(ui->lineEdit_I2C_Addr->text(), 16, &address)) {
        QMessageBox::warning(this, title, tr("Invalid I²C slave address."), QMessageBox::Ok);
        return;
    }
    if (!parse(ui->lineEdit_I2C_Reg->text(), 16, &reg)) {
        QMessageBox::warning(this, title, tr("Invalid I²C registry."), QMessageBox::Ok);
        return;
    }
    const QStringList pieces =
        ui->plainTextEdit_I2C_Write->toPlainText().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (pieces.isEmpty()) {
        QMessageBox::warning(this, title,
                             tr("Invalid Data. Please specify at least one byte to write."),
                             QMessageBox::Ok);
        return;
    }
    if (pieces.size() > kMaxWriteBytes) {
        QMessageBox::warning(this, title,
                             tr("%1 bytes to write; at most %2 can be written at once.")
                                 .arg(pieces.size())
                                 .arg(kMaxWriteBytes),
                             QMessageBox::Ok);
        return;
    }
    QByteArray data;
    for (const QString &piece : pieces) {
        data.append(writeByte(piece));
    }
    // Escaped, address, register and count may take two places each as well.
    const QByteArray payload = QByteArray(3, char(0x7E)) + data;
    if (frame_worst_case_size(CMD_I2C, 0, reinterpret_cast<const uint8_t *>(payload.constData()),
                              uint32_t(payload.size())) > FRAME_BUFFER_SIZE) {
        QMessageBox::warning(this, title,
                             tr("These %1 bytes do not fit one frame: bytes 7E, 9E and CE take two "
                                "places on the line, and at most %2 of them fit at once.")
                                 .arg(data.size())
                                 .arg(kMaxEscapedWriteBytes),
                             QMessageBox::Ok);
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
