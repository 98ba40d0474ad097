// The receive path under fuzzing: line bytes through the process-wide decoder into the receive
// table and the engine, as the serial worker runs them, mixed with request functions and a
// clock that the input moves. Aborts when the link record breaks one of its invariants.
#include <QList>
#include <QObject>
#include <array>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>

#include "frame_codec.h"
#include "fuzz_input.h"
#include "link_clock.h"
#include "link_engine.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "link_state.h"
#include "module3g.h"

namespace {

// Input operations: the low three bits of an operation byte pick one, the upper five are flags.
enum Op : uint8_t {
    OpLine = 0,     // raw line bytes
    OpFrame = 1,    // one well-formed frame from the module, perhaps spoiled on the way
    OpWake = 2,     // one pass of the worker loop: the engine runs, its frame is written
    OpTime = 3,     // the clock moves on
    OpAnswer = 4,   // the module acknowledges (or rejects) the frame written last
    OpRequest = 5,  // a request function
    OpReply = 6,    // the module replies to a pending command
    OpOther = 7,    // searches, resets, repeated passes
};

constexpr uint8_t FlagA = 0x80;
constexpr uint8_t FlagB = 0x40;
constexpr uint8_t FlagC = 0x20;

// Request selectors: one per request function, then the raw sends, then clearing a status.
constexpr int RAW_SEND = 47;
constexpr int RAW_REPLY = 48;
constexpr int REQUEST_COUNT = 50;

constexpr int MAX_BLOB = 20000;
constexpr int MAX_TEXT = 300;
constexpr int MAX_FRAME_PAYLOAD = 600;

struct Harness {
    int64_t now = 1;
    std::array<uint8_t, DECODER_BUFFER_SIZE> rxBuffer{};
    // Messages stored and not handled yet, as the engine reports them: (id, isReply).
    std::deque<std::pair<uint8_t, bool>> stored;
    // Arrival order holds only while the receive table has not filled since its cursors were
    // last reset: a full table leaves the newest message on the read cursor.
    bool rxTableFilled = false;
    int storedSincePass = 0;
    // The I2C data each id-33 reply stored since the last pass would leave behind.
    QList<QByteArray> i2cCandidates;
    QByteArray i2cBefore;
    bool haveWritten = false;
    uint8_t writtenSeq = 0;
    uint8_t moduleSeq = 0;
};

Harness h;

QByteArray encode(uint8_t id, uint8_t seq, uint8_t status, const QByteArray &payload) {
    const QByteArray frame =
        frame_encode_bytes(id, seq, status, payload, 2 * MAX_FRAME_PAYLOAD + 16);
    FUZZ_CHECK(!frame.isEmpty());
    return frame;
}

QByteArray i2c_fields() {
    LockedLinkState s = link_get_state();
    return QByteArray(reinterpret_cast<const char *>(s->i2cData.data()), s->i2cReadLength);
}

void on_handled(uchar id, bool isReply) {
    if (h.rxTableFilled) {
        return;
    }
    // Handled messages are the stored ones in arrival order, less the dropped repeats.
    while (!h.stored.empty() && h.stored.front() != std::make_pair(uint8_t(id), isReply)) {
        h.stored.pop_front();
    }
    FUZZ_CHECK(!h.stored.empty());
    h.stored.pop_front();
}

bool store(const LinkMessage &m) {
    if (!link_store_received(&m)) {
        h.rxTableFilled = true;
        return false;
    }
    const bool isReply = m.cmdId >= FIRST_STATUS_ID && (m.status & REPLY_FLAG) != 0;
    h.stored.emplace_back(m.cmdId, isReply);
    h.rxTableFilled = h.rxTableFilled || ++h.storedSincePass == LINK_SLOT_COUNT;
    if (m.cmdId == 33 && isReply && m.length > 0) {
        const int count = std::min<int>(m.payload[0], m.length - 1);
        h.i2cCandidates.append(QByteArray(reinterpret_cast<const char *>(m.payload) + 1, count));
    }
    return true;
}

// What the serial worker does with the bytes of one read.
void receive(const QByteArray &line) {
    for (const char c : line) {
        if (frame_decoder_put(static_cast<uint8_t>(c)) != FRAME_COMPLETE) {
            continue;
        }
        LinkMessage m;
        if (frame_decoder_take(&m) != FRAME_OK) {
            continue;
        }
        FUZZ_CHECK(m.payload >= h.rxBuffer.data() + 2);
        FUZZ_CHECK(m.payload + m.length <= h.rxBuffer.data() + h.rxBuffer.size());
        store(m);
    }
}

template <size_t N>
bool terminated(const std::array<char, N> &field) {
    return std::memchr(field.data(), 0, N) != nullptr;
}

bool is_control_frame(const TxSlot &slot) {
    uint8_t id;
    uint8_t seq;
    return frame_read_header(slot.frame.get(), slot.length, &id, &seq) &&
           id <= CMD_MAX_MESSAGE_SIZE;
}

// A queued frame must come out of a decoder as exactly one message that encodes back to the
// same bytes.
void check_frame(const uint8_t *frame, uint16_t length) {
    FUZZ_CHECK(length >= 6 && length <= FRAME_BUFFER_SIZE);
    FUZZ_CHECK(frame[0] == FRAME_START && frame[length - 1] == FRAME_END);
    uint8_t body[FRAME_BUFFER_SIZE];
    FrameDecoder decoder;
    FUZZ_CHECK(frame_decoder_init(&decoder, body, sizeof body) == FRAME_OK);
    for (uint16_t i = 0; i + 1 < length; ++i) {
        FUZZ_CHECK(frame_decoder_put(&decoder, frame[i]) == FRAME_OK);
    }
    FUZZ_CHECK(frame_decoder_put(&decoder, frame[length - 1]) == FRAME_COMPLETE);
    LinkMessage m;
    FUZZ_CHECK(frame_decoder_take(&decoder, &m) == FRAME_OK);
    uint8_t again[FRAME_BUFFER_SIZE];
    uint16_t againLength = 0;
    FUZZ_CHECK(frame_encode(&m, again, sizeof again, &againLength) == FRAME_OK);
    FUZZ_CHECK(againLength == length && std::memcmp(again, frame, length) == 0);
}

// `deep` also decodes queued frames, the first few of them: after a flood they differ only in
// their sequence numbers, and decoding all 4200 would slow the fuzzer down several times over.
// `afterPass` expects the receive table drained.
void check_state(bool deep, bool afterPass) {
    int framesToDecode = deep ? 64 : 0;
    LockedLinkState s = link_get_state();
    FUZZ_CHECK(s->rxReadCursor < LINK_SLOT_COUNT && s->rxAllocCursor < LINK_SLOT_COUNT);
    FUZZ_CHECK(s->txScanCursor < LINK_SLOT_COUNT && s->txAllocCursor < LINK_SLOT_COUNT);
    FUZZ_CHECK(s->txSeq != 0);
    for (const TxSlot &slot : s->txTable) {
        if (!slot.occupied()) {
            FUZZ_CHECK(slot.length == 0 && slot.done == 0 && slot.lastSent == 0);
            continue;
        }
        FUZZ_CHECK(slot.length >= 6 && slot.length <= FRAME_BUFFER_SIZE);
        FUZZ_CHECK(slot.lastSent <= h.now);
        if (framesToDecode > 0) {
            --framesToDecode;
            check_frame(slot.frame.get(), slot.length);
        }
    }
    for (const auto &slot : s->rxTable) {
        FUZZ_CHECK(!afterPass || !slot);
        if (deep && slot) {
            FUZZ_CHECK(slot->message.payload == slot->payload.get());
            FUZZ_CHECK(slot->message.length <= DECODER_BUFFER_SIZE - 4);
        }
    }
    for (const uint8_t status : s->cmdStatus) {
        FUZZ_CHECK(status <= 127 || status >= CMD_STATUS_NAK);
    }
    for (const int group : s->gpioGroupQueue) {
        FUZZ_CHECK(group >= 0 && group < GPIO_GROUP_COUNT);
    }
    for (const int pin : s->gpioPinQueue) {
        FUZZ_CHECK(pin >= 0 && pin < GPIO_PIN_COUNT);
    }
    for (const uint32_t result : s->gpioGroupResult) {
        FUZZ_CHECK(result <= 127 || result == 255);
    }
    FUZZ_CHECK(terminated(s->smsRxText) && terminated(s->smsRxDate) && terminated(s->smsRxSender));
    FUZZ_CHECK(s->smsRxTextLength >= 0 && s->smsRxTextLength < SMS_TEXT_SIZE);
    FUZZ_CHECK(s->socketResponseLength < SOCKET_RESPONSE_SIZE);
    FUZZ_CHECK(s->socketResponse[s->socketResponseLength] == 0);
    FUZZ_CHECK(terminated(s->atResponse) && terminated(s->imei) && terminated(s->simId));
    FUZZ_CHECK(terminated(s->tarnFirmware) && terminated(s->tarnHardware));
    FUZZ_CHECK(terminated(s->cintFirmware) && terminated(s->cintHardware));
    FUZZ_CHECK(s->apnName.size() <= 255 && s->apnLogin.size() <= 255 &&
               s->apnPassword.size() <= 255);
}

// One pass of the worker loop after its read: run the engine and write what it picks.
bool wake() {
    TxSlot *written = link_process();
    // The pass handled every stored message; those left over were dropped as repeats.
    h.stored.clear();
    h.storedSincePass = 0;
    const QByteArray i2c = i2c_fields();
    FUZZ_CHECK(i2c == h.i2cBefore || h.i2cCandidates.contains(i2c));
    h.i2cBefore = i2c;
    h.i2cCandidates.clear();
    if (written == nullptr) {
        return false;
    }
    LockedLinkState s = link_get_state();
    FUZZ_CHECK(written >= s->txTable.data() && written < s->txTable.data() + LINK_SLOT_COUNT);
    FUZZ_CHECK(written->occupied() && written->lastSent == h.now);
    check_frame(written->frame.get(), written->length);
    if (is_control_frame(*written)) {
        FUZZ_CHECK(written->done);
    } else {
        // Acknowledgements go out before any other frame.
        for (const TxSlot &slot : s->txTable) {
            FUZZ_CHECK(!slot.occupied() || slot.done || !is_control_frame(slot));
        }
    }
    uint8_t id;
    FUZZ_CHECK(frame_read_header(written->frame.get(), written->length, &id, &h.writtenSeq));
    h.haveWritten = true;
    return true;
}

// What a refused request must leave alone.
struct Snapshot {
    std::array<uint8_t, 255> cmdStatus;
    int occupied;
    uint8_t txSeq;

