// Passwords out of the traffic the inspector shows, copies and saves, and out of what is copied
// from the Debug tab's log: each secret byte becomes a "*", so lengths and count bytes stay true.
#pragma once

#include <QByteArray>
#include <cstdint>

#include "command_catalogue.h"
#include "link_traffic.h"

// The payload with the values of its secret fields masked, as the catalogue marks them for the
// frame's id and way. Where the payload ends before a secret field does, it masks to its end.
QByteArray maskSecrets(uint8_t cmdId, PayloadWay way, const QByteArray &payload);

// A frame as it may leave the tool: its bytes, and whether they differ from what crossed the
// line. A decoded frame is encoded again with its payload masked (and so a CRC of its own); a
// frame that never decoded keeps its header and CRC and loses every payload byte, since a
// spoiled frame may be any frame.
struct MaskedFrame {
    QByteArray wire;
    bool masked = false;
};
MaskedFrame maskedWire(const TrafficRecord &r);
// The same for bytes alone, decoded here: the frames the tool wrote, as the Debug tab logs them.
MaskedFrame maskedWire(const QByteArray &wire, bool fromModule = false);

// The bytes the inspector shows and searches for a record: the masked payload of a decoded
// frame, the masked wire of one that never decoded.
QByteArray shownBytes(const TrafficRecord &r);
