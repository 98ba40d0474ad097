// The call state machine. The far end always picks up: a dial runs through dialling and
// alerting to an active call at once, so that a test needs no timers.
#include "call_feature.h"

#include "payload_fields.h"
#include "status_feature.h"

namespace {

constexpr uint8_t kFailed = 1;

bool dialable(const QByteArray &number) {
    if (number.isEmpty()) {
        return false;
    }
    for (char c : number) {
        const bool digit = c >= '0' && c <= '9';
        if (!digit && !QByteArray("*#+ABCDp").contains(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace

void CallFeature::event(ModuleOutbox &out, LineState state, uint8_t extra) {
    state_ = state;
    QByteArray payload(3, '\0');
    payload[1] = char(state);
    payload[2] = char(extra);
    out.start(CMD_CALL_EVENT, payload);
}

void CallFeature::disconnect(ModuleOutbox &out, uint8_t reason) {
    event(out, Disconnected, reason);
    state_ = Idle;
    number_.clear();
}

bool CallFeature::handle(const ModuleRequest &request, ModuleOutbox &out) {
    switch (request.id) {
        case CMD_CALL_DIAL: {
            PayloadReader reader(request.payload);
            uint8_t type = 0;
            QByteArray number;
            if (!reader.byte(type) || !reader.text(number) || type != kVoice || !dialable(number)) {
                out.reply(request.id, InvalidNumber);
            } else if (state_ != Idle) {
                out.reply(request.id, CallInProgress);
            } else if (!status_.networkAvailable()) {
                out.reply(request.id, NoNetwork);
            } else {
                out.reply(request.id, Ok);
                number_ = number;
                event(out, Dialling, 0);
                event(out, Alerting, 0);
                event(out, Active, 0);
            }
            return true;
        }
        case CMD_CALL_ANSWER:
            if (state_ != Incoming) {
                out.reply(request.id, kFailed);
                return true;
            }
            out.reply(request.id, Ok);
            event(out, Active, 0);
            return true;
        case CMD_CALL_HANGUP:
            // The two payload bytes select which calls end; with one call there is nothing to pick.
            if (state_ == Idle) {
                out.reply(request.id, kFailed);
                return true;
            }
            out.reply(request.id, Ok);
            disconnect(out, UnknownReason);
            return true;
        default:
            return false;
    }
}

bool CallFeature::ring(ModuleOutbox &out, uint8_t callType) {
    if (state_ != Idle) {
        return false;
    }
    event(out, Incoming, callType);
    return true;
}

bool CallFeature::remoteHangUp(ModuleOutbox &out, uint8_t reason) {
    if (state_ == Idle) {
        return false;
    }
    disconnect(out, reason);
    return true;
}

void CallFeature::dropCall(ModuleOutbox &out) {
    if (state_ != Idle) {
        disconnect(out, LinkNotEstablished);
    }
}
