// The link under fuzzing: line bytes through the receive path into the engine, as the serial
// worker runs them, mixed with request functions, transfers, module answers, table floods and
// a clock that the input moves. Aborts when the link record breaks one of its invariants.
#include <QObject>
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <tuple>
#include <type_traits>

#include "fuzz_input.h"
#include "link_clock.h"
#include "link_engine.h"
#include "link_internal.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "link_transfers.h"
#include "module3g.h"

namespace {

// The low three bits of an operation byte pick it; the upper ones are its flags.
enum Op : uint8_t {
    OpLine,     // raw line bytes
    OpFrame,    // a frame from the module, a reply to a pending command with FlagA
    OpWake,     // one pass of the worker loop: the engine runs, its frame is written
    OpTime,     // the clock moves on
    OpAnswer,   // the module acknowledges (or, with FlagA, refuses) the frame written last
    OpRequest,  // a request function
    OpFlood,    // more frames than a table holds, from either side
};
constexpr uint8_t FlagA = 0x80;
constexpr uint8_t FlagB = 0x40;  // a module frame numbered by the input
constexpr uint8_t FlagC = 0x20;  // a bit error on the line
constexpr uint8_t FlagD = 0x10;  // a frame cut off on the line

constexpr int MAX_FRAME_PAYLOAD = 300;
constexpr int MAX_PAYLOAD = 20000;

// One transfer as the harness saw it last.
struct TransferLog {
    QList<QByteArray> queued;  // id byte and payload of each frame, in the order they joined
    int placed = 0;            // how many of them went into the table
    int slot = -1;
    bool written = false;  // the frame in the table reached the line
    bool committed = false;
};

struct Harness {
    int64_t now = 1000;
    std::array<uint8_t, DECODER_BUFFER_SIZE> rxBuffer{};
    // Fed the same bytes as the receive path's decoder, to tell what it stored.
    std::array<uint8_t, DECODER_BUFFER_SIZE> shadowBuffer{};
    FrameDecoder shadow;
    // Messages stored and not handled yet: (id, isReply). Arrival order holds only while the
    // receive table has not filled since the last pass.
    std::deque<std::pair<uint8_t, bool>> stored;
    bool rxTableFilled = false;
    // What the I2C fields may hold after the next pass: the data of each reply stored since.
    QList<QByteArray> i2cCandidates;
    QByteArray i2cBefore;
    uint8_t writtenSeq = 0;
    uint8_t moduleSeq = 0x0F;
    std::map<LinkTransferId, TransferLog> transfers;
};
Harness h;

QByteArray bytes_of(const TxSlot &slot) {
    return QByteArray(reinterpret_cast<const char *>(slot.frame.get()), slot.length);
}

// A frame of ours is exactly one message that encodes back to the same bytes.
DecodedFrame decode_checked(const QByteArray &frame) {
    std::array<uint8_t, FRAME_BUFFER_SIZE> body;
    FrameDecoder decoder;
    frame_decoder_init(&decoder, body.data(), body.size());
    const QList<DecodedFrame> frames = frame_decode_all(&decoder, frame);
    FUZZ_CHECK(frames.size() == 1);
    const DecodedFrame &m = frames[0];
    FUZZ_CHECK(frame_encode_bytes(m.cmdId, m.seq, m.status, m.payload) == frame);
    return m;
}

QByteArray i2c_fields() {
    LockedLinkState s = link_get_state();
    return QByteArray(reinterpret_cast<const char *>(s->i2cData.data()), s->i2cReadLength);
}

void on_handled(uchar id, bool isReply) {
    // Handled messages are the stored ones in arrival order, less the dropped repeats.
    while (!h.rxTableFilled && !h.stored.empty() && h.stored.front() != std::pair(id, isReply)) {
        h.stored.pop_front();
    }
    FUZZ_CHECK(h.rxTableFilled || !h.stored.empty());
    if (!h.stored.empty()) {
        h.stored.pop_front();
    }
}

void note_stored(uint8_t id, uint8_t status, const QByteArray &payload) {
    const bool isReply = id >= FIRST_STATUS_ID && (status & REPLY_FLAG) != 0;
    h.stored.emplace_back(id, isReply);
    // A full table leaves the newest message on the read cursor, out of arrival order.
    h.rxTableFilled = h.rxTableFilled || h.stored.size() >= LINK_SLOT_COUNT;
    const int count = payload.isEmpty() ? 0 : uint8_t(payload[0]);
    if (id == CMD_I2C && isReply && count < payload.size()) {
        h.i2cCandidates.append(payload.mid(1, count));
    }
}

void receive(const QByteArray &line) {
    const QList<DecodedFrame> frames = frame_decode_all(&h.shadow, line);
    const int stored = link_receive(line);
    FUZZ_CHECK(stored <= frames.size());
    for (int i = 0; i < stored; ++i) {
        note_stored(frames[i].cmdId, frames[i].status, frames[i].payload);
    }
}

// Follows each transfer from one look to the next: frames join at the back and go into the
// table one at a time, in the order they joined, each after the one before reached the line,
// the commit frame last. `requested`: a request ran since, which may also queue frames.
// Returns how many transfers have a frame in the table.
int check_transfers(const LinkState &s, bool requested) {
    std::map<LinkTransferId, TransferLog> seen;
    int inTable = 0;
    int waitingFrames = 0;
    for (const std::deque<Transfer> &list : s.transfers) {
        for (const Transfer &t : list) {
            const int waiting = static_cast<int>(t.waiting.size());
            waitingFrames += waiting;
            inTable += t.slot >= 0 ? 1 : 0;
            TransferLog &log = seen[t.id] = h.transfers[t.id];
            if (t.slot >= 0) {
                FUZZ_CHECK(t.slot < LINK_SLOT_COUNT && &t == &list.front());
                const TxSlot &slot = s.txTable[t.slot];
                FUZZ_CHECK(slot.occupied() && slot.transfer == t.id);
                FUZZ_CHECK(slot.reportsTo == (t.committed && waiting == 0 ? t.statusId : 0));
            }
            if (t.droppedAs != 0) {
                FUZZ_CHECK(t.slot < 0 && waiting == 0);
                continue;
            }
            // A request may place a frame and queue more; a pass may only place one.
            const int before = log.queued.size() - log.placed;
            const int placed = requested ? log.slot < 0 && t.slot >= 0 : before - waiting;
            FUZZ_CHECK(placed == 0 || (placed == 1 && t.slot >= 0));
            FUZZ_CHECK(placed == 0 || log.placed == 0 || log.written);
            QList<QByteArray> now;
            if (placed) {
                const DecodedFrame m = decode_checked(bytes_of(s.txTable[t.slot]));
                now.append(static_cast<char>(m.cmdId) + m.payload);
            }
            for (const TransferFrame &frame : t.waiting) {
                now.append(static_cast<char>(frame.cmdId) + frame.payload);
            }
            FUZZ_CHECK(now.mid(0, before) == log.queued.mid(log.placed));
            FUZZ_CHECK(!log.committed || now.size() == before);  // the commit frame is last
            log.queued += now.mid(before);
            log.placed += placed;
            log.slot = t.slot;
            log.written = t.slot >= 0 ? s.txTable[t.slot].state != TxState::Waiting : log.written;
            log.committed = t.committed;
        }
    }
    FUZZ_CHECK(waitingFrames == s.transferFramesWaiting);
    h.transfers = std::move(seen);
    return inTable;
}

template <size_t N>
bool terminated(const std::array<char, N> &field) {
    return std::memchr(field.data(), 0, N) != nullptr;
}

enum class After { Request, Pass, Flood, End };

void check_state(After when) {
    LockedLinkState s = link_get_state();
    FUZZ_CHECK(s->rxReadCursor < LINK_SLOT_COUNT && s->rxAllocCursor < LINK_SLOT_COUNT);
    FUZZ_CHECK(s->txScanCursor < LINK_SLOT_COUNT && s->txAllocCursor < LINK_SLOT_COUNT);
    FUZZ_CHECK(s->txSeq != 0);
    int carried = 0;  // slots that carry a transfer's frame: each transfer's own, no other
    // After a flood the frames differ only in their sequence numbers: decoding all of them
    // would slow the fuzzer down several times over.
    int framesToDecode = when == After::End ? 64 : 0;
    const TxIndex &x = s->txIndex;
    size_t written = 0;
    int64_t firstDue = INT64_MAX;
    for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
        const TxSlot &slot = s->txTable[i];
        carried += slot.transfer != 0 ? 1 : 0;
        FUZZ_CHECK(slot.occupied() || (!slot.length && !slot.frame && !slot.transfer));
        FUZZ_CHECK(slot.length <= FRAME_BUFFER_SIZE && slot.lastSent <= h.now);
        if (slot.occupied() && framesToDecode-- > 0) {
            // What the slot keeps is what its frame says.
            const DecodedFrame m = decode_checked(bytes_of(slot));
            FUZZ_CHECK(m.cmdId == slot.cmdId && m.seq == slot.seq && m.payload == slot.payload);
        }
        // The index holds every slot under its state, and nowhere else.
        const bool waiting = slot.state == TxState::Waiting;
        FUZZ_CHECK(x.free.test(i) == !slot.occupied() &&
                   x.done.test(i) == (slot.state == TxState::Done));
        FUZZ_CHECK(x.waitingControl.test(i) == (waiting && slot.control()) &&
                   x.waiting.test(i) == (waiting && !slot.control()));
        if (slot.state == TxState::Written) {
            ++written;
            firstDue = std::min(firstDue, slot.lastSent + LINK_RETRANSMIT_SECONDS + 1);
            const auto &bySeq = x.writtenBySeq[slot.seq];
            const auto &byCommand = x.writtenByCommand[slot.cmdId];
            FUZZ_CHECK(std::count(bySeq.begin(), bySeq.end(), i) == 1 &&
                       std::count(byCommand.begin(), byCommand.end(), i) == 1);
        }
        FUZZ_CHECK(slot.state != TxState::Written || !slot.control());
    }
    size_t indexed = 0;
    for (const auto &list : x.writtenBySeq) {
        indexed += list.size();
    }
    FUZZ_CHECK(indexed == written && x.nextDue <= firstDue);
    FUZZ_CHECK(check_transfers(*s, when == After::Request) == carried);
    for (const auto &slot : s->rxTable) {
        FUZZ_CHECK(!slot || (when != After::Pass && when != After::End));
    }
    for (const uint8_t status : s->cmdStatus) {
        FUZZ_CHECK(status <= 127 || status >= CMD_STATUS_SILENT);
    }
    FUZZ_CHECK(terminated(s->smsRxText) && terminated(s->smsRxDate) && terminated(s->smsRxSender));
    FUZZ_CHECK(s->smsRxTextLength >= 0 && s->smsRxTextLength < SMS_TEXT_SIZE);
    FUZZ_CHECK(s->socketResponseLength < SOCKET_RESPONSE_SIZE);
    FUZZ_CHECK(s->socketResponse[s->socketResponseLength] == 0);
    FUZZ_CHECK(terminated(s->atResponse) && terminated(s->imei) && terminated(s->simId));
    FUZZ_CHECK(terminated(s->tarnFirmware) && terminated(s->tarnHardware));
    FUZZ_CHECK(terminated(s->cintFirmware) && terminated(s->cintHardware));
}

