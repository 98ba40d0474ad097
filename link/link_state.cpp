// The link record, its table searches and the send primitive.
#include "link_state.h"

#include <algorithm>

#include "link_clock.h"
#include "link_internal.h"
#include "module3g.h"

namespace link_detail {

namespace {
QMutex linkMutex;
std::unique_ptr<LinkState> linkState;
// Views held by this thread; they share one lock.
thread_local int viewsHeld = 0;
// Made on the thread that starts the program, before any worker thread exists, so that its
// signals are delivered there whichever thread first asks for it.
Module3G notifier;

std::unique_ptr<LinkState> fresh_state() {
    auto s = std::make_unique<LinkState>();
    s->notifier = &notifier;
    return s;
}
}  // namespace

QMutex &mutex() {
    return linkMutex;
}

LinkState &state() {
    if (!linkState) {
        linkState = fresh_state();
    }
    return *linkState;
}

bool viewHeldHere() {
    return viewsHeld > 0;
}

static LinkState &lock_for_change() {
    // The thread's own view holds the lock: waiting for it would wait for ever.
    if (viewsHeld > 0) {
        qFatal("A link function was called while this thread holds a LockedLinkState");
    }
    mutex().lock();
    return state();
}

Transaction::Transaction() : state(lock_for_change()) {}

Transaction::~Transaction() {
    mutex().unlock();
    outbox.flush();
}

// The notifications this thread holds back while a LinkNotificationsHeld lives; null otherwise.
static thread_local Outbox *held = nullptr;

template <typename List>
static void append_list(List &to, const List &from) {
    to.insert(to.end(), from.begin(), from.end());
}

void Outbox::append(const Outbox &later) {
    framesQueued += later.framesQueued;
    append_list(received, later.received);
    append_list(transfersCommitted, later.transfersCommitted);
    append_list(transfersEnded, later.transfersEnded);
    append_list(repliesUnplaced, later.repliesUnplaced);
    append_list(silent, later.silent);
}

void Outbox::flush() {
    if (held != nullptr) {
        held->append(*this);
        return;
    }
    Module3G *n = link_notifier();
    for (int i = 0; i < framesQueued; ++i) {
        emit n->command_queued();
    }
    // A transfer's commit before its end, so that a listener hears them in the order they came.
    for (const LinkTransferId id : transfersCommitted) {
        emit n->transfer_committed(id);
    }
    for (const auto &event : received) {
        emit n->command_received(event.first, event.second);
    }
    for (const uchar id : silent) {
        emit n->module_silent(id);
    }
    for (const auto &reply : repliesUnplaced) {
        emit n->reply_unplaced(reply.first, reply.second);
    }
    for (const auto &ended : transfersEnded) {
        emit n->transfer_ended(ended.first, ended.second);
    }
}

namespace {

void forget(std::vector<uint16_t> &list, int index) {
    for (uint16_t &entry : list) {
        if (entry == index) {
            entry = list.back();
            list.pop_back();
            return;
        }
    }
}

// Takes the slot out of the index entry of the state it is in.
void unindex(TxIndex &x, const TxSlot &slot, int index) {
    switch (slot.state) {
        case TxState::Free:
            x.free.clear(index);
            break;
        case TxState::Waiting:
            (slot.control() ? x.waitingControl : x.waiting).clear(index);
            break;
        case TxState::Written:
            forget(x.writtenBySeq[slot.seq], index);
            forget(x.writtenByCommand[slot.cmdId], index);
            break;
        case TxState::Done:
            x.done.clear(index);
            break;
    }
}

}  // namespace

void free_tx_slot(LinkState &s, int index) {
    TxSlot &slot = s.txTable[index];
    if (!slot.occupied()) {
        return;
    }
    unindex(s.txIndex, slot, index);
    slot = TxSlot();
    s.txIndex.free.set(index);
}

void tx_written(LinkState &s, int index, int64_t now) {
    TxSlot &slot = s.txTable[index];
    slot.lastSent = now;
    if (slot.state != TxState::Waiting) {
        return;
    }
    unindex(s.txIndex, slot, index);
    if (slot.control()) {
        slot.state = TxState::Done;
        s.txIndex.done.set(index);
        return;
    }
    slot.state = TxState::Written;
    s.txIndex.writtenBySeq[slot.seq].push_back(uint16_t(index));
    s.txIndex.writtenByCommand[slot.cmdId].push_back(uint16_t(index));
    s.txIndex.nextDue = std::min(s.txIndex.nextDue, now + LINK_RETRANSMIT_SECONDS + 1);
}

void tx_done(LinkState &s, int index) {
    TxSlot &slot = s.txTable[index];
    if (slot.state != TxState::Written) {
        return;
    }
    unindex(s.txIndex, slot, index);
    slot.state = TxState::Done;
    s.txIndex.done.set(index);
}

int find_acknowledged(const LinkState &s, uint8_t seq) {
    const std::vector<uint16_t> &list = s.txIndex.writtenBySeq[seq];
    return list.empty() ? -1 : *std::min_element(list.begin(), list.end());
}

std::vector<uint16_t> written_of_command(const LinkState &s, uint8_t cmdId) {
    std::vector<uint16_t> list = s.txIndex.writtenByCommand[cmdId];
    std::sort(list.begin(), list.end());
    return list;
}

int place_frame(LinkState &s, uint8_t cmdId, uint8_t seq, uint8_t status, const uint8_t *payload,
                uint16_t length) {
    const int index = find_free_tx_slot(s);
    if (index < 0) {
        ++s.counters.txTableFull;
        return -1;
    }
    TxSlot &slot = s.txTable[index];
    if (link_build_frame(cmdId, seq, status, payload, length, &slot.frame, &slot.length) !=
        FRAME_OK) {
        slot = TxSlot();
        ++s.counters.encodeFailures;
        return -1;
    }
    slot.cmdId = cmdId;
    slot.seq = seq;
    slot.status = status;
    slot.payload = QByteArray(reinterpret_cast<const char *>(payload), length);
    slot.state = TxState::Waiting;
    s.txIndex.free.clear(index);
    (slot.control() ? s.txIndex.waitingControl : s.txIndex.waiting).set(index);
    return index;
}

uint8_t take_sequence_number(LinkState &s) {
    const uint8_t seq = s.txSeq;
    s.txSeq = static_cast<uint8_t>(s.txSeq + 1);
    if (s.txSeq == 0) {
        s.txSeq = 1;
    }
    return seq;
}

int send(Transaction &t, uint8_t cmdId, const uint8_t *payload, uint16_t length, uint8_t seq) {
    const bool control = cmdId < FIRST_STATUS_ID;
    // The sequence number is only spent once the frame is known to fit.
    const uint8_t frameSeq = cmdId <= CMD_MAX_MESSAGE_SIZE ? seq : t.state.txSeq;
    const int index = place_frame(t.state, cmdId, frameSeq, 0, payload, length);
    if (index < 0) {
        return 0;
    }
    if (cmdId > CMD_MAX_MESSAGE_SIZE) {
        take_sequence_number(t.state);
    }
    t.state.txTable[index].request = !control;
    ++t.outbox.framesQueued;
    return 1;
}

int send_reply(Transaction &t, uint8_t cmdId, const uint8_t *payload, uint16_t length,
               uint8_t status) {
    if (place_frame(t.state, cmdId, t.state.txSeq, status | REPLY_FLAG, payload, length) < 0) {
        return 0;
    }
    take_sequence_number(t.state);
    return 1;
}

static uint16_t cursor_in_range(uint16_t cursor) {
    return cursor < LINK_SLOT_COUNT ? cursor : 0;
}

int find_free_tx_slot(LinkState &s) {
    const uint16_t start = cursor_in_range(s.txAllocCursor);
    const int index = s.txIndex.free.next_from(start);
    s.txAllocCursor = index >= 0 ? uint16_t(index) : start;
    return index;
}

int find_free_rx_slot(LinkState &s) {
    const uint16_t start = cursor_in_range(s.rxAllocCursor);
    for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
        const int index = (start + i) % LINK_SLOT_COUNT;
        if (!s.rxTable[index]) {
            // One past, so that consecutive messages land in consecutive slots.
            s.rxAllocCursor = static_cast<uint16_t>((index + 1) % LINK_SLOT_COUNT);
            return index;
        }
    }
    return -1;
}

