// A record of every frame that crosses the line, both ways, with what became of it, for the
// traffic inspector. Off until someone asks for it; bounded while nobody takes it.
#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>

enum class TrafficOutcome : uint8_t {
    None,           // a control frame, or a frame still on its way
    Acknowledged,   // the other side acknowledged (or answered) it
    Refused,        // the module answered it with a NAK
    Rewritten,      // no acknowledgement in time: written again, in a later record
    RepeatDropped,  // the module wrote it again; handled once already
    BadCrc,         // bytes that ended like a frame but failed their CRC
    Overflow,       // bytes longer than any frame: dropped
    CutOff,         // bytes of a frame a new start marker broke off, or too short for one
    NoRoom,         // a frame the receive table had no room for
};
const char *traffic_outcome_name(TrafficOutcome outcome);

// Bounds what waits for link_traffic_take(): older records go first.
constexpr int LINK_TRAFFIC_BACKLOG = 50000;

struct TrafficRecord {
    uint64_t id = 0;     // from 1, in the order the frames crossed the line
    int64_t timeUs = 0;  // wall-clock microseconds since the Unix epoch
    bool fromModule = false;
    QByteArray wire;  // as it crossed the line; for the module's frames, as it arrived
    bool decoded = false;
    uint8_t cmdId = 0;
    uint8_t seq = 0;
    uint8_t status = 0;
    QByteArray payload;
    TrafficOutcome outcome = TrafficOutcome::None;
};

// A new record, or the outcome of an earlier one (only id and outcome are set then).
struct TrafficChange {
    bool isNew = true;
    TrafficRecord record;
};

void link_traffic_record(bool on);
// What changed since the last call, oldest first; `lost` adds the changes the backlog dropped.
QList<TrafficChange> link_traffic_take(uint64_t *lost = nullptr);
// Zeroes the line statistics of the link's counters.
void link_reset_statistics();
