// Transfers: their frames wait outside the transmit table until it is their turn, so that no
// piece can overtake another, and a refused piece takes the rest of its transfer with it.
#include "link_transfers.h"

#include <algorithm>

#include "link_internal.h"

namespace link_detail {

namespace {

// Frames that may wait for their turn, over all transfers: as many as the table holds.
constexpr int kMaxWaitingFrames = LINK_SLOT_COUNT;

// An SMS is one of a kind in the module: its reply names no SMS, so none other may start while
// it is owed one, and a reply is placed only with the send that is owed it.
bool holds_until_outcome(TransferKind kind) {
    return kind == TransferKind::Sms;
}

bool awaits(const LinkState &s, TransferKind kind) {
    return std::any_of(s.awaitingOutcome.begin(), s.awaitingOutcome.end(),
                       [kind](const AwaitedOutcome &a) { return a.kind == kind; });
}

// Takes an unacknowledged commit frame out of the transmit table, so it is not written again.
void take_back_commit(LinkState &s, LinkTransferId id) {
    for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
        const TxState state = s.txTable[i].state;
        if ((state == TxState::Waiting || state == TxState::Written) && s.txTable[i].ends == id) {
            free_tx_slot(s, i);
            return;
        }
    }
}

std::deque<Transfer> &transfers_of(LinkState &s, TransferKind kind) {
    return s.transfers[static_cast<size_t>(kind)];
}

Transfer *open_transfer(LinkState &s, TransferKind kind) {
    std::deque<Transfer> &list = transfers_of(s, kind);
    return !list.empty() && !list.back().committed ? &list.back() : nullptr;
}

Transfer &open_or_new(LinkState &s, TransferKind kind) {
    if (Transfer *open = open_transfer(s, kind)) {
        return *open;
    }
    Transfer fresh;
    fresh.kind = kind;
    fresh.id = ++s.lastTransferId;
    if (fresh.id == 0) {
        fresh.id = ++s.lastTransferId;
    }
    transfers_of(s, kind).push_back(std::move(fresh));
    return transfers_of(s, kind).back();
}

// The transfer a table slot carries a frame of, with its list.
Transfer *owner(LinkState &s, int index, std::deque<Transfer> **list = nullptr) {
    const LinkTransferId id = s.txTable[index].transfer;
    for (std::deque<Transfer> &candidates : s.transfers) {
        for (Transfer &t : candidates) {
            if (id != 0 && t.id == id) {
                if (list != nullptr) {
                    *list = &candidates;
                }
                return &t;
            }
        }
    }
    return nullptr;
}

void drop_waiting(LinkState &s, Transfer &t) {
    s.transferFramesWaiting -= static_cast<int>(t.waiting.size());
    t.waiting.clear();
}

void erase(std::deque<Transfer> &list, LinkTransferId id) {
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->id == id) {
            list.erase(it);
            return;
        }
    }
}

// Drops what of a transfer has not gone. A frame of it that is on the line already goes on as
// a frame of its own; one that is not is taken back. Returns how many frames did not go.
int drop_frames(LinkState &s, Transfer &t) {
    int dropped = static_cast<int>(t.waiting.size());
    if (t.slot >= 0) {
        TxSlot &slot = s.txTable[t.slot];
        if (slot.state == TxState::Waiting) {
            free_tx_slot(s, t.slot);
            ++dropped;
        } else {
            slot.transfer = 0;
        }
        t.slot = -1;
    }
    drop_waiting(s, t);
    return dropped;
}

// Takes a transfer off its list; returns how many of its frames did not go.
int withdraw(LinkState &s, std::deque<Transfer> &list, Transfer &t) {
    const int dropped = drop_frames(s, t);
    erase(list, t.id);
    return dropped;
}

