// GPIO group modes and pin levels.
#include "gpio_feature.h"

#include "payload_fields.h"

namespace {

constexpr int kModeCount = 2;

int groupOf(int pin) {
    static constexpr std::array<int, GpioFeature::kPinCount> groups{0, 0, 0, 0, 0, 0,
                                                                    1, 1, 2, 2, 3, 3};
    return groups[static_cast<size_t>(pin)];
}

}  // namespace

GpioFeature::GpioFeature() {
    // Something plausible on the inputs until a test or the console says otherwise.
    levels_ = {0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1, 0};
}

GpioFeature::Role GpioFeature::role(int pin) const {
    using R = Role;
    // Group A carries the audio interface and the ring line; its second mode has no pin use.
    static constexpr std::array<std::array<R, kPinCount>, kModeCount> roles{{
        {R::Dedicated, R::Dedicated, R::Dedicated, R::Dedicated, R::Dedicated, R::Input, R::Input,
         R::Input, R::Dedicated, R::Output, R::Input, R::Input},
        {R::Dedicated, R::Dedicated, R::Dedicated, R::Dedicated, R::Dedicated, R::Dedicated,
         R::Output, R::Output, R::Output, R::Output, R::Output, R::Output},
    }};
    return roles[modes_[static_cast<size_t>(groupOf(pin))]][static_cast<size_t>(pin)];
}

bool GpioFeature::setInputLevel(int pin, uint8_t level) {
    if (pin < 0 || pin >= kPinCount || level > 1) {
        return false;
    }
    levels_[static_cast<size_t>(pin)] = level;
    return true;
}

bool GpioFeature::handle(const ModuleRequest &request, ModuleOutbox &out) {
    PayloadReader reader(request.payload);
    uint8_t first = 0;
    uint8_t second = 0;
    switch (request.id) {
        case CMD_GPIO_GROUP_SET: {
            uint8_t code = Ok;
            if (!reader.byte(first) || !reader.byte(second)) {
                code = BadValue;
            } else if (first >= kGroupCount) {
                code = NoSuchPinOrGroup;
            } else if (second >= kModeCount) {
                code = BadValue;
            } else if (first == 0 && second != 0) {
                code = NotInThisMode;  // group A has only its first mode
            } else {
                modes_[first] = second;
            }
            out.reply(request.id, code);
            return true;
        }
        case CMD_GPIO_PIN_SET: {
            uint8_t code = Ok;
            if (!reader.byte(first) || !reader.byte(second) || second > 1) {
                code = BadValue;
            } else if (first >= kPinCount) {
                code = NoSuchPinOrGroup;
            } else if (role(first) != Role::Output) {
                code = NotInThisMode;
            } else {
                levels_[first] = second;
            }
            out.reply(request.id, code);
            return true;
        }
        case CMD_GPIO_PIN_GET:
            if (!reader.byte(first)) {
                out.reply(request.id, BadValue);
            } else if (first >= kPinCount) {
                out.reply(request.id, NoSuchPinOrGroup);
            } else if (role(first) == Role::Dedicated) {
                out.reply(request.id, NotInThisMode);
            } else {
                // An output reads back the level it drives.
                out.reply(request.id, Ok, QByteArray(1, char(levels_[first])));
            }
            return true;
        case CMD_GPIO_GROUP_GET:
            if (!reader.byte(first)) {
                out.reply(request.id, BadValue);
            } else if (first >= kGroupCount) {
                out.reply(request.id, NoSuchPinOrGroup);
            } else {
                out.reply(request.id, Ok, QByteArray(1, char(modes_[first])));
            }
            return true;
        default:
            return false;
    }
}
