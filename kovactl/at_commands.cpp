// at and max-message-size: a raw AT command, and the frame size the module may use.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <memory>

#include "commands.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "module3g.h"
#include "request_texts.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

constexpr int kWrittenCheckMs = 2;

// Whether the response's last line, once complete, is one with which the modem ends a command.
bool endsWithFinalResult(const QByteArray &response) {
    if (!response.endsWith('\n')) {
        return false;  // the last line may still grow
    }
    const QList<QByteArray> lines = response.trimmed().split('\n');
    const QByteArray last = lines.last().trimmed();
    static const char *const finals[] = {"OK",          "ERROR", "NO CARRIER",
                                         "NO DIALTONE", "BUSY",  "NO ANSWER"};
    for (const char *final : finals) {
        if (last == final) {
            return true;
        }
    }
    return last.startsWith("+CME ERROR") || last.startsWith("+CMS ERROR") ||
           last.startsWith("CONNECT");
}

// The modem takes one command line at a time, and its response's replies name no command: a
// session's next AT command waits until the one before has its answer.
struct AtQueue {
    bool busy = false;
    std::deque<std::function<void()>> waiting;

    void run(const std::function<void()> &start) {
        if (busy) {
            waiting.push_back(start);
            return;
        }
        busy = true;
        start();
    }
    void done() {
        busy = false;
        if (!waiting.empty()) {
            const std::function<void()> next = waiting.front();
            waiting.pop_front();
            run(next);
        }
    }
};

AtQueue &atQueue() {
    static AtQueue queue;
    return queue;
}

// The response comes in several replies, a line or a piece of one each, which the link gathers.
// It is whole at a final result line, or when a reply carries a failure status; the time-out
// ends a wait with the lines that came.
class AtExchange : public QObject {
  public:
    AtExchange(CommandContext &context, const Finish &finish)
        : QObject(&context.link), finish_(finish) {
        deadline_.setSingleShot(true);
        deadline_.setInterval(context.timeoutMs);
        connect(&deadline_, &QTimer::timeout, this, [this] {
            end(withResponse(
                Answer::failure(ExitNoAnswer, tr("The modem's response did not end in time."))));
        });
        connect(&context.link, &HeadlessLink::lost, this, [this] {
            end(withResponse(Answer::failure(
                ExitPortUnavailable, tr("The port was lost before the modem's response ended."))));
        });
        deadline_.start();
    }

    void firstReply(const RequestOutcome &outcome) {
        if (outcome.kind != RequestOutcome::Replied) {
            end(answerOf(CMD_AT_COMMAND, outcome));
            return;
        }
        connect(link_notifier(), &Module3G::command_received, this,
                [this](uchar cmdId, bool isReply) {
                    if (cmdId == CMD_AT_COMMAND && isReply) {
                        check();
                    }
                });
        check();
    }

    void end(const Answer &answer) {
        if (ended_) {
            return;
        }
        ended_ = true;
        deadline_.stop();
        deleteLater();
        finish_(answer);
        atQueue().done();
    }

  private:
    // The response as it came for scripts, its lines without their CR LF for people.
    Answer withResponse(Answer a) const {
        a.result.insert(QStringLiteral("at.response"), text_);
        for (const QString &line : text_.split(QLatin1Char('\n'))) {
            if (!line.trimmed().isEmpty()) {
                a.text << line.trimmed();
            }
        }
        return a;
    }

    void check() {
        if (ended_) {
            return;  // a reply signalled before the end took effect
        }
        QByteArray text;
        uint8_t status = 0;
        {
            LockedLinkState state;
            text = QByteArray(state->atResponse.data(),
                              int(strnlen(state->atResponse.data(), AT_RESPONSE_SIZE)));
            status = state->cmdStatus[CMD_AT_COMMAND];
        }
        text_ = QString::fromUtf8(text);
        const bool failed = status != 0 && status < CMD_STATUS_SILENT;
        if (!failed && !endsWithFinalResult(text)) {
            return;
        }
        end(withResponse(answerOf(
            CMD_AT_COMMAND,
            RequestOutcome{RequestOutcome::Replied, failed ? status : uint8_t(0), QByteArray()})));
    }

    Finish finish_;
    QTimer deadline_;
    QString text_;
    bool ended_ = false;
};

void sendAt(CommandContext &context, const QByteArray &command, const Finish &finish) {
    // The exchange may end by its own deadline while the link still follows the request.
    const QPointer<AtExchange> exchange = new AtExchange(context, finish);
    const int result = context.link.request(
        CMD_AT_COMMAND, [command] { return link_send_at_command(command); }, context.timeoutMs,
        [exchange](const RequestOutcome &outcome) {
            if (exchange != nullptr) {
                exchange->firstReply(outcome);
            }
        });
    if (result <= 0) {
        exchange->end(notQueued(result));
    }
}

// A control frame has no reply: it has done its part once the link handed it to the line.
void awaitWritten(CommandContext &context, int size, const Finish &finish) {
    HeadlessLink *link = &context.link;
    auto *poll = new QTimer(link);
    const auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    const int timeoutMs = context.timeoutMs;
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        Answer a;
        if (link->portLost()) {
            a = Answer::failure(ExitPortUnavailable,
                                tr("The port was lost before the frame was written."));
        } else if (LockedLinkState()->txIndex.waitingControl.count() == 0) {
            // The size travels in quarters: 33 sets what 32 does.
            a.result.insert(QStringLiteral("link.size_quarter"), size / 4);
            a.text << tr("Maximum message size: %1 bytes.").arg(size / 4 * 4);
        } else if (waited->elapsed() >= timeoutMs) {
            a = Answer::failure(ExitNoAnswer, tr("The frame was not written in time."));
        } else {
            return;
        }
        poll->stop();
        poll->deleteLater();
        finish(a);
    });
    poll->start(kWrittenCheckMs);
}

}  // namespace

void addAtCommands(std::vector<CommandEntry> *entries) {
    CommandEntry at;
    at.path = QStringList{QStringLiteral("at")};
    at.arguments = QStringLiteral("TEXT");
    at.summary = tr("Passes one AT command line to the modem and prints its response.");
    at.run = [at](const QStringList &args, const Invocation &, CommandContext &context,
                  const Finish &finish) {
        Answer refusal;
        if (args.isEmpty()) {
            exactArguments(args, 1, at, &refusal);
            finish(refusal);
            return;
        }
        const QByteArray command = args.join(QLatin1Char(' ')).toUtf8();
        CommandContext *c = &context;
        atQueue().run([c, command, finish] { sendAt(*c, command, finish); });
    };
    entries->push_back(at);

    CommandEntry size;
    size.path = QStringList{QStringLiteral("max-message-size")};
    size.arguments = QStringLiteral("N");
    size.summary = tr("Sets the largest frame the module may send (32-256 bytes).");
    size.run = [size](const QStringList &args, const Invocation &, CommandContext &context,
                      const Finish &finish) {
        Answer refusal;
        int value = 0;
        if (!exactArguments(args, 1, size, &refusal) ||
            !numberArgument(args, 0, QStringLiteral("N"), "link.size_quarter",
                            LINK_MIN_MESSAGE_SIZE, LINK_MAX_MESSAGE_SIZE, &value, &refusal)) {
            // The field holds a quarter of the size: its own words would name the wrong number.
            if (refusal.code == ExitBadInput) {
                refusal.error = maxMessageSizeRefusal();
            }
            finish(refusal);
            return;
        }
        const int result = link_set_max_message_size(value);
        if (result <= 0) {
            finish(notQueued(result));
        } else {
            awaitWritten(context, value, finish);
        }
    };
    entries->push_back(size);
}
