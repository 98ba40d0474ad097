#include "command_ids.h"

const char *command_name(uint8_t id) {
    switch (id) {
#define KOVA_COMMAND_NAME(name, value) \
    case value:                        \
        return #name;
        KOVA_COMMAND_IDS(KOVA_COMMAND_NAME)
#undef KOVA_COMMAND_NAME
        default:
            return nullptr;
    }
}
