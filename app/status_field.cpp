#include "status_field.h"

#include <QCoreApplication>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QTextCodec>

#include "link_state.h"

namespace status_style {
const char *const Success = "background-color:green;";
const char *const Failure = "background-color:red;";
const char *const Pending = "background-color:yellow;";
const char *const NotConnected = "background-color:orange;";
const char *const Connected = "background-color:darkgreen;";
}  // namespace status_style

void setStatusField(QFrame *frame, QLabel *label, const char *styleSheet, const QString &text) {
    const QString sheet = QString::fromLatin1(styleSheet);
    if (frame->styleSheet() != sheet) {
        // Replacing a style sheet re-polishes the field and gives it the application's font;
        // it keeps the form's, which its text is laid out for.
        const QFont frameFont = frame->font();
        const QFont labelFont = label->font();
        frame->setStyleSheet(sheet);
        frame->setFont(frameFont);
        label->setFont(labelFont);
    }
    if (label->text() != text) {
        label->setText(text);
    }
}

QString pendingStatusText() {
    return QCoreApplication::translate("MainWindow", "Request sent. Waiting for reply...");
}

bool applyRefusal(QFrame *frame, QLabel *label, uint8_t status) {
    if (status == CMD_STATUS_NAK) {
        setStatusField(frame, label, status_style::Failure,
                       QCoreApplication::translate("MainWindow", "Refused by the module."));
        return true;
    }
    if (status == CMD_STATUS_INTERRUPTED) {
        setStatusField(
            frame, label, status_style::Failure,
            QCoreApplication::translate("MainWindow", "Interrupted: the port was lost."));
        return true;
    }
    if (status == CMD_STATUS_SILENT) {
        setStatusField(frame, label, status_style::Pending,
                       QCoreApplication::translate("MainWindow", "No answer from the module yet."));
        return true;
    }
    if (status == CMD_STATUS_NO_REPLY) {
        // Neither success nor failure is known.
        setStatusField(
            frame, label, status_style::Pending,
            QCoreApplication::translate("MainWindow",
                                        "No reply from the module: whether it was carried out "
                                        "is not known."));
        return true;
    }
    if (status == CMD_STATUS_NOT_SENT) {
        setStatusField(frame, label, status_style::Failure,
                       QCoreApplication::translate("MainWindow",
                                                   "Not sent: the module did not acknowledge it."));
        return true;
    }
    if (status == CMD_STATUS_CANCELLED) {
        setStatusField(frame, label, status_style::Failure,
                       QCoreApplication::translate("MainWindow", "Cancelled before it was sent."));
        return true;
    }
    return false;
}

void applyStandardStatus(QFrame *frame, QLabel *label, uint8_t status, const QString &success,
                         const QString &failure) {
    applyStandardStatus(frame, label, status, success, QStringList{failure});
}

void applyStandardStatus(QFrame *frame, QLabel *label, uint8_t status, const QString &success,
                         const QStringList &failures) {
    if (status == 0) {
        setStatusField(frame, label, status_style::Success, success);
    } else if (status >= 1 && status <= failures.size()) {
        setStatusField(frame, label, status_style::Failure, failures[status - 1]);
    } else if (status == CMD_STATUS_IDLE) {
        label->setText(QString());
    } else if (!applyRefusal(frame, label, status)) {
        setStatusField(frame, label, status_style::Pending, pendingStatusText());
    }
}

void showText(QLineEdit *field, const QString &text) {
    if (field->text() != text) {
        field->setText(text);
    }
}

QString utf8OrLatin1(const char *bytes, int size) {
    QTextCodec::ConverterState state;
    const QString text = QTextCodec::codecForName("UTF-8")->toUnicode(bytes, size, &state);
    if (state.invalidChars == 0 && state.remainingChars == 0) {
        return text;
    }
    return QString::fromLatin1(bytes, size);
}
