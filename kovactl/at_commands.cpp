// at and max-message-size: a raw AT command, and the frame size the module may use.
#include "commands.h"

void addAtCommands(std::vector<CommandSpec> *) {}
