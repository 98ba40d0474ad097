// audio: the microphone, the speaker and the ring tone.
#include "commands.h"

void addAudioCommands(std::vector<CommandSpec> *) {}
