// socket and apn: a payload sent to a host and its response, and the access point.
#include "commands.h"

void addSocketCommands(std::vector<CommandSpec> *) {}