int next_received(LinkState &s) {
    const int index = s.rxOccupied.next_from(cursor_in_range(s.rxReadCursor));
    if (index >= 0) {
        s.rxReadCursor = static_cast<uint16_t>(index);
    }
    return index;
}

std::unique_ptr<RxSlot> take_received(LinkState &s, int index) {
    s.rxOccupied.clear(index);
    return std::move(s.rxTable[index]);
}

int find_pending_control(LinkState &s) {
    return s.txIndex.waitingControl.next_from(cursor_in_range(s.txScanCursor));
}

// Whichever of two slots a search from `start` meets first.
static int first_met(int start, int a, int b) {
    if (a < 0 || b < 0) {
        return a < 0 ? b : a;
    }
    const auto distance = [start](int i) {
        return (i - start + LINK_SLOT_COUNT) % LINK_SLOT_COUNT;
    };
    return distance(a) <= distance(b) ? a : b;
}

// The first slot from `start` that was never written or is due again. Only when a written frame
// may be due does it look at the written ones; a look that finds none due learns when the
// first will be.
static int due_from(LinkState &s, uint16_t start, int64_t now) {
    TxIndex &x = s.txIndex;
    const int unwritten =
        first_met(start, x.waiting.next_from(start), x.waitingControl.next_from(start));
    if (now < x.nextDue) {
        return unwritten;
    }
    int64_t earliest = INT64_MAX;
    for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
        const int index = (start + i) % LINK_SLOT_COUNT;
        const TxSlot &slot = s.txTable[index];
        if (slot.state == TxState::Waiting) {
            return index;
        }
        if (slot.state == TxState::Written) {
            if (now - slot.lastSent > LINK_RETRANSMIT_SECONDS) {
                return index;
            }
            earliest = std::min(earliest, slot.lastSent + LINK_RETRANSMIT_SECONDS + 1);
        }
    }
    x.nextDue = earliest;
    return -1;
}

