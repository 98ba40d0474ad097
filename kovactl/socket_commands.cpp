// socket and apn: a payload sent to a host and its response, and the access point.
#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "commands.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "link_transfers.h"
#include "request_texts.h"
#include "transfer_support.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

void addApnCommands(std::vector<CommandEntry> *entries) {
    CommandEntry get;
    get.path = QStringList{QStringLiteral("apn"), QStringLiteral("get")};
    get.summary = tr("The access point's name and login; the password is masked.");
    get.run = [get](const QStringList &args, const Invocation &, CommandContext &context,
                    const Finish &finish) {
        Answer refusal;
        if (!exactArguments(args, 0, get, &refusal)) {
            finish(refusal);
            return;
        }
        runRequest(context, CMD_APN_GET, link_apn_get, finish);
    };
    entries->push_back(get);

    CommandEntry set;
    set.path = QStringList{QStringLiteral("apn"), QStringLiteral("set")};
    set.arguments = QStringLiteral("NAME [--login L] [--password-file F]");
    set.summary = tr("Sets the access point; the password from F or KOVA_APN_PASSWORD.");
    set.run = [set](const QStringList &args, const Invocation &invocation, CommandContext &context,
                    const Finish &finish) {
        Answer refusal;
        QByteArray password;
        if (!exactArguments(args, 1, set, &refusal) ||
            !readSecret(invocation, "KOVA_APN_PASSWORD", &password, &refusal)) {
            finish(refusal);
            return;
        }
        const QByteArray name = args.first().toUtf8();
        const QByteArray login = invocation.value(QStringLiteral("login")).toUtf8();
        runRequest(
            context, CMD_APN_SET, [=] { return link_apn_set(name, login, password); }, finish);
    };
    entries->push_back(set);
}

}  // namespace

namespace {

void addSocketTransfer(std::vector<CommandEntry> *entries);

}  // namespace

void addSocketCommands(std::vector<CommandEntry> *entries) {
    addApnCommands(entries);
    addSocketTransfer(entries);
}

