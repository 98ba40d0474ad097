// sms: send one, and turn reception on or off.
#include <QCoreApplication>
#include <QTimer>

#include "commands.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "module3g.h"
#include "request_texts.h"
#include "transfer_support.h"
#include "update_worker.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

// Without a word it reads whether the module passes incoming SMS on; with on or off it sets it.
void addReceptionCommand(std::vector<CommandEntry> *entries) {
    CommandEntry reception;
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
    entries->push_back(reception);
}

}  // namespace

namespace {

void addSmsSend(std::vector<CommandEntry> *entries);

}  // namespace

void addSmsCommands(std::vector<CommandEntry> *entries) {
    addReceptionCommand(entries);
    addSmsSend(entries);
}

// sms send: one text, its outcome read as the batch update reads its own.
namespace {

QString smsTr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

void followSms(CommandContext &context, LinkTransferId id, const Finish &finish) {
    TransferFollow follow;
    follow.id = id;
    follow.afterCommitMs = UpdateWorker::kReplyTimeoutMs;
    const OutcomeTexts outcome = smsSendOutcome();
    follow.failure = [outcome](uint8_t) { return outcome.failure; };
    follow.collect = [outcome](Answer *a) {
        if (a->code == ExitOk) {
            a->text << outcome.success;
        }
    };
    follow.progress = [](bool committed) {
        return committed ? smsTr("SMS: waiting for the module's reply")
                         : smsTr("SMS: on its way to the module");
    };
    followTransfer(context, follow, finish);
}

// The link holds one SMS at a time: another one's end lets this one go, within the time-out.
// Lives until it has handed the SMS to the link or given up (at the latest, with the link).
class SmsQueue : public QObject {
  public:
    SmsQueue(CommandContext &context, QByteArray number, QByteArray text, Finish finish)
        : QObject(&context.link),
          context_(context),
          number_(std::move(number)),
          text_(std::move(text)),
          finish_(std::move(finish)) {
        deadline_.setSingleShot(true);
        connect(&deadline_, &QTimer::timeout, this,
                [this] { end(notQueued(LINK_REFUSED_SMS_IN_PROGRESS)); });
        connect(link_notifier(), &Module3G::transfer_ended, this, [this] { attempt(); });
        connect(&context.link, &HeadlessLink::lost, this, [this] { attempt(); });
        deadline_.start(context.timeoutMs);
        attempt();
    }

  private:
    void attempt() {
        if (context_.link.portLost()) {
            end(Answer::failure(ExitPortUnavailable,
                                smsTr("The port was lost before the SMS was sent.")));
            return;
        }
        LinkTransferId id = 0;
        const int result = link_sms_send(number_, text_, &id);
        if (result > 0) {
            end(Answer(), id);
        } else if (result != LINK_REFUSED_SMS_IN_PROGRESS) {
            end(notQueued(result));
        }
    }
    // With a transfer to follow, or the answer without one.
    void end(const Answer &answer, LinkTransferId id = 0) {
        disconnect(link_notifier(), nullptr, this, nullptr);
        disconnect(&context_.link, nullptr, this, nullptr);
        deadline_.stop();
        if (id != 0) {
            followSms(context_, id, finish_);
        } else {
            finish_(answer);
        }
        deleteLater();
    }

    CommandContext &context_;
    QByteArray number_;
    QByteArray text_;
    Finish finish_;
    QTimer deadline_;
};

void addSmsSend(std::vector<CommandEntry> *entries) {
    CommandEntry entry;
    entry.path = QStringList{QStringLiteral("sms"), QStringLiteral("send")};
    entry.arguments = QStringLiteral("NUMBER TEXT...");
    entry.summary = smsTr(
        "Sends an SMS; the words after the number, joined by one space, are its "
        "text. Waits for the module's reply as a batch update does.");
    entry.run = [entry](const QStringList &args, const Invocation &, CommandContext &context,
                        const Finish &finish) {
        Answer refusal;
        if (args.size() < 2) {
            exactArguments(args, 2, entry, &refusal);
            finish(refusal);
            return;
        }
        const QString number = args.first();
        const QString text = args.mid(1).join(QLatin1Char(' '));
        const QString reason = smsSendRefusal(number, text);
        if (!reason.isEmpty()) {
            finish(Answer::failure(ExitBadInput, reason));
            return;
        }
        new SmsQueue(context, number.toUtf8(), text.toUtf8(), finish);
    };
    entries->push_back(entry);
}

}  // namespace