int find_due_retransmit(LinkState &s, int64_t now) {
    const uint16_t start = cursor_in_range(s.txScanCursor);
    const int index = due_from(s, start, now);
    s.txScanCursor = index >= 0 ? uint16_t(index) : start;
    return index;
}

}  // namespace link_detail

using link_detail::held;

LinkNotificationsHeld::LinkNotificationsHeld() : outbox_(std::make_unique<link_detail::Outbox>()) {
    if (held != nullptr) {
        qFatal("LinkNotificationsHeld nested on one thread");
    }
    held = outbox_.get();
}

LinkNotificationsHeld::~LinkNotificationsHeld() {
    held = nullptr;
    outbox_->flush();
}

using namespace link_detail;

LockedLinkState::LockedLinkState() : holds_(true), state_(nullptr) {
    if (viewsHeld++ == 0) {
        mutex().lock();
    }
    state_ = &link_detail::state();
}

LockedLinkState::LockedLinkState(LockedLinkState &&other) noexcept
    : holds_(std::exchange(other.holds_, false)), state_(other.state_) {}

LockedLinkState::~LockedLinkState() {
    if (holds_ && --viewsHeld == 0) {
        mutex().unlock();
    }
}

Module3G *link_notifier() {
    return &link_detail::notifier;
}

static void reset_queues(LinkState &s) {
    for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
        free_tx_slot(s, i);
        take_received(s, i);
    }
    s.txIndex.nextDue = INT64_MAX;
    transfers_reset(s);
    s.rxReadCursor = 0;
    s.rxAllocCursor = 0;
    s.txScanCursor = 0;
    s.txAllocCursor = 0;
}

int link_init() {
    std::unique_ptr<LinkState> replaced = fresh_state();
    {
        QMutexLocker lock(&mutex());
        // The receive path starts afresh with the record, on a buffer of the link's own.
        static uint8_t receiveBuffer[DECODER_BUFFER_SIZE];
        frame_decoder_init(receiveBuffer, sizeof receiveBuffer);
        // A reader of the traffic record asked for it for as long as it lives.
        replaced->recordTraffic = linkState && linkState->recordTraffic;
        std::swap(linkState, replaced);
    }
    return 0;  // the old record is freed outside the lock
}

void link_reset_queues() {
    Transaction t;
    reset_queues(t.state);
}

LockedLinkState link_get_state() {
    return LockedLinkState();
}

// What the receive-path decoder dropped since the statistics were last reset: it counts, the
// link only reads.
static void read_decoder_counts(const LinkState &s, LinkCounters &c) {
    const FrameDecoder &d = frame_decoder_instance();
    const auto since = [](uint32_t count, uint32_t base) {
        return count >= base ? count - base : count;  // the decoder was started afresh
    };
    c.crcErrors = since(d.badCrcCount, s.decoderBase.badCrcCount);
    c.overflows = since(d.overflowCount, s.decoderBase.overflowCount);
    c.tooShort = since(d.tooShortCount, s.decoderBase.tooShortCount);
    c.cutOff = since(d.cutOffCount, s.decoderBase.cutOffCount);
}

