// Test helpers for frames: hex text in and out, and whole frames built with the codec.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

#include "frame_codec.h"

namespace testsupport {

// "7E A1 01" -> bytes; spaces are optional.
QByteArray hex(const char *text);
// bytes -> "7E A1 01"
QString toHex(const QByteArray &bytes);

// The encoded frame of one message (the status byte is dropped for ids below 16).
QByteArray frame(uint8_t cmdId, uint8_t seq, uint8_t status = 0,
                 const QByteArray &payload = QByteArray());

using Decoded = DecodedFrame;
// Everything a fresh decoder makes of a byte stream, frame by frame.
QList<Decoded> decodeAll(const QByteArray &stream);

}  // namespace testsupport
