// The module's I2C bus with a few devices on it, each a bank of 256 registers. Bit 7 of the
// request's address byte tells a write from a read.
#pragma once

#include <array>
#include <cstdint>
#include <map>

#include "module_outbox.h"

class I2cFeature {
  public:
    enum Code : uint8_t { Ok = 0, NoResponse = 1, AddressNak = 2, ProtocolError = 3 };
    using Registers = std::array<uint8_t, 256>;

    I2cFeature();
    bool handle(const ModuleRequest &request, ModuleOutbox &out);
    // The registers of the device at a 7-bit address, or null when nothing answers there.
    const Registers *device(uint8_t address) const;

  private:
    std::map<uint8_t, Registers> devices_;
};
