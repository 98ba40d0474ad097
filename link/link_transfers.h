// Transfers that take several frames: an SMS (its number and text, then the send), a mail (its
// server, login and content, then the send) and a socket payload (its pieces, then the send).
// The module appends pieces in the order they arrive, so a transfer's frames go one at a time,
// each when the one before it was acknowledged, with its commit frame last; transfers of one
// kind go one after another. A piece the module refuses withdraws the rest of its transfer.
#pragma once

#include "link_state.h"

// Withdraws a transfer whose commit frame has not been written yet: nothing more of it goes
// out and the command that reports its outcome shows CMD_STATUS_CANCELLED. Returns 1 when it
// was withdrawn, 0 when its commit frame was written already (or the id is unknown).
int link_withdraw_transfer(LinkTransferId id);
