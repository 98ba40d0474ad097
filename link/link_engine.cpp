// link_process and the table that unpacks each command's payload into the link record.
#include "link_engine.h"

#include <algorithm>
#include <cstring>

#include "link_clock.h"
#include "link_internal.h"

using namespace link_detail;

namespace {

// Reads of a received payload that cannot run past its end. A read the payload is too short
// for changes nothing and marks the frame malformed; an empty payload carries no data (a
// failure reply, say) and is not malformed.
class PayloadReader {
  public:
    PayloadReader(const uint8_t *data, uint16_t length) : data_(data), length_(length) {}

    template <typename T>
    bool byte(uint32_t index, T &out) {
        if (!need(index + 1)) {
            return false;
        }
        out = data_[index];
        return true;
    }
    template <typename T>
    bool u16(uint32_t index, T &out) {
        if (!need(index + 2)) {
            return false;
        }
        out = static_cast<T>(data_[index] << 8 | data_[index + 1]);
        return true;
    }
    bool fixed(uint32_t index, uint32_t count, const uint8_t **bytes) {
        if (!need(index + count)) {
            return false;
        }
        *bytes = data_ + index;
        return true;
    }
    // The bytes counted by the byte at `index`; a count that runs past the end reads nothing.
    bool counted(uint32_t index, const uint8_t **bytes, uint8_t *count) {
        if (!need(index + 1) || !need(index + 1 + data_[index])) {
            return false;
        }
        *count = data_[index];
        *bytes = data_ + index + 1;
        return true;
    }
    bool malformed() const { return malformed_; }

  private:
    bool need(uint32_t count) {
        if (length_ >= count) {
            return true;
        }
        malformed_ = malformed_ || length_ > 0;
        return false;
    }

