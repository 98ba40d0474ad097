// watch and session: the module's events, and requests from a script on standard input.
#include "commands.h"

void addSessionCommands(std::vector<CommandSpec> *) {}
