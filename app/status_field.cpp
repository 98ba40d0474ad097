#include "status_field.h"

#include <QCoreApplication>
#include <QFrame>
#include <QLabel>

#include "link_state.h"

namespace status_style {
const char *const Success = "background-color:green;";
const char *const Failure = "background-color:red;";
const char *const Pending = "background-color:yellow;";
const char *const NotConnected = "background-color:orange;";
const char *const Connected = "background-color:darkgreen;";
}  // namespace status_style

void setStatusField(QFrame *frame, QLabel *label, const char *styleSheet, const QString &text) {
    frame->setStyleSheet(QString::fromLatin1(styleSheet));
    label->setText(text);
}

QString pendingStatusText() {
    return QCoreApplication::translate("MainWindow", "Request sent. Waiting for reply...");
}

void applyStandardStatus(QFrame *frame, QLabel *label, uint8_t status, const QString &success,
                         const QString &failure) {
    switch (status) {
        case 0:
            setStatusField(frame, label, status_style::Success, success);
            break;
        case 1:
            setStatusField(frame, label, status_style::Failure, failure);
            break;
        case CMD_STATUS_IDLE:
            label->setText(QString());
            break;
        default:
            setStatusField(frame, label, status_style::Pending, pendingStatusText());
            break;
    }
}