    const uint8_t *data_;
    uint16_t length_;
    bool malformed_ = false;
};

// A received message as a dispatch row sees it.
struct Received {
    Transaction &t;
    LinkState &s;
    uint8_t id;
    uint8_t code;  // the status byte without the reply flag
    PayloadReader p;
};

// Which frames of an id a row unpacks: replies (of any status, or only successful ones),
// frames the module starts, or both.
enum class Applies : uint8_t { Reply, ReplyOk, ModuleStarted, Any };

struct DispatchRow {
    uint8_t id;
    Applies applies;
    void (*unpack)(Received &);
};

template <size_t N>
void set_text(std::array<char, N> &field, const uint8_t *bytes, size_t count) {
    count = std::min(count, N - 1);
    std::memcpy(field.data(), bytes, count);
    field[count] = 0;
}

// Copies `count` bytes to the end of a NUL-terminated buffer of `capacity` bytes, keeping the
// terminator inside it; returns what was copied.
uint32_t append_text(char *buffer, uint32_t capacity, uint32_t used, const uint8_t *bytes,
                     uint32_t count) {
    const uint32_t room = used + 1 < capacity ? capacity - 1 - used : 0;
    const uint32_t copied = std::min(count, room);
    std::memcpy(buffer + used, bytes, copied);
    buffer[used + copied] = 0;
    return copied;
}

bool pop_front(std::deque<int> &queue, int *value) {
    if (queue.empty()) {
        return false;
    }
    *value = queue.front();
    queue.pop_front();
    return true;
}

// Rows that store one thing.
template <auto Field>
void note_id(Received &r) {
    r.s.*Field = r.id;
}
template <auto Field>
void first_byte(Received &r) {
    r.p.byte(0, r.s.*Field);
}
template <auto Field>
void two_bytes(Received &r) {
    r.p.byte(0, (r.s.*Field)[0]);
    r.p.byte(1, (r.s.*Field)[1]);
}
template <auto Field>
void big_endian_u16(Received &r) {
    r.p.u16(0, r.s.*Field);
}
template <auto Field, uint32_t Count>
void fixed_text(Received &r) {
    const uint8_t *bytes = nullptr;
    if (r.p.fixed(0, Count, &bytes)) {
        set_text(r.s.*Field, bytes, Count);
    }
}
// A counted text that replaces the field when it fits it.
template <auto Field>
void counted_text(Received &r) {
    const uint8_t *bytes = nullptr;
    uint8_t count = 0;
    if (r.p.counted(0, &bytes, &count)) {
        if (count < (r.s.*Field).size()) {
            set_text(r.s.*Field, bytes, count);
        } else {
            ++r.s.counters.textsCut;
        }
    }
}

void answer_module(Received &r) {
    send_reply(r.t, r.id, nullptr, 0, 0);
}

// Every GPIO reply names its command; a group or pin reply also answers the oldest request
// still waiting in its queue.
void gpio_group_reply(Received &r) {
    r.s.lastGpioCmd = r.id;
    int group = -1;
    if (!pop_front(r.s.gpioGroupQueue, &group) || group < 0 || group >= GPIO_GROUP_COUNT) {
        return;
    }
    uint8_t value = 0;
    if (r.id == CMD_GPIO_GROUP_SET) {
        r.s.gpioGroupResult[group] = r.code;
    } else if (r.code == 0 && r.p.byte(0, value)) {
        r.s.gpioGroupResult[group] = 0;
        r.s.gpioGroupValue[group] = value;
    }
}

void gpio_pin_reply(Received &r) {
    r.s.lastGpioCmd = r.id;
    int pin = -1;
    if (pop_front(r.s.gpioPinQueue, &pin) && r.code == 0 && pin >= 0 && pin < GPIO_PIN_COUNT) {
        r.p.byte(0, r.s.gpioPinValue[pin]);
    }
}

void i2c_reply(Received &r) {
    const uint8_t *bytes = nullptr;
    uint8_t count = 0;
    if (r.p.counted(0, &bytes, &count)) {
        r.s.i2cReadLength = count;
        std::memcpy(r.s.i2cData.data(), bytes, count);
    }
}

void call_event(Received &r) {
    r.p.byte(0, r.s.callEventState);
    r.p.byte(1, r.s.callEventValue);
    r.p.byte(2, r.s.callEventExtra);
}

void mic_mute(Received &r) {
    uint8_t value = 0;
    if (r.p.byte(0, value)) {
        r.s.audioMicMute = value == 1 ? 1 : 0;
    }
}

// Sender and date of an incoming SMS, each a counted text; one too long for its field is
// skipped, the other still taken.
void sms_header(Received &r) {
    const uint8_t *sender = nullptr;
    uint8_t senderLength = 0;
    if (r.p.counted(0, &sender, &senderLength)) {
        if (senderLength < SMS_SENDER_SIZE) {
            set_text(r.s.smsRxSender, sender, senderLength);
        } else {
            ++r.s.counters.textsCut;
        }
        const uint8_t *date = nullptr;
        uint8_t dateLength = 0;
        if (r.p.counted(1u + senderLength, &date, &dateLength)) {
            if (dateLength < SMS_DATE_SIZE) {
                set_text(r.s.smsRxDate, date, dateLength);
            } else {
                ++r.s.counters.textsCut;
            }
        }
    }
    answer_module(r);
}

// A piece of an incoming SMS text; a count of 0 starts the text afresh, a piece that would
// overfill it is ignored whole.
void sms_text(Received &r) {
    r.s.smsRxComplete = 0;
    const uint8_t *bytes = nullptr;
    uint8_t count = 0;
    if (r.p.counted(0, &bytes, &count)) {
        const int used = std::clamp<int>(r.s.smsRxTextLength, 0, SMS_TEXT_SIZE - 1);
        if (count == 0) {
            r.s.smsRxText[0] = 0;
            r.s.smsRxTextLength = 0;
        } else if (used + count <= SMS_TEXT_SIZE - 1) {
            append_text(r.s.smsRxText.data(), SMS_TEXT_SIZE, used, bytes, count);
            r.s.smsRxTextLength = static_cast<int16_t>(used + count);
        } else {
            ++r.s.counters.textsCut;
        }
    }
    answer_module(r);
}

void sms_end(Received &r) {
    r.s.smsRxTextLength = 0;
    r.s.smsRxComplete = 1;
    answer_module(r);
}

// A piece of the host's response; a count of 0 starts a new response. What does not fit is
// counted, not kept.
void socket_response(Received &r) {
    const uint8_t *bytes = nullptr;
    uint8_t count = 0;
    if (!r.p.counted(0, &bytes, &count)) {
        return;
    }
    if (count == 0) {
        r.s.socketResponse[0] = 0;
        r.s.socketResponseLength = 0;
        r.s.socketResponseDropped = 0;
        ++r.s.socketResponseGeneration;
        return;
    }
    const uint32_t used = std::min<uint32_t>(r.s.socketResponseLength, SOCKET_RESPONSE_SIZE - 1);
    const uint32_t copied =
        append_text(r.s.socketResponse.data(), SOCKET_RESPONSE_SIZE, used, bytes, count);
    r.s.socketResponseLength = used + copied;
    r.s.socketResponseDropped += count - copied;
    if (copied < count) {
        ++r.s.counters.textsCut;
    }
}

// Three counted texts; a reply that does not hold all three changes nothing.
void apn_reply(Received &r) {
    QByteArray fields[3];
    uint32_t index = 0;
    for (QByteArray &field : fields) {
        const uint8_t *bytes = nullptr;
        uint8_t count = 0;
        if (!r.p.counted(index, &bytes, &count)) {
            return;
        }
        field = QByteArray(reinterpret_cast<const char *>(bytes), count);
        index += 1u + count;
    }
    r.s.apnName = fields[0];
    r.s.apnLogin = fields[1];
    r.s.apnPassword = fields[2];
    ++r.s.apnReadCount;
}

void reply_160(Received &r) {
    r.s.reply160Status = r.code;
}

// A piece of the modem's answer to an AT command, cut where the response is full.
void at_response(Received &r) {
    const uint8_t *bytes = nullptr;
    uint8_t count = 0;
    if (r.p.counted(0, &bytes, &count)) {
        const auto used =
            static_cast<uint32_t>(strnlen(r.s.atResponse.data(), AT_RESPONSE_SIZE - 1));
        if (append_text(r.s.atResponse.data(), AT_RESPONSE_SIZE, used, bytes, count) < count) {
            ++r.s.counters.textsCut;
        }
    }
}

using S = LinkSnapshot;

// What each id unpacks. Ids without a row are acknowledged and signalled, nothing more.
const DispatchRow kDispatch[] = {
    {CMD_GPIO_GROUP_SET, Applies::Reply, gpio_group_reply},
    {CMD_GPIO_PIN_SET, Applies::Reply, note_id<&S::lastGpioCmd>},
    {CMD_GPIO_PIN_GET, Applies::Reply, gpio_pin_reply},
    {CMD_GPIO_GROUP_GET, Applies::Reply, gpio_group_reply},
    {CMD_I2C, Applies::Reply, i2c_reply},
    {CMD_CALL_DIAL, Applies::Reply, note_id<&S::lastCallCmd>},
    {CMD_CALL_ANSWER, Applies::Reply, note_id<&S::lastCallCmd>},
    {CMD_CALL_HANGUP, Applies::Reply, note_id<&S::lastCallCmd>},
    {CMD_CALL_EVENT, Applies::ModuleStarted, call_event},
    {CMD_AUDIO_GET_MIC_MUTE, Applies::Any, mic_mute},
    {CMD_AUDIO_SET_MIC_MUTE, Applies::Any, note_id<&S::lastAudioCmd>},
    {CMD_AUDIO_GET_MIC_GAIN, Applies::Any, first_byte<&S::audioMicGain>},
    {CMD_AUDIO_SET_MIC_GAIN, Applies::Any, note_id<&S::lastAudioCmd>},
    {CMD_AUDIO_GET_SPEAKER_GAIN, Applies::Any, two_bytes<&S::audioSpeakerGain>},
    {CMD_AUDIO_SET_SPEAKER_GAIN, Applies::Any, note_id<&S::lastAudioCmd>},
    {CMD_AUDIO_GET_RING_TONE, Applies::Any, two_bytes<&S::audioRingTone>},
    {CMD_AUDIO_SET_RING_TONE, Applies::Any, note_id<&S::lastAudioCmd>},
    {CMD_SMS_NUMBER, Applies::ModuleStarted, sms_header},
    {CMD_SMS_TEXT, Applies::ModuleStarted, sms_text},
    {CMD_SMS_SEND, Applies::ModuleStarted, sms_end},
    {CMD_SMS_GET_RECEPTION, Applies::ReplyOk,
     [](Received &r) {
         uint8_t value = 0;
         if (r.p.byte(0, value)) {
             r.s.smsReceptionEnabled = value != 0 ? 1 : 0;
         }
     }},
    {CMD_SOCKET_PAYLOAD, Applies::ModuleStarted, socket_response},
    {CMD_SOCKET_RESULT, Applies::ModuleStarted, big_endian_u16<&S::socketBytesSent>},
    {CMD_APN_GET, Applies::ReplyOk, apn_reply},
    {CMD_GET_MODEM_SPEED, Applies::ReplyOk, first_byte<&S::modemSpeed>},
    {CMD_GET_160, Applies::Reply, reply_160},
    {CMD_GET_RSSI, Applies::Reply, first_byte<&S::rssi>},
    {CMD_GET_IMEI, Applies::Reply, fixed_text<&S::imei, 15>},
    {CMD_GET_SIM, Applies::Reply, fixed_text<&S::simId, 20>},
    {CMD_GET_VIN, Applies::Reply, big_endian_u16<&S::vin>},
    {CMD_GET_TOWER_CONN, Applies::ReplyOk, two_bytes<&S::towerConn>},
    {CMD_GET_TARN_FIRMWARE, Applies::Reply, counted_text<&S::tarnFirmware>},
    {CMD_GET_TARN_HARDWARE, Applies::Reply, counted_text<&S::tarnHardware>},
    {CMD_GET_CINT_FIRMWARE, Applies::Reply, fixed_text<&S::cintFirmware, 6>},
    {CMD_GET_CINT_HARDWARE, Applies::Reply, fixed_text<&S::cintHardware, 7>},
    {CMD_AT_COMMAND, Applies::Reply, at_response},
};

const DispatchRow *dispatch_row(uint8_t id) {
    static const auto byId = [] {
        std::array<const DispatchRow *, 256> table{};
        for (const DispatchRow &row : kDispatch) {
            table[row.id] = &row;
        }
        return table;
    }();
    return byId[id];
}

bool applies(Applies when, bool isReply, uint8_t code) {
    switch (when) {
        case Applies::Reply:
            return isReply;
        case Applies::ReplyOk:
            return isReply && code == 0;
        case Applies::ModuleStarted:
            return !isReply;
        case Applies::Any:
            return true;
    }
    return false;
}

int find_acknowledged_slot(LinkState &s, uint8_t seq) {
    for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
        const TxSlot &slot = s.txTable[i];
        uint8_t cmdId;
        uint8_t frameSeq;
        // Only a frame on the line can be answered: our control frames reuse the module's
        // numbers, and with more than 255 frames queued a number also stands on frames not
        // yet written.
        if (slot.occupied() && !slot.done && slot.lastSent != 0 &&
            frame_read_header(slot.frame.get(), slot.length, &cmdId, &frameSeq) &&
            cmdId > CMD_MAX_MESSAGE_SIZE && frameSeq == seq) {
            return i;
        }
    }
    return -1;
}

