// A virtual module and the tool's end of its line, with the exchanges the tests repeat.
#pragma once

#include <QStringList>
#include <atomic>
#include <memory>

#include "frames.h"
#include "pty_peer.h"
#include "virtual_module.h"

// "CMD_ACK 40" for a control frame (its sequence number is the point), "CMD_GET_RSSI 80" for
// any other (its status): what the link rules decide, without the module's data.
QString describe(uint8_t cmdId, uint8_t seqOrStatus);
QString describe(const DecodedFrame &frame);
QStringList described(const QList<DecodedFrame> &frames);

// Why this machine cannot run the module on a pseudo-terminal; empty when it can.
QString ptyUnavailable();

class ModuleSession {
  public:
    ModuleSession();
    bool ready() const { return started_ && peer_ && peer_->isOpen(); }
    VirtualModule &module() { return module_; }
    PtyPeer &peer() { return *peer_; }

    // Writes a frame with the tool's next sequence number (from 1) and returns that number.
    uint8_t send(uint8_t id, const QByteArray &payload = QByteArray(), uint8_t status = 0);
    void acknowledge(uint8_t seq);
    // Reads frames, acknowledging the module's own among them when asked.
    QList<DecodedFrame> read(int count, bool acknowledgeData = true);
    // A request, its ACK and the `frames` frames it brings.
    QList<DecodedFrame> exchange(uint8_t id, const QByteArray &payload, int frames);
    // An RSSI round trip that proves nothing else is left on the line.
    bool probe();
    // Waits until the module has taken in the ACKs written so far and has this many of its
    // frames waiting for one: before a test moves the module's clock.
    bool awaitUnacknowledged(int frames);
    // Puts the module on a clock only the test moves, then moves it.
    void useClock(double seconds);
    void setTime(double seconds);

  private:
    VirtualModule module_;
    bool started_;
    std::unique_ptr<PtyPeer> peer_;
    uint8_t toolSeq_ = 1;
    std::shared_ptr<std::atomic<double>> now_ = std::make_shared<std::atomic<double>>(0.0);
};
