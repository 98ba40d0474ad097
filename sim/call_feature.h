// Voice calls: dial, answer and hang up, an incoming call or a remote hang-up on request, and
// the call events the module sends whenever the line state changes.
#pragma once

#include <QByteArray>
#include <cstdint>

#include "module_outbox.h"

class StatusFeature;

class CallFeature {
  public:
    // Line states as the call event carries them.
    enum LineState : uint8_t {
        Incoming = 0,
        Connected = 1,
        Active = 2,
        Dialling = 3,
        Alerting = 4,
        Disconnected = 5,
        Idle = 255,  // no event byte: the module's own state between calls
    };
    enum DialCode : uint8_t { Ok = 0, InvalidNumber = 1, NoNetwork = 2, CallInProgress = 3 };
    enum Reason : uint8_t { LinkNotEstablished = 0, UnknownReason = 255 };
    static constexpr uint8_t kVoice = 0;

    explicit CallFeature(const StatusFeature &status) : status_(status) {}
    bool handle(const ModuleRequest &request, ModuleOutbox &out);

    // False while a call is already up.
    bool ring(ModuleOutbox &out, uint8_t callType);
    // The far end hangs up; false when there is no call.
    bool remoteHangUp(ModuleOutbox &out, uint8_t reason);
    // The radio went away under a call.
    void dropCall(ModuleOutbox &out);

    LineState state() const { return state_; }
    QByteArray number() const { return number_; }

  private:
    void event(ModuleOutbox &out, LineState state, uint8_t extra);
    void disconnect(ModuleOutbox &out, uint8_t reason);

    const StatusFeature &status_;
    LineState state_ = Idle;
    QByteArray number_;
};
