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
    link_init();
}

QList<QByteArray> drain() {
    QList<QByteArray> written;
    for (QByteArray frame = link_process(); !frame.isEmpty(); frame = link_process()) {
        written.append(frame);
    }
    return written;
}

}  // namespace testsupport
