// The link record, its table searches and the send primitive.
#include "link_state.h"

#include <cstring>

#include "link_clock.h"
#include "link_internal.h"
#include "module3g.h"

namespace link_detail {

namespace {
QMutex linkMutex;
LinkState linkState;

template <size_t N>
void set_text(std::array<char, N> &field, const char *text) {
    field.fill(0);
    std::memcpy(field.data(), text, strnlen(text, N - 1));
}
}  // namespace

QMutex &mutex() {
    return linkMutex;
}
LinkState &state() {
    return linkState;
}

void Outbox::flush() {
    Module3G *notifier = link_notifier();
    for (int i = 0; i < framesQueued; ++i) {
        emit notifier->command_queued();
    }
    for (const auto &event : received) {
        emit notifier->command_received(event.first, event.second);
    }
}

void free_tx_slot(TxSlot &slot) {
    slot.frame.reset();
    slot.length = 0;
    slot.done = 0;
    slot.lastSent = 0;
}

static int place_frame(Transaction &t, uint8_t cmdId, uint8_t seq, uint8_t status,
                       const uint8_t *payload, uint16_t length) {
    LinkState &s = t.state;
    const int index = find_free_tx_slot(s);
    if (index < 0) {
        ++s.counters.txTableFull;
        return 0;
    }
    TxSlot &slot = s.txTable[index];
    if (link_build_frame(cmdId, seq, status, payload, length, &slot.frame, &slot.length) !=
        FRAME_OK) {
        free_tx_slot(slot);
        ++s.counters.encodeFailures;
        return 0;
    }
    slot.done = 0;
    slot.lastSent = 0;
    return 1;
}

static uint8_t take_sequence_number(LinkState &s) {
    const uint8_t seq = s.txSeq;
    s.txSeq = static_cast<uint8_t>(s.txSeq + 1);
    if (s.txSeq == 0) {
        s.txSeq = 1;
    }
    return seq;
}

int send(Transaction &t, uint8_t cmdId, const uint8_t *payload, uint16_t length, uint8_t seq) {
    const bool control = cmdId <= CMD_MAX_MESSAGE_SIZE;
    // The sequence number is only spent once the frame is known to fit.
    const uint8_t frameSeq = control ? seq : t.state.txSeq;
    if (!place_frame(t, cmdId, frameSeq, 0, payload, length)) {
        return 0;
    }
    if (!control) {
        take_sequence_number(t.state);
    }
    ++t.outbox.framesQueued;
    return 1;
}

int send_reply(Transaction &t, uint8_t cmdId, const uint8_t *payload, uint16_t length,
               uint8_t status) {
    if (!place_frame(t, cmdId, t.state.txSeq, status | REPLY_FLAG, payload, length)) {
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
    for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
        const int index = (start + i) % LINK_SLOT_COUNT;
        if (!s.txTable[index].occupied()) {
            s.txAllocCursor = static_cast<uint16_t>(index);
            return index;
        }
    }
    s.txAllocCursor = start;
    return -1;
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
    const uint16_t start = cursor_in_range(s.rxReadCursor);
    for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
        const int index = (start + i) % LINK_SLOT_COUNT;
        if (s.rxTable[index]) {
            s.rxReadCursor = static_cast<uint16_t>(index);
            return index;
        }
    }
    return -1;
}

int find_pending_control(LinkState &s) {
    const uint16_t start = cursor_in_range(s.txScanCursor);
    for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
        const int index = (start + i) % LINK_SLOT_COUNT;
        const TxSlot &slot = s.txTable[index];
        uint8_t cmdId;
        uint8_t seq;
        if (slot.occupied() && !slot.done &&
            frame_read_header(slot.frame.get(), slot.length, &cmdId, &seq) &&
            cmdId <= CMD_MAX_MESSAGE_SIZE) {
            return index;
        }
    }
    return -1;
}

int find_due_retransmit(LinkState &s, int64_t now) {
    const uint16_t start = cursor_in_range(s.txScanCursor);
    for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
        const int index = (start + i) % LINK_SLOT_COUNT;
        const TxSlot &slot = s.txTable[index];
        if (slot.occupied() && !slot.done &&
            (slot.lastSent == 0 || now - slot.lastSent > LINK_RETRANSMIT_SECONDS)) {
            s.txScanCursor = static_cast<uint16_t>(index);
            return index;
        }
    }
    s.txScanCursor = start;
    return -1;
}

}  // namespace link_detail

