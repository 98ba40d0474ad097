// status: the module's signal, identity, supply, registration, versions and modem settings.
#include <QCoreApplication>
#include <memory>

#include "commands.h"
#include "link_requests.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

CommandEntry getter(const char *word, const char *summary, uint8_t cmdId, int (*send)()) {
    CommandEntry entry;
    entry.path = QStringList{QStringLiteral("status"), QLatin1String(word)};
    entry.summary = tr(summary);
    entry.run = [entry, cmdId, send](const QStringList &args, const Invocation &,
                                     CommandContext &context, const Finish &finish) {
        Answer refusal;
        if (!exactArguments(args, 0, entry, &refusal)) {
            finish(refusal);
            return;
        }
        runRequest(context, cmdId, send, finish);
    };
    return entry;
}

// The four version requests go out together; the answer waits for all of them, and the first
// that did not succeed decides its code.
void versions(CommandContext &context, const Finish &finish) {
    struct Collected {
        int waiting = 0;
        Answer answer;
    };
    const auto collected = std::make_shared<Collected>();
    const std::pair<uint8_t, int (*)()> requests[] = {
        {CMD_GET_TARN_FIRMWARE, link_get_tarn_firmware},
        {CMD_GET_TARN_HARDWARE, link_get_tarn_hardware},
        {CMD_GET_CINT_FIRMWARE, link_get_cint_firmware},
        {CMD_GET_CINT_HARDWARE, link_get_cint_hardware},
    };
    collected->waiting = 4;
    for (const auto &request : requests) {
        runRequest(context, request.first, request.second, [collected, finish](const Answer &a) {
            for (auto it = a.result.begin(); it != a.result.end(); ++it) {
                collected->answer.result.insert(it.key(), it.value());
            }
            if (a.code != ExitOk && collected->answer.code == ExitOk) {
                collected->answer.code = a.code;
                collected->answer.error = a.error;
            }
            if (--collected->waiting == 0) {
                finish(collected->answer);
            }
        });
    }
}

}  // namespace

void addStatusCommands(std::vector<CommandEntry> *entries) {
    entries->push_back(getter("rssi", "The signal strength code (0-31, 99: unknown).", CMD_GET_RSSI,
                              link_get_rssi));
    entries->push_back(getter("imei", "The modem's IMEI.", CMD_GET_IMEI, link_get_imei));
    entries->push_back(getter("sim", "The SIM card's id.", CMD_GET_SIM, link_get_sim));
    entries->push_back(getter("vin", "The supply voltage in mV.", CMD_GET_VIN, link_get_vin));
    entries->push_back(getter("registration", "Network registration and radio access technology.",
                              CMD_GET_TOWER_CONN, link_get_tower_conn));

    CommandEntry v;
    v.path = QStringList{QStringLiteral("status"), QStringLiteral("versions")};
    v.summary = tr("The module's and the modem's firmware and hardware versions.");
    v.run = [v](const QStringList &args, const Invocation &, CommandContext &context,
                const Finish &finish) {
        Answer refusal;
        if (!exactArguments(args, 0, v, &refusal)) {
            finish(refusal);
            return;
        }
        versions(context, finish);
    };
    entries->push_back(v);

    CommandEntry speed;
    speed.path = QStringList{QStringLiteral("status"), QStringLiteral("modem-speed")};
    speed.arguments = QStringLiteral("[VALUE]");
    speed.summary = tr("The modem's speed setting; with a value, sets it.");
    speed.run = [speed](const QStringList &args, const Invocation &, CommandContext &context,
                        const Finish &finish) {
        Answer refusal;
        if (args.size() > 1) {
            exactArguments(args, 1, speed, &refusal);
            finish(refusal);
            return;
        }
        if (args.isEmpty()) {
            runRequest(context, CMD_GET_MODEM_SPEED, link_get_modem_speed, finish);
            return;
        }
        int value = 0;
        if (!numberArgument(args, 0, QStringLiteral("VALUE"), "status.modem_speed", 0, 255, &value,
                            &refusal)) {
            finish(refusal);
            return;
        }
        runRequest(
            context, CMD_SET_MODEM_SPEED,
            [value] { return link_set_modem_speed(static_cast<uint8_t>(value)); }, finish);
    };
    entries->push_back(speed);

    CommandEntry level;
    level.path = QStringList{QStringLiteral("status"), QStringLiteral("func-level")};
    level.arguments = QStringLiteral("VALUE");
    level.summary = tr("Sets the modem's functionality level.");
    level.run = [level](const QStringList &args, const Invocation &, CommandContext &context,
                        const Finish &finish) {
        Answer refusal;
        int value = 0;
        if (!exactArguments(args, 1, level, &refusal) ||
            !numberArgument(args, 0, QStringLiteral("VALUE"), "status.func_level", 0, 255, &value,
                            &refusal)) {
            finish(refusal);
            return;
        }
        runRequest(
            context, CMD_SET_FUNC_LEVEL,
            [value] { return link_set_func_level(static_cast<uint8_t>(value)); }, finish);
    };
    entries->push_back(level);
}