void handle_ack(Transaction &t, uint8_t seq, bool refused, int64_t now) {
    LinkState &s = t.state;
    const int index = find_acknowledged_slot(s, seq);
    if (index < 0) {
        return;
    }
    TxSlot &slot = s.txTable[index];
    slot.done = 1;
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
    const uint8_t id = frame_command(slot);
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
    for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
        TxSlot &slot = s.txTable[i];
        if (slot.occupied() && !slot.done && slot.request && slot.lastSent != 0 &&
            frame_command(slot) == id) {
            slot.done = 1;
            traffic_outcome(s, slot.trafficId, TrafficOutcome::Acknowledged);
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
    const DispatchRow *row = dispatch_row(m.cmdId);
    if (row != nullptr && applies(row->applies, isReply, code)) {
        Received received{t, s, m.cmdId, code, PayloadReader(m.payload, m.length)};
        row->unpack(received);
        if (received.p.malformed()) {
            ++s.counters.malformed;
        }
    }
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
        uint8_t buffer[FRAME_BUFFER_SIZE];
        FrameDecoder decoder;
        frame_decoder_init(&decoder, buffer, sizeof buffer);
        const QList<DecodedFrame> frames = frame_decode_all(&decoder, bytes);
        QByteArray payload = frames.isEmpty() ? QByteArray() : frames.first().payload;
        LinkMessage message;
        if (!frames.isEmpty()) {
            message = LinkMessage{frames.first().cmdId, frames.first().seq, frames.first().status,
                                  reinterpret_cast<uint8_t *>(payload.data()),
                                  static_cast<uint16_t>(payload.size())};
        }
        slot.trafficId = traffic_add(s, false, bytes, frames.isEmpty() ? nullptr : &message,
                                     TrafficOutcome::None);
    }
    return bytes;
}

}  // namespace

