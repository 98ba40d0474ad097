// The link engine: acknowledges and unpacks received messages, ends or repeats transmissions,
// and picks the next frame to write. Runs on the serial worker thread.
#pragma once

#include "link_state.h"

// Returns the slot whose frame the caller must write now, or nullptr. The slot stays valid
// until the next call: only the engine frees transmit slots.
TxSlot *link_process();