// socket send and socket cancel: the transfer as the socket tab makes it, its response whole or
// said to be cut.
namespace {

QString socketTr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

constexpr int kDefaultReceiveTimeoutMs = 5000;  // the tab's starting value

struct Received {
    QByteArray response;
    uint64_t total = 0;  // kept and dropped
    uint32_t bytesSent = 0;
};

Received received() {
    const LockedLinkState s;
    const uint32_t kept = std::min<uint32_t>(s->socketResponseLength, SOCKET_RESPONSE_SIZE - 1);
    return Received{QByteArray(s->socketResponse.data(), int(kept)),
                    uint64_t(kept) + s->socketResponseDropped, s->socketBytesSent};
}

struct SocketSend {
    QByteArray destination;
    uint8_t protocol = 0;
    int receiveTimeoutMs = kDefaultReceiveTimeoutMs;
    QByteArray payload;
    bool json = false;
    std::shared_ptr<QFile> out;  // the response's file; standard output when null
};

// Puts the response where it was asked for and says what came.
void deliver(const SocketSend &send, Answer *a) {
    const Received r = received();
    a->result.insert(QStringLiteral("socket.bytes_sent"), qint64(r.bytesSent));
    a->result.insert(QStringLiteral("socket.response_length"), qint64(r.total));
    if (send.json) {
        a->result.insert(QStringLiteral("socket.response"),
                         QString::fromLatin1(r.response.toBase64()));
    }
    if (send.out != nullptr) {
        if (send.out->write(r.response) != r.response.size() || !send.out->flush()) {
            *a = Answer::failure(ExitCannotCreate,
                                 socketTr("The response was not written to %1: %2")
                                     .arg(send.out->fileName(), send.out->errorString()),
                                 a->result);
            return;
        }
    } else if (!send.json) {
        std::fwrite(r.response.constData(), 1, size_t(r.response.size()), stdout);
        std::fflush(stdout);
        a->result = QJsonObject();  // standard output holds the response alone
    }
    if (r.total > uint64_t(r.response.size()) && a->code == ExitOk) {
        a->code = ExitModuleFailure;
        a->error = socketTr("The response did not fit: only its first %1 of %2 bytes were kept.")
                       .arg(r.response.size())
                       .arg(r.total);
    }
}

void startSend(CommandContext &context, const SocketSend &send, const Finish &finish) {
    LinkTransferId transfer = 0;
    int result = link_socket_append_payload(send.payload, &transfer);
    if (result > 0) {
        result = link_socket_send(send.destination, send.protocol,
                                  static_cast<uint16_t>(send.receiveTimeoutMs), &transfer);
        if (result <= 0) {
            link_withdraw_transfer(transfer);
        }
    }
    if (result <= 0) {
        finish(notQueued(result));
        return;
    }
    TransferFollow follow;
    follow.id = transfer;
    // The module waits up to the receive time-out for the host before the response streams.
    follow.afterCommitMs = send.receiveTimeoutMs + context.timeoutMs;
    follow.failure = socketResultText;
    follow.collect = [send](Answer *a) { deliver(send, a); };
    const auto seen = std::make_shared<uint64_t>(0);
    follow.movedOn = [seen] {
        const Received r = received();
        const uint64_t now = r.total + r.bytesSent;
        const bool moved = now != *seen;
        *seen = now;
        return moved;
    };
    const int payloadBytes = send.payload.size();
    follow.progress = [payloadBytes](bool committed) {
        return committed ? socketTr("socket: %1 response bytes received").arg(received().total)
                         : socketTr("socket: %1 payload bytes on their way to the module")
                               .arg(payloadBytes);
    };
    followTransfer(context, follow, finish);
}

bool readSend(const QStringList &args, const Invocation &inv, SocketSend *send, Answer *refusal) {
    const QString protocol = inv.value(QStringLiteral("protocol"));
    const QStringList protocols = {QStringLiteral("tcp"), QStringLiteral("http-get"),
                                   QStringLiteral("http-post")};
    if (inv.has(QStringLiteral("protocol")) && !protocols.contains(protocol)) {
        *refusal = Answer::failure(
            ExitBadInput,
            socketTr("The protocol cannot be \"%1\"; it is tcp, http-get or http-post.")
                .arg(protocol));
        return false;
    }
    send->protocol = static_cast<uint8_t>(qMax(0, protocols.indexOf(protocol)));
    const QString timeout = QStringLiteral("timeout-ms");
    if (inv.has(timeout) &&
        !numberArgument({inv.value(timeout)}, 0, QStringLiteral("--timeout-ms"),
                        "socket.timeout_ms", 0, 65535, &send->receiveTimeoutMs, refusal)) {
        return false;
    }
    const QString reason = socketSendRefusal(args.first(), send->protocol,
                                             static_cast<uint16_t>(send->receiveTimeoutMs));
    if (!reason.isEmpty()) {
        *refusal = Answer::failure(ExitBadInput, reason);
        return false;
    }
    send->destination = args.first().toUtf8();
    const QString payload = QStringLiteral("payload-file");
    if (inv.has(payload) && !readInputFile(inv.value(payload), socketTr("payload"),
                                           kMaxTransferBytes, &send->payload, refusal)) {
        return false;
    }
    send->json = inv.has(QStringLiteral("json"));
    if (inv.has(QStringLiteral("out"))) {
        send->out = std::make_shared<QFile>(inv.value(QStringLiteral("out")));
        if (!send->out->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            *refusal = Answer::failure(ExitCannotCreate,
                                       socketTr("The response file %1 cannot be written: %2")
                                           .arg(send->out->fileName(), send->out->errorString()));
            return false;
        }
    }
    return true;
}

void addSocketTransfer(std::vector<CommandEntry> *entries) {
    CommandEntry send;
    send.path = QStringList{QStringLiteral("socket"), QStringLiteral("send")};
    send.arguments = QStringLiteral("DEST [OPTIONS]");
    send.summary =
        socketTr(
            "Has the module send a payload to DEST; the host's response goes to standard output "
            "(base64 in --json). Options: --protocol tcp|http-get|http-post (tcp), --timeout-ms N "
            "(the module's receive time-out, %1), --payload-file FILE|-, --out FILE.")
            .arg(kDefaultReceiveTimeoutMs);
    send.run = [send](const QStringList &args, const Invocation &inv, CommandContext &context,
                      const Finish &finish) {
        Answer refusal;
        SocketSend request;
        if (!exactArguments(args, 1, send, &refusal) || !readSend(args, inv, &request, &refusal)) {
            finish(refusal);
            return;
        }
        startSend(context, request, finish);
    };
    entries->push_back(send);

    CommandEntry cancel;
    cancel.path = QStringList{QStringLiteral("socket"), QStringLiteral("cancel")};
    cancel.summary = socketTr("Has the module cancel the transfer it is running.");
    cancel.run = [cancel](const QStringList &args, const Invocation &, CommandContext &context,
                          const Finish &finish) {
        Answer refusal;
        if (!exactArguments(args, 0, cancel, &refusal)) {
            finish(refusal);
            return;
        }
        const int result = context.link.request(
            CMD_SOCKET_CANCEL, link_socket_cancel_send, context.timeoutMs,
            [finish](const RequestOutcome &outcome) {
                Answer a = answerOf(CMD_SOCKET_CANCEL, outcome);
                const OutcomeTexts texts = socketCancelOutcome();
                if (outcome.kind == RequestOutcome::Replied && outcome.code == 0) {
                    a.text << texts.success;
                } else if (outcome.kind == RequestOutcome::Replied) {
                    a.error += QLatin1Char(' ') + texts.failure;
                }
                finish(a);
            });
        if (result <= 0) {
            finish(notQueued(result));
        }
    };
    entries->push_back(cancel);
}

}  // namespace