QByteArray link_process() {
    const int64_t now = link_now_seconds();
    Transaction t;
    LinkState &s = t.state;
    for (int index = next_received(s); index >= 0; index = next_received(s)) {
        std::unique_ptr<RxSlot> slot = std::move(s.rxTable[index]);
        handle_received(t, slot->message, slot->trafficId, now);
    }
    for (TxSlot &slot : s.txTable) {
        if (slot.occupied() && slot.done) {
            free_tx_slot(slot);
        }
    }
    transfers_expire(t, now);
    transfers_advance(s);
    int index = find_pending_control(s);
    if (index >= 0) {
        // Control frames are written once and never repeated.
        s.txTable[index].done = 1;
        s.txTable[index].lastSent = now;
        return written(s, s.txTable[index]);
    }
    index = find_due_retransmit(s, now);
    if (index < 0) {
        return QByteArray();
    }
    TxSlot &slot = s.txTable[index];
    if (slot.lastSent == 0 && slot.request) {
        uint16_t &owed = s.repliesOwed[frame_command(slot)];
        owed = static_cast<uint16_t>(std::min(owed + 1, 0xFFFF));
    }
    if (slot.lastSent != 0) {
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
    slot.lastSent = now;
    transfer_written(t, index, now);
    return written(s, slot);
}

void link_tick() {
    const int64_t now = link_now_seconds();
    Transaction t;
    transfers_expire(t, now);
    transfers_advance(t.state);
}
