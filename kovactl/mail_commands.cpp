// mail: a mail through the module's SMTP client, or its body posted over HTTP.
#include "commands.h"

void addMailCommands(std::vector<CommandSpec> *) {}
