// The module's side of a scripted exchange: frames with the module's own sequence numbers,
// delivered to the tool's receive path, then the engine run until it has nothing to write.
#pragma once

#include <QByteArray>
#include <QList>

#include "frames.h"
#include "link_harness.h"
#include "link_state.h"

class ModuleScript {
  public:
    explicit ModuleScript(uint8_t firstSeq = 0x10) : seq_(firstSeq) {}

    // Sends a frame the module starts (reply flag clear) or a reply (flag set), then lets the
    // engine answer. Returns what the engine wrote.
    QList<QByteArray> started(uint8_t id, const QByteArray &payload = QByteArray()) {
        return deliver(id, 0x00, payload);
    }
    QList<QByteArray> reply(uint8_t id, const QByteArray &payload = QByteArray(),
                            uint8_t code = 0) {
        return deliver(id, uint8_t(0x80 | code), payload);
    }
    QList<QByteArray> deliver(uint8_t id, uint8_t status, const QByteArray &payload) {
        link_receive(testsupport::frame(id, nextSeq(), status, payload));
        return testsupport::drain();
    }

    // Acknowledges every frame the tool writes until it writes no more; what it wrote, in
    // order. Frames of a transfer go out one per acknowledgement.
    static QList<testsupport::Decoded> acknowledgeEverything() {
        QList<testsupport::Decoded> all;
        for (QList<QByteArray> written = testsupport::drain(); !written.isEmpty();
             written = testsupport::drain()) {
            for (const testsupport::Decoded &f : testsupport::decodeAll(written.join())) {
                all << f;
                if (f.cmdId >= FIRST_STATUS_ID) {
                    link_receive(testsupport::frame(CMD_ACK, f.seq));
                }
            }
        }
        return all;
    }

  private:
    uint8_t nextSeq() {
        const uint8_t s = seq_;
        seq_ = uint8_t(seq_ == 255 ? 1 : seq_ + 1);
        return s;
    }
    uint8_t seq_;
};
