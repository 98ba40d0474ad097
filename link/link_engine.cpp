// link_process: acknowledgement, repeats, retransmission and the choice of the next frame.
#include "link_engine.h"

#include <algorithm>
#include <cstring>

#include "link_clock.h"
#include "link_internal.h"

using namespace link_detail;

namespace {

void handle_ack(Transaction &t, uint8_t seq, bool refused, int64_t now) {
    LinkState &s = t.state;
    // Only a frame on the line can be answered: our control frames reuse the module's numbers,
    // and with more than 255 frames queued a number also stands on frames not yet written.
    const int index = find_acknowledged(s, seq);
    if (index < 0) {
        return;
    }
    TxSlot &slot = s.txTable[index];
    tx_done(s, index);
    traffic_outcome(s, slot.trafficId,
                    refused ? TrafficOutcome::Refused : TrafficOutcome::Acknowledged);
    uint8_t &reported = s.cmdStatus[reported_status(s, index)];
    if (reported == CMD_STATUS_SILENT) {
        reported = CMD_STATUS_PENDING;  // heard after all
    }
    if (!refused) {
        transfer_acknowledged(s, index, now);
        return;
    }
    ++s.counters.naksReceived;
    const uint8_t id = slot.cmdId;
    s.cmdStatus[id] = CMD_STATUS_NAK;
    ++s.nakCount[id];
    if (slot.reportsTo != 0) {
        s.cmdStatus[slot.reportsTo] = CMD_STATUS_NAK;
        transfer_commit_refused(t, slot);
    }
    if (slot.request && s.repliesOwed[id] > 0) {
        --s.repliesOwed[id];  // a refused request is never answered
    }
    transfer_refused(t, index);
}

// A reply settles one request of its id. Once none of that id is owed a reply, every one of
// them was heard, so none is written again even when its ACK was lost on the line: a module
// that remembers only its last sequence number would carry a rewritten one out twice. While
// several are owed, the reply cannot tell which it answers and only ACKs decide.
void settle_reply(LinkState &s, uint8_t id, int64_t now) {
    if (s.repliesOwed[id] == 0 || --s.repliesOwed[id] > 0) {
        return;
    }
    for (const uint16_t i : written_of_command(s, id)) {
        if (s.txTable[i].request) {
            tx_done(s, i);
            traffic_outcome(s, s.txTable[i].trafficId, TrafficOutcome::Acknowledged);
            transfer_acknowledged(s, i, now);
        }
    }
}

bool same_frame(const HandledFrame &h, const LinkMessage &m) {
    return h.handledAt != 0 && h.seq == m.seq && h.cmdId == m.cmdId && h.status == m.status &&
           h.payload.size() == m.length &&
           std::memcmp(h.payload.constData(), m.payload, m.length) == 0;
}

// The module writes a frame again when our ACK did not reach it. Besides the frame just
// handled, a frame equal in number, id, status and payload to one handled recently is such
// a repeat: rewrites can arrive after other frames.
bool is_repeat(const LinkState &s, const LinkMessage &m, int64_t now) {
    if (s.lastRxSeqValid && m.seq == s.lastRxSeq) {
        return true;
    }
    return std::any_of(s.handled.begin(), s.handled.end(), [&](const HandledFrame &h) {
        return now - h.handledAt <= LINK_REPEAT_MEMORY_SECONDS && same_frame(h, m);
    });
}

void remember(LinkState &s, const LinkMessage &m, int64_t now) {
    s.handled[s.handledNext] =
        HandledFrame{m.seq, m.cmdId, m.status,
                     QByteArray(reinterpret_cast<const char *>(m.payload), m.length), now};
    s.handledNext = (s.handledNext + 1) % LINK_REPEAT_MEMORY;
    s.lastRxSeq = m.seq;
    s.lastRxSeqValid = true;
}

void handle_received(Transaction &t, const LinkMessage &m, uint64_t trafficId, int64_t now) {
    LinkState &s = t.state;
    if (m.cmdId < FIRST_STATUS_ID) {
        if (m.cmdId == CMD_ACK || m.cmdId == CMD_NAK) {
            handle_ack(t, m.seq, m.cmdId == CMD_NAK, now);
        }
        // Control frames carry our numbers, not the module's: the repeat filter ignores them.
        t.outbox.received.emplace_back(m.cmdId, false);
        return;
    }
    if (is_repeat(s, m, now)) {
        ++s.counters.repeatsDropped;
        traffic_outcome(s, trafficId, TrafficOutcome::RepeatDropped);
        send(t, CMD_ACK, nullptr, 0, m.seq);  // this time, may it arrive
        return;
    }
    const bool isReply = (m.status & REPLY_FLAG) != 0;
    const uint8_t code = m.status & static_cast<uint8_t>(~REPLY_FLAG);
    if (isReply && !transfer_replied(t, m.cmdId, code) && reply_needs_owner(m.cmdId)) {
        // Owed to no request: given up on, or never sent by this tool. It changes nothing.
        ++s.counters.repliesUnplaced;
        t.outbox.repliesUnplaced.emplace_back(m.cmdId, code);
    } else if (isReply) {
        s.cmdStatus[m.cmdId] = code;
        ++s.replyCount[m.cmdId];
        settle_reply(s, m.cmdId, now);
    }
    send(t, CMD_ACK, nullptr, 0, m.seq);
    traffic_outcome(s, trafficId, TrafficOutcome::Acknowledged);
    unpack_received(t, m);
    remember(s, m, now);
    t.outbox.received.emplace_back(m.cmdId, isReply);
}

QByteArray frame_bytes(const TxSlot &slot) {
    return QByteArray(reinterpret_cast<const char *>(slot.frame.get()), slot.length);
}

// A frame going to the line: counted, and recorded as it is written.
QByteArray written(LinkState &s, TxSlot &slot) {
    const QByteArray bytes = frame_bytes(slot);
    ++s.counters.framesSent;
    s.counters.bytesSent += static_cast<uint64_t>(bytes.size());
    if (s.recordTraffic) {
        const LinkMessage message{
            slot.cmdId, slot.seq, slot.status,
            reinterpret_cast<uint8_t *>(const_cast<char *>(slot.payload.constData())),
            static_cast<uint16_t>(slot.payload.size())};
        slot.trafficId = traffic_add(s, false, bytes, &message, TrafficOutcome::None);
    }
    return bytes;
}

}  // namespace

