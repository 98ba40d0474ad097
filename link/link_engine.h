// The link engine: acknowledges and unpacks received messages, ends or repeats transmissions,
// and picks the next frame to write. Runs on the serial worker thread.
#pragma once

#include <QByteArray>

// The frame the caller must write now, as bytes; empty when nothing is due.
QByteArray link_process();
// What link_process does about time when there is no line to write to: what waited past its
// lifetime is given up on. The serial worker calls it at every wake-up while no port is open.
void link_tick();
