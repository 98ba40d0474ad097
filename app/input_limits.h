// Texts from the user's fields travel with a one-byte length and must fit one frame once
// escaped. A slot asks before it queues anything and shows the reason in its own box.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// Why `text` (UTF-8, named `what` in the message, e.g. "The URL") cannot be sent, or an empty
// string when it can. `payload` is the whole frame payload that carries it, counted and all.
QString overLongReason(const QString &what, const QByteArray &text, int limit, uint8_t cmdId,
                       const QByteArray &payload);

// A length byte, then the text.
QByteArray countedText(const QByteArray &text);
