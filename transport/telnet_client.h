// The client side of a telnet connection that carries a serial line: option negotiation by the
// loop-free rules of RFC 1143, the IAC stuffing of RFC 854 both ways (inside subnegotiations
// too), and the line settings and flow control of RFC 2217's COM-PORT-OPTION. It owns no socket:
// what the server sent goes in through receive(), what is due to the server comes out of
// takeOutgoing(), so any byte split and any order of events can be driven by a test or a fuzzer.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace telnet {

constexpr uint8_t kIac = 255;
constexpr uint8_t kDont = 254;
constexpr uint8_t kDo = 253;
constexpr uint8_t kWont = 252;
constexpr uint8_t kWill = 251;
constexpr uint8_t kSb = 250;
constexpr uint8_t kSe = 240;

constexpr uint8_t kOptionBinary = 0;
constexpr uint8_t kOptionSuppressGoAhead = 3;
constexpr uint8_t kOptionComPort = 44;

// COM-PORT-OPTION commands from client to server; the server's are the same plus 100.
enum ComPortCommand : uint8_t {
    kSignature = 0,
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
    kFlowControlSuspend = 8,
    kFlowControlResume = 9,
    kSetLineStateMask = 10,
    kSetModemStateMask = 11,
    kPurgeData = 12,
};
constexpr uint8_t kServerCommandOffset = 100;

// The line settings, by their commands, in the order they go out.
constexpr ComPortCommand kLineSettings[] = {kSetBaudRate, kSetDataSize, kSetParity, kSetStopSize,
                                            kSetControl};
// The bytes of a line setting's value: four for the speed, one for the others.
constexpr int settingSize(uint8_t command) {
    return command == kSetBaudRate ? 4 : 1;
}

constexpr uint8_t kParityNone = 1;
constexpr uint8_t kStopSizeOne = 1;
constexpr uint8_t kControlHardware = 3;  // RTS/CTS
constexpr uint8_t kPurgeBoth = 3;

// A subnegotiation longer than this is not one this client understands: its bytes are dropped
// up to its end, and it counts as malformed.
constexpr int kMaxSubnegotiation = 64;

}  // namespace telnet

// The settings asked of the server's serial port.
struct SerialLineRequest {
    uint32_t baudRate = 115200;
    uint8_t dataSize = 8;
    uint8_t parity = telnet::kParityNone;
    uint8_t stopSize = telnet::kStopSizeOne;
    uint8_t control = telnet::kControlHardware;

    // The value of one of telnet::kLineSettings.
    uint32_t value(uint8_t command) const;
};

class TelnetClient {
  public:
    enum class Failure {
        None,
        ComPortRefused,  // the server will not take line settings
        BinaryRefused,   // either direction: 8-bit frames would not pass unaltered
        SettingRefused,  // the server answered a setting with another value than asked
    };

    // The setting the server refused: its command, the value asked and the value answered.
    struct Refusal {
        uint8_t command = 0;
        uint32_t asked = 0;
        uint32_t answered = 0;
    };

    TelnetClient() = default;

    // Queues our opening offers: WILL and DO BINARY, WILL and DO SUPPRESS-GO-AHEAD, WILL
    // COM-PORT-OPTION. Once the server agrees to COM-PORT-OPTION the line settings of `line`
    // go out, SET-BAUDRATE, SET-DATASIZE, SET-PARITY, SET-STOPSIZE, SET-CONTROL in that order,
    // then PURGE-DATA of both buffers.
    void start(const SerialLineRequest &line);

    // Bytes from the server as read, in pieces of any size; returns the line's data among them,
    // in order, with doubled IACs undone and any answers the negotiation needs queued.
    QByteArray receive(const QByteArray &bytes);

    // Data for the line, every IAC doubled. While the server has suspended our writes
    // (FLOWCONTROL-SUSPEND) the data is held, and goes out in order at FLOWCONTROL-RESUME.
    void send(const QByteArray &data);

    // What is due to the server now (negotiation and data, in the order queued), and clears it.
    QByteArray takeOutgoing();
    bool hasOutgoing() const { return !outgoing_.isEmpty(); }

    // True once BINARY is agreed both ways, COM-PORT-OPTION is agreed and every line setting
    // is answered with the value asked, and nothing was refused.
    bool ready() const;
    Failure failure() const { return failure_; }
    const Refusal &refusal() const { return refusal_; }  // meaningful for SettingRefused
    // What the server answered to one of telnet::kLineSettings; empty until it has.
    std::optional<uint32_t> answer(uint8_t command) const {
        return command <= telnet::kSetControl ? answers_[command] : std::nullopt;
    }

    bool suspended() const { return suspended_; }
    int heldBytes() const { return held_.size(); }

    // The latest NOTIFY-LINESTATE and NOTIFY-MODEMSTATE values, and how many subnegotiations
    // were dropped as malformed or too long.
    std::optional<uint8_t> lineState() const { return lineState_; }
    std::optional<uint8_t> modemState() const { return modemState_; }
    int malformed() const { return malformed_; }

  private:
    enum class Parse : uint8_t { Data, AfterCr, Iac, Option, Sb, SbIac };
    // RFC 1143's states of one side of one option. We never withdraw an option we asked for,
    // so neither WANTNO nor the queue bit is ever needed.
    enum class Q : uint8_t { No, WantYes, Yes };

    void parse(uint8_t byte, QByteArray &data);
    void collect(uint8_t byte);
    void command(uint8_t byte);
    void negotiate(uint8_t verb, uint8_t option);
    void offered(Q &state, uint8_t option, bool ours, bool wanted);
    void withdrawn(Q &state, uint8_t option, bool ours);
    void queueSettings();
    void subnegotiation();
    void comPort(uint8_t command, const QByteArray &value);
    void answered(uint8_t command, const QByteArray &value);
    void queueSubnegotiation(uint8_t command, const QByteArray &value);
    void queueOption(uint8_t verb, uint8_t option);
    void fail(Failure failure);
    void resume();

    Parse parse_ = Parse::Data;
    uint8_t verb_ = 0;        // the WILL/WONT/DO/DONT whose option byte is due
    QByteArray sb_;           // the subnegotiation so far, doubled IACs undone
    bool sbTooLong_ = false;  // past kMaxSubnegotiation: the rest is dropped up to IAC SE
    Q us_[256] = {};
    Q him_[256] = {};
    bool started_ = false;
    bool settingsSent_ = false;

    QByteArray outgoing_;
    QByteArray held_;
    SerialLineRequest line_;
    std::optional<uint32_t> answers_[telnet::kSetControl + 1];  // by command
    Failure failure_ = Failure::None;
    Refusal refusal_;
    bool suspended_ = false;
    std::optional<uint8_t> lineState_;
    std::optional<uint8_t> modemState_;
    int malformed_ = 0;
};
