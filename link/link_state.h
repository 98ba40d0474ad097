// The process-wide link record, its transmit and receive tables, and the send primitive.
// One mutex guards the whole record: every function here takes it. The window copies what it
// shows with link_snapshot(); a LockedLinkState is for short reads.
#pragma once

#include <QByteArray>
#include <array>
#include <climits>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "command_ids.h"
#include "frame_codec.h"
#include "link_traffic.h"
#include "slot_bits.h"

class Module3G;

constexpr int LINK_SLOT_COUNT = 4200;
constexpr int LINK_RETRANSMIT_SECONDS = 10;
// How many module frames, handled within how many seconds, the repeat filter remembers. Fewer
// than the 255 sequence numbers, so a module that numbers its frames in turn never repeats a
// remembered one by chance.
constexpr int LINK_REPEAT_MEMORY = 64;
constexpr int LINK_REPEAT_MEMORY_SECONDS = 60;
// How long a transfer's commit frame is owed its ACK, from its first write, and then its reply,
// from the ACK, before the link gives up on it. The module writes an unacknowledged frame again
// every 10 s: 45 s leave room for its own work on an SMS (the batch waits 10 s for that) and
// for three lost copies of its reply, each arriving a little over 10 s after the one before.
constexpr int LINK_REPLY_LIFETIME_SECONDS = 45;

// A request written LINK_SILENT_AFTER_WRITES times without an ACK: the module may be off, or
// the port not its own. It is still written again, and its answer shown when it comes.
constexpr uint8_t CMD_STATUS_SILENT = 248;
constexpr int LINK_SILENT_AFTER_WRITES = 3;
// The module never acknowledged a piece of the transfer within the lifetime: its send never
// went out, and will not.
constexpr uint8_t CMD_STATUS_NOT_SENT = 249;
// No reply came within the lifetime: whether the module carried the request out is not known.
constexpr uint8_t CMD_STATUS_NO_REPLY = 250;
// The port went while the request was on its way or owed a reply.
constexpr uint8_t CMD_STATUS_INTERRUPTED = 251;
// The tool withdrew the transfer this status reports before it was sent whole.
constexpr uint8_t CMD_STATUS_CANCELLED = 252;
constexpr uint8_t CMD_STATUS_NAK = 253;
constexpr uint8_t CMD_STATUS_IDLE = 254;
constexpr uint8_t CMD_STATUS_PENDING = 255;

constexpr int GPIO_GROUP_COUNT = 4;
constexpr int GPIO_PIN_COUNT = 12;

constexpr int I2C_DATA_SIZE = 256;
constexpr int SMS_TEXT_SIZE = 256;
constexpr int SMS_DATE_SIZE = 30;
constexpr int SMS_SENDER_SIZE = 20;
constexpr int SOCKET_RESPONSE_SIZE = 40960;
constexpr int AT_RESPONSE_SIZE = 1024;
constexpr int TARN_VERSION_SIZE = 17;
constexpr int CINT_VERSION_SIZE = 8;

namespace link_detail {
template <typename T, size_t N>
constexpr std::array<T, N> filled(T value) {
    std::array<T, N> out{};
    for (T &element : out) {
        element = value;
    }
    return out;
}
template <size_t N, size_t M>
constexpr std::array<char, N> text(const char (&value)[M]) {
    static_assert(M <= N, "the text does not fit its field");
    std::array<char, N> out{};
    for (size_t i = 0; i < M; ++i) {
        out[i] = value[i];
    }
    return out;
}
}  // namespace link_detail

// Identifies a multi-frame transfer (an SMS, a mail, a socket payload); 0 is none.
using LinkTransferId = uint32_t;

// A transmit slot's life. A frame is placed Waiting, goes Written when it goes to the line (and
// stays Written while it is written again), is Done once acknowledged, refused or answered (a
// control frame once written), and is Free again at the engine's next pass.
enum class TxState : uint8_t { Free, Waiting, Written, Done };

struct TxSlot {
    TxState state = TxState::Free;
    // What was placed, kept so that no question about the slot decodes our own frame again.
    uint8_t cmdId = 0;
    uint8_t seq = 0;
    uint8_t status = 0;
    QByteArray payload;
    std::unique_ptr<uint8_t[]> frame;
    uint16_t length = 0;
    int64_t firstSent = 0;  // clock seconds of the first write
    int64_t lastSent = 0;   // clock seconds of the last write, once Written
    uint8_t writes = 0;     // up to LINK_SILENT_AFTER_WRITES
    bool request = false;   // a frame of ours that the module answers with a reply
    LinkTransferId transfer = 0;
    // A transfer's commit frame: the command whose status reports the transfer, also when
    // the module refuses this frame, and the transfer it ends.
    uint8_t reportsTo = 0;
    LinkTransferId ends = 0;
    uint64_t trafficId = 0;  // the record of its last write

