// SMS: the tool hands over a number and a text and asks for the send; reception can be switched
// on and off; an incoming SMS goes to the tool as a header, text pieces and an end frame, with
// the same three ids.
#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <functional>

#include "module_outbox.h"

class StatusFeature;

struct SentSms {
    QByteArray number;
    QByteArray text;
};

class SmsFeature {
  public:
    enum Code : uint8_t { Ok = 0, Failed = 1 };
    // Older sent messages are forgotten beyond this.
    static constexpr int kSentKept = 100;

    explicit SmsFeature(const StatusFeature &status) : status_(status) {}
    bool handle(const ModuleRequest &request, ModuleOutbox &out);

    // The module receives an SMS; false while reception is off.
    bool receive(ModuleOutbox &out, const QByteArray &sender, const QByteArray &date,
                 const QByteArray &text);
    void setSendFails(bool fails) { sendFails_ = fails; }
    void setOnSent(std::function<void(const SentSms &)> onSent) { onSent_ = std::move(onSent); }

    bool receptionEnabled() const { return receptionEnabled_; }
    const QList<SentSms> &sent() const { return sent_; }

  private:
    const StatusFeature &status_;
    bool receptionEnabled_ = true;
    bool sendFails_ = false;
    bool haveNumber_ = false;
    SentSms draft_;
    QList<SentSms> sent_;
    std::function<void(const SentSms &)> onSent_;
};
