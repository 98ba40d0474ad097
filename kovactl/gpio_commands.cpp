// gpio: one pin or a group of pins, read or set.
#include <QCoreApplication>

#include "commands.h"
#include "link_requests.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

// `getter`: the first argument names the pin or group; a setter's second is its value.
CommandEntry gpioCommand(const QStringList &path, const QString &arguments, const char *summary,
                         const char *target, const char *targetField, int targets, int highestValue,
                         uint8_t cmdId, const std::function<int(int, int)> &send) {
    CommandEntry entry;
    entry.path = path;
    entry.arguments = arguments;
    entry.summary = tr(summary);
    const bool setter = highestValue >= 0;
    entry.run = [=](const QStringList &args, const Invocation &, CommandContext &context,
                    const Finish &finish) {
        Answer refusal;
        int which = 0;
        int value = 0;
        if (!exactArguments(args, setter ? 2 : 1, entry, &refusal) ||
            !numberArgument(args, 0, QLatin1String(target), targetField, 0, targets - 1, &which,
                            &refusal) ||
            (setter && !numberArgument(args, 1, QStringLiteral("VALUE"), "gpio.value", 0,
                                       highestValue, &value, &refusal))) {
            finish(refusal);
            return;
        }
        runRequest(
            context, cmdId, [=] { return send(which, value); }, finish,
            [=](Answer *a) { a->result.insert(QLatin1String(targetField), which); });
    };
    return entry;
}

}  // namespace

void addGpioCommands(std::vector<CommandEntry> *entries) {
    const QString gpio = QStringLiteral("gpio");
    const QString group = QStringLiteral("group");
    entries->push_back(gpioCommand({gpio, QStringLiteral("get")}, QStringLiteral("PIN"),
                                   "Reads one pin (0: low, 1: high).", "PIN", "gpio.pin",
                                   GPIO_PIN_COUNT, -1, CMD_GPIO_PIN_GET,
                                   [](int pin, int) { return link_gpio_pin_get(pin); }));
    entries->push_back(gpioCommand({gpio, QStringLiteral("set")}, QStringLiteral("PIN 0|1"),
                                   "Drives one output pin low or high.", "PIN", "gpio.pin",
                                   GPIO_PIN_COUNT, 1, CMD_GPIO_PIN_SET, [](int pin, int value) {
                                       return link_gpio_pin_set(pin, static_cast<uint8_t>(value));
                                   }));
    entries->push_back(gpioCommand({gpio, group, QStringLiteral("get")}, QStringLiteral("GROUP"),
                                   "Reads a group's pins as one value.", "GROUP", "gpio.group",
                                   GPIO_GROUP_COUNT, -1, CMD_GPIO_GROUP_GET,
                                   [](int g, int) { return link_gpio_group_get(g); }));
    entries->push_back(gpioCommand(
        {gpio, group, QStringLiteral("set")}, QStringLiteral("GROUP VALUE"),
        "Sets a group's pins as one value.", "GROUP", "gpio.group", GPIO_GROUP_COUNT, 255,
        CMD_GPIO_GROUP_SET,
        [](int g, int value) { return link_gpio_group_set(g, static_cast<uint8_t>(value)); }));
}
