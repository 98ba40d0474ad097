// Socket transfers and the APN. The tool appends its request payload in pieces and starts the
// transfer; the module reports the bytes it sent, streams the host's response in pieces with the
// payload's id and closes with the result code, a reply with the id of the bytes-sent report.
#pragma once

#include <QByteArray>
#include <cstdint>

#include "module_outbox.h"

class StatusFeature;

struct Apn {
    QByteArray name;
    QByteArray login;
    QByteArray password;
};

class SocketFeature {
  public:
    // Result codes of a transfer, carried by the closing reply.
    enum Outcome : uint8_t {
        Complete = 0,
        ApnNotSet = 1,
        CannotConnect = 2,
        SendError = 3,
        ReceiveError = 4,
        IoError = 5,
        Busy = 6,
        Cancelled = 7,
    };
    enum Code : uint8_t { Ok = 0, Failed = 1 };
    // The request payload's size travels in 16 bits, so the module keeps no more.
    static constexpr int kMaxPayload = 65535;
    // The frames of a running transfer, which a cancel takes back.
    static constexpr int kTransferStream = 1;
    static constexpr int kDefaultResponseBytes = 160;

    explicit SocketFeature(const StatusFeature &status);
    bool handle(const ModuleRequest &request, ModuleOutbox &out);

    // The host's answer to every transfer from now on.
    void setResponse(const QByteArray &response) { response_ = response; }
    // A canned HTTP response of exactly this many bytes.
    void setResponseSize(int bytes);
    void setApn(const Apn &apn);

    const QByteArray &payload() const { return payload_; }
    const QByteArray &response() const { return response_; }
    bool apnSet() const { return apnSet_; }
    const Apn &apn() const { return apn_; }

  private:
    void startTransfer(const ModuleRequest &request, ModuleOutbox &out);

    const StatusFeature &status_;
    QByteArray payload_;
    QByteArray response_;
    bool apnSet_ = false;
    Apn apn_;
};

// An HTTP response of `bytes` bytes in all, header included (only the header's start when
// smaller than the header).
QByteArray cannedHttpResponse(int bytes);
