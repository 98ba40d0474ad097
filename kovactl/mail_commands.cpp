// mail: a mail through the module's SMTP client, or its body posted over HTTP. The fields are
// the mail tab's, as options; the password comes from a file or KOVA_SMTP_PASSWORD only.
#include <QCoreApplication>

#include "commands.h"
#include "input_limits.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "link_transfers.h"
#include "request_texts.h"
#include "transfer_support.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

struct Mail {
    QByteArray server;
    int port = 0;
    QByteArray login;
    QByteArray password;
    QByteArray sender;
    QByteArray recipient;
    QByteArray subject;
    QByteArray body;
};

bool readMail(const Invocation &inv, Mail *mail, Answer *refusal) {
    const auto text = [&inv](const char *option) {
        return inv.value(QLatin1String(option)).toUtf8();
    };
    mail->server = text("server");
    mail->login = text("login");
    mail->sender = text("sender");
    mail->recipient = text("recipient");
    mail->subject = text("subject");
    const QString port = QStringLiteral("smtp-port");
    if (inv.has(port) && !numberArgument({inv.value(port)}, 0, QStringLiteral("--smtp-port"),
                                         "mail.port", 0, 65535, &mail->port, refusal)) {
        return false;
    }
    const QString body = QStringLiteral("body-file");
    if (inv.value(body) == QLatin1String("-") &&
        inv.value(QStringLiteral("password-file")) == QLatin1String("-")) {
        *refusal = Answer::failure(
            ExitUsage, tr("Standard input can give the body or the password, not both."));
        return false;
    }
    if (!readSecret(inv, "KOVA_SMTP_PASSWORD", &mail->password, refusal)) {
        return false;
    }
    if (inv.has(body) &&
        !readInputFile(inv.value(body), tr("mail body"), kMaxTransferBytes, &mail->body, refusal)) {
        return false;
    }
    const QString reason = mailAccountRefusal(mail->server, mail->login, mail->password);
    if (!reason.isEmpty()) {
        *refusal = Answer::failure(ExitBadInput, reason);
        return false;
    }
    return true;
}

// The mail's frames in the tab's order, then `send` commits them; a refusal part way withdraws
// what was queued. The answer follows the send's reply.
void sendMail(CommandContext &context, const Mail &mail,
              const std::function<int(LinkTransferId *)> &send, const Finish &finish) {
    LinkTransferId transfer = 0;
    int result = link_mail_set_server(mail.server, static_cast<uint16_t>(mail.port), &transfer);
    if (result > 0) {
        result = link_mail_set_credentials(mail.login, mail.password);
    }
    if (result > 0) {
        result = link_mail_set_content(mail.sender, mail.recipient, mail.subject, mail.body);
    }
    if (result > 0) {
        result = send(&transfer);
    }
    if (result <= 0) {
        link_withdraw_transfer(transfer);
        finish(notQueued(result));
        return;
    }
    TransferFollow follow;
    follow.id = transfer;
    // The module's own work on the mail starts once the send frame is out.
    follow.afterCommitMs = context.timeoutMs;
    const OutcomeTexts outcome = mailSendOutcome();
    follow.failure = [outcome](uint8_t) { return outcome.failure; };
    follow.collect = [outcome](Answer *a) {
        if (a->code == ExitOk) {
            a->text << outcome.success;
        }
    };
    const int bytes = mail.body.size();
    follow.progress = [bytes](bool committed) {
        return committed ? tr("mail: waiting for the module's reply")
                         : tr("mail: %1 body bytes on their way to the module").arg(bytes);
    };
    followTransfer(context, follow, finish);
}

CommandEntry mailCommand(const QString &way, const QString &arguments, const char *summary,
                         int urlArgument) {
    CommandEntry entry;
    entry.path = QStringList{QStringLiteral("mail"), way};
    entry.arguments = arguments;
    entry.summary = tr(summary);
    entry.run = [entry, urlArgument](const QStringList &args, const Invocation &inv,
                                     CommandContext &context, const Finish &finish) {
        Answer refusal;
        Mail mail;
        if (!exactArguments(args, urlArgument + 1, entry, &refusal) ||
            !readMail(inv, &mail, &refusal)) {
            finish(refusal);
            return;
        }
        if (urlArgument < 0) {
            const auto encryption = static_cast<uint8_t>(inv.has(QStringLiteral("ssl")) ? 1 : 0);
            sendMail(
                context, mail,
                [encryption](LinkTransferId *id) { return link_mail_send_smtp(encryption, id); },
                finish);
            return;
        }
        const QByteArray url = args.at(urlArgument).toUtf8();
        const QString reason = requestRefusal(CMD_MAIL_SEND_HTTP_POST, {url});
        if (!reason.isEmpty()) {
            finish(Answer::failure(ExitBadInput, reason));
            return;
        }
        sendMail(
            context, mail, [url](LinkTransferId *id) { return link_mail_send_http_post(url, id); },
            finish);
    };
    return entry;
}

}  // namespace

void addMailCommands(std::vector<CommandEntry> *entries) {
    entries->push_back(mailCommand(
        QStringLiteral("smtp"), QStringLiteral("[OPTIONS]"),
        "Sends a mail through the module's SMTP client. Options: --server HOST, --smtp-port N, "
        "--login L, --password-file F|- (else KOVA_SMTP_PASSWORD), --sender A, --recipient A, "
        "--subject S, --body-file FILE|-, --ssl.",
        -1));
    entries->push_back(mailCommand(QStringLiteral("http-post"), QStringLiteral("URL [OPTIONS]"),
                                   "Has the module post the mail to URL; the options of mail smtp "
                                   "but --ssl.",
                                   0));
}
