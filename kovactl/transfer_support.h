// What the transfer commands (sms send, mail, socket send) share: input read from a file or
// standard input within what the module takes, a secret that never passes the command line, and
// a transfer followed to its end.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "commands.h"

// The most a mail body or a socket payload may hold: the module keeps no more (it reports a
// payload's bytes sent in 16 bits).
constexpr int kMaxTransferBytes = 65535;

// Reads `path` ("-": standard input) whole into `out`. False with a refusal (65) when it cannot
// be read or holds more than `limit` bytes; `what` names the input for the message.
bool readInputFile(const QString &path, const QString &what, int limit, QByteArray *out,
                   Answer *refusal);

// The secret of --password-file (one trailing line end is not part of it), else the value of the
// environment variable `envName`, else empty.
bool readSecret(const Invocation &invocation, const char *envName, QByteArray *out,
                Answer *refusal);

struct TransferFollow {
    LinkTransferId id = 0;
    // The wait runs the context's time-out from now, or this long from the send frame's first
    // write when that ends later.
    int afterCommitMs = 0;
    // The module's text for a failure code; the answer adds the code.
    std::function<QString(uint8_t code)> failure;
    // Fills in what the transfer brought once it ended (any end but a refusal before it).
    std::function<void(Answer *)> collect;
    // True when the transfer moved on since the last call: the wait then runs another time-out.
    std::function<bool()> movedOn;
    // The progress line for a terminal, told whether the send frame was written yet.
    std::function<QString(bool committed)> progress;
};

// Follows a queued transfer to its end and answers: 0 when the module reports success, 1 with
// its code for a failure, 2 when it refused a frame of it, 69 when the port went, 75 when no
// outcome came in time ("not sent" when its send frame had not gone out: it is withdrawn).
void followTransfer(CommandContext &context, const TransferFollow &follow, const Finish &finish);
