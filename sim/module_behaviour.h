// Everything the module does with a request: the features together, what one does to another
// (a radio switched off drops the call), and the events a test or the console starts.
#pragma once

#include <QByteArray>
#include <QList>
#include <array>

#include "at_feature.h"
#include "audio_feature.h"
#include "call_feature.h"
#include "gpio_feature.h"
#include "i2c_feature.h"
#include "mail_feature.h"
#include "module_outbox.h"
#include "sms_feature.h"
#include "socket_feature.h"
#include "status_feature.h"

// A copy of the module's state, for tests and the console.
struct ModuleSnapshot {
    uint8_t rssi = 0;
    bool networkAvailable = false;
    uint8_t functionality = 0;
    uint8_t modemSpeed = 0;
    std::array<uint8_t, GpioFeature::kGroupCount> gpioModes{};
    std::array<uint8_t, GpioFeature::kPinCount> gpioLevels{};
    CallFeature::LineState callState = CallFeature::Idle;
    AudioFeature::Settings audio;
    bool smsReception = false;
    QList<SentSms> sentSms;
    Mail mailDraft;
    Mail lastMail;
    int mailsSent = 0;
    QByteArray socketPayload;
    bool apnSet = false;
    Apn apn;
    int unknownRequests = 0;
};

class ModuleBehaviour {
  public:
    ModuleBehaviour();
    ModuleBehaviour(const ModuleBehaviour &) = delete;
    ModuleBehaviour &operator=(const ModuleBehaviour &) = delete;

    // Carries out a request; returns false for an id the module does not know.
    bool handle(const ModuleRequest &request, ModuleOutbox &out);

    StatusFeature &status() { return status_; }
    GpioFeature &gpio() { return gpio_; }
    CallFeature &calls() { return calls_; }
    SmsFeature &sms() { return sms_; }
    SocketFeature &socket() { return socket_; }

    ModuleSnapshot snapshot() const;

  private:
    StatusFeature status_;
    GpioFeature gpio_;
    I2cFeature i2c_;
    CallFeature calls_{status_};
    AudioFeature audio_{calls_};
    SmsFeature sms_{status_};
    MailFeature mail_{status_};
    SocketFeature socket_{status_};
    AtFeature at_{status_};
    int unknownRequests_ = 0;
};
