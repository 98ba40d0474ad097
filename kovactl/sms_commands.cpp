// sms: send one, and turn reception on or off.
#include <QCoreApplication>

#include "commands.h"
#include "link_requests.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

// Without a word it reads whether the module passes incoming SMS on; with on or off it sets it.
void addReceptionCommand(std::vector<CommandSpec> *specs) {
    CommandSpec reception;
    reception.path = QStringList{QStringLiteral("sms"), QStringLiteral("reception")};
    reception.arguments = QStringLiteral("[on|off]");
    reception.summary = tr("Whether incoming SMS are passed on; with a word, sets it.");
    reception.run = [reception](const QStringList &args, const Invocation &,
                                CommandContext &context, const Finish &finish) {
        Answer refusal;
        if (args.size() > 1) {
            exactArguments(args, 1, reception, &refusal);
            finish(refusal);
            return;
        }
        if (args.isEmpty()) {
            runRequest(context, CMD_SMS_GET_RECEPTION, link_sms_get_reception_enabled, finish,
                       [](Answer *a) {
                           // A reply without the byte claims neither.
                           const QJsonValue value =
                               a->result.value(QStringLiteral("sms.reception"));
                           if (!value.isUndefined()) {
                               a->text << tr("SMS reception: %1")
                                              .arg(value.toInt() == 1 ? tr("on") : tr("off"));
                           }
                       });
            return;
        }
        const QString &word = args.first();
        if (word != QLatin1String("on") && word != QLatin1String("off")) {
            finish(Answer::failure(ExitUsage, tr("Reception is on or off, not \"%1\".").arg(word)));
            return;
        }
        const uint8_t enable = word == QLatin1String("on") ? 1 : 0;
        runRequest(
            context, CMD_SMS_SET_RECEPTION, [enable] { return link_sms_set_reception(enable); },
            finish);
    };
    specs->push_back(reception);
}

}  // namespace

void addSmsCommands(std::vector<CommandSpec> *specs) {
    addReceptionCommand(specs);
}
