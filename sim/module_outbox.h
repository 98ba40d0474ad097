// What a command handler gets to see of a received request, and how it answers: a reply to the
// request, or frames the module starts on its own.
#pragma once

#include <QByteArray>
#include <cstdint>

#include "command_ids.h"
#include "frame_codec.h"

struct ModuleRequest {
    uint8_t id = 0;
    QByteArray payload;
};

class ModuleOutbox {
  public:
    // Frames of no particular stream.
    static constexpr int kNoStream = 0;

    virtual ~ModuleOutbox() = default;

    // Queues a frame with the module's next sequence number. Frames of a stream (a long
    // response) give way to other frames and can be taken back while they have not reached the
    // line.
    virtual void send(uint8_t id, uint8_t status, const QByteArray &payload, int stream) = 0;
    // Drops the queued frames of a stream that have not been written yet; returns how many.
    virtual int dropUnsent(int stream) = 0;
    virtual bool hasUnsent(int stream) const = 0;
    // Data bytes one append piece from the module may carry, after the maximum message size.
    virtual int pieceSize() const = 0;

    void reply(uint8_t id, uint8_t code, const QByteArray &payload = QByteArray(),
               int stream = kNoStream) {
        send(id, static_cast<uint8_t>(REPLY_FLAG | code), payload, stream);
    }
    void start(uint8_t id, const QByteArray &payload = QByteArray(), int stream = kNoStream) {
        send(id, 0, payload, stream);
    }
};
