#include "request_texts.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <iterator>

#include "command_ids.h"
#include "hex_input.h"
#include "input_limits.h"

namespace {

constexpr int kMaxSmsNumberCharacters = 32;
constexpr int kMaxSmsTextCharacters = 140;

// The address byte's bit 7 asks for a write.
constexpr int kI2cWriteBit = 0x80;

}  // namespace

QString smsSendRefusal(const QString &number, const QString &text, QString *title) {
    QString boxTitle;
    QString reason;
    if (number.size() > kMaxSmsNumberCharacters) {
        boxTitle = QCoreApplication::translate("MainWindow", "Invalid Phone Number");
        reason = QCoreApplication::translate(
            "MainWindow", "That phone number looks suspiciously long.\nPlease check your input.");
    } else if (text.size() > kMaxSmsTextCharacters) {
        boxTitle = QCoreApplication::translate("MainWindow", "Message too long");
        reason = QCoreApplication::translate("MainWindow",
                                             "Please leave the message under 140 characters.");
    } else if (!(reason = requestRefusal(CMD_SMS_TEXT, {text.toUtf8()})).isEmpty()) {
        // Within 140 characters, text outside ASCII can still take more bytes than its length
        // byte counts.
        boxTitle = QCoreApplication::translate("MainWindow", "Message too long");
        reason += QLatin1Char('\n') +
                  QCoreApplication::translate(
                      "MainWindow", "Characters outside ASCII take two to four bytes each.");
    }
    if (title != nullptr) {
        *title = boxTitle;
    }
    return reason;
}

OutcomeTexts smsSendOutcome() {
    return {QCoreApplication::translate("MainWindow", "SMS SENT!"),
            QCoreApplication::translate("MainWindow", "ERROR: SMS NOT Sent")};
}

QString mailAccountRefusal(const QByteArray &server, const QByteArray &login,
                           const QByteArray &password) {
    const std::pair<uint8_t, const QByteArray *> texts[] = {
        {CMD_MAIL_SERVER, &server}, {CMD_MAIL_LOGIN, &login}, {CMD_MAIL_PASSWORD, &password}};
    for (const auto &text : texts) {
        const QString reason = requestRefusal(text.first, {*text.second});
        if (!reason.isEmpty()) {
            return reason;
        }
    }
    return QString();
}

OutcomeTexts mailSendOutcome() {
    return {QCoreApplication::translate("MainWindow", "Mail SENT!"),
            QCoreApplication::translate("MainWindow", "ERROR: Mail NOT Sent")};
}

QString dialNumberRefusal(const QString &number) {
    static const QRegularExpression dialable(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9\\*\\#\\+ABCDp]*")));
    if (dialable.match(number).hasMatch()) {
        return QString();
    }
    return QCoreApplication::translate(
        "MainWindow",
        "Please enter a valid phone number.\r\nAllowed: 0-9, *, #, +, A, B, C, D and p");
}

QString maxMessageSizeRefusal() {
    return QCoreApplication::translate("MainWindow",
                                       "You must specify a value between 32 and 256.");
}

QString i2cWriteRefusal(uint8_t address, uint8_t reg, const QString &hexData, QByteArray *data) {
    QString error;
    if (!hexBytesFromText(hexData, data, &error)) {
        return error;
    }
    if (data->isEmpty()) {
        return QCoreApplication::translate(
            "MainWindow", "Invalid Data. Please specify at least one byte to write.");
    }
    // The count byte holds the data's length: data it cannot count is refused, not cut.
    return requestRefusal(CMD_I2C, {address | kI2cWriteBit, reg, uint8_t(data->size()), *data});
}

QString socketSendRefusal(const QString &destination, uint8_t protocol, uint16_t timeoutMs) {
    if (destination.isEmpty()) {
        return QCoreApplication::translate("MainWindow",
                                           "Please enter a valid URL or TCP endpoint.");
    }
    return requestRefusal(CMD_SOCKET_SEND, {protocol, timeoutMs, destination.toUtf8()});
}

QString socketResultText(uint8_t code) {
    static const char *const texts[] = {
        QT_TRANSLATE_NOOP("MainWindow", "Operation Complete OK"),
        QT_TRANSLATE_NOOP("MainWindow", "ERROR: APN not set."),
        QT_TRANSLATE_NOOP(
            "MainWindow",
            "ERROR: Cannot connect to destination host / No more data (Profile deactivated)."),
        QT_TRANSLATE_NOOP("MainWindow", "ERROR: IO error while sending request payload."),
        QT_TRANSLATE_NOOP("MainWindow", "ERROR: IO error while receiving response payload."),
        QT_TRANSLATE_NOOP("MainWindow", "ERROR: generic IO error."),
        QT_TRANSLATE_NOOP("MainWindow",
                          "ERROR: another Socket Payload Send operation is in progress."),
        QT_TRANSLATE_NOOP("MainWindow",
                          "ERROR: the send operation was cancelled (Socket Cancel Send)."),
    };
    return code < std::size(texts) ? QCoreApplication::translate("MainWindow", texts[code])
                                   : QString();
}

OutcomeTexts socketCancelOutcome() {
    return {QCoreApplication::translate("MainWindow", "SEND operation cancelled successfully."),
            QCoreApplication::translate("MainWindow", "ERROR: No SEND operation in progress.")};
}
