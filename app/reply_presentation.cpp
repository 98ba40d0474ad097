// update_UI: every notification from the link redraws every tab from the link record, in a
// fixed block order, then reports rejected long transfers.
#include <QMessageBox>

#include "link_state.h"
#include "main_window.h"

namespace {

struct NakReport {
    uint8_t cmdId;
    const char *title;
    const char *text;
};

// In the order the boxes are shown.
const NakReport kNakReports[] = {
    {97, QT_TRANSLATE_NOOP("MainWindow", "SMS Message Append"),
     QT_TRANSLATE_NOOP("MainWindow",
                       "Failed to append to SMS message: Cellular Modem dropped the message "
                       "(NAK).")},
    {119, QT_TRANSLATE_NOOP("MainWindow", "Mail Message Append"),
     QT_TRANSLATE_NOOP("MainWindow",
                       "Failed to append to mail body: Cellular Modem dropped the message "
                       "(NAK).")},
    {129, QT_TRANSLATE_NOOP("MainWindow", "Socket Payload Append"),
     QT_TRANSLATE_NOOP("MainWindow",
                       "Failed to append to socket payload: Cellular Modem dropped the message "
                       "(NAK).")},
    {240, QT_TRANSLATE_NOOP("MainWindow", "AT Command Send"),
     QT_TRANSLATE_NOOP("MainWindow",
                       "Failed to send AT command: Cellular Modem dropped the message (NAK).")},
};

}  // namespace

void MainWindow::update_UI(uchar, bool) {
    QList<uint8_t> rejected;
    {
        const LockedLinkState state = link_get_state();
        // Blocks 1 to 13 come in this order with their features: GPIO pins and modes, GPIO
        // status, calls, audio, revision texts, Status tab status, network and module data,
        // SMS sending, SMS reception control, received SMS, mail, I2C, socket and APN.
        refreshAtCommand(*state);
        for (const NakReport &report : kNakReports) {
            if (state->cmdStatus[report.cmdId] == CMD_STATUS_NAK) {
                rejected.append(report.cmdId);
            }
        }
    }
    // The boxes run nested event loops: no lock may be held while they are open.
    reportNaks(rejected);
}

void MainWindow::reportNaks(const QList<uint8_t> &rejected) {
    for (const NakReport &report : kNakReports) {
        if (!rejected.contains(report.cmdId) || nakBoxesOpen_.contains(report.cmdId)) {
            continue;
        }
        nakBoxesOpen_.insert(report.cmdId);
        QMessageBox::warning(this, tr(report.title), tr(report.text), QMessageBox::Ok);
        nakBoxesOpen_.remove(report.cmdId);
        // Idle, not 0: the field must not go on to report a refused command as a success.
        link_set_cmd_status(report.cmdId, CMD_STATUS_IDLE);
    }
}