// Puts the first waiting frame of the kind's first transfer into the table, when nothing of it
// is on its way; whether it did.
bool start_next(LinkState &s, TransferKind kind) {
    std::deque<Transfer> &list = transfers_of(s, kind);
    if (list.empty() || list.front().slot >= 0 || list.front().waiting.empty() ||
        (holds_until_outcome(kind) && awaits(s, kind))) {
        return false;
    }
    Transfer &t = list.front();
    const TransferFrame &next = t.waiting.front();
    const int index = place_frame(s, next.cmdId, s.txSeq, 0, bytes_of(next.payload),
                                  static_cast<uint16_t>(next.payload.size()));
    if (index < 0) {
        return false;  // the table is full: the next pass tries again
    }
    take_sequence_number(s);
    TxSlot &slot = s.txTable[index];
    slot.request = true;
    slot.transfer = t.id;
    if (t.committed && t.waiting.size() == 1) {
        slot.reportsTo = t.statusId;
        slot.ends = t.id;
    }
    t.slot = index;
    if (holds_until_outcome(kind)) {
        t.placed.push_back(next);
    }
    t.waiting.pop_front();
    --s.transferFramesWaiting;
    return true;
}

// Puts an SMS's frames back in the queue from its number on: a module that lost the line may
// have lost the number and text it was given too.
void rewind(LinkState &s, Transfer &t) {
    if (t.slot >= 0) {
        free_tx_slot(s, t.slot);
        t.slot = -1;
    }
    s.transferFramesWaiting += static_cast<int>(t.placed.size());
    t.waiting.insert(t.waiting.begin(), t.placed.begin(), t.placed.end());
    t.placed.clear();
}

}  // namespace

uint8_t reported_status(const LinkState &s, int index) {
    const TxSlot &slot = s.txTable[index];
    if (slot.reportsTo != 0) {
        return slot.reportsTo;
    }
    for (const std::deque<Transfer> &list : s.transfers) {
        for (const Transfer &t : list) {
            if (slot.transfer != 0 && t.id == slot.transfer && t.committed) {
                return t.statusId;
            }
        }
    }
    return slot.cmdId;
}

bool transfer_has_room(const LinkState &s, int frames) {
    return s.transferFramesWaiting + frames <= kMaxWaitingFrames;
}

LinkTransferId transfer_add(Transaction &t, TransferKind kind, uint8_t cmdId,
                            const QByteArray &payload, bool fresh) {
    LinkState &s = t.state;
    if (fresh) {
        if (Transfer *open = open_transfer(s, kind)) {
            s.counters.transferFramesDropped += withdraw(s, transfers_of(s, kind), *open);
        }
    }
    Transfer &open = open_or_new(s, kind);
    // Callers cut their frames to fit; one that would not encode could never be sent.
    if (open.droppedAs != 0 || !frame_always_fits(cmdId, payload)) {
        ++s.counters.transferFramesDropped;
        return open.id;
    }
    open.waiting.push_back(TransferFrame{cmdId, payload});
    ++s.transferFramesWaiting;
    const LinkTransferId id = open.id;
    if (start_next(s, kind)) {
        ++t.outbox.framesQueued;  // wakes the worker; later frames go as their turn comes
    }
    return id;
}

LinkTransferId transfer_commit(Transaction &t, TransferKind kind, uint8_t cmdId,
                               const QByteArray &payload, uint8_t statusId) {
    LinkState &s = t.state;
    Transfer &open = open_or_new(s, kind);
    open.committed = true;
    open.statusId = statusId;
    const LinkTransferId id = open.id;
    if (open.droppedAs != 0) {
        // A piece was refused, or the port went, before the commit was queued: the send never
        // goes, or the module would send what it holds of another transfer, or nothing.
        s.cmdStatus[statusId] = open.droppedAs;
        t.outbox.transfersEnded.emplace_back(id, open.droppedAs);
        ++s.counters.transferFramesDropped;
        erase(transfers_of(s, kind), id);
        start_next(s, kind);
        return id;
    }
    open.waiting.push_back(TransferFrame{cmdId, payload});
    ++s.transferFramesWaiting;
    if (start_next(s, kind)) {
        ++t.outbox.framesQueued;
    }
    return id;
}

void transfers_advance(LinkState &s) {
    for (int kind = 0; kind < TRANSFER_KIND_COUNT; ++kind) {
        start_next(s, static_cast<TransferKind>(kind));
    }
}

void transfer_acknowledged(LinkState &s, int index, int64_t now) {
    Transfer *t = owner(s, index);
    if (t != nullptr && t->slot == index) {
        t->slot = -1;
    }
    TxSlot &slot = s.txTable[index];
    slot.transfer = 0;
    for (AwaitedOutcome &awaited : s.awaitingOutcome) {
        if (slot.ends != 0 && awaited.id == slot.ends && !awaited.acknowledged) {
            awaited.acknowledged = true;
            awaited.since = now;
        }
    }
}

