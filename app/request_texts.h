// The window's words for the requests it refuses and for the module's answers, with the checks
// behind them, so that a front end without widgets says and refuses exactly what the window does.
// QtCore only; the texts translate in the window's context.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// A request's outcome for the standard status rule: its success and its failure.
struct OutcomeTexts {
    QString success;
    QString failure;
};

// The window ends calls with these two bytes, which select the calls a hang-up ends.
constexpr uint8_t kHangUpFirstByte = 0x00;
constexpr uint8_t kHangUpSecondByte = 0x10;

// Why an SMS with this number and text is not sent, or an empty string; `title` gets the box's
// title for it.
QString smsSendRefusal(const QString &number, const QString &text, QString *title = nullptr);
OutcomeTexts smsSendOutcome();

// Why the mail's server, login and password cannot be sent, or an empty string: asked before any
// part of the mail is queued, since half a mail would wait at the module for the next send.
QString mailAccountRefusal(const QByteArray &server, const QByteArray &login,
                           const QByteArray &password);
OutcomeTexts mailSendOutcome();

// Why the dialler refuses this number, or an empty string.
QString dialNumberRefusal(const QString &number);

// What the user is told of a maximum message size outside LINK_MIN_MESSAGE_SIZE to
// LINK_MAX_MESSAGE_SIZE.
QString maxMessageSizeRefusal();

// Reads the data typed in hexadecimal into `data` and says why the write of it to `reg` of the
// device at `address` cannot be sent, or returns an empty string.
QString i2cWriteRefusal(uint8_t address, uint8_t reg, const QString &hexData, QByteArray *data);

// Why a socket send to this destination is refused, or an empty string: asked before its payload
// is stored, which a refused send would leave at the module.
QString socketSendRefusal(const QString &destination, uint8_t protocol, uint16_t timeoutMs);
// The text for a socket transfer's result code: its success, one of its failures, or an empty
// string for a code without a meaning of its own.
QString socketResultText(uint8_t code);
OutcomeTexts socketCancelOutcome();
