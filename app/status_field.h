// Status fields: a frame whose style sheet carries the colour and a label inside it with the
// text. Every feature reports through these two helpers.
#pragma once

#include <QString>
#include <cstdint>

class QFrame;
class QLabel;

namespace status_style {
extern const char *const Success;
extern const char *const Failure;
extern const char *const Pending;
extern const char *const NotConnected;
extern const char *const Connected;
}  // namespace status_style

// Style sheet first, then text, so the field never shows a new text in an old colour.
void setStatusField(QFrame *frame, QLabel *label, const char *styleSheet, const QString &text);

// The standard rule: 0 success, 1 failure, idle leaves the colour and empties the text,
// anything else (pending, NAK, codes without meaning) shows the request as waiting.
void applyStandardStatus(QFrame *frame, QLabel *label, uint8_t status, const QString &success,
                         const QString &failure);

QString pendingStatusText();
