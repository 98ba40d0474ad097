// call: dial, answer and hang up. The line's state changes come as call events (kovactl watch).
#include <QCoreApplication>

#include "commands.h"
#include "link_requests.h"
#include "request_texts.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

CommandEntry callCommand(const char *word, const QString &arguments, const char *summary,
                         uint8_t cmdId, const std::function<int(const QStringList &)> &send,
                         const std::function<bool(const QStringList &, Answer *)> &check = {}) {
    CommandEntry entry;
    entry.path = QStringList{QStringLiteral("call"), QLatin1String(word)};
    entry.arguments = arguments;
    entry.summary = tr(summary);
    const int count = arguments.isEmpty() ? 0 : 1;
    entry.run = [=](const QStringList &args, const Invocation &, CommandContext &context,
                    const Finish &finish) {
        Answer refusal;
        if (!exactArguments(args, count, entry, &refusal) || (check && !check(args, &refusal))) {
            finish(refusal);
            return;
        }
        runRequest(
            context, cmdId, [=] { return send(args); }, finish);
    };
    return entry;
}

bool dialable(const QStringList &args, Answer *refusal) {
    const QString reason = dialNumberRefusal(args.first());
    if (reason.isEmpty()) {
        return true;
    }
    *refusal = Answer::failure(ExitBadInput, reason);
    return false;
}

}  // namespace

void addCallCommands(std::vector<CommandEntry> *entries) {
    entries->push_back(callCommand(
        "dial", QStringLiteral("NUMBER"), "Dials a voice call.", CMD_CALL_DIAL,
        [](const QStringList &args) { return link_call_dial(args.first().toUtf8()); }, dialable));
    entries->push_back(callCommand("answer", QString(), "Answers the incoming call.",
                                   CMD_CALL_ANSWER,
                                   [](const QStringList &) { return link_call_answer(); }));
    entries->push_back(callCommand(
        "hangup", QString(), "Ends the call.", CMD_CALL_HANGUP,
        [](const QStringList &) { return link_call_hangup(kHangUpFirstByte, kHangUpSecondByte); }));
}