// One pass of the worker loop after its read: run the engine and write what it picks.
bool wake() {
    const QByteArray written = link_process();
    h.stored.clear();  // every stored message was handled or dropped as a repeat
    const QByteArray i2c = i2c_fields();
    FUZZ_CHECK(i2c == h.i2cBefore || h.i2cCandidates.contains(i2c));
    h.i2cBefore = i2c;
    h.i2cCandidates.clear();
    check_state(After::Pass);
    if (written.isEmpty()) {
        return false;
    }
    const DecodedFrame frame = decode_checked(written);
    h.writtenSeq = frame.seq;
    // Acknowledgements go out before any other frame.
    LockedLinkState s = link_get_state();
    for (const TxSlot &slot : s->txTable) {
        FUZZ_CHECK(frame.cmdId <= CMD_MAX_MESSAGE_SIZE || !slot.occupied() ||
                   slot.state == TxState::Done || !slot.control());
    }
    return true;
}

// Request arguments, read in parameter order.
template <typename T>
T arg(FuzzInput &in) {
    if constexpr (std::is_same_v<T, QByteArray>) {
        return in.blob(MAX_PAYLOAD);
    } else if constexpr (std::is_pointer_v<T>) {
        return nullptr;
    } else if constexpr (std::is_same_v<T, uint16_t>) {
        return in.u16();
    } else {
        return static_cast<T>(static_cast<int8_t>(in.byte()));
    }
}

