// SMS tab: sends a text through the module, switches the module's reception of incoming SMS,
// and shows the last SMS the module forwarded.
#include <QMessageBox>

#include "link_long_payload.h"
#include "link_requests.h"
#include "link_state.h"
#include "main_window.h"
#include "request_texts.h"
#include "status_field.h"
#include "ui_mainwindow.h"

namespace {

enum ReceptionItem { ReceptionUnknown = 0, ReceptionEnabled = 1, ReceptionDisabled = 2 };

}  // namespace

void MainWindow::on_pushButton_SMSSend_clicked() {
    const QString number = ui->lineEdit_SMSPhone->text();
    const QString text = ui->plainTextEdit_SMSMessage->toPlainText();
    QString title;
    const QString reason = smsSendRefusal(number, text, &title);
    if (!reason.isEmpty()) {
        QMessageBox::warning(this, title, reason, QMessageBox::Ok);
        return;
    }
    LinkTransferId transfer = 0;
    const int result = link_sms_send(number.toUtf8(), text.toUtf8(), &transfer);
    if (result > 0) {
        // Known before the refresh: a refusal box it opens runs an event loop, and the SMS may
        // end inside it.
        ownSms_ = OwnSms{transfer, CMD_STATUS_PENDING};
    }
    queued(result, tr("SMS"));
}

void MainWindow::on_btnGetSmsReceptionEnabled_clicked() {
    queued(link_sms_get_reception_enabled(), tr("SMS"));
}

void MainWindow::on_btnControlSmsReception_clicked() {
    switch (ui->cmbControlSmsReception->currentIndex()) {
        case ReceptionEnabled:
            queued(link_sms_set_reception(1), tr("SMS"));
            break;
        case ReceptionDisabled:
            queued(link_sms_set_reception(0), tr("SMS"));
            break;
        case ReceptionUnknown:
            QMessageBox::warning(this, tr("Invalid Selection"),
                                 tr("Please select 'Enabled' or 'Disabled'"), QMessageBox::Ok);
            break;
        default:
            break;
    }
}

// The tab's own SMS only; while any SMS is in the link, the next waits.
void MainWindow::refreshSmsSending(const LinkSnapshot &state) {
    const OutcomeTexts outcome = smsSendOutcome();
    applyStandardStatus(ui->frame_SmsSentStatus, ui->label_SmsSentStatus, ownSms_.status,
                        outcome.success, outcome.failure);
    const QString busy = batchRunning_ ? tr("A batch firmware update is sending SMS through the "
                                            "module. Send is back when it has finished or was "
                                            "stopped.")
                         : state.smsInProgress != 0 ? smsBusyReason()
                                                    : QString();
    ui->pushButton_SMSSend->setEnabled(busy.isEmpty());
    ui->pushButton_SMSSend->setToolTip(busy);
}

QString MainWindow::smsBusyReason() {
    return tr("An SMS is on its way to the module or waits for its reply: the module's reply "
              "does not say which SMS it answers, so the next waits. Send is back when the reply "
              "has come, or after %1 s without one.")
        .arg(LINK_REPLY_LIFETIME_SECONDS);
}

void MainWindow::refreshSmsReception(const LinkSnapshot &state) {
    QFrame *frame = ui->frame_SmsReceptionStatus;
    QLabel *label = ui->label_SmsReceptionStatus;
    if (state.lastSmsCmd == CMD_SMS_SET_RECEPTION) {
        applyStandardStatus(frame, label, state.cmdStatus[CMD_SMS_SET_RECEPTION],
                            tr("SMS reception command successful!"),
                            tr("ERROR: SMS reception command failed."));
    } else if (state.lastSmsCmd == CMD_SMS_GET_RECEPTION) {
        const uint8_t status = state.cmdStatus[CMD_SMS_GET_RECEPTION];
        applyStandardStatus(frame, label, status,
                            tr("SMS GET RECEPTION ENABLED command successful!"),
                            tr("ERROR: SMS GET RECEPTION ENABLED command failed."));
        // Once per reply, so the user's next choice stands until the module is asked again.
        if (status == 0) {
            controlSync_.write(
                ui->cmbControlSmsReception, state.replyCount[CMD_SMS_GET_RECEPTION],
                [this, &state](uint32_t) {
                    ui->cmbControlSmsReception->setCurrentIndex(
                        state.smsReceptionEnabled != 0 ? ReceptionEnabled : ReceptionDisabled);
                });
        }
    }
}

void MainWindow::refreshReceivedSms(const LinkSnapshot &state) {
    // An emptied text leaves the last message on screen until new text arrives.
    if (state.smsRxText[0] == 0) {
        return;
    }
    ui->lblSmsRecvFrom->setText(receivedText(state.smsRxSender));
    ui->lblSmsRecvDate->setText(receivedText(state.smsRxDate));
    controlSync_.write(
        ui->plainTextEdit_SmsReceived, receivedText(state.smsRxText),
        [this](const QString &text) { ui->plainTextEdit_SmsReceived->setPlainText(text); });
}
