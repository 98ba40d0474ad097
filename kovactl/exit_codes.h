// What kovactl's exit status tells a script; the values follow the BSD sysexits convention.
#pragma once

enum ExitCode : int {
    ExitOk = 0,
    ExitModuleFailure = 1,     // the module answered with a failure status
    ExitModuleRefused = 2,     // the module refused the request (NAK)
    ExitUsage = 64,            // the command line (or a session request) is not a command
    ExitBadInput = 65,         // a value the request does not take; nothing was written
    ExitPortUnavailable = 69,  // the port could not be opened, or was lost
    ExitCannotCreate = 73,     // the capture file could not be written
    ExitNoAnswer = 75,         // no answer within the time-out
};
