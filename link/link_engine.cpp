// link_process and the table that unpacks each command's payload into the link record.
#include "link_engine.h"

#include <algorithm>
#include <cstring>

#include "link_clock.h"
#include "link_internal.h"

using namespace link_detail;

namespace {

// A received payload with reads that cannot run past its end.
struct Payload {
    const uint8_t *data;
    uint16_t length;

    bool has(uint32_t count) const { return length >= count; }
    uint8_t at(uint32_t index) const { return data[index]; }
    // A counted piece: byte `at` holds n, the n bytes follow. A count larger than what the
    // payload holds is cut to the bytes present.
    uint16_t counted_bytes(uint32_t countIndex) const {
        if (!has(countIndex + 1)) {
            return 0;
        }
        return static_cast<uint16_t>(std::min<uint32_t>(data[countIndex], length - countIndex - 1));
    }
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

void handle_ack(LinkState &s, uint8_t seq, bool rejected) {
    const int index = find_acknowledged_slot(s, seq);
    if (index < 0) {
        return;
    }
    TxSlot &slot = s.txTable[index];
    slot.done = 1;
    if (rejected) {
        uint8_t cmdId;
        uint8_t frameSeq;
        frame_read_header(slot.frame.get(), slot.length, &cmdId, &frameSeq);
        if (cmdId < s.cmdStatus.size()) {
            s.cmdStatus[cmdId] = CMD_STATUS_NAK;
        }
    }
}

bool pop_front(std::deque<int> &queue, int *value) {
    if (queue.empty()) {
        return false;
    }
    *value = queue.front();
    queue.pop_front();
    return true;
}

void unpack_sms_header(LinkState &s, const Payload &p) {
    if (!p.has(1)) {
        return;
    }
    const uint8_t senderLength = p.at(0);
    if (senderLength <= SMS_SENDER_SIZE - 1 && p.has(1u + senderLength)) {
        set_text(s.smsRxSender, p.data + 1, senderLength);
    }
    const uint32_t dateIndex = 1u + senderLength;
    if (!p.has(dateIndex + 1)) {
        return;
    }
    const uint8_t dateLength = p.at(dateIndex);
    if (dateLength <= SMS_DATE_SIZE - 1 && p.has(dateIndex + 1 + dateLength)) {
        set_text(s.smsRxDate, p.data + dateIndex + 1, dateLength);
    }
}

void unpack_sms_text(LinkState &s, const Payload &p) {
    s.smsRxComplete = 0;
    if (!p.has(1)) {
        return;
    }
    if (p.at(0) == 0) {
        s.smsRxText[0] = 0;
        s.smsRxTextLength = 0;
        return;
    }
    const uint16_t n = p.counted_bytes(0);
    const int used = std::clamp<int>(s.smsRxTextLength, 0, SMS_TEXT_SIZE - 1);
    if (used + n <= SMS_TEXT_SIZE - 1) {
        append_text(s.smsRxText.data(), SMS_TEXT_SIZE, used, p.data + 1, n);
        s.smsRxTextLength = static_cast<int16_t>(used + n);
    }
}

void unpack_socket_response(LinkState &s, const Payload &p) {
    if (!p.has(1)) {
        return;
    }
    if (p.at(0) == 0) {
        s.socketResponse[0] = 0;
        s.socketResponseLength = 0;
        s.socketResponseDropped = 0;
        return;
    }
    const uint16_t n = p.counted_bytes(0);
    const uint32_t used = std::min<uint32_t>(s.socketResponseLength, SOCKET_RESPONSE_SIZE - 1);
    const uint32_t copied =
        append_text(s.socketResponse.data(), SOCKET_RESPONSE_SIZE, used, p.data + 1, n);
    s.socketResponseLength = used + copied;
    s.socketResponseDropped += n - copied;
}

// Three length-prefixed strings; a reply that does not hold all three changes nothing.
void unpack_apn(LinkState &s, const Payload &p) {
    QByteArray fields[3];
    uint32_t index = 0;
    for (QByteArray &field : fields) {
        if (!p.has(index + 1)) {
            return;
        }
        const uint8_t n = p.at(index);
        if (!p.has(index + 1 + n)) {
            return;
        }
        field = QByteArray(reinterpret_cast<const char *>(p.data + index + 1), n);
        index += 1u + n;
    }
    s.apnName = fields[0];
    s.apnLogin = fields[1];
    s.apnPassword = fields[2];
}

void unpack_at_response(LinkState &s, const Payload &p) {
    const uint16_t n = p.counted_bytes(0);
    const uint32_t used = static_cast<uint32_t>(strnlen(s.atResponse.data(), AT_RESPONSE_SIZE - 1));
    append_text(s.atResponse.data(), AT_RESPONSE_SIZE, used, p.data + 1, n);
}

template <size_t N>
void unpack_counted_version(std::array<char, N> &field, const Payload &p) {
    if (p.has(1) && p.at(0) <= N - 1) {
        set_text(field, p.data + 1, p.counted_bytes(0));
    }
}

template <size_t N>
void unpack_fixed_text(std::array<char, N> &field, const Payload &p, uint16_t count) {
    if (p.has(count)) {
        set_text(field, p.data, count);
    }
}

void reply_to_module(Transaction &t, uint8_t cmdId) {
    send_reply(t, cmdId, nullptr, 0, 0);
}

void dispatch(Transaction &t, uint8_t id, bool isReply, uint8_t code, const Payload &p) {
    LinkState &s = t.state;
    const bool moduleStarted = !isReply;
    int entry;
    switch (id) {
        case CMD_ACK:
        case CMD_NAK:
            break;  // matched before dispatch
        case 16:
            if (isReply && pop_front(s.gpioGroupQueue, &entry)) {
                s.lastGpioCmd = 16;
                if (entry >= 0 && entry < GPIO_GROUP_COUNT) {
                    s.gpioGroupResult[entry] = code;
                }
            }
            break;
        case 17:
            if (isReply) {
                s.lastGpioCmd = 17;
            }
            break;
        case 18:
            if (isReply && pop_front(s.gpioPinQueue, &entry)) {
                s.lastGpioCmd = 18;
                if (code == 0 && entry >= 0 && entry < GPIO_PIN_COUNT && p.has(1)) {
                    s.gpioPinValue[entry] = p.at(0);
                }
            }
            break;
        case 19:
            if (isReply && pop_front(s.gpioGroupQueue, &entry)) {
                s.lastGpioCmd = 19;
                if (code == 0 && entry >= 0 && entry < GPIO_GROUP_COUNT && p.has(1)) {
                    s.gpioGroupResult[entry] = 0;
                    s.gpioGroupValue[entry] = p.at(0);
                }
            }
            break;
        case 33:
            if (isReply && p.has(1)) {
                s.i2cReadLength = static_cast<uint8_t>(p.counted_bytes(0));
                std::memcpy(s.i2cData.data(), p.data + 1, s.i2cReadLength);
            }
            break;
        case 64:
        case 65:
        case 66:
            if (isReply) {
                s.lastCallCmd = id;
            }
            break;
        case 67:
            if (moduleStarted) {
                if (p.has(1)) {
                    s.callEventState = p.at(0);
                }
                if (p.has(2)) {
                    s.callEventValue = p.at(1);
                }
                if (p.has(3)) {
                    s.callEventExtra = p.at(2);
                }
            }
            break;
        case 72:
            if (p.has(1)) {
                s.audioMicMute = p.at(0) == 1 ? 1 : 0;
            }
            break;
        case 74:
            if (p.has(1)) {
                s.audioMicGain = p.at(0);
            }
            break;
        case 76:
        case 78: {
            auto &pair = id == 76 ? s.audioSpeakerGain : s.audioRingTone;
            for (uint16_t i = 0; i < 2 && p.has(i + 1u); ++i) {
                pair[i] = p.at(i);
            }
            break;
        }
        case 73:
        case 75:
        case 77:
        case 79:
            s.lastAudioCmd = id;
            break;
        case 96:
            if (moduleStarted) {
                unpack_sms_header(s, p);
                reply_to_module(t, 96);
            }
            break;
        case 97:
            if (moduleStarted) {
                unpack_sms_text(s, p);
                reply_to_module(t, 97);
            }
            break;
        case 98:
            if (moduleStarted) {
                s.smsRxTextLength = 0;
                s.smsRxComplete = 1;
                reply_to_module(t, 98);
            }
            break;
        case 100:
            if (isReply && code == 0 && p.has(1)) {
                s.smsReceptionEnabled = p.at(0) != 0 ? 1 : 0;
            }
            break;
        case 129:
            if (moduleStarted) {
                unpack_socket_response(s, p);
            }
            break;
        case 131:
            if (moduleStarted && p.has(2)) {
                s.socketBytesSent = static_cast<uint32_t>(p.at(0) << 8 | p.at(1));
            }
            break;
        case 133:
            if (isReply && code == 0) {
                unpack_apn(s, p);
            }
            break;
        case 145:
            if (isReply && code == 0 && p.has(1)) {
                s.modemSpeed = p.at(0);
            }
            break;
        case 160:
            if (isReply) {
                s.reply160Status = code;
            }
            break;
        case 161:
            if (isReply && p.has(1)) {
                s.rssi = p.at(0);
            }
            break;
        case 162:
            if (isReply) {
                unpack_fixed_text(s.imei, p, 15);
            }
            break;
        case 163:
            if (isReply) {
                unpack_fixed_text(s.simId, p, 20);
            }
            break;
        case 164:
            if (isReply && p.has(2)) {
                s.vin = static_cast<uint16_t>(p.at(0) << 8 | p.at(1));
            }
            break;
        case 166:
            if (isReply && code == 0) {
                for (uint16_t i = 0; i < 2 && p.has(i + 1u); ++i) {
                    s.towerConn[i] = p.at(i);
                }
            }
            break;
        case 192:
            if (isReply) {
                unpack_counted_version(s.tarnFirmware, p);
            }
            break;
        case 193:
            if (isReply) {
                unpack_counted_version(s.tarnHardware, p);
            }
            break;
        case 194:
            if (isReply) {
                unpack_fixed_text(s.cintFirmware, p, 6);
            }
            break;
        case 195:
            if (isReply) {
                unpack_fixed_text(s.cintHardware, p, 7);
            }
            break;
        case 240:
            if (isReply) {
                unpack_at_response(s, p);
            }
            break;
        default:
            break;
    }
}

void handle_received(Transaction &t, const LinkMessage &m) {
    LinkState &s = t.state;
    if (m.cmdId < FIRST_STATUS_ID) {
        if (m.cmdId == CMD_ACK || m.cmdId == CMD_NAK) {
            handle_ack(s, m.seq, m.cmdId == CMD_NAK);
        }
        // Control frames carry our numbers, not the module's: they never move lastRxSeq.
        t.outbox.received.emplace_back(m.cmdId, false);
        return;
    }
    if (m.seq == s.lastRxSeq) {
        // The module did not hear our acknowledgement and sent the frame again.
        ++s.counters.repeatsDropped;
        send(t, CMD_ACK, nullptr, 0, m.seq);
        return;
    }
    const bool isReply = (m.status & REPLY_FLAG) != 0;
    const uint8_t code = m.status & static_cast<uint8_t>(~REPLY_FLAG);
    if (isReply && m.cmdId < s.cmdStatus.size()) {
        s.cmdStatus[m.cmdId] = code;
    }
    send(t, CMD_ACK, nullptr, 0, m.seq);
    dispatch(t, m.cmdId, isReply, code, Payload{m.payload, m.length});
    s.lastRxSeq = m.seq;
    t.outbox.received.emplace_back(m.cmdId, isReply);
}

}  // namespace

TxSlot *link_process() {
    const int64_t now = link_now_seconds();
    Transaction t;
    LinkState &s = t.state;
    for (int index = next_received(s); index >= 0; index = next_received(s)) {
        std::unique_ptr<RxSlot> slot = std::move(s.rxTable[index]);
        handle_received(t, slot->message);
    }
    for (TxSlot &slot : s.txTable) {
        if (slot.occupied() && slot.done) {
            free_tx_slot(slot);
        }
    }
    int index = find_pending_control(s);
    if (index >= 0) {
        // Control frames are written once and never repeated.
        s.txTable[index].done = 1;
        s.txTable[index].lastSent = now;
        return &s.txTable[index];
    }
    index = find_due_retransmit(s, now);
    if (index >= 0) {
        s.txTable[index].lastSent = now;
        return &s.txTable[index];
    }
    return nullptr;
}
