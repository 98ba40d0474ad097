// call: dial, answer and hang up.
#include "commands.h"

void addCallCommands(std::vector<CommandSpec> *) {}