QByteArray link_process() {
    const int64_t now = link_now_seconds();
    Transaction t;
    LinkState &s = t.state;
    for (int index = next_received(s); index >= 0; index = next_received(s)) {
        const std::unique_ptr<RxSlot> slot = take_received(s, index);
        handle_received(t, slot->message, slot->trafficId, now);
    }
    for (int index = s.txIndex.done.next_from(0); index >= 0;
         index = s.txIndex.done.next_from(index)) {
        free_tx_slot(s, index);
    }
    transfers_expire(t, now);
    transfers_advance(s);
    int index = find_pending_control(s);
    if (index >= 0) {
        tx_written(s, index, now);  // and Done: written once, never repeated
        return written(s, s.txTable[index]);
    }
    index = find_due_retransmit(s, now);
    if (index < 0) {
        return QByteArray();
    }
    TxSlot &slot = s.txTable[index];
    const bool first = slot.state == TxState::Waiting;
    if (first && slot.request) {
        uint16_t &owed = s.repliesOwed[slot.cmdId];
        owed = static_cast<uint16_t>(std::min(owed + 1, 0xFFFF));
    }
    if (!first) {
        ++s.counters.rewrites;
        traffic_outcome(s, slot.trafficId, TrafficOutcome::Rewritten);
    } else {
        slot.firstSent = now;
    }
    if (slot.request && slot.writes < LINK_SILENT_AFTER_WRITES &&
        ++slot.writes == LINK_SILENT_AFTER_WRITES) {
        const uint8_t reported = reported_status(s, index);
        if (s.cmdStatus[reported] == CMD_STATUS_PENDING) {
            s.cmdStatus[reported] = CMD_STATUS_SILENT;
            t.outbox.silent.push_back(reported);
        }
    }
    tx_written(s, index, now);
    transfer_written(t, index, now);
    return written(s, slot);
}

void link_tick() {
    const int64_t now = link_now_seconds();
    Transaction t;
    transfers_expire(t, now);
    transfers_advance(t.state);
}