template <typename... A>
int invoke(int (*request)(A...), FuzzInput &in) {
    std::tuple<std::decay_t<A>...> args{arg<std::decay_t<A>>(in)...};  // braces read in order
    return std::apply(request, args);
}

template <auto F>
int call(FuzzInput &in) {
    return invoke(F, in);
}

using Request = int (*)(FuzzInput &);
template <auto... F>
constexpr std::array<Request, sizeof...(F)> table() {
    return {call<F>...};
}

int raw_send(uint8_t id, uint8_t seq, const QByteArray &payload) {
    return link_send(id, link_detail::bytes_of(payload), uint16_t(payload.size()), seq);
}
int raw_reply(uint8_t id, uint8_t status, const QByteArray &payload) {
    return link_send_reply(id, link_detail::bytes_of(payload), uint16_t(payload.size()), status);
}
int port_opened() {
    link_port_opened();
    return 1;
}

// The kept reproducers and seeds pick requests by their place here.
constexpr size_t RAW_SEND = 47;
const auto kRequests =
    table<link_set_max_message_size, link_gpio_group_set, link_gpio_pin_set, link_gpio_pin_get,
          link_gpio_group_get, link_request_32, link_i2c_read, link_i2c_write, link_call_dial,
          link_call_answer, link_call_hangup, link_audio_get_mic_mute, link_audio_set_mic_mute,
          link_audio_get_mic_gain, link_audio_set_mic_gain, link_audio_get_speaker_gain,
          link_audio_set_speaker_gain, link_audio_get_ring_tone, link_audio_set_ring_tone,
          link_sms_set_reception, link_sms_get_reception_enabled, link_mail_set_server,
          link_mail_set_credentials, link_mail_send_smtp, link_mail_send_http_post, link_apn_set,
          link_socket_send, link_socket_cancel_send, link_apn_get, link_set_modem_speed,
          link_get_modem_speed, link_get_160, link_get_rssi, link_get_imei, link_get_sim,
          link_get_vin, link_set_func_level, link_get_tower_conn, link_get_tarn_firmware,
          link_get_tarn_hardware, link_get_cint_firmware, link_get_cint_hardware, link_sms_send,
          link_mail_set_content, link_socket_append_payload, link_send_at_command,
          link_withdraw_transfer, raw_send, raw_reply, port_opened>();
