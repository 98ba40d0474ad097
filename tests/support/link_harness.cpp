#include "link_harness.h"

#include "frame_codec.h"
#include "link_clock.h"
#include "link_engine.h"
#include "link_state.h"

namespace testsupport {

FakeClock::FakeClock(int64_t start) : now_(start) {
    link_set_clock([this] { return now_.load(); });
}

FakeClock::~FakeClock() {
    link_set_clock(nullptr);
}

void resetLink() {
    static uint8_t decoderBuffer[DECODER_BUFFER_SIZE];
    link_init();
    frame_decoder_init(decoderBuffer, sizeof decoderBuffer);
}

int receive(const QByteArray &bytes) {
    int stored = 0;
    for (char c : bytes) {
        if (frame_decoder_put(static_cast<uint8_t>(c)) != FRAME_COMPLETE) {
            continue;
        }
        LinkMessage m;
        if (frame_decoder_take(&m) == FRAME_OK) {
            stored += link_store_received(&m);
        }
    }
    return stored;
}

QList<QByteArray> drain() {
    QList<QByteArray> written;
    while (TxSlot *slot = link_process()) {
        written.append(QByteArray(reinterpret_cast<const char *>(slot->frame.get()), slot->length));
    }
    return written;
}

}  // namespace testsupport
