// Mail tab: the module sends a mail composed here, through an SMTP server or by an HTTP POST.
// Every part of the mail travels to the module first, then the frame that says which way.
#include <QMessageBox>

#include "input_limits.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "link_state.h"
#include "link_transfers.h"
#include "main_window.h"
#include "request_texts.h"
#include "status_field.h"
#include "ui_mainwindow.h"

bool MainWindow::mailRequestFits(const QString &reason) {
    if (!reason.isEmpty()) {
        QMessageBox::warning(this, tr("Mail Send"), reason, QMessageBox::Ok);
    }
    return reason.isEmpty();
}

void MainWindow::send_Mail_Information() {
    mailTransfer_ = 0;
    const QByteArray server = ui->lineEdit_MailSMTPServer->text().toUtf8();
    const QByteArray login = ui->lineEdit_MailLogin->text().toUtf8();
    const QByteArray password = ui->lineEdit_MailPassword->text().toUtf8();
    const QByteArray recipient = ui->lineEdit_MailTo->text().toUtf8();
    const QByteArray sender = ui->lineEdit_MailFrom->text().toUtf8();
    const QByteArray subject = ui->lineEdit_MailSubject->text().toUtf8();
    const QByteArray body = ui->plainTextEdit_MailMessage->toPlainText().toUtf8();
    const auto port = static_cast<uint16_t>(ui->spinBox_MailSmtpPort->value());
    if (!mailRequestFits(mailAccountRefusal(server, login, password))) {
        return;
    }
    LinkTransferId transfer = 0;
    int result = link_mail_set_server(server, port, &transfer);
    if (result > 0) {
        result = link_mail_set_credentials(login, password);
    }
    if (result > 0) {
        result = link_mail_set_content(sender, recipient, subject, body);
    }
    if (result <= 0) {
        // Half a mail must not wait at the module for the next send.
        link_withdraw_transfer(transfer);
        queued(result, tr("Mail Send"));
        return;
    }
    mailTransfer_ = transfer;
}

void MainWindow::on_pushButton_MailSend_clicked() {
    send_Mail_Information();
    if (mailTransfer_ == 0) {
        return;
    }
    const auto encryption = static_cast<uint8_t>(ui->comboBox_MailUseSsl->currentIndex());
    if (!queued(link_mail_send_smtp(encryption), tr("Mail Send"))) {
        link_withdraw_transfer(mailTransfer_);
    }
}

void MainWindow::on_pushButton_MailSendUrl_clicked() {
    const QByteArray url = ui->lineEdit_MailSendUrl->text().toUtf8();
    if (!mailRequestFits(requestRefusal(CMD_MAIL_SEND_HTTP_POST, {url}))) {
        return;
    }
    send_Mail_Information();
    if (mailTransfer_ == 0) {
        return;
    }
    if (!queued(link_mail_send_http_post(url), tr("Mail Send"))) {
        link_withdraw_transfer(mailTransfer_);
    }
}

void MainWindow::refreshMail(const LinkSnapshot &state) {
    const OutcomeTexts outcome = mailSendOutcome();
    applyStandardStatus(ui->frame_MailSentStatus, ui->label_MailSentStatus,
                        state.cmdStatus[CMD_MAIL_SEND_SMTP], outcome.success, outcome.failure);
    applyStandardStatus(ui->frame_MailSentUrlStatus, ui->label_MailSentUrlStatus,
                        state.cmdStatus[CMD_MAIL_SEND_HTTP_POST], outcome.success, outcome.failure);
}
