// The telnet client of a serial line: a byte-at-a-time receive parser, option negotiation by
// RFC 1143's rules and the COM-PORT-OPTION messages of RFC 2217.
#include "telnet_client.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>

using namespace telnet;

namespace {

constexpr uint8_t kNul = 0;
constexpr uint8_t kCr = 13;
constexpr char kSignatureText[] = "KOVA Test Tool";

QByteArray doubled(const QByteArray &bytes) {
    QByteArray out;
    out.reserve(bytes.size() + bytes.count(static_cast<char>(kIac)));
    for (const char c : bytes) {
        out.append(c);
        if (static_cast<uint8_t>(c) == kIac) {
            out.append(c);
        }
    }
    return out;
}

QByteArray bigEndian(uint32_t value) {
    QByteArray out(4, '\0');
    for (int i = 3; i >= 0; --i, value >>= 8) {
        out[i] = static_cast<char>(value & 0xFF);
    }
    return out;
}

bool wantedOnOurSide(uint8_t option) {
    return option == kOptionBinary || option == kOptionSuppressGoAhead || option == kOptionComPort;
}

bool wantedOnTheirSide(uint8_t option) {
    return option == kOptionBinary || option == kOptionSuppressGoAhead;
}

}  // namespace

uint32_t SerialLineRequest::value(uint8_t command) const {
    switch (command) {
        case kSetBaudRate:
            return baudRate;
        case kSetDataSize:
            return dataSize;
        case kSetParity:
            return parity;
        case kSetStopSize:
            return stopSize;
        case kSetControl:
            return control;
    }
    return 0;
}

void TelnetClient::start(const SerialLineRequest &line) {
    line_ = line;
    started_ = true;
    for (const uint8_t option : {kOptionBinary, kOptionSuppressGoAhead, kOptionComPort}) {
        if (us_[option] == Q::No) {
            us_[option] = Q::WantYes;
            queueOption(kWill, option);
        }
        if (wantedOnTheirSide(option) && him_[option] == Q::No) {
            him_[option] = Q::WantYes;
            queueOption(kDo, option);
        }
    }
    // A server that asked for COM-PORT-OPTION before we started has it already.
    if (us_[kOptionComPort] == Q::Yes && !settingsSent_) {
        queueSettings();
    }
}

QByteArray TelnetClient::receive(const QByteArray &bytes) {
    QByteArray data;
    data.reserve(bytes.size());
    for (const char c : bytes) {
        parse(static_cast<uint8_t>(c), data);
    }
    return data;
}

void TelnetClient::parse(uint8_t byte, QByteArray &data) {
    switch (parse_) {
        case Parse::AfterCr:
            parse_ = Parse::Data;
            if (byte == kNul) {
                return;  // a bare CR, stuffed for a line that is not binary
            }
            [[fallthrough]];
        case Parse::Data:
            if (byte == kIac) {
                parse_ = Parse::Iac;
                return;
            }
            data.append(static_cast<char>(byte));
            if (byte == kCr && him_[kOptionBinary] != Q::Yes) {
                parse_ = Parse::AfterCr;
            }
            return;
        case Parse::Iac:
            if (byte == kIac) {
                data.append(static_cast<char>(kIac));
                parse_ = Parse::Data;
                return;
            }
            command(byte);
            return;
        case Parse::Option:
            parse_ = Parse::Data;
            negotiate(verb_, byte);
            return;
        case Parse::Sb:
            if (byte == kIac) {
                parse_ = Parse::SbIac;
            } else {
                collect(byte);
            }
            return;
        case Parse::SbIac:
            if (byte == kIac) {
                parse_ = Parse::Sb;
                collect(byte);
            } else if (byte == kSe) {
                parse_ = Parse::Data;
                subnegotiation();
            } else {
                // Neither doubled nor ended: the server lost track of this subnegotiation.
                // Drop it and take the byte as the command that the IAC starts.
                ++malformed_;
                command(byte);
            }
            return;
    }
}

void TelnetClient::collect(uint8_t byte) {
    if (sb_.size() < kMaxSubnegotiation) {
        sb_.append(static_cast<char>(byte));
    } else {
        sbTooLong_ = true;
    }
}

void TelnetClient::command(uint8_t byte) {
    parse_ = Parse::Data;
    if (byte >= kWill && byte <= kDont) {
        verb_ = byte;
        parse_ = Parse::Option;
    } else if (byte == kSb) {
        sb_.clear();
        sbTooLong_ = false;
        parse_ = Parse::Sb;
    }
    // NOP, GA, a stray SE and the rest mean nothing to a serial line.
}

void TelnetClient::negotiate(uint8_t verb, uint8_t option) {
    switch (verb) {
        case kWill:
            offered(him_[option], option, false, wantedOnTheirSide(option));
            break;
        case kDo:
            offered(us_[option], option, true, wantedOnOurSide(option));
            break;
        case kWont:
            withdrawn(him_[option], option, false);
            break;
        case kDont:
            withdrawn(us_[option], option, true);
            break;
    }
}