using namespace link_detail;

LockedLinkState::LockedLinkState() : mutex_(&link_detail::mutex()), state_(&link_detail::state()) {
    mutex_->lock();
}

LockedLinkState::LockedLinkState(LockedLinkState &&other) noexcept
    : mutex_(std::exchange(other.mutex_, nullptr)), state_(other.state_) {}

LockedLinkState::~LockedLinkState() {
    if (mutex_ != nullptr) {
        mutex_->unlock();
    }
}

Module3G *link_notifier() {
    static Module3G notifier;
    return &notifier;
}

static void reset_queues(LinkState &s) {
    for (TxSlot &slot : s.txTable) {
        free_tx_slot(slot);
    }
    for (auto &slot : s.rxTable) {
        slot.reset();
    }
    s.rxReadCursor = 0;
    s.rxAllocCursor = 0;
    s.txScanCursor = 0;
    s.txAllocCursor = 0;
}

int link_init() {
    Module3G *notifier = link_notifier();
    Transaction t;
    LinkState &s = t.state;
    reset_queues(s);
    s.lastRxSeq = 0;
    s.gpioGroupQueue.clear();
    s.gpioPinQueue.clear();
    s.txSeq = 1;
    s.notifier = notifier;
    s.cmdStatus.fill(CMD_STATUS_IDLE);
    s.gpioGroupResult.fill(255);
    s.gpioGroupValue.fill(2);
    s.gpioPinValue.fill(2);
    s.lastGpioCmd = 0;
    s.callEventState = 0;
    s.callEventValue = 0xFFFFFFFF;
    s.callEventExtra = 0;
    s.lastCallCmd = 0;
    s.audioMicMute = 0;
    s.audioMicGain = 0;
    s.audioSpeakerGain.fill(0);
    s.audioRingTone.fill(0);
    s.lastAudioCmd = 0;
    s.i2cReadLength = 0;
    s.i2cData.fill(0);
    s.smsRxText.fill(0);
    s.smsRxDate.fill(0);
    s.smsRxSender.fill(0);
    s.smsRxComplete = 0;
    s.smsRxTextLength = 0;
    s.smsReceptionEnabled = 0;
    s.lastSmsCmd = 0;
    s.socketResponse.fill(0);
    s.socketResponseLength = 0;
    s.socketResponseDropped = 0;
    s.socketBytesSent = 0;
    s.apnName.clear();
    s.apnLogin.clear();
    s.apnPassword.clear();
    s.lastSocketCmd = 0;
    s.reply160Status = 255;
    s.rssi = 99;
    s.imei.fill(0);
    s.simId.fill(0);
    s.vin = 0;
    s.modemSpeed = 0;
    s.towerConn.fill(0);
    s.lastStatusCmd = 0;
    set_text(s.tarnFirmware, "xx.yy.zz");
    set_text(s.tarnHardware, "BOARD-LOT");
    set_text(s.cintFirmware, "xx.yyyy");
    set_text(s.cintHardware, "xxxx-yy");
    s.atResponse.fill(0);
    s.counters = LinkCounters{};
    return 0;
}

void link_reset_queues() {
    Transaction t;
    reset_queues(t.state);
}

LockedLinkState link_get_state() {
    return LockedLinkState();
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

int link_store_received(const LinkMessage *message) {
    if (message == nullptr) {
        return 0;
    }
    Transaction t;
    LinkState &s = t.state;
    const int index = find_free_rx_slot(s);
    if (index < 0) {
        ++s.counters.rxTableFull;
        return 0;
    }
    auto slot = std::make_unique<RxSlot>();
    slot->payload = std::make_unique<uint8_t[]>(message->length);
    slot->message.payload = slot->payload.get();
    if (link_message_copy(message, &slot->message, message->length) != FRAME_OK) {
        return 0;
    }
    s.rxTable[index] = std::move(slot);
    return 1;
}

void link_set_cmd_status(uint8_t cmdId, uint8_t status) {
    Transaction t;
    if (cmdId < t.state.cmdStatus.size()) {
        t.state.cmdStatus[cmdId] = status;
    }
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