    bool occupied() const { return state != TxState::Free; }
    // Written once, never repeated, never acknowledged.
    bool control() const { return cmdId <= CMD_MAX_MESSAGE_SIZE; }
};

// The transmit slots by state, kept by the functions that move a slot from one to another, so
// that no search of the engine walks the whole table.
struct TxIndex {
    SlotBits<LINK_SLOT_COUNT> free;
    SlotBits<LINK_SLOT_COUNT> waitingControl;
    SlotBits<LINK_SLOT_COUNT> waiting;  // the others never written
    SlotBits<LINK_SLOT_COUNT> done;
    // Written frames that an ACK or a reply can end, by sequence number and by command.
    std::array<std::vector<uint16_t>, 256> writtenBySeq;
    std::array<std::vector<uint16_t>, 256> writtenByCommand;
    // No written frame comes due before this; it may be early, never late.
    int64_t nextDue = INT64_MAX;

    TxIndex() { free.set_all(); }
};

// A received message and the payload bytes it owns.
struct RxSlot {
    LinkMessage message;
    std::unique_ptr<uint8_t[]> payload;
    uint64_t trafficId = 0;
};

// What the link dropped, refused or could not place; nothing is dropped without a count.
struct LinkCounters {
    uint32_t repeatsDropped = 0;
    uint32_t rxTableFull = 0;
    uint32_t txTableFull = 0;
    uint32_t encodeFailures = 0;
    // Module frames whose payload ended before what their id carries; they changed nothing
    // that their payload did not hold whole.
    uint32_t malformed = 0;
    // Frames of transfers dropped because the module refused an earlier piece.
    uint32_t transferFramesDropped = 0;
    // The line, both ways; link_reset_statistics() zeroes these.
    uint64_t framesSent = 0;
    uint64_t framesReceived = 0;
    uint64_t bytesSent = 0;
    uint64_t bytesReceived = 0;
    uint32_t rewrites = 0;
    uint32_t naksReceived = 0;
    // Frames the receive-path decoder dropped; its own counts, read by link_snapshot().
    uint32_t crcErrors = 0;
    uint32_t overflows = 0;
    uint32_t tooShort = 0;
    uint32_t cutOff = 0;
    // Module texts cut or dropped because their field was full.
    uint32_t textsCut = 0;
    // Replies to an SMS send while none was owed one: credited to nothing.
    uint32_t repliesUnplaced = 0;
};