LinkSnapshot link_snapshot() {
    LockedLinkState s;
    LinkSnapshot copy = static_cast<const LinkSnapshot &>(*s);
    copy.smsInProgress = sms_in_progress(*s) ? 1 : 0;
    read_decoder_counts(*s, copy.counters);
    return copy;
}

int link_build_frame(uint8_t cmdId, uint8_t seq, uint8_t status, const uint8_t *payload,
                     uint16_t length, std::unique_ptr<uint8_t[]> *outFrame, uint16_t *outLength) {
    LinkMessage message;
    message.cmdId = cmdId;
    message.seq = seq;
    message.status = status;
    message.payload = const_cast<uint8_t *>(payload);
    message.length = length;
    *outFrame = std::make_unique<uint8_t[]>(FRAME_BUFFER_SIZE);
    return frame_encode(&message, outFrame->get(), FRAME_BUFFER_SIZE, outLength);
}

int link_send(uint8_t cmdId, const uint8_t *payload, uint16_t length, uint8_t seq) {
    Transaction t;
    return send(t, cmdId, payload, length, seq);
}

int link_send_reply(uint8_t cmdId, const uint8_t *payload, uint16_t length, uint8_t status) {
    Transaction t;
    return send_reply(t, cmdId, payload, length, status);
}

static int store_received(LinkState &s, const LinkMessage *message, const QByteArray &wire) {
    ++s.counters.framesReceived;
    const int index = find_free_rx_slot(s);
    if (index < 0) {
        ++s.counters.rxTableFull;
        traffic_add(s, true, wire, message, TrafficOutcome::NoRoom);
        return 0;
    }
    auto slot = std::make_unique<RxSlot>();
    slot->payload = std::make_unique<uint8_t[]>(message->length);
    slot->message.payload = slot->payload.get();
    if (link_message_copy(message, &slot->message, message->length) != FRAME_OK) {
        return 0;
    }
    slot->trafficId = traffic_add(s, true, wire, message, TrafficOutcome::None);
    s.rxTable[index] = std::move(slot);
    s.rxOccupied.set(index);
    return 1;
}

int link_store_received(const LinkMessage *message) {
    if (message == nullptr) {
        return 0;
    }
    Transaction t;
    return store_received(t.state, message, QByteArray());
}

// What became of a frame the decoder dropped, for its traffic record.
static TrafficOutcome dropped_as(FrameEnd end) {
    switch (end) {
        case FrameEnd::BadCrc:
            return TrafficOutcome::BadCrc;
        case FrameEnd::Overflow:
            return TrafficOutcome::Overflow;
        default:
            return TrafficOutcome::CutOff;
    }
}

int link_receive(const QByteArray &bytes) {
    if (bytes.isEmpty()) {
        return 0;
    }
    Transaction t;
    LinkState &s = t.state;
    s.counters.bytesReceived += static_cast<uint64_t>(bytes.size());
    FrameDecoder &decoder = frame_decoder_instance();
    int stored = 0;
    for (const char c : bytes) {
        const int result = frame_decoder_put(&decoder, static_cast<uint8_t>(c));
        LinkMessage message;
        if (result == FRAME_COMPLETE && frame_decoder_take(&decoder, &message) == FRAME_OK) {
            stored += store_received(s, &message, decoder.endedBytes);
        } else if (decoder.ended != FrameEnd::None) {
            traffic_add(s, true, decoder.endedBytes, nullptr, dropped_as(decoder.ended));
        }
    }
    return stored;
}

void link_set_next_sequence(uint8_t seq) {
    Transaction t;
    t.state.txSeq = seq == 0 ? 1 : seq;
}

void link_port_opened() {
    Transaction t;
    t.state.lastRxSeqValid = false;
    t.state.handled.fill(HandledFrame());
}

int link_set_call_event_extra_if(uint8_t expected, uint8_t value) {
    Transaction t;
    if (t.state.callEventExtra != expected) {
        return 0;
    }
    t.state.callEventExtra = value;
    return 1;
}

int link_find_free_tx_slot() {
    Transaction t;
    return find_free_tx_slot(t.state);
}

int link_find_free_rx_slot() {
    Transaction t;
    return find_free_rx_slot(t.state);
}

int link_next_received() {
    Transaction t;
    return next_received(t.state);
}

int link_find_pending_control() {
    Transaction t;
    return find_pending_control(t.state);
}

int link_find_due_retransmit() {
    const int64_t now = link_now_seconds();
    Transaction t;
    return find_due_retransmit(t.state, now);
}
