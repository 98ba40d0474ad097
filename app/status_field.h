// Status fields: a frame whose style sheet carries the colour and a label inside it with the
// text. Every feature reports through these helpers.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <cstring>

class QFrame;
class QLabel;
class QLineEdit;

namespace status_style {
extern const char *const Success;
extern const char *const Failure;
extern const char *const Pending;
extern const char *const NotConnected;
extern const char *const Connected;
}  // namespace status_style

// Style sheet first, then text, so the field never shows a new text in an old colour. Writes
// only what changed: re-applying a style sheet costs a re-polish.
void setStatusField(QFrame *frame, QLabel *label, const char *styleSheet, const QString &text);

// A status the link sets itself: a request the module refused, one the tool withdrew before it
// went out, one the port's loss interrupted, one the module has not acknowledged yet, one the
// link gave up on; false for any other status. Features with codes of their own call this before
// their mapping.
bool applyRefusal(QFrame *frame, QLabel *label, uint8_t status);

// The standard rule: 0 success, 1 failure, a refusal as applyRefusal shows it, idle empties
// the text and keeps the colour, anything else (pending, codes without meaning) shows the
// request as waiting.
void applyStandardStatus(QFrame *frame, QLabel *label, uint8_t status, const QString &success,
                         const QString &failure);
// The same rule for a feature whose failure codes 1, 2, ... each have their own text.
void applyStandardStatus(QFrame *frame, QLabel *label, uint8_t status, const QString &success,
                         const QStringList &failures);

QString pendingStatusText();

// A field the refresh fills: writing the text it already shows would drop the user's
// selection in it.
void showText(QLineEdit *field, const QString &text);

// A text the link record keeps NUL-terminated, read as Latin-1.
template <size_t N>
QString recordText(const std::array<char, N> &field) {
    return QString::fromLatin1(field.data(), int(strnlen(field.data(), N)));
}

// Text from the module that may be UTF-8, as the tool sends and the virtual module answers, or
// Latin-1 from an older firmware: UTF-8 when every byte of it is valid UTF-8.
QString utf8OrLatin1(const char *bytes, int size);
template <size_t N>
QString receivedText(const std::array<char, N> &field) {
    return utf8OrLatin1(field.data(), int(strnlen(field.data(), N)));
}