void transfer_refused(Transaction &tx, int index) {
    LinkState &s = tx.state;
    std::deque<Transfer> *list = nullptr;
    Transfer *t = owner(s, index, &list);
    s.txTable[index].transfer = 0;
    if (t == nullptr) {
        return;
    }
    t->slot = -1;
    t->droppedAs = CMD_STATUS_NAK;
    s.counters.transferFramesDropped += static_cast<uint32_t>(t->waiting.size());
    drop_waiting(s, *t);
    if (t->committed) {
        s.cmdStatus[t->statusId] = CMD_STATUS_NAK;
        tx.outbox.transfersEnded.emplace_back(t->id, CMD_STATUS_NAK);
        erase(*list, t->id);
    }
    // An open transfer stays, dropped, until its commit comes and is dropped with it.
}

void transfer_written(Transaction &tx, int index, int64_t now) {
    LinkState &s = tx.state;
    std::deque<Transfer> *list = nullptr;
    Transfer *t = owner(s, index, &list);
    if (t == nullptr || !t->committed || !t->waiting.empty() || t->slot != index) {
        return;
    }
    // The commit frame is on the line: the transfer waits for its outcome, and the next of its
    // kind may start (an SMS's only once this one's outcome is known).
    s.txTable[index].transfer = 0;
    s.awaitingOutcome.push_back(AwaitedOutcome{t->id, t->statusId, t->kind, false, now});
    tx.outbox.transfersCommitted.push_back(t->id);
    erase(*list, t->id);
}

bool reply_needs_owner(uint8_t cmdId) {
    return cmdId == CMD_SMS_SEND;
}

bool transfer_replied(Transaction &t, uint8_t cmdId, uint8_t code) {
    std::deque<AwaitedOutcome> &awaiting = t.state.awaitingOutcome;
    for (auto it = awaiting.begin(); it != awaiting.end(); ++it) {
        if (it->statusId == cmdId) {
            t.outbox.transfersEnded.emplace_back(it->id, code);
            awaiting.erase(it);
            return true;
        }
    }
    return false;
}

void transfer_commit_refused(Transaction &t, const TxSlot &slot) {
    std::deque<AwaitedOutcome> &awaiting = t.state.awaitingOutcome;
    for (auto it = awaiting.begin(); it != awaiting.end(); ++it) {
        if (it->id == slot.ends) {
            awaiting.erase(it);
            break;
        }
    }
    t.outbox.transfersEnded.emplace_back(slot.ends, CMD_STATUS_NAK);
}

void transfers_expire(Transaction &t, int64_t now) {
    LinkState &s = t.state;
    std::deque<AwaitedOutcome> &awaiting = s.awaitingOutcome;
    for (auto it = awaiting.begin(); it != awaiting.end();) {
        if (now - it->since <= LINK_REPLY_LIFETIME_SECONDS) {
            ++it;
            continue;
        }
        // Mail and socket replies still set their status when they come; an SMS's no longer.
        if (holds_until_outcome(it->kind)) {
            take_back_commit(s, it->id);
            s.cmdStatus[it->statusId] = CMD_STATUS_NO_REPLY;
            t.outbox.transfersEnded.emplace_back(it->id, CMD_STATUS_NO_REPLY);
        }
        it = awaiting.erase(it);
    }
    // A piece the module never acknowledged: the send did not go out, and now never will.
    for (int kind = 0; kind < TRANSFER_KIND_COUNT; ++kind) {
        std::deque<Transfer> &list = s.transfers[size_t(kind)];
        if (!holds_until_outcome(TransferKind(kind)) || list.empty() || list.front().slot < 0) {
            continue;
        }
        Transfer &front = list.front();
        const TxSlot &slot = s.txTable[front.slot];
        if (slot.firstSent == 0 || now - slot.firstSent <= LINK_REPLY_LIFETIME_SECONDS) {
            continue;
        }
        free_tx_slot(s, front.slot);
        front.slot = -1;
        s.cmdStatus[front.statusId] = CMD_STATUS_NOT_SENT;
        t.outbox.transfersEnded.emplace_back(front.id, CMD_STATUS_NOT_SENT);
        s.counters.transferFramesDropped += withdraw(s, list, front);
        start_next(s, TransferKind(kind));
    }
}

