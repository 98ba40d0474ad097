// AT commands passed to the modem. The modem's answer comes back one line per reply,
// a long line in several, and the final OK or ERROR carries the status.
#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>

#include "module_outbox.h"

class StatusFeature;

class AtFeature {
  public:
    enum Code : uint8_t { Ok = 0, Error = 1 };

    explicit AtFeature(const StatusFeature &status) : status_(status) {}
    bool handle(const ModuleRequest &request, ModuleOutbox &out);

  private:
    // The information lines the modem answers a command with; false for a command it rejects.
    bool respond(const QByteArray &command, QList<QByteArray> &lines) const;

    const StatusFeature &status_;
};