void TelnetClient::offered(Q &state, uint8_t option, bool ours, bool wanted) {
    switch (state) {
        case Q::Yes:
            return;  // agreed already: answering would start a loop
        case Q::WantYes:
            break;  // the answer to our offer, or the server's own crossing it
        case Q::No:
            if (!wanted) {
                queueOption(ours ? kWont : kDont, option);
                return;
            }
            queueOption(ours ? kWill : kDo, option);
            break;
    }
    state = Q::Yes;
    if (ours && option == kOptionComPort && started_ && !settingsSent_) {
        queueSettings();
    }
}

void TelnetClient::withdrawn(Q &state, uint8_t option, bool ours) {
    if (state == Q::No) {
        return;  // a refusal of what we do not have: never answered
    }
    if (state == Q::Yes) {
        queueOption(ours ? kWont : kDont, option);  // a disable of an agreed option is confirmed
    }
    state = Q::No;
    if (option == kOptionBinary) {
        fail(Failure::BinaryRefused);
    } else if (option == kOptionComPort && ours) {
        fail(Failure::ComPortRefused);
        resume();  // without the option there is no flow control to wait for
    }
}

void TelnetClient::queueSettings() {
    settingsSent_ = true;
    for (const uint8_t command : kLineSettings) {
        queueSubnegotiation(command, bigEndian(line_.value(command)).right(settingSize(command)));
    }
    queueSubnegotiation(kPurgeData, QByteArray(1, static_cast<char>(kPurgeBoth)));
}

void TelnetClient::subnegotiation() {
    // Only COM-PORT-OPTION, and only once agreed: any other was refused, so it is not ours.
    if (sbTooLong_ || sb_.size() < 2 || static_cast<uint8_t>(sb_[0]) != kOptionComPort ||
        us_[kOptionComPort] != Q::Yes) {
        ++malformed_;
        return;
    }
    comPort(static_cast<uint8_t>(sb_[1]), sb_.mid(2));
}

void TelnetClient::comPort(uint8_t command, const QByteArray &value) {
    const auto sized = [&](int size) {
        malformed_ += value.size() == size ? 0 : 1;
        return value.size() == size;
    };
    switch (command) {
        case kServerCommandOffset + kSignature:
            if (value.isEmpty()) {
                queueSubnegotiation(kSignature, kSignatureText);
            }
            return;  // with text, the server's own signature: nothing to do with it
        case kServerCommandOffset + kSetBaudRate:
        case kServerCommandOffset + kSetDataSize:
        case kServerCommandOffset + kSetParity:
        case kServerCommandOffset + kSetStopSize:
        case kServerCommandOffset + kSetControl:
            answered(command - kServerCommandOffset, value);
            return;
        case kServerCommandOffset + kNotifyLineState:
            if (sized(1)) {
                lineState_ = static_cast<uint8_t>(value[0]);
            }
            return;
        case kServerCommandOffset + kNotifyModemState:
            if (sized(1)) {
                modemState_ = static_cast<uint8_t>(value[0]);
            }
            return;
        case kServerCommandOffset + kFlowControlSuspend:
            if (sized(0)) {
                suspended_ = true;
            }
            return;
        case kServerCommandOffset + kFlowControlResume:
            if (sized(0)) {
                resume();
            }
            return;
        case kServerCommandOffset + kSetLineStateMask:
        case kServerCommandOffset + kSetModemStateMask:
        case kServerCommandOffset + kPurgeData:
            sized(1);
            return;
        default:
            ++malformed_;
    }
}

void TelnetClient::answered(uint8_t command, const QByteArray &value) {
    if (!settingsSent_ || value.size() != settingSize(command)) {
        ++malformed_;
        return;
    }
    uint32_t got = 0;
    for (const char c : value) {
        got = got << 8 | static_cast<uint8_t>(c);
    }
    answers_[command] = got;
    const uint32_t asked = line_.value(command);
    if (got != asked && failure_ == Failure::None) {
        refusal_ = Refusal{command, asked, got};
        fail(Failure::SettingRefused);
    }
}

void TelnetClient::send(const QByteArray &data) {
    (suspended_ ? held_ : outgoing_) += doubled(data);
}

QByteArray TelnetClient::takeOutgoing() {
    QByteArray out;
    out.swap(outgoing_);
    return out;
}

bool TelnetClient::ready() const {
    return failure_ == Failure::None && us_[kOptionBinary] == Q::Yes &&
           him_[kOptionBinary] == Q::Yes && us_[kOptionComPort] == Q::Yes &&
           std::all_of(std::begin(kLineSettings), std::end(kLineSettings),
                       [this](uint8_t command) { return answer(command) == line_.value(command); });
}

void TelnetClient::queueOption(uint8_t verb, uint8_t option) {
    outgoing_.append(static_cast<char>(kIac));
    outgoing_.append(static_cast<char>(verb));
    outgoing_.append(static_cast<char>(option));
}

void TelnetClient::queueSubnegotiation(uint8_t command, const QByteArray &value) {
    const char head[] = {static_cast<char>(kIac), static_cast<char>(kSb),
                         static_cast<char>(kOptionComPort), static_cast<char>(command)};
    outgoing_.append(head, sizeof head);
    outgoing_.append(doubled(value));
    outgoing_.append(static_cast<char>(kIac));
    outgoing_.append(static_cast<char>(kSe));
}

void TelnetClient::fail(Failure failure) {
    if (failure_ == Failure::None) {
        failure_ = failure;
    }
}

void TelnetClient::resume() {
    suspended_ = false;
    outgoing_ += held_;
    held_.clear();
}
