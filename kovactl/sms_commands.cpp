// sms: send one, and turn reception on or off.
#include "commands.h"

void addSmsCommands(std::vector<CommandSpec> *) {}
