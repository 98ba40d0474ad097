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
    static const struct {
        uint8_t status;
        const char *style;
        const char *text;
    } kLinkStatuses[] = {
        {CMD_STATUS_NAK, status_style::Failure,
         QT_TRANSLATE_NOOP("MainWindow", "Refused by the module.")},
        {CMD_STATUS_INTERRUPTED, status_style::Failure,
         QT_TRANSLATE_NOOP("MainWindow", "Interrupted: the port was lost.")},
        {CMD_STATUS_SILENT, status_style::Pending,
         QT_TRANSLATE_NOOP("MainWindow", "No answer from the module yet.")},
        // Neither success nor failure is known.
        {CMD_STATUS_NO_REPLY, status_style::Pending,
         QT_TRANSLATE_NOOP("MainWindow",
                           "No reply from the module: whether it was carried out is not known.")},
        {CMD_STATUS_NOT_SENT, status_style::Failure,
         QT_TRANSLATE_NOOP("MainWindow", "Not sent: the module did not acknowledge it.")},
        {CMD_STATUS_CANCELLED, status_style::Failure,
         QT_TRANSLATE_NOOP("MainWindow", "Cancelled before it was sent.")},
    };
    for (const auto &known : kLinkStatuses) {
        if (known.status == status) {
            setStatusField(frame, label, known.style,
                           QCoreApplication::translate("MainWindow", known.text));
            return true;
        }
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
