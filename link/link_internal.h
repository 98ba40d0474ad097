// Library-internal access to the record under its lock. Signals raised during a transaction
// are held back and emitted after the lock is released, so no receiver can deadlock on it.
#pragma once

#include <QMutex>
#include <utility>
#include <vector>

#include "link_state.h"

namespace link_detail {

struct Outbox {
    int framesQueued = 0;
    std::vector<std::pair<uchar, bool>> received;
    std::vector<LinkTransferId> transfersCommitted;
    std::vector<std::pair<LinkTransferId, uint8_t>> transfersEnded;
    std::vector<std::pair<uchar, uchar>> repliesUnplaced;
    std::vector<uchar> silent;
    // Adds what `later` holds after what this one holds.
    void append(const Outbox &later);
    void flush();
};

QMutex &mutex();
LinkState &state();
// Whether this thread holds a LockedLinkState.
bool viewHeldHere();

class Transaction {
  public:
    Transaction();
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    LinkState &state;
    Outbox outbox;
};

int send(Transaction &t, uint8_t cmdId, const uint8_t *payload, uint16_t length, uint8_t seq);
int send_reply(Transaction &t, uint8_t cmdId, const uint8_t *payload, uint16_t length,
               uint8_t status);
// Puts an encoded frame into a free slot; the slot's index, or -1.
int place_frame(LinkState &s, uint8_t cmdId, uint8_t seq, uint8_t status, const uint8_t *payload,
                uint16_t length);
uint8_t take_sequence_number(LinkState &s);

int find_free_tx_slot(LinkState &s);
int find_free_rx_slot(LinkState &s);
int next_received(LinkState &s);
int find_pending_control(LinkState &s);
int find_due_retransmit(LinkState &s, int64_t now);

// Every change of a transmit slot's state goes through these, which keep the table's index.
void free_tx_slot(LinkState &s, int index);
// The slot's frame goes to the line now: a control frame is Done, any other Written.
void tx_written(LinkState &s, int index, int64_t now);
// A written frame was acknowledged, refused or answered.
void tx_done(LinkState &s, int index);
// The written frame an ACK of `seq` ends: the lowest slot holding it; -1 when none does.
int find_acknowledged(const LinkState &s, uint8_t seq);
// The written frames of a command that a reply may end, lowest slot first.
std::vector<uint16_t> written_of_command(const LinkState &s, uint8_t cmdId);
// Takes the message out of a receive slot.
std::unique_ptr<RxSlot> take_received(LinkState &s, int index);
// The command whose status reports the frame in `index`: its transfer's, or its own.
uint8_t reported_status(const LinkState &s, int index);

// Unpacks a received frame's payload into the record by its id's row (reply_dispatch.cpp).
void unpack_received(Transaction &t, const LinkMessage &m);

// Traffic records (link_traffic.cpp); 0 when nothing is recorded.
uint64_t traffic_add(LinkState &s, bool fromModule, const QByteArray &wire,
                     const LinkMessage *message, TrafficOutcome outcome);
void traffic_outcome(LinkState &s, uint64_t id, TrafficOutcome outcome);

// Transfers (link_transfers.cpp).
// Whether `frames` more frames may wait for their turn.
bool transfer_has_room(const LinkState &s, int frames);
// Adds frames to the open transfer of a kind, opening one when there is none; `fresh` first
// withdraws an open transfer that was never committed. Returns the transfer's id.
LinkTransferId transfer_add(Transaction &t, TransferKind kind, uint8_t cmdId,
                            const QByteArray &payload, bool fresh = false);
// Adds the commit frame and closes the transfer; its outcome is reported in statusId.
LinkTransferId transfer_commit(Transaction &t, TransferKind kind, uint8_t cmdId,
                               const QByteArray &payload, uint8_t statusId);
// Places the next frame of every kind whose frame on the way was acknowledged.
void transfers_advance(LinkState &s);
// The frame in `index` was acknowledged or answered; an acknowledged commit frame's transfer
// is owed its reply from now on.
void transfer_acknowledged(LinkState &s, int index, int64_t now);
void transfer_refused(Transaction &t, int index);
// The frame in `index` was written; a commit frame finishes its transfer, which then waits
// for its outcome.
void transfer_written(Transaction &t, int index, int64_t now);
// Replies of this id are placed only with the one request owed them; others are credited to
// nothing.
bool reply_needs_owner(uint8_t cmdId);
// A reply of cmdId ends the oldest transfer waiting for one; false when none waits.
bool transfer_replied(Transaction &t, uint8_t cmdId, uint8_t code);
// The module refused the commit frame in `index`.
void transfer_commit_refused(Transaction &t, const TxSlot &slot);
// Gives up on what has waited past LINK_REPLY_LIFETIME_SECONDS.
void transfers_expire(Transaction &t, int64_t now);
bool sms_in_progress(const LinkState &s);
void transfers_reset(LinkState &s);

inline const uint8_t *bytes_of(const QByteArray &data) {
    return reinterpret_cast<const uint8_t *>(data.constData());
}
// Whether a frame of this id and payload fits the send buffer whatever its sequence number.
inline bool frame_always_fits(uint8_t cmdId, const QByteArray &payload) {
    return frame_worst_case_size(cmdId, 0, bytes_of(payload), uint32_t(payload.size())) <=
           FRAME_BUFFER_SIZE;
}
// One length byte, then the text.
inline QByteArray counted(const QByteArray &text) {
    return QByteArray(1, static_cast<char>(text.size())) + text;
}

}  // namespace link_detail
