// When the bytes of a frame leave a 115200-baud line: ten bit times a byte (start, eight data
// bits, stop). Pure arithmetic on nanosecond time stamps, so that it can be checked exactly.
#pragma once

#include <cstdint>

class WireSchedule {
  public:
    static constexpr int64_t kBitsPerSecond = 115200;
    static constexpr int64_t kBitsPerByte = 10;

    // Nanoseconds a number of bytes takes on the line, rounded up.
    static int64_t wireNanoseconds(int64_t bytes);

    // A frame of `bytes` bytes starts at `startNs`.
    void begin(int64_t startNs, int bytes);
    // Bytes whose last bit has passed by `nowNs` and were not released before; released now.
    int release(int64_t nowNs);
    bool finished() const { return released_ >= bytes_; }
    int64_t endNs() const { return startNs_ + wireNanoseconds(bytes_); }

  private:
    int64_t startNs_ = 0;
    int bytes_ = 0;
    int released_ = 0;
};
