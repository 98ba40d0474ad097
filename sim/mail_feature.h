// Mail through the module: the tool hands over the server, credentials, addresses, subject and
// the body in pieces, then asks for the send by SMTP or by an HTTP POST to a URL.
#pragma once

#include <QByteArray>
#include <cstdint>

#include "module_outbox.h"

class StatusFeature;

struct Mail {
    QByteArray server;
    uint16_t port = 0;
    QByteArray login;
    QByteArray password;
    QByteArray sender;
    QByteArray recipient;
    QByteArray subject;
    QByteArray body;
    QByteArray postUrl;  // empty for SMTP
    uint8_t encryption = 0;
};

class MailFeature {
  public:
    enum Code : uint8_t { Ok = 0, Failed = 1 };
    static constexpr int kMaxBody = 65535;

    explicit MailFeature(const StatusFeature &status) : status_(status) {}
    bool handle(const ModuleRequest &request, ModuleOutbox &out);

    const Mail &draft() const { return draft_; }
    // The last mail that went out, and how many did.
    const Mail &lastSent() const { return lastSent_; }
    int sentCount() const { return sentCount_; }

  private:
    bool storeText(const ModuleRequest &request, QByteArray &field);
    bool smtpReady(uint8_t encryption) const;

    const StatusFeature &status_;
    Mail draft_;
    Mail lastSent_;
    int sentCount_ = 0;
};
