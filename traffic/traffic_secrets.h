// Passwords out of the traffic the inspector shows, copies and saves: they stay on screen as
// "****" unless the user asks to keep them in a saved capture.
#pragma once

#include <QByteArray>
#include <cstdint>

#include "link_traffic.h"

// The payload with its passwords replaced by "****": the SMTP password, the APN password (set
// and read back) and the credentials of an update trigger SMS. Count bytes keep their value,
// so a reader still sees how long the secret was. A payload that does not parse comes back as
// it was.
QByteArray maskSecrets(uint8_t cmdId, const QByteArray &payload);

// The frame as it would have crossed the line with its payload masked; the wire as it was when
// nothing was masked or the frame never decoded.
QByteArray maskedWire(const TrafficRecord &r);
