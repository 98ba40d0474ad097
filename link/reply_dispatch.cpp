// What each received frame unpacks into the link record: one row per id, reading its payload by
// the catalogue's description of the way it travelled.
#include <algorithm>
#include <cstring>

#include "command_catalogue.h"
#include "link_internal.h"

namespace link_detail {

namespace {

// A received message as a dispatch row sees it: the fields its payload held whole, in the
// catalogue's order. A field the payload did not reach is simply not there, so a row changes
// only what the payload held.
struct Received {
    Transaction &t;
    LinkState &s;
    uint8_t id;
    uint8_t code;  // the status byte without the reply flag
    const uint8_t *payload;
    PayloadFields fields;

    template <typename T>
    bool number(int index, T &out) const {
        if (index >= fields.count) {
            return false;
        }
        out = static_cast<T>(fields.values[index].number);
        return true;
    }
    bool bytes(int index, const uint8_t **data, uint16_t *count) const {
        if (index >= fields.count) {
            return false;
        }
        *data = payload + fields.values[index].offset;
        *count = fields.values[index].length;
        return true;
    }
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

// A text that replaces its field when it fits it; one too long is counted, not kept.
template <size_t N>
void replace_text(Received &r, int index, std::array<char, N> &field) {
    const uint8_t *bytes = nullptr;
    uint16_t count = 0;
    if (r.bytes(index, &bytes, &count)) {
        if (count < N) {
            set_text(field, bytes, count);
        } else {
            ++r.s.counters.textsCut;
        }
    }
}

// Rows that store one thing.
template <auto Field>
void note_id(Received &r) {
    r.s.*Field = r.id;
}
template <auto Field>
void first_value(Received &r) {
    r.number(0, r.s.*Field);
}
template <auto Field>
void two_values(Received &r) {
    r.number(0, (r.s.*Field)[0]);
    r.number(1, (r.s.*Field)[1]);
}
template <auto Field>
void text_value(Received &r) {
    replace_text(r, 0, r.s.*Field);
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
    } else if (r.code == 0 && r.number(0, value)) {
        r.s.gpioGroupResult[group] = 0;
        r.s.gpioGroupValue[group] = value;
    }
}

void gpio_pin_reply(Received &r) {
    r.s.lastGpioCmd = r.id;
    int pin = -1;
    if (pop_front(r.s.gpioPinQueue, &pin) && r.code == 0 && pin >= 0 && pin < GPIO_PIN_COUNT) {
        r.number(0, r.s.gpioPinValue[pin]);
    }
}

void i2c_reply(Received &r) {
    const uint8_t *bytes = nullptr;
    uint16_t count = 0;
    if (r.bytes(0, &bytes, &count)) {
        count = std::min<uint16_t>(count, I2C_DATA_SIZE);
        r.s.i2cReadLength = static_cast<uint8_t>(count);
        std::memcpy(r.s.i2cData.data(), bytes, count);
    }
}

void call_event(Received &r) {
    r.number(0, r.s.callEventState);
    r.number(1, r.s.callEventValue);
    r.number(2, r.s.callEventExtra);
}

void mic_mute(Received &r) {
    uint8_t value = 0;
    if (r.number(0, value)) {
        r.s.audioMicMute = value == 1 ? 1 : 0;
    }
}

// Sender and date of an incoming SMS; one too long for its field is skipped, the other still
// taken.
void sms_header(Received &r) {
    replace_text(r, 0, r.s.smsRxSender);
    replace_text(r, 1, r.s.smsRxDate);
    answer_module(r);
}

// A piece of an incoming SMS text; an empty piece starts the text afresh, a piece that would
// overfill it is ignored whole.
void sms_text(Received &r) {
    r.s.smsRxComplete = 0;
    const uint8_t *bytes = nullptr;
    uint16_t count = 0;
    if (r.bytes(0, &bytes, &count)) {
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

// A piece of the host's response; an empty piece starts a new response. What does not fit is
// counted, not kept.
void socket_response(Received &r) {
    const uint8_t *bytes = nullptr;
    uint16_t count = 0;
    if (!r.bytes(0, &bytes, &count)) {
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

// Three texts; a reply that does not hold all three changes nothing.
void apn_reply(Received &r) {
    if (!r.fields.complete) {
        return;
    }
    QByteArray *targets[] = {&r.s.apnName, &r.s.apnLogin, &r.s.apnPassword};
    for (int i = 0; i < 3; ++i) {
        const uint8_t *bytes = nullptr;
        uint16_t count = 0;
        r.bytes(i, &bytes, &count);
        *targets[i] = QByteArray(reinterpret_cast<const char *>(bytes), count);
    }
    ++r.s.apnReadCount;
}

void reply_160(Received &r) {
    r.s.reply160Status = r.code;
}

void sms_reception(Received &r) {
    uint8_t value = 0;
    if (r.number(0, value)) {
        r.s.smsReceptionEnabled = value != 0 ? 1 : 0;
    }
}

// A piece of the modem's answer to an AT command, cut where the response is full.
void at_response(Received &r) {
    const uint8_t *bytes = nullptr;
    uint16_t count = 0;
    if (r.bytes(0, &bytes, &count)) {
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
    {CMD_AUDIO_GET_MIC_GAIN, Applies::Any, first_value<&S::audioMicGain>},
    {CMD_AUDIO_SET_MIC_GAIN, Applies::Any, note_id<&S::lastAudioCmd>},
    {CMD_AUDIO_GET_SPEAKER_GAIN, Applies::Any, two_values<&S::audioSpeakerGain>},
    {CMD_AUDIO_SET_SPEAKER_GAIN, Applies::Any, note_id<&S::lastAudioCmd>},
    {CMD_AUDIO_GET_RING_TONE, Applies::Any, two_values<&S::audioRingTone>},
    {CMD_AUDIO_SET_RING_TONE, Applies::Any, note_id<&S::lastAudioCmd>},
    {CMD_SMS_NUMBER, Applies::ModuleStarted, sms_header},
    {CMD_SMS_TEXT, Applies::ModuleStarted, sms_text},
    {CMD_SMS_SEND, Applies::ModuleStarted, sms_end},
    {CMD_SMS_GET_RECEPTION, Applies::ReplyOk, sms_reception},
    {CMD_SOCKET_PAYLOAD, Applies::ModuleStarted, socket_response},
    {CMD_SOCKET_RESULT, Applies::ModuleStarted, first_value<&S::socketBytesSent>},
    {CMD_APN_GET, Applies::ReplyOk, apn_reply},
    {CMD_GET_MODEM_SPEED, Applies::ReplyOk, first_value<&S::modemSpeed>},
    {CMD_GET_160, Applies::Reply, reply_160},
    {CMD_GET_RSSI, Applies::Reply, first_value<&S::rssi>},
    {CMD_GET_IMEI, Applies::Reply, text_value<&S::imei>},
    {CMD_GET_SIM, Applies::Reply, text_value<&S::simId>},
    {CMD_GET_VIN, Applies::Reply, first_value<&S::vin>},
    {CMD_GET_TOWER_CONN, Applies::ReplyOk, two_values<&S::towerConn>},
    {CMD_GET_TARN_FIRMWARE, Applies::Reply, text_value<&S::tarnFirmware>},
    {CMD_GET_TARN_HARDWARE, Applies::Reply, text_value<&S::tarnHardware>},
    {CMD_GET_CINT_FIRMWARE, Applies::Reply, text_value<&S::cintFirmware>},
    {CMD_GET_CINT_HARDWARE, Applies::Reply, text_value<&S::cintHardware>},
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

}  // namespace

void unpack_received(Transaction &t, const LinkMessage &m) {
    const bool isReply = (m.status & REPLY_FLAG) != 0;
    const uint8_t code = m.status & static_cast<uint8_t>(~REPLY_FLAG);
    const DispatchRow *row = dispatch_row(m.cmdId);
    if (row == nullptr || !applies(row->applies, isReply, code)) {
        return;
    }
    Received received{t, t.state, m.cmdId, code, m.payload, PayloadFields()};
    received.fields.complete = true;
    if (const CataloguePayload *description =
            catalogue_payload(m.cmdId, payload_way(true, m.status))) {
        received.fields = catalogue_read(*description, m.payload, m.length);
    }
    // An empty payload carries no data (a failure reply, say); one that ends before its
    // description does is malformed.
    if (!received.fields.complete && m.length > 0) {
        ++t.state.counters.malformed;
    }
    row->unpack(received);
}

}  // namespace link_detail
