#include "link_harness.h"

#include "frame_codec.h"
#include "link_clock.h"
#include "link_engine.h"

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

QList<QByteArray> drain() {
    QList<QByteArray> written;
    for (QByteArray frame = link_process(); !frame.isEmpty(); frame = link_process()) {
        written.append(frame);
    }
    return written;
}

}  // namespace testsupport
