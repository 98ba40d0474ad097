// The monotonic clock that times retransmissions, in whole seconds. Tests replace it so that
// they can move time forward without sleeping.
#pragma once

#include <cstdint>
#include <functional>

using LinkClock = std::function<int64_t()>;

// Seconds on the current clock; never 0, so that 0 can stand for "never written".
int64_t link_now_seconds();
// An empty clock restores the monotonic one.
void link_set_clock(LinkClock clock);
