// A virtual module and the tool's end of its line, with the exchanges the tests repeat: send a
// request, collect the ACK and what follows, acknowledge the module's frames.
#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include "frames.h"
#include "pty_peer.h"
#include "virtual_module.h"

// "ID STATUS PAYLOAD" of a decoded frame in hex ("ID SEQ" for control frames, whose sequence
// number is the point).
QString describe(const testsupport::Decoded &frame);
// Hex bytes with quoted text between them: "03'ATI'" is 03 41 54 49; \r and \n work in quotes.
QByteArray bytesOf(const QString &notation);

// One line of a behaviour script: "REQUEST -> FRAME; FRAME". REQUEST is the tool's request
// (id, then payload, in bytesOf notation) or "$ command" for a console command; each FRAME is
// a module frame the module must write after the request's ACK, in describe() form.
struct ScriptStep {
    QString action;
    QStringList expected;
    static ScriptStep parse(const QString &line);
};

class ModuleSession {
  public:
    ModuleSession();
    bool ready() const { return started_ && peer_ && peer_->isOpen(); }

    VirtualModule &module() { return module_; }
    PtyPeer &peer() { return *peer_; }

    // Writes a frame of the tool with the tool's next sequence number and returns that number.
    uint8_t send(uint8_t id, const QByteArray &payload = QByteArray(), uint8_t status = 0);
    void acknowledge(uint8_t seq);
    // Reads frames and acknowledges the module's own among them when asked.
    QList<testsupport::Decoded> read(int count, bool acknowledgeData = true);
    // A request and the `frames` frames it brings besides the ACK. The ACK of `seq` comes
    // first in the result when it arrived as it should.
    QList<testsupport::Decoded> exchange(uint8_t id, const QByteArray &payload, int frames);
    // An RSSI round trip that proves nothing else is left on the line.
    bool probe();
    // Waits until the module has taken in the acknowledgements written so far and has this
    // many of its frames waiting for one; before a test moves the module's clock.
    bool awaitUnacknowledged(int frames);
    // Carries out one script step; returns the module frames it brought, in describe() form.
    QStringList perform(const ScriptStep &step);

  private:
    VirtualModule module_;
    bool started_;
    std::unique_ptr<PtyPeer> peer_;
    uint8_t toolSeq_ = 1;
};