static_assert(kRequests.size() == 50);

// What a refused request must leave as it was; only counters may note the refusal.
auto footprint(const LinkState &s) {
    const auto occupied = std::count_if(s.txTable.begin(), s.txTable.end(),
                                        [](const TxSlot &slot) { return slot.occupied(); });
    return std::make_tuple(s.cmdStatus, s.lastGpioCmd, s.lastCallCmd, s.lastAudioCmd, s.lastSmsCmd,
                           s.lastSocketCmd, s.lastStatusCmd, s.gpioGroupQueue, s.gpioPinQueue,
                           s.gpioGroupValue, s.i2cReadLength, s.atResponse[0],
                           s.socketResponseLength, s.socketBytesSent, s.txSeq, occupied,
                           s.transferFramesWaiting, s.lastTransferId, s.transfers[0].size(),
                           s.transfers[1].size(), s.transfers[2].size());
}

bool transfer_open(const LinkState &s) {
    return std::any_of(s.transfers.begin(), s.transfers.end(),
                       [](const auto &list) { return !list.empty() && !list.back().committed; });
}

void request(FuzzInput &in) {
    const size_t which = in.byte() % kRequests.size();
    const auto [before, failures, dropped, open] = [] {
        LockedLinkState s = link_get_state();
        return std::make_tuple(footprint(*s), s->counters.encodeFailures,
                               s->counters.transferFramesDropped, transfer_open(*s));
    }();
    const int result = kRequests[which](in);
    {
        LockedLinkState s = link_get_state();
        FUZZ_CHECK(result != 0 || footprint(*s) == before);
        // What could never be encoded is refused or cut, not dropped; only a transfer left open
        // may lose frames, to a refusal or to the transfer that replaces it.
        FUZZ_CHECK(which >= RAW_SEND || s->counters.encodeFailures == failures);
        FUZZ_CHECK(which >= RAW_SEND || open || s->counters.transferFramesDropped == dropped);
    }
    check_state(After::Request);
    h.i2cBefore = i2c_fields();  // an I2C request forgets the previous reply's data
}

