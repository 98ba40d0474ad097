// Engineering tab: raw AT commands through the module, the protocol's maximum message size, and
// clearing the status bar.
#include <QMessageBox>
#include <QStatusBar>

#include "link_long_payload.h"
#include "link_requests.h"
#include "link_state.h"
#include "main_window.h"
#include "request_texts.h"
#include "status_field.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_SendAtCommand_clicked() {
    queued(link_send_at_command(ui->lineEdit_SendAtCommand->text().toUtf8()),
           tr("AT Command Send"));
}

void MainWindow::on_btnSetMaxMessageSize_clicked() {
    bool ok = false;
    const short size = ui->txtSetMaxMessageSize->text().toShort(&ok, 10);
    if (!ok || size < LINK_MIN_MESSAGE_SIZE || size > LINK_MAX_MESSAGE_SIZE) {
        QMessageBox::warning(this, tr("Invalid value"), maxMessageSizeRefusal(), QMessageBox::Ok);
        return;
    }
    link_set_max_message_size(size);
}

void MainWindow::on_pushButton_ClearStatusBar_clicked() {
    statusBar()->clearMessage();
}

void MainWindow::refreshAtCommand(const LinkSnapshot &state) {
    applyStandardStatus(ui->frame_AtCommandStatus, ui->label_AtCommandStatus,
                        state.cmdStatus[CMD_AT_COMMAND], tr("AT command executed successfully."),
                        tr("ERROR: AT command failed."));
    const QByteArray response(state.atResponse.data(),
                              int(strnlen(state.atResponse.data(), AT_RESPONSE_SIZE)));
    // Rewriting an unchanged text would only reset the user's scroll position and selection.
    controlSync_.write(ui->plainTextEdit_AtCommandResponse, response, [this](const QByteArray &r) {
        ui->plainTextEdit_AtCommandResponse->setPlainText(QString::fromLatin1(r));
    });
}
