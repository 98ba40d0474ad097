// Drives the link library the way the serial worker does, with a clock the test moves.
#pragma once

#include <QByteArray>
#include <QList>
#include <atomic>
#include <cstdint>

#include "link_internal.h"

namespace testsupport {

// Replaces the link's clock while it lives.
class FakeClock {
  public:
    explicit FakeClock(int64_t start = 1000);
    ~FakeClock();
    void advance(int64_t seconds) { now_ += seconds; }
    int64_t now() const { return now_; }

  private:
    std::atomic<int64_t> now_;
};

// link_init and a fresh receive-path decoder.
void resetLink();

// Runs the engine until it returns no frame; the frames it picked, in order.
QList<QByteArray> drain();

// Changes the record directly, under its lock, to set up a case.
template <typename Change>
void editLink(Change change) {
    link_detail::Transaction t;
    change(t.state);
}

}  // namespace testsupport
