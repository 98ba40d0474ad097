// i2c: read and write a device's registers.
#include "commands.h"

void addI2cCommands(std::vector<CommandSpec> *) {}