// Everything the window shows: the statuses, the selectors, the fields replies are unpacked
// into and the counters. The initial values here are the record's only ones.
struct LinkSnapshot {
    // Indexed by command id; every id has an entry, so no received byte can index past it.
    std::array<uint8_t, 256> cmdStatus = link_detail::filled<uint8_t, 256>(CMD_STATUS_IDLE);
    // How often the module refused each command with a NAK since start.
    std::array<uint32_t, 256> nakCount{};
    // Replies of each command since start: a control the user edits is written again from a
    // reply's data only once a new reply has come.
    std::array<uint32_t, 256> replyCount{};
    std::array<uint32_t, GPIO_GROUP_COUNT> gpioGroupResult =
        link_detail::filled<uint32_t, GPIO_GROUP_COUNT>(255);
    std::array<uint32_t, GPIO_GROUP_COUNT> gpioGroupValue =
        link_detail::filled<uint32_t, GPIO_GROUP_COUNT>(2);
    std::array<uint32_t, GPIO_PIN_COUNT> gpioPinValue =
        link_detail::filled<uint32_t, GPIO_PIN_COUNT>(2);
    uint8_t lastGpioCmd = 0;
    uint8_t callEventState = 0;
    uint32_t callEventValue = 0xFFFFFFFF;
    uint8_t callEventExtra = 0;
    uint8_t lastCallCmd = 0;
    uint8_t audioMicMute = 0;
    uint8_t audioMicGain = 0;
    std::array<uint8_t, 2> audioSpeakerGain{};
    std::array<uint8_t, 2> audioRingTone{};
    uint8_t lastAudioCmd = 0;
    uint8_t i2cReadLength = 0;
    std::array<uint8_t, I2C_DATA_SIZE> i2cData{};
    std::array<char, SMS_TEXT_SIZE> smsRxText{};
    std::array<char, SMS_DATE_SIZE> smsRxDate{};
    std::array<char, SMS_SENDER_SIZE> smsRxSender{};
    uint8_t smsRxComplete = 0;
    int16_t smsRxTextLength = 0;
    uint8_t smsReceptionEnabled = 0;
    uint8_t lastSmsCmd = 0;
    // 1 while an SMS is queued, on its way or owed its reply: the next one waits until then.
    // Filled in when a snapshot is taken.
    uint8_t smsInProgress = 0;
    std::array<char, SOCKET_RESPONSE_SIZE> socketResponse{};
    uint32_t socketResponseLength = 0;
    uint32_t socketResponseDropped = 0;
    uint32_t socketBytesSent = 0;
    // Grows each time the response is emptied, so a reader that shows it in pieces can tell a
    // new response from more of the same one.
    uint32_t socketResponseGeneration = 0;
    QByteArray apnName;
    QByteArray apnLogin;
    QByteArray apnPassword;
    // APN replies taken whole; a malformed one is not.
    uint32_t apnReadCount = 0;
    uint8_t lastSocketCmd = 0;
    uint32_t reply160Status = 255;
    uint32_t rssi = 99;
    std::array<char, 16> imei{};
    std::array<char, 21> simId{};
    uint16_t vin = 0;
    uint8_t modemSpeed = 0;
    std::array<uint8_t, 2> towerConn{};
    uint8_t lastStatusCmd = 0;
    std::array<char, TARN_VERSION_SIZE> tarnFirmware =
        link_detail::text<TARN_VERSION_SIZE>("xx.yy.zz");
    std::array<char, TARN_VERSION_SIZE> tarnHardware =
        link_detail::text<TARN_VERSION_SIZE>("BOARD-LOT");
    std::array<char, CINT_VERSION_SIZE> cintFirmware =
        link_detail::text<CINT_VERSION_SIZE>("xx.yyyy");
    std::array<char, CINT_VERSION_SIZE> cintHardware =
        link_detail::text<CINT_VERSION_SIZE>("xxxx-yy");
    std::array<char, AT_RESPONSE_SIZE> atResponse{};
    LinkCounters counters;
};

// A module frame the repeat filter remembers.
struct HandledFrame {
    uint8_t seq = 0;
    uint8_t cmdId = 0;
    uint8_t status = 0;
    QByteArray payload;
    int64_t handledAt = 0;
};

// The frames of a transfer go one at a time, each when the one before was acknowledged.
enum class TransferKind : uint8_t { Sms, Mail, Socket };
constexpr int TRANSFER_KIND_COUNT = 3;

struct TransferFrame {
    uint8_t cmdId = 0;
    QByteArray payload;
};

struct Transfer {
    LinkTransferId id = 0;
    TransferKind kind = TransferKind::Sms;
    std::deque<TransferFrame> waiting;  // not in the transmit table yet, in order
    // An SMS's frames already placed, to place again from its number on after a port loss.
    std::vector<TransferFrame> placed;
    int slot = -1;           // the table slot of the frame on its way, until acknowledged
    bool committed = false;  // its commit frame was queued: nothing more joins it
    // CMD_STATUS_NAK when the module refused a piece, CMD_STATUS_INTERRUPTED when the port
    // went before its commit: nothing more of it goes out, and its commit reports this.
    uint8_t droppedAs = 0;
    uint8_t statusId = 0;  // the command whose status reports the transfer's outcome
};

// A transfer whose commit frame went out, waiting for the reply of statusId that ends it.
struct AwaitedOutcome {
    LinkTransferId id = 0;
    uint8_t statusId = 0;
    TransferKind kind = TransferKind::Sms;
    bool acknowledged = false;
    int64_t since = 0;  // the commit frame's first write, then its ACK
};

