// What the user is told when the link refuses a request, and the check a slot makes before it
// queues anything: both ask the catalogue, which knows each field's label and limit.
#pragma once

#include <QString>
#include <initializer_list>

#include "command_catalogue.h"

// The refusal in the user's words; empty for a request that queued. An SMS in progress and a
// full table have their own messages in the window.
QString refusalReason(const LinkRefusal &refusal);

// Why the request of `cmdId` cannot be sent with these values, or an empty string: the build
// its request function makes, so that a slot can refuse before it queues a part of a whole.
QString requestRefusal(uint8_t cmdId, std::initializer_list<FieldInput> values);
