// batch-update: the firmware update trigger SMS to many numbers, as the dialog sends them.
#include "commands.h"

void addBatchCommands(std::vector<CommandSpec> *) {}
