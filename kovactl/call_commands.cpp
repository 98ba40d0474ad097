// call: dial, answer and hang up. The line's state changes come as call events (kovactl watch).
#include <QCoreApplication>
#include <QRegularExpression>

#include "commands.h"
#include "link_requests.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

// The hang-up's two bytes select which calls end; the window always sends these.
constexpr uint8_t kHangUpA = 0x00;
constexpr uint8_t kHangUpB = 0x10;

CommandSpec callCommand(const char *word, const QString &arguments, const char *summary,
                        uint8_t cmdId, const std::function<int(const QStringList &)> &send,
                        const std::function<bool(const QStringList &, Answer *)> &check = {}) {
    CommandSpec spec;
    spec.path = QStringList{QStringLiteral("call"), QLatin1String(word)};
    spec.arguments = arguments;
    spec.summary = tr(summary);
    const int count = arguments.isEmpty() ? 0 : 1;
    spec.run = [=](const QStringList &args, const Invocation &, CommandContext &context,
                   const Finish &finish) {
        Answer refusal;
        if (!exactArguments(args, count, spec, &refusal) || (check && !check(args, &refusal))) {
            finish(refusal);
            return;
        }
        runRequest(
            context, cmdId, [=] { return send(args); }, finish);
    };
    return spec;
}

bool dialable(const QStringList &args, Answer *refusal) {
    static const QRegularExpression digits(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9\\*\\#\\+ABCDp]*")));
    if (digits.match(args.first()).hasMatch()) {
        return true;
    }
    *refusal = Answer::failure(ExitBadInput, tr("Please enter a valid phone number.\n"
                                                "Allowed: 0-9, *, #, +, A, B, C, D and p"));
    return false;
}

}  // namespace

void addCallCommands(std::vector<CommandSpec> *specs) {
    specs->push_back(callCommand(
        "dial", QStringLiteral("NUMBER"), "Dials a voice call.", CMD_CALL_DIAL,
        [](const QStringList &args) { return link_call_dial(args.first().toUtf8()); }, dialable));
    specs->push_back(callCommand("answer", QString(), "Answers the incoming call.", CMD_CALL_ANSWER,
                                 [](const QStringList &) { return link_call_answer(); }));
    specs->push_back(
        callCommand("hangup", QString(), "Ends the call.", CMD_CALL_HANGUP,
                    [](const QStringList &) { return link_call_hangup(kHangUpA, kHangUpB); }));
}
