// update_UI: every notification from the link redraws every tab from a copy of the link
// record, in a fixed order, then reports the module's refusals of long transfers. No lock is
// held while a widget is written or a box is open.
#include <QMessageBox>

#include "input_limits.h"
#include "link_state.h"
#include "main_window.h"

namespace {

struct RefusalReport {
    uint8_t cmdId;
    const char *title;
    const char *text;
};

// In the order the boxes are shown.
const RefusalReport kRefusalReports[] = {
    {CMD_SMS_TEXT, QT_TRANSLATE_NOOP("MainWindow", "SMS Message Append"),
     QT_TRANSLATE_NOOP("MainWindow",
                       "Failed to append to SMS message: Cellular Modem dropped the message "
                       "(NAK).")},
    {CMD_MAIL_BODY, QT_TRANSLATE_NOOP("MainWindow", "Mail Message Append"),
     QT_TRANSLATE_NOOP("MainWindow",
                       "Failed to append to mail body: Cellular Modem dropped the message "
                       "(NAK).")},
    {CMD_SOCKET_PAYLOAD, QT_TRANSLATE_NOOP("MainWindow", "Socket Payload Append"),
     QT_TRANSLATE_NOOP("MainWindow",
                       "Failed to append to socket payload: Cellular Modem dropped the message "
                       "(NAK).")},
    {CMD_AT_COMMAND, QT_TRANSLATE_NOOP("MainWindow", "AT Command Send"),
     QT_TRANSLATE_NOOP("MainWindow",
                       "Failed to send AT command: Cellular Modem dropped the message (NAK).")},
};

}  // namespace

void MainWindow::update_UI(uchar, bool) {
    const LinkSnapshot state = link_snapshot();
    // Each tab's block in turn: GPIO pins and modes, GPIO status, calls, audio, revision texts,
    // Status tab status, network and module data, SMS sending, SMS reception control, received
    // SMS, mail, I2C, socket and APN, AT command.
    refreshGpioPins(state);
    refreshGpioStatus(state);
    refreshCalls(state);
    refreshAudio(state);
    refreshRevisions(state);
    refreshStatusOperation(state);
    refreshNetworkData(state);
    refreshSmsSending(state);
    refreshSmsReception(state);
    refreshReceivedSms(state);
    refreshMail(state);
    refreshI2c(state);
    refreshSocket(state);
    refreshAtCommand(state);
    reportRefusals(state);
}

// One box per refusal: the link counts them, and a count is marked as reported before its box
// opens, so a refresh in the box's event loop does not show it again.
void MainWindow::reportRefusals(const LinkSnapshot &state) {
    for (const RefusalReport &report : kRefusalReports) {
        uint32_t &shown = refusalsShown_[report.cmdId];
        if (state.nakCount[report.cmdId] <= shown) {
            continue;
        }
        shown = state.nakCount[report.cmdId];
        QMessageBox::warning(this, tr(report.title), tr(report.text), QMessageBox::Ok);
    }
}

bool MainWindow::queued(int result, const QString &feature) {
    if (result > 0) {
        update_UI(0, false);  // its waiting state shows now, not with the module's first frame
        return true;
    }
    LinkRefusal refusal = link_last_refusal();
    if (refusal.result != result) {
        refusal = LinkRefusal{static_cast<LinkRequestResult>(result), nullptr, 0, 0};
    }
    const QString reason =
        result == LINK_TABLE_FULL
            ? tr("The request was not sent: too many frames wait for the module already. Try "
                 "again once it has answered them.")
        : result == LINK_REFUSED_SMS_IN_PROGRESS ? smsBusyReason()
                                                 : refusalReason(refusal);
    QMessageBox::warning(this, feature, reason, QMessageBox::Ok);
    return false;
}