bool sms_in_progress(const LinkState &s) {
    return !s.transfers[size_t(TransferKind::Sms)].empty() || awaits(s, TransferKind::Sms);
}

void transfers_reset(LinkState &s) {
    for (std::deque<Transfer> &list : s.transfers) {
        list.clear();
    }
    s.transferFramesWaiting = 0;
    s.awaitingOutcome.clear();
}

}  // namespace link_detail

using namespace link_detail;

void link_port_lost() {
    Transaction t;
    LinkState &s = t.state;
    const auto interrupt = [&](uint8_t statusId, LinkTransferId id) {
        s.cmdStatus[statusId] = CMD_STATUS_INTERRUPTED;
        if (id != 0) {
            t.outbox.transfersEnded.emplace_back(id, CMD_STATUS_INTERRUPTED);
        }
    };
    for (std::deque<Transfer> &list : s.transfers) {
        for (Transfer &sms : list) {
            if (holds_until_outcome(sms.kind)) {
                rewind(s, sms);
            }
        }
        while (!list.empty() && !holds_until_outcome(list.front().kind) && list.front().committed) {
            interrupt(list.front().statusId, list.front().id);
            withdraw(s, list, list.front());
        }
        // One still being built loses what it queued; its commit, when it comes, says so.
        if (!list.empty() && !holds_until_outcome(list.front().kind)) {
            drop_frames(s, list.front());
            list.front().droppedAs = CMD_STATUS_INTERRUPTED;
        }
    }
    // An SMS send on the line stays owed its reply, but is not written again: the module may
    // have lost its number and text.
    std::array<bool, 256> stillOwed{};
    for (const AwaitedOutcome &awaited : s.awaitingOutcome) {
        if (holds_until_outcome(awaited.kind)) {
            take_back_commit(s, awaited.id);
            stillOwed[awaited.statusId] = true;
        }
    }
    for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
        const TxSlot &slot = s.txTable[i];
        if (slot.state != TxState::Written && slot.state != TxState::Done) {
            continue;
        }
        const bool onItsWay = slot.state == TxState::Written;
        if (slot.reportsTo != 0 && onItsWay) {
            interrupt(slot.reportsTo, 0);  // its transfer waits for an outcome: told below
        } else if (slot.request && (onItsWay || s.repliesOwed[slot.cmdId] > 0)) {
            interrupt(slot.cmdId, 0);
        }
        free_tx_slot(s, i);
    }
    // Requests written and not answered are the oldest of their queues; those not written
    // yet keep their entries, so that their replies find their own groups and pins.
    const auto dropOwed = [](std::deque<int> &queue, int owed) {
        queue.erase(queue.begin(), queue.begin() + std::min<size_t>(size_t(owed), queue.size()));
    };
    dropOwed(s.gpioGroupQueue,
             s.repliesOwed[CMD_GPIO_GROUP_SET] + s.repliesOwed[CMD_GPIO_GROUP_GET]);
    dropOwed(s.gpioPinQueue, s.repliesOwed[CMD_GPIO_PIN_GET]);
    for (uint8_t id = 0;; ++id) {
        const bool waiting =
            s.cmdStatus[id] == CMD_STATUS_PENDING || s.cmdStatus[id] == CMD_STATUS_SILENT;
        if (s.repliesOwed[id] > 0 && waiting && !stillOwed[id]) {
            s.cmdStatus[id] = CMD_STATUS_INTERRUPTED;
        }
        s.repliesOwed[id] = 0;
        if (id == 255) {
            break;
        }
    }
    for (auto it = s.awaitingOutcome.begin(); it != s.awaitingOutcome.end();) {
        if (holds_until_outcome(it->kind)) {
            ++it;
            continue;
        }
        interrupt(it->statusId, it->id);
        it = s.awaitingOutcome.erase(it);
    }
}

int link_withdraw_transfer(LinkTransferId id) {
    Transaction t;
    LinkState &s = t.state;
    for (std::deque<Transfer> &list : s.transfers) {
        for (Transfer &candidate : list) {
            if (id == 0 || candidate.id != id) {
                continue;
            }
            if (candidate.committed) {
                s.cmdStatus[candidate.statusId] = CMD_STATUS_CANCELLED;
            }
            withdraw(s, list, candidate);
            return 1;
        }
    }
    return 0;
}
