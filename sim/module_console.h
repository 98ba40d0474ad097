// The console of kova-module-sim: one command a line, from stdin or a test.
#pragma once

#include <QString>

class VirtualModule;

struct ConsoleReply {
    bool ok = true;
    bool quit = false;
    QString text;  // what to tell the user; for a refused command, why
};

ConsoleReply runConsoleCommand(VirtualModule &module, const QString &line);
QString consoleHelp();
