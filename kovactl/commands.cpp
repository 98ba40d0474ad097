#include "commands.h"

#include <QCoreApplication>

#include "input_limits.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

}  // namespace

const std::vector<CommandEntry> &commandTable() {
    static const std::vector<CommandEntry> entries = [] {
        std::vector<CommandEntry> all;
        addStatusCommands(&all);
        addGpioCommands(&all);
        addI2cCommands(&all);
        addCallCommands(&all);
        addAudioCommands(&all);
        addSmsCommands(&all);
        addMailCommands(&all);
        addSocketCommands(&all);
        addAtCommands(&all);
        addSessionCommands(&all);
        addBatchCommands(&all);
        return all;
    }();
    return entries;
}

const CommandEntry *findCommand(const QStringList &words, QStringList *args) {
    const CommandEntry *best = nullptr;
    for (const CommandEntry &entry : commandTable()) {
        if (entry.path.size() > words.size() || (best && best->path.size() >= entry.path.size())) {
            continue;
        }
        if (words.mid(0, entry.path.size()) == entry.path) {
            best = &entry;
        }
    }
    if (best != nullptr) {
        *args = words.mid(best->path.size());
    }
    return best;
}

QString usageLine(const CommandEntry &entry) {
    const QString path = entry.path.join(QLatin1Char(' '));
    return entry.arguments.isEmpty() ? path : path + QLatin1Char(' ') + entry.arguments;
}

bool numberArgument(const QStringList &args, int index, const QString &name, const char *fieldId,
                    int lowest, int highest, int *out, Answer *refusal) {
    if (index >= args.size()) {
        *refusal = Answer::failure(ExitUsage, tr("Missing %1.").arg(name));
        return false;
    }
    const QString &word = args.at(index);
    bool ok = false;
    const bool hex = word.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const qlonglong value = hex ? word.mid(2).toLongLong(&ok, 16) : word.toLongLong(&ok, 10);
    if (!ok) {
        *refusal =
            Answer::failure(ExitUsage, tr("%1 must be a number, not \"%2\".").arg(name, word));
        return false;
    }
    if (value < lowest || value > highest) {
        LinkRefusal r{LINK_REFUSED_OUT_OF_RANGE, catalogue_field(fieldId), highest,
                      static_cast<int>(qBound<qlonglong>(INT_MIN, value, INT_MAX))};
        QString reason = refusalReason(r);
        if (value < lowest) {
            reason =
                tr("%1 cannot be %2; at least %3 is allowed.").arg(name).arg(value).arg(lowest);
        }
        *refusal = Answer::failure(ExitBadInput, reason);
        return false;
    }
    *out = static_cast<int>(value);
    return true;
}

bool exactArguments(const QStringList &args, int count, const CommandEntry &entry,
                    Answer *refusal) {
    if (args.size() == count) {
        return true;
    }
    *refusal = Answer::failure(ExitUsage,
                               (args.size() < count ? tr("Too few arguments. Usage: kovactl %1")
                                                    : tr("Too many arguments. Usage: kovactl %1"))
                                   .arg(usageLine(entry)));
    return false;
}

Answer answerOf(uint8_t cmdId, const RequestOutcome &outcome) {
    switch (outcome.kind) {
        case RequestOutcome::Replied: {
            Answer a;
            a.result = payloadFields(cmdId, PayloadWay::Reply, outcome.payload);
            if (outcome.code != 0) {
                a.code = ExitModuleFailure;
                a.error = tr("The module answered with failure code %1.").arg(outcome.code);
                a.result.insert(QStringLiteral("module.code"), outcome.code);
            }
            return a;
        }
        case RequestOutcome::Refused:
            return Answer::failure(ExitModuleRefused, tr("Refused by the module (NAK)."));
        case RequestOutcome::NoAnswer:
            return Answer::failure(ExitNoAnswer, tr("No answer from the module in time."));
        case RequestOutcome::PortLost:
            return Answer::failure(ExitPortUnavailable,
                                   tr("The port was lost before the module answered."));
    }
    return Answer();
}

Answer notQueued(int result) {
    if (result == LINK_TABLE_FULL) {
        return Answer::failure(
            ExitNoAnswer, tr("The request was not sent: too many frames wait for the module."));
    }
    if (result == LINK_REFUSED_SMS_IN_PROGRESS) {
        return Answer::failure(ExitNoAnswer,
                               tr("The request was not sent: another SMS has no outcome yet."));
    }
    return Answer::failure(ExitBadInput, refusalReason(link_last_refusal()));
}

void runRequest(CommandContext &context, uint8_t cmdId, const std::function<int()> &send,
                const Finish &finish, const std::function<void(Answer *)> &shape) {
    const int result =
        context.link.request(cmdId, send, context.timeoutMs, [=](const RequestOutcome &outcome) {
            Answer a = answerOf(cmdId, outcome);
            if (a.code == ExitOk && shape) {
                shape(&a);
            }
            finish(a);
        });
    if (result <= 0) {
        finish(notQueued(result));
    }
}
