// Passwords out of the traffic the inspector shows, copies and saves, and out of what is copied
// from the Debug tab's log: each secret byte becomes a "*", so lengths and count bytes stay true.
#pragma once

#include <QByteArray>
#include <cstdint>

#include "link_traffic.h"

// The payload with its passwords masked: the SMTP password, the APN password (set and read
// back) and the credentials of an update trigger SMS. A count that runs past the payload
// masks to its end.
QByteArray maskSecrets(uint8_t cmdId, const QByteArray &payload);

// A frame as it may leave the tool: its bytes, and whether they differ from what crossed the
// line. A decoded frame is encoded again with its payload masked (and so a CRC of its own); a
// frame that never decoded keeps its header and CRC and loses every payload byte, since a
// spoiled frame may be any frame.
struct MaskedFrame {
    QByteArray wire;
    bool masked = false;
};
MaskedFrame maskedWire(const TrafficRecord &r);
// The same for bytes alone, decoded here: the frames of the Debug tab's log.
MaskedFrame maskedWire(const QByteArray &wire);

// The bytes the inspector shows and searches for a record: the masked payload of a decoded
// frame, the masked wire of one that never decoded.
QByteArray shownBytes(const TrafficRecord &r);