    static Snapshot take() {
        LockedLinkState s = link_get_state();
        Snapshot snap{s->cmdStatus, 0, s->txSeq};
        for (const TxSlot &slot : s->txTable) {
            snap.occupied += slot.occupied() ? 1 : 0;
        }
        return snap;
    }
    bool operator==(const Snapshot &o) const {
        return cmdStatus == o.cmdStatus && occupied == o.occupied && txSeq == o.txSeq;
    }
};

void check_piece_sizes(const QByteArray &data) {
    int offset = 0;
    for (const int size : link_piece_sizes(data)) {
        FUZZ_CHECK(size >= 1 && size <= LINK_PIECE_MAX_DATA);
        const QByteArray piece = QByteArray(1, static_cast<char>(size)) + data.mid(offset, size);
        FUZZ_CHECK(frame_worst_case_size(119, 0, reinterpret_cast<const uint8_t *>(piece.data()),
                                         static_cast<uint32_t>(piece.size())) <= FRAME_BUFFER_SIZE);
        offset += size;
    }
    FUZZ_CHECK(offset == data.size());
}

// Request functions with texts: one longer than the limit must be refused and change nothing.
template <typename Call>
void text_request(std::initializer_list<QByteArray> texts, Call call) {
    bool tooLong = false;
    for (const QByteArray &text : texts) {
        tooLong = tooLong || text.size() > LINK_MAX_TEXT_LENGTH;
    }
    if (!tooLong) {
        call();
        return;
    }
    const Snapshot before = Snapshot::take();
    FUZZ_CHECK(call() == 0);
    FUZZ_CHECK(Snapshot::take() == before);
}

uint32_t encode_failures() {
    LockedLinkState s = link_get_state();
    return s->counters.encodeFailures;
}

void request(FuzzInput &in) {
    const uint32_t failuresBefore = encode_failures();
    const uint8_t which = in.byte();
    const auto b = [&in] { return in.byte(); };
    const auto signedByte = [&in] { return static_cast<int8_t>(in.byte()); };
    switch (which % REQUEST_COUNT) {
        case 0:
            link_set_max_message_size(static_cast<int16_t>(in.u16()));
            break;
        case 1: {
            const int group = signedByte();
            link_gpio_group_set(group, b());
            break;
        }
        case 2: {
            const int pin = signedByte();
            link_gpio_pin_set(pin, b());
            break;
        }
        case 3:
            link_gpio_pin_get(signedByte());
            break;
        case 4:
            link_gpio_group_get(signedByte());
            break;
        case 5:
            link_request_32(b());
            break;
        case 6: {
            const uint8_t address = b();
            const uint8_t reg = b();
            link_i2c_read(address, reg, b());
            break;
        }
        case 7: {
            const uint8_t address = b();
            const uint8_t reg = b();
            const uint8_t count = b();
            link_i2c_write(address, reg, count, in.blob(MAX_TEXT));
            break;
        }
        case 8: {
            const QByteArray number = in.blob(MAX_TEXT);
            text_request({number}, [&] { return link_call_dial(number); });
            break;
        }
        case 9:
            link_call_answer();
            break;
        case 10: {
            const uint8_t first = b();
            link_call_hangup(first, b());
            break;
        }
        case 11:
            link_audio_get_mic_mute();
            break;
        case 12:
            link_audio_set_mic_mute(b());
            break;
        case 13:
            link_audio_get_mic_gain();
            break;
        case 14:
            link_audio_set_mic_gain(b());
            break;
        case 15:
            link_audio_get_speaker_gain();
            break;
        case 16: {
            const uint8_t first = b();
            link_audio_set_speaker_gain(first, b());
            break;
        }
        case 17:
            link_audio_get_ring_tone();
            break;
        case 18: {
            const uint8_t first = b();
            link_audio_set_ring_tone(first, b());
            break;
        }
        case 19:
            link_sms_set_reception(b());
            break;
        case 20:
            link_sms_get_reception_enabled();
            break;
        case 21: {
            const QByteArray server = in.blob(MAX_TEXT);
            const uint16_t port = in.u16();
            text_request({server}, [&] { return link_mail_set_server(server, port); });
            break;
        }
        case 22: {
            const QByteArray login = in.blob(MAX_TEXT);
            const QByteArray password = in.blob(MAX_TEXT);
            text_request({login, password},
                         [&] { return link_mail_set_credentials(login, password); });
            break;
        }
        case 23:
            link_mail_send_smtp(b());
            break;
        case 24: {
            const QByteArray url = in.blob(MAX_TEXT);
            text_request({url}, [&] { return link_mail_send_http_post(url); });
            break;
        }
        case 25: {
            const QByteArray name = in.blob(MAX_TEXT);
            const QByteArray login = in.blob(MAX_TEXT);
            const QByteArray password = in.blob(MAX_TEXT);
            text_request({name, login, password},
                         [&] { return link_apn_set(name, login, password); });
            break;
        }
        case 26: {
            const QByteArray destination = in.blob(MAX_TEXT);
            const uint8_t protocol = b();
            const uint16_t timeout = in.u16();
            text_request({destination},
                         [&] { return link_socket_send(destination, protocol, timeout); });
            break;
        }
        case 27:
            link_socket_cancel_send();
            break;
        case 28:
            link_apn_get();
            break;
        case 29:
            link_set_modem_speed(b());
            break;
        case 30:
            link_get_modem_speed();
            break;
        case 31:
            link_get_160();
            break;
        case 32:
            link_get_rssi();
            break;
        case 33:
            link_get_imei();
            break;
        case 34:
            link_get_sim();
            break;
        case 35:
            link_get_vin();
            break;
        case 36:
            link_set_func_level(b());
            break;
        case 37:
            link_get_tower_conn();
            break;
        case 38:
            link_get_tarn_firmware();
            break;
        case 39:
            link_get_tarn_hardware();
            break;
        case 40:
            link_get_cint_firmware();
            break;
        case 41:
            link_get_cint_hardware();
            break;
        case 42: {
            const QByteArray number = in.blob(MAX_TEXT);
            const QByteArray text = in.blob(MAX_TEXT);
            text_request({number, text}, [&] { return link_sms_send(number, text); });
            break;
        }
        case 43: {
            const QByteArray sender = in.blob(MAX_TEXT);
            const QByteArray recipient = in.blob(MAX_TEXT);
            const QByteArray subject = in.blob(MAX_TEXT);
            link_mail_set_content(sender, recipient, subject, in.blob(MAX_BLOB));
            break;
        }
        case 44:
            link_socket_append_payload(in.blob(MAX_BLOB));
            break;
        case 45: {
            const QByteArray text = in.blob(MAX_TEXT);
            text_request({text}, [&] { return link_send_at_command(text); });
            break;
        }
        case 46:
            check_piece_sizes(in.blob(MAX_BLOB));
            break;
        case RAW_SEND: {
            const uint8_t id = b();
            const uint8_t seq = b();
            const QByteArray payload = in.blob(MAX_FRAME_PAYLOAD);
            link_send(id, reinterpret_cast<const uint8_t *>(payload.constData()),
                      static_cast<uint16_t>(payload.size()), seq);
            break;
        }
        case RAW_REPLY: {
            const uint8_t id = b();
            const uint8_t status = b();
            const QByteArray payload = in.blob(MAX_FRAME_PAYLOAD);
            link_send_reply(id, reinterpret_cast<const uint8_t *>(payload.constData()),
                            static_cast<uint16_t>(payload.size()), status);
            break;
        }
        default:
            // The window clears a reported status back to 0.
            link_set_cmd_status(b(), 0);
            break;
    }
    // A request function refuses a frame that could never be encoded rather than lose it
    // quietly; only the two raw sends take payloads of any size.
    if (which % REQUEST_COUNT != RAW_SEND && which % REQUEST_COUNT != RAW_REPLY) {
        FUZZ_CHECK(encode_failures() == failuresBefore);
    }
    // A request for I2C forgets the data of the previous reply.
    h.i2cBefore = i2c_fields();
}

uint8_t next_module_seq() {
    h.moduleSeq = static_cast<uint8_t>(h.moduleSeq + 1);
    if (h.moduleSeq == 0) {
        h.moduleSeq = 1;
    }
    return h.moduleSeq;
}

// Bit errors and cut-offs on the line.
QByteArray spoil(FuzzInput &in, uint8_t op, QByteArray frame) {
    if (op & FlagB) {
        const int position = in.u16() % frame.size();
        frame[position] = static_cast<char>(frame[position] ^ (1 << (in.byte() & 7)));
    }
    if (op & FlagC) {
        frame.truncate(in.u16() % (frame.size() + 1));
    }
    return frame;
}

void reply_to_pending(FuzzInput &in, uint8_t op) {
    std::vector<uint8_t> pending;
    {
        LockedLinkState s = link_get_state();
        for (size_t id = FIRST_STATUS_ID; id < s->cmdStatus.size(); ++id) {
            if (s->cmdStatus[id] == CMD_STATUS_PENDING) {
                pending.push_back(static_cast<uint8_t>(id));
            }
        }
    }
    const uint8_t pick = in.byte();
    const uint8_t id = pending.empty() ? pick : pending[pick % pending.size()];
    const uint8_t code = op & FlagA ? in.byte() & 0x7F : 0;
    const QByteArray payload = in.blob(MAX_FRAME_PAYLOAD);
    receive(spoil(in, op, encode(id, next_module_seq(), REPLY_FLAG | code, payload)));
}

// Up to 127 frames, or about as many as a table holds: the sizes in between cost time and
// reach nothing new.
int flood_size(FuzzInput &in) {
    const uint8_t size = in.byte();
    return size & 0x80 ? LINK_SLOT_COUNT - 4 + (size & 7) : size;
}

void other(FuzzInput &in) {
    switch (in.byte() % 7) {
        case 0:
            link_reset_queues();
            h.stored.clear();
            h.rxTableFilled = false;
            h.storedSincePass = 0;
            h.i2cCandidates.clear();
            break;
        case 1: {
            // Not link_find_free_rx_slot: it moves the allocation cursor past the slot it
            // returns, and a slot skipped that way is filled only once the table wraps, out of
            // arrival order. Every store runs that search anyway.
            for (const int index : {link_find_due_retransmit(), link_find_pending_control(),
                                    link_find_free_tx_slot(), link_next_received()}) {
                FUZZ_CHECK(index >= -1 && index < LINK_SLOT_COUNT);
            }
            break;
        }
        case 2:
            // Several passes in a row, as when the timer fires with nothing received.
            for (int i = 0; i < 16 && wake(); ++i) {
            }
            break;
        case 3: {
            LinkMessage m;
            FUZZ_CHECK(frame_decoder_take(&m) == FRAME_NOT_READY);
            break;
        }
        case 4: {
            // More frames than the transmit table holds: the sequence number wraps and the
            // table fills.
            const int count = flood_size(in);
            const uint8_t id = in.byte() | 3;
            // Each send to a full table searches all of it: stop at the first refusal.
            for (int i = 0; i < count && link_send(id, nullptr, 0, 0); ++i) {
            }
            break;
        }
        case 5: {
            // The module floods the line between two passes. The messages skip the decoder,
            // which other operations exercise, because thousands of them would slow the
            // fuzzer down.
            const int count = flood_size(in);
            LinkMessage m;
            m.cmdId = in.byte();
            m.status = REPLY_FLAG;
            for (int i = 0; i < count; ++i) {
                m.seq = next_module_seq();
                if (!store(m)) {
                    break;
                }
            }
            break;
        }
        default:
            link_init();
            h.stored.clear();
            h.rxTableFilled = false;
            h.storedSincePass = 0;
            h.i2cCandidates.clear();
            h.i2cBefore = i2c_fields();
            break;
    }
}

void start_input() {
    static const bool once = [] {
        link_set_clock([] { return h.now; });
        QObject::connect(link_notifier(), &Module3G::command_received, on_handled);
        return true;
    }();
    (void)once;
    // A fresh record per input keeps runs reproducible and the tables from filling up.
    h.now = 1000;
    link_init();
    FUZZ_CHECK(frame_decoder_init(h.rxBuffer.data(), DECODER_BUFFER_SIZE) == FRAME_OK);
    h.stored.clear();
    h.rxTableFilled = false;
    h.storedSincePass = 0;
    h.i2cCandidates.clear();
    h.i2cBefore = i2c_fields();
    h.haveWritten = false;
    h.moduleSeq = 0x0F;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    start_input();
    FuzzInput in(data, size);
    while (!in.done()) {
        const uint8_t op = in.byte();
        switch (op & 7) {
            case OpLine:
                receive(in.bytes(in.byte() + 1u));
                break;
            case OpFrame: {
                const uint8_t id = in.byte();
                const uint8_t status = in.byte();
                const uint8_t seq = op & FlagA ? in.byte() : next_module_seq();
                const QByteArray payload = in.blob(MAX_FRAME_PAYLOAD);
                receive(spoil(in, op, encode(id, seq, status, payload)));
                break;
            }
            case OpWake:
                wake();
                check_state(false, true);
                break;
            case OpTime:
                h.now += in.byte();
                if (op & FlagA) {
                    h.now += static_cast<int64_t>(in.u16()) * 60;
                }
                break;
            case OpAnswer:
                if (h.haveWritten) {
                    const uint8_t id = op & FlagA ? CMD_NAK : CMD_ACK;
                    receive(spoil(in, op, encode(id, h.writtenSeq, 0, QByteArray())));
                }
                break;
            case OpRequest:
                request(in);
                check_state(false, false);
                break;
            case OpReply:
                reply_to_pending(in, op);
                break;
            default:
                other(in);
                check_state(false, false);
                break;
        }
    }
    for (int i = 0; i < 2 && wake(); ++i) {
    }
    check_state(true, true);
    // Free what the input allocated: with as many frees as allocations, libFuzzer does not run
    // each input a second time to look for a leak.
    link_init();
    h.stored.clear();
    h.i2cCandidates.clear();
    h.i2cBefore.clear();
    return 0;
}