struct LinkState : LinkSnapshot {
    uint8_t lastRxSeq = 0;
    bool lastRxSeqValid = false;  // no module frame handled since the port was opened
    std::deque<int> gpioGroupQueue;
    std::deque<int> gpioPinQueue;
    uint8_t txSeq = 1;
    uint16_t rxReadCursor = 0;
    uint16_t rxAllocCursor = 0;
    uint16_t txScanCursor = 0;
    uint16_t txAllocCursor = 0;
    Module3G *notifier = nullptr;
    // Requests written and not answered yet, by command id.
    std::array<uint16_t, 256> repliesOwed{};
    std::array<HandledFrame, LINK_REPEAT_MEMORY> handled;
    int handledNext = 0;
    // Per kind, oldest first; only the first of a kind sends.
    std::array<std::deque<Transfer>, TRANSFER_KIND_COUNT> transfers;
    int transferFramesWaiting = 0;
    LinkTransferId lastTransferId = 0;
    // Oldest first: the module answers in the order it was asked. An SMS is the only one of
    // its kind here, so a reply to a send is never paired with another SMS's.
    std::deque<AwaitedOutcome> awaitingOutcome;
    // The decoder's counts when the line statistics were last reset.
    struct {
        uint32_t badCrcCount = 0;
        uint32_t overflowCount = 0;
        uint32_t tooShortCount = 0;
        uint32_t cutOffCount = 0;
    } decoderBase;
    bool recordTraffic = false;
    uint64_t lastTrafficId = 0;
    std::deque<TrafficChange> traffic;
    uint64_t trafficLost = 0;
    std::array<std::unique_ptr<RxSlot>, LINK_SLOT_COUNT> rxTable;
    SlotBits<LINK_SLOT_COUNT> rxOccupied;
    std::array<TxSlot, LINK_SLOT_COUNT> txTable;
    TxIndex txIndex;
};

namespace link_detail {
struct Outbox;
}

// While one lives, the notifications the link raises on this thread wait, and they are raised
// in order when it goes: the serial worker puts the frames a pass made ready on the line before
// the window hears (and so wakes for) what the pass handled.
class LinkNotificationsHeld {
  public:
    LinkNotificationsHeld();
    ~LinkNotificationsHeld();
    LinkNotificationsHeld(const LinkNotificationsHeld &) = delete;
    LinkNotificationsHeld &operator=(const LinkNotificationsHeld &) = delete;

  private:
    std::unique_ptr<link_detail::Outbox> outbox_;
};

// Holds the link's lock for as long as it lives and gives read-only access: keep it short, and
// never open a message box, call a link function or wait for another thread while holding one.
// Views nest on one thread (they share the lock); a link function called while one is held on
// the same thread stops the program with a message instead of deadlocking.
class LockedLinkState {
  public:
    LockedLinkState();
    LockedLinkState(const LockedLinkState &) = delete;
    LockedLinkState &operator=(const LockedLinkState &) = delete;
    LockedLinkState(LockedLinkState &&other) noexcept;
    ~LockedLinkState();

    const LinkState &operator*() const { return *state_; }
    const LinkState *operator->() const { return state_; }

  private:
    bool holds_;
    const LinkState *state_;
};

int link_init();
void link_reset_queues();
LockedLinkState link_get_state();
// A copy of what the window shows, taken under the lock; read it without one.
LinkSnapshot link_snapshot();
// The notifier lives as long as the process, on the thread that started it; connecting to it
// needs no lock.
Module3G *link_notifier();

int link_build_frame(uint8_t cmdId, uint8_t seq, uint8_t status, const uint8_t *payload,
                     uint16_t length, std::unique_ptr<uint8_t[]> *outFrame, uint16_t *outLength);
int link_send(uint8_t cmdId, const uint8_t *payload, uint16_t length, uint8_t seq);
// The sequence number of the next frame the tool starts (0 counts as 1). A program that runs
// once per request starts where its last run did not: a module remembers the frames it
// handled for a while, and would take the same first frame again for a repeat.
void link_set_next_sequence(uint8_t seq);
int link_send_reply(uint8_t cmdId, const uint8_t *payload, uint16_t length, uint8_t status);
int link_store_received(const LinkMessage *message);
// Feeds bytes from the line through the receive-path decoder and stores every frame they
// complete; returns how many were stored.
int link_receive(const QByteArray &bytes);
// A port was opened: the module at its other end may number its frames afresh, so nothing it
// sends is taken for a repeat of what came before.
void link_port_opened();
// The port went: the module at its other end may have restarted and forgotten what it was
// doing. Mail and socket transfers whose commit frame it had not acknowledged are withdrawn,
// and requests written and still owed a reply are forgotten; each shows CMD_STATUS_INTERRUPTED.
// An SMS whose send was not written yet starts again from its number once a port is open; one
// whose send was written stays owed its reply, which may come after the reconnect, and is not
// written again. Frames not written yet stay queued.
void link_port_lost();

// Replaces the call event's reason byte only while it still holds `expected`, so a refresh
// that read an older value never overwrites a newer event; returns 1 when it was replaced.
int link_set_call_event_extra_if(uint8_t expected, uint8_t value);

int link_find_free_tx_slot();
int link_find_free_rx_slot();
int link_next_received();
int link_find_pending_control();
int link_find_due_retransmit();
