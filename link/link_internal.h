// Library-internal access to the record under its lock. Signals raised during a transaction
// are held back and emitted after the lock is released, so no receiver can deadlock on it.
#pragma once

#include <QMutexLocker>
#include <utility>
#include <vector>

#include "link_state.h"

namespace link_detail {

struct Outbox {
    int framesQueued = 0;
    std::vector<std::pair<uchar, bool>> received;
    void flush();
};

QMutex &mutex();
LinkState &state();

class Transaction {
  public:
    Transaction() : locker_(&mutex()), state(link_detail::state()) {}
    ~Transaction() {
        locker_.unlock();
        outbox.flush();
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

  private:
    QMutexLocker locker_;

  public:
    LinkState &state;
    Outbox outbox;
};

int send(Transaction &t, uint8_t cmdId, const uint8_t *payload, uint16_t length, uint8_t seq);
int send_reply(Transaction &t, uint8_t cmdId, const uint8_t *payload, uint16_t length,
               uint8_t status);

int find_free_tx_slot(LinkState &s);
int find_free_rx_slot(LinkState &s);
int next_received(LinkState &s);
int find_pending_control(LinkState &s);
int find_due_retransmit(LinkState &s, int64_t now);

void free_tx_slot(TxSlot &slot);

}  // namespace link_detail

namespace link_detail {
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
