// The module's twelve GPIO pins in four groups (A: 0..5, B: 6..7, C: 8..9, D: 10..11). A
// group's mode decides what each of its pins is: an input, an output, or a dedicated function.
#pragma once

#include <array>
#include <cstdint>

#include "module_outbox.h"

class GpioFeature {
  public:
    enum Code : uint8_t { Ok = 0, NotInThisMode = 1, NoSuchPinOrGroup = 2, BadValue = 3 };
    static constexpr int kPinCount = 12;
    static constexpr int kGroupCount = 4;

    GpioFeature();
    bool handle(const ModuleRequest &request, ModuleOutbox &out);

    // What drives an input pin from outside; false for a pin number that does not exist.
    bool setInputLevel(int pin, uint8_t level);
    uint8_t groupMode(int group) const { return modes_.at(group); }
    uint8_t pinLevel(int pin) const { return levels_.at(pin); }

  private:
    enum class Role { Dedicated, Input, Output };
    Role role(int pin) const;

    std::array<uint8_t, kGroupCount> modes_{};
    std::array<uint8_t, kPinCount> levels_{};
};
