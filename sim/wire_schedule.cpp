// Wire time arithmetic.
#include "wire_schedule.h"

#include <algorithm>

namespace {
constexpr int64_t kNanosecondsPerSecond = 1000000000;
}  // namespace

int64_t WireSchedule::wireNanoseconds(int64_t bytes) {
    const int64_t bits = bytes * kBitsPerByte;
    return (bits * kNanosecondsPerSecond + kBitsPerSecond - 1) / kBitsPerSecond;
}

void WireSchedule::begin(int64_t startNs, int bytes) {
    startNs_ = startNs;
    bytes_ = bytes;
    released_ = 0;
}

int WireSchedule::release(int64_t nowNs) {
    if (nowNs <= startNs_) {
        return 0;
    }
    // Bytes whose ten bits are complete, in exact integer arithmetic.
    const int64_t done =
        (nowNs - startNs_) * kBitsPerSecond / (kBitsPerByte * kNanosecondsPerSecond);
    const int total = static_cast<int>(std::min<int64_t>(done, bytes_));
    const int fresh = total - released_;
    released_ = total;
    return fresh > 0 ? fresh : 0;
}