uint8_t next_module_seq() {
    return h.moduleSeq = static_cast<uint8_t>(h.moduleSeq % 255 + 1);
}

// A frame from the module, perhaps spoiled on the line by a bit error or a cut.
void module_frame(FuzzInput &in, uint8_t op, uint8_t id, uint8_t status, uint8_t seq,
                  const QByteArray &payload) {
    QByteArray frame = frame_encode_bytes(id, seq, status, payload, 2 * MAX_FRAME_PAYLOAD + 16);
    if (op & FlagC) {
        const int position = in.u16() % frame.size();
        frame[position] = static_cast<char>(frame[position] ^ (1 << (in.byte() & 7)));
    }
    frame.truncate(op & FlagD ? in.u16() % frame.size() : frame.size());
    receive(frame);
}

void reply_or_frame(FuzzInput &in, uint8_t op) {
    std::vector<uint8_t> pending;
    if (op & FlagA) {
        LockedLinkState s = link_get_state();
        for (int id = FIRST_STATUS_ID; id < 256; ++id) {
            if (s->cmdStatus[id] == CMD_STATUS_PENDING) {
                pending.push_back(static_cast<uint8_t>(id));
            }
        }
    }
    const uint8_t pick = in.byte();
    const uint8_t id = pending.empty() ? pick : pending[pick % pending.size()];
    const uint8_t status = pending.empty() ? in.byte() : REPLY_FLAG | (in.byte() & 0x7F);
    const uint8_t seq = op & FlagB ? in.byte() : next_module_seq();
    module_frame(in, op, id, status, seq, in.blob(MAX_FRAME_PAYLOAD));
}

// Up to 127 frames, or about as many as a table holds: the sizes between reach nothing new.
// Each send to a full table searches all of it, so a flood stops at the first refusal; the
// module's frames skip the decoder, through which thousands would be slow.
void flood(FuzzInput &in, uint8_t op) {
    const uint8_t size = in.byte();
    const int count = size & 0x80 ? LINK_SLOT_COUNT - 4 + (size & 7) : size;
    LinkMessage m;
    m.cmdId = in.byte() | 3;
    m.status = REPLY_FLAG;
    for (int i = 0; i < count; ++i) {
        m.seq = next_module_seq();
        if (op & FlagA ? !link_store_received(&m) : !link_send(m.cmdId, nullptr, 0, 0)) {
            break;
        }
        if (op & FlagA) {
            note_stored(m.cmdId, m.status, QByteArray());
        }
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
    link_init();
    h = Harness();
    frame_decoder_init(h.rxBuffer.data(), DECODER_BUFFER_SIZE);
    frame_decoder_init(&h.shadow, h.shadowBuffer.data(), DECODER_BUFFER_SIZE);
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
            case OpFrame:
                reply_or_frame(in, op);
                break;
            case OpWake:
            default:  // the eighth code
                // Several passes in a row, as when the timer fires with nothing received.
                for (int i = 0; i < (op & FlagA ? 16 : 1) && wake(); ++i) {
                }
                break;
            case OpTime:
                h.now += op & FlagA ? in.u16() * 60 : in.byte();
                break;
            case OpAnswer:
                module_frame(in, op, op & FlagA ? CMD_NAK : CMD_ACK, 0, h.writtenSeq, {});
                break;
            case OpRequest:
                request(in);
                break;
            case OpFlood:
                flood(in, op);
                check_state(After::Flood);
                break;
        }
    }
    for (int i = 0; i < 2 && wake(); ++i) {
    }
    check_state(After::End);
    // With as many frees as allocations, libFuzzer does not run each input again for a leak.
    link_init();
    h = Harness();
    return 0;
}
