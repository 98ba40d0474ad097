// The process-wide link record, its transmit and receive tables, and the send primitive.
// One mutex guards the whole record: every function here takes it, and the window reads the
// record only through a LockedLinkState.
#pragma once

#include <QByteArray>
#include <QMutex>
#include <array>
#include <cstdint>
#include <deque>
#include <memory>

#include "frame_codec.h"

class Module3G;

constexpr int LINK_SLOT_COUNT = 4200;
constexpr int LINK_RETRANSMIT_SECONDS = 10;

constexpr uint8_t CMD_STATUS_NAK = 253;
constexpr uint8_t CMD_STATUS_IDLE = 254;
constexpr uint8_t CMD_STATUS_PENDING = 255;

constexpr uint8_t CMD_ACK = 0;
constexpr uint8_t CMD_NAK = 1;
constexpr uint8_t CMD_MAX_MESSAGE_SIZE = 2;

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

struct TxSlot {
    std::unique_ptr<uint8_t[]> frame;  // empty marks a free slot
    uint16_t length = 0;
    uint8_t done = 0;
    int64_t lastSent = 0;  // clock seconds of the last write; 0 = never written

    bool occupied() const { return frame != nullptr; }
};

// A received message and the payload bytes it owns.
struct RxSlot {
    LinkMessage message;
    std::unique_ptr<uint8_t[]> payload;
};

// Traffic the link dropped or could not place, for diagnosis.
struct LinkCounters {
    uint32_t repeatsDropped = 0;
    uint32_t rxTableFull = 0;
    uint32_t txTableFull = 0;
    uint32_t encodeFailures = 0;
};

struct LinkState {
    uint8_t lastRxSeq = 0;
    std::deque<int> gpioGroupQueue;
    std::deque<int> gpioPinQueue;
    uint8_t txSeq = 1;
    uint16_t rxReadCursor = 0;
    uint16_t rxAllocCursor = 0;
    uint16_t txScanCursor = 0;
    uint16_t txAllocCursor = 0;
    Module3G *notifier = nullptr;
    std::array<uint8_t, 255> cmdStatus{};
    std::array<uint32_t, GPIO_GROUP_COUNT> gpioGroupResult{};
    std::array<uint32_t, GPIO_GROUP_COUNT> gpioGroupValue{};
    std::array<uint32_t, GPIO_PIN_COUNT> gpioPinValue{};
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
    std::array<char, SOCKET_RESPONSE_SIZE> socketResponse{};
    uint32_t socketResponseLength = 0;
    uint32_t socketResponseDropped = 0;
    uint32_t socketBytesSent = 0;
    QByteArray apnName;
    QByteArray apnLogin;
    QByteArray apnPassword;
    uint8_t lastSocketCmd = 0;
    uint32_t reply160Status = 255;
    uint32_t rssi = 99;
    std::array<char, 16> imei{};
    std::array<char, 21> simId{};
    uint16_t vin = 0;
    uint8_t modemSpeed = 0;
    std::array<uint8_t, 2> towerConn{};
    uint8_t lastStatusCmd = 0;
    std::array<char, TARN_VERSION_SIZE> tarnFirmware{};
    std::array<char, TARN_VERSION_SIZE> tarnHardware{};
    std::array<char, CINT_VERSION_SIZE> cintFirmware{};
    std::array<char, CINT_VERSION_SIZE> cintHardware{};
    std::array<char, AT_RESPONSE_SIZE> atResponse{};
    std::array<std::unique_ptr<RxSlot>, LINK_SLOT_COUNT> rxTable;
    std::array<TxSlot, LINK_SLOT_COUNT> txTable;
    LinkCounters counters;
};

// Holds the link's lock for as long as it lives: keep it short, and never open a message box,
// call a request function or wait for another thread while holding one.
class LockedLinkState {
  public:
    LockedLinkState();
    LockedLinkState(const LockedLinkState &) = delete;
    LockedLinkState &operator=(const LockedLinkState &) = delete;
    LockedLinkState(LockedLinkState &&other) noexcept;
    ~LockedLinkState();

    LinkState &operator*() const { return *state_; }
    LinkState *operator->() const { return state_; }

  private:
    QMutex *mutex_;
    LinkState *state_;
};

int link_init();
void link_reset_queues();
LockedLinkState link_get_state();
// The notifier lives as long as the process; connecting to it needs no lock.
Module3G *link_notifier();

int link_build_frame(uint8_t cmdId, uint8_t seq, uint8_t status, const uint8_t *payload,
                     uint16_t length, std::unique_ptr<uint8_t[]> *outFrame, uint16_t *outLength);
int link_send(uint8_t cmdId, const uint8_t *payload, uint16_t length, uint8_t seq);
int link_send_reply(uint8_t cmdId, const uint8_t *payload, uint16_t length, uint8_t status);
int link_store_received(const LinkMessage *message);

// Sets one command's status; the window uses it to clear a reported NAK.
void link_set_cmd_status(uint8_t cmdId, uint8_t status);

int link_find_free_tx_slot();
int link_find_free_rx_slot();
int link_next_received();
int link_find_pending_control();
int link_find_due_retransmit();
