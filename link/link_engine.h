// The link engine: acknowledges and unpacks received messages, ends or repeats transmissions,
// and picks the next frame to write. Runs on the serial worker thread.
#pragma once

#include <QByteArray>

// The frame the caller must write now, as bytes; empty when nothing is due.
QByteArray link_process();
