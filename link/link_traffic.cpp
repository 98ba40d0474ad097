// The traffic record: every frame both ways, with its later outcome.
#include "link_traffic.h"

#include <chrono>

#include "link_internal.h"

using namespace link_detail;

const char *traffic_outcome_name(TrafficOutcome outcome) {
    switch (outcome) {
        case TrafficOutcome::None:
            return "";
        case TrafficOutcome::Acknowledged:
            return "ACKed";
        case TrafficOutcome::Refused:
            return "NAKed";
        case TrafficOutcome::Rewritten:
            return "rewritten after time-out";
        case TrafficOutcome::RepeatDropped:
            return "dropped as a repeat";
        case TrafficOutcome::BadCrc:
            return "bad CRC";
        case TrafficOutcome::Overflow:
            return "overflow";
        case TrafficOutcome::CutOff:
            return "cut off";
        case TrafficOutcome::NoRoom:
            return "dropped: receive table full";
    }
    return "";
}

namespace link_detail {

namespace {
void push(LinkState &s, TrafficChange &&change) {
    if (s.traffic.size() >= LINK_TRAFFIC_BACKLOG) {
        s.traffic.pop_front();
        ++s.trafficLost;
    }
    s.traffic.push_back(std::move(change));
}
}  // namespace

uint64_t traffic_add(LinkState &s, bool fromModule, const QByteArray &wire,
                     const LinkMessage *message, TrafficOutcome outcome) {
    if (!s.recordTraffic) {
        return 0;
    }
    TrafficChange change;
    TrafficRecord &r = change.record;
    r.id = ++s.lastTrafficId;
    r.timeUs = std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                   .count();
    r.fromModule = fromModule;
    r.wire = wire;
    r.outcome = outcome;
    if (message != nullptr) {
        r.decoded = true;
        r.cmdId = message->cmdId;
        r.seq = message->seq;
        r.status = message->status;
        r.payload = QByteArray(reinterpret_cast<const char *>(message->payload), message->length);
    }
    push(s, std::move(change));
    return r.id;
}

void traffic_outcome(LinkState &s, uint64_t id, TrafficOutcome outcome) {
    if (!s.recordTraffic || id == 0) {
        return;
    }
    TrafficChange change;
    change.isNew = false;
    change.record.id = id;
    change.record.outcome = outcome;
    push(s, std::move(change));
}

}  // namespace link_detail

void link_traffic_record(bool on) {
    Transaction t;
    t.state.recordTraffic = on;
    if (!on) {
        t.state.traffic.clear();
    }
}

QList<TrafficChange> link_traffic_take(uint64_t *lost) {
    Transaction t;
    LinkState &s = t.state;
    QList<TrafficChange> out;
    out.reserve(static_cast<int>(s.traffic.size()));
    for (TrafficChange &change : s.traffic) {
        out.append(std::move(change));
    }
    s.traffic.clear();
    if (lost != nullptr) {
        *lost += s.trafficLost;
    }
    s.trafficLost = 0;
    return out;
}

void link_reset_statistics() {
    Transaction t;
    LinkCounters &c = t.state.counters;
    c.framesSent = c.framesReceived = c.bytesSent = c.bytesReceived = 0;
    c.rewrites = c.naksReceived = c.textsCut = 0;
    c.repeatsDropped = 0;
    const FrameDecoder &d = frame_decoder_instance();
    t.state.decoderBase = {d.badCrcCount, d.overflowCount, d.tooShortCount, d.cutOffCount};
}
