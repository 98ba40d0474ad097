// watch and session: the module's events as JSON lines, and a script's requests read from
// standard input, answered as they complete, with the events between them.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <list>
#include <memory>

#include "command_catalogue.h"
#include "command_ids.h"
#include "commands.h"

namespace {

// A request line longer than this is refused unread; the words of the longest command (an AT
// text, an SMS) are a small part of it.
constexpr int kMaxLineBytes = 65536;
// Lines beyond this many requests in flight wait in the pipe: a script that writes faster than
// the module answers is held back, and the frames in flight keep well within the link's 255
// sequence numbers, by which a frame of ours is told from one written before. A full line of
// getters is some 100 ms of wire time ahead, so the line never waits for the tool.
constexpr int kMaxInFlight = 64;

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

// The bytes of one field, read by the catalogue: texts are joined as bytes, since the module
// may split a character between pieces.
QByteArray fieldBytes(uint8_t cmdId, const char *fieldId, const QByteArray &payload) {
    const CataloguePayload *description = catalogue_payload(cmdId, PayloadWay::ModuleStarted);
    if (description == nullptr) {
        return QByteArray();
    }
    const PayloadFields fields = catalogue_read(*description, payload);
    const FieldValue *value = fields.find(fieldId);
    return value != nullptr ? payload.mid(value->offset, value->length) : QByteArray();
}

// An incoming SMS comes as a header, text pieces and an end frame. It is put together from the
// frames as they are handed on, not from the link's record of the last SMS: by the time a frame
// is handed on, the link may have taken the next SMS's header already.
struct SmsAssembly {
    bool started = false;
    QByteArray sender;
    QByteArray date;
    QByteArray text;

    // The whole SMS once `cmdId` ended one, else an empty object.
    QJsonObject take(uint8_t cmdId, const QByteArray &payload) {
        if (cmdId == CMD_SMS_NUMBER) {
            started = true;
            sender = fieldBytes(cmdId, "sms.sender", payload);
            date = fieldBytes(cmdId, "sms.date", payload);
            text.clear();
        } else if (cmdId == CMD_SMS_TEXT && started) {
            const QByteArray piece = fieldBytes(cmdId, "sms.text_piece", payload);
            // An empty piece starts the text afresh, as the link takes it.
            text = piece.isEmpty() ? QByteArray() : text + piece;
        } else if (cmdId == CMD_SMS_SEND && started) {
            started = false;
            return QJsonObject{
                {QStringLiteral("event"), QStringLiteral("sms_received")},
                {QStringLiteral("sms.sender"), QString::fromUtf8(sender)},
                {QStringLiteral("sms.date"), QString::fromUtf8(date)},
                {QStringLiteral("sms.text"), QString::fromUtf8(text)},
            };
        }
        return QJsonObject();
    }
};

// Prints every frame the module starts while `guard` lives, and an incoming SMS once more,
// whole, after its end frame.
void printEvents(CommandContext &context, QObject *guard) {
    const auto print = context.printEvent;
    const auto sms = std::make_shared<SmsAssembly>();
    QObject::connect(&context.link, &HeadlessLink::moduleFrame, guard,
                     [print, sms](uint8_t cmdId, const QByteArray &payload) {
                         print(eventJson(cmdId, payload));
                         const QJsonObject whole = sms->take(cmdId, payload);
                         if (!whole.isEmpty()) {
                             print(whole);
                         }
                     });
}

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    // Nothing else is safe in a signal handler; the event loop does the rest.
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// Calls `then` from the event loop once SIGINT or SIGTERM came. Without a socket pair the
// signals keep their default and end the program.
void onInterrupt(QObject *guard, const std::function<void()> &then) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, guard);
    QObject::connect(notifier, &QSocketNotifier::activated, guard, then);
}

void watch(CommandContext &context, const Finish &finish) {
    // Lives as long as the link; once the watch has ended, nothing more is printed.
    auto *guard = new QObject(&context.link);
    printEvents(context, guard);
    const auto end = [&context, guard, finish](const Answer &answer) {
        QObject::disconnect(&context.link, nullptr, guard, nullptr);
        finish(answer);
    };
    QObject::connect(&context.link, &HeadlessLink::lost, guard,
                     [end](const QString &why) { end(Answer::failure(ExitPortUnavailable, why)); });
    onInterrupt(guard, [end] { end(Answer()); });
    // A rig that starts the watch in the background waits for this line before it makes the
    // module act: what came before it was acknowledged and dropped.
    std::fprintf(stderr, "%s\n",
                 tr("Watching the module's events until interrupted.").toUtf8().constData());
    std::fflush(stderr);
}

QString jsonText(const QJsonValue &value) {
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// One request per line in, one answer per request out, in the order they complete.
class Session : public QObject {
  public:
    Session(CommandContext &context, Finish finish)
        : QObject(&context.link), context_(context), finish_(std::move(finish)) {}

    void start() {
        printEvents(context_, this);
        connect(&context_.link, &HeadlessLink::lost, this, [this](const QString &why) {
            // The requests in flight have had their answers: the link told them first.
            end(Answer::failure(ExitPortUnavailable, why));
        });
        if (::fcntl(STDIN_FILENO, F_GETFD) == -1) {
            inputEnded_ = true;
            QTimer::singleShot(0, this, [this] { takeLines(); });
            return;
        }
        input_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(input_, &QSocketNotifier::activated, this, [this] { readInput(); });
    }

  private:
    struct InFlight {
        QJsonValue id;
        std::unique_ptr<CommandContext> context;
    };

    void readInput() {
        char bytes[4096];
        const ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            return;
        }
        if (n <= 0) {
            inputEnded_ = true;
            input_->setEnabled(false);
        } else {
            buffer_.append(bytes, static_cast<int>(n));
        }
        takeLines();
    }

    // Starts the buffered lines while there is room in flight; reads more only when all of
    // them were started.
    void takeLines() {
        while (!ended_ && static_cast<int>(inFlight_.size()) < kMaxInFlight) {
            const int newline = buffer_.indexOf('\n');
            if (skipping_) {
                buffer_.remove(0, newline < 0 ? buffer_.size() : newline + 1);
                skipping_ = newline < 0;
                if (skipping_) {
                    break;
                }
                continue;
            }
            if ((newline < 0 ? buffer_.size() : newline) > kMaxLineBytes) {
                skipping_ = true;  // dropped up to its end above, as it comes
                refuse(QJsonValue::Null,
                       tr("A request line is longer than %1 bytes.").arg(kMaxLineBytes));
                continue;
            }
            if (newline < 0 && !(inputEnded_ && !buffer_.isEmpty())) {
                break;
            }
            const int length = newline < 0 ? buffer_.size() : newline;
            const QByteArray line = buffer_.left(length);
            buffer_.remove(0, newline < 0 ? length : length + 1);
            if (!line.trimmed().isEmpty()) {
                handle(line);
            }
        }
        const bool room = static_cast<int>(inFlight_.size()) < kMaxInFlight;
        if (input_ != nullptr && !inputEnded_) {
            input_->setEnabled(room && !ended_);
        }
        if (inputEnded_ && inFlight_.empty() && buffer_.isEmpty()) {
            end(Answer());
        }
    }

    void handle(const QByteArray &line) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (!doc.isObject()) {
            refuse(QJsonValue::Null,
                   error.error != QJsonParseError::NoError
                       ? tr("The line is not JSON: %1.").arg(error.errorString())
                       : tr("A request is a JSON object: {\"id\": ..., \"args\": [...]}."));
            return;
        }
        const QJsonObject request = doc.object();
        if (!request.contains(QStringLiteral("id"))) {
            refuse(QJsonValue::Null, tr("A request needs an \"id\" to answer it by."));
            return;
        }
        const QJsonValue id = request.value(QStringLiteral("id"));
        const QJsonValue args = request.value(QStringLiteral("args"));
        QStringList words;
        bool allText = true;
        for (const QJsonValue &word : args.toArray()) {
            allText = allText && word.isString();
            words << word.toString();
        }
        if (words.isEmpty() || !allText) {
            refuse(id, tr("A request needs \"args\": the command's words, as strings."));
            return;
        }
        for (const InFlight &f : inFlight_) {
            if (f.id == id) {
                refuse(id, tr("Request %1 is still in flight.").arg(jsonText(id)));
                return;
            }
        }
        Invocation invocation;
        QString why;
        int timeoutMs = 0;
        if (!parseInvocation(words, &invocation, &why) || !takenInSession(invocation, &why) ||
            !timeoutOption(invocation, context_.timeoutMs, &timeoutMs, &why)) {
            refuse(id, why);
            return;
        }
        // Answers are JSON lines: nothing a command writes raw may land among them.
        invocation.options.insert(QStringLiteral("json"), QString());
        QStringList rest;
        const CommandEntry *entry = findCommand(invocation.words, &rest);
        if (entry == nullptr || entry->linesOnly) {
            refuse(id,
                   entry == nullptr
                       ? tr("Unknown command \"%1\".").arg(invocation.words.join(QLatin1Char(' ')))
                       : tr("\"%1\" does not run inside a session.")
                             .arg(entry->path.join(QLatin1Char(' '))));
            return;
        }
        inFlight_.push_back(
            {id, std::make_unique<CommandContext>(CommandContext{
                     context_.link, timeoutMs, context_.showProgress, context_.printEvent})});
        const auto it = std::prev(inFlight_.end());
        // The command may answer at once, before run() returns, or never twice: only the first
        // answer counts.
        auto answered = std::make_shared<bool>(false);
        entry->run(rest, invocation, *it->context, [this, it, answered](const Answer &a) {
            if (*answered) {
                return;
            }
            *answered = true;
            answer(it->id, a);
            finished_.splice(finished_.end(), inFlight_, it);
            QTimer::singleShot(0, this, [this] {
                finished_.clear();  // from the event loop: no command of theirs is running
                takeLines();
            });
        });
    }

    // Options that belong to the program, not to one request, and files that would be read
    // from the standard input the requests come on.
    static bool takenInSession(const Invocation &invocation, QString *why) {
        for (const char *name :
             {"port", "simulate", "capture", "include-passwords", "help", "version"}) {
            if (invocation.has(QLatin1String(name))) {
                *why = tr("--%1 is given to kovactl session itself, not to a request.")
                           .arg(QLatin1String(name));
                return false;
            }
        }
        for (const char *name : {"password-file", "body-file", "payload-file", "numbers"}) {
            if (invocation.value(QLatin1String(name)) == QLatin1String("-")) {
                *why = tr("--%1 - would read the session's own input; give a file.")
                           .arg(QLatin1String(name));
                return false;
            }
        }
        return true;
    }

    void refuse(const QJsonValue &id, const QString &why) {
        answer(id, Answer::failure(ExitUsage, why));
    }

    void answer(const QJsonValue &id, const Answer &a) {
        QJsonObject line = answerJson(a);
        line.insert(QStringLiteral("id"), id);
        context_.printEvent(line);
    }

    void end(const Answer &answer) {
        if (ended_) {
            return;
        }
        ended_ = true;
        if (input_ != nullptr) {
            input_->setEnabled(false);
        }
        QObject::disconnect(&context_.link, nullptr, this, nullptr);
        finish_(answer);
    }

    CommandContext &context_;
    Finish finish_;
    QSocketNotifier *input_ = nullptr;
    QByteArray buffer_;
    bool skipping_ = false;  // the rest of a line over the bound
    bool inputEnded_ = false;
    bool ended_ = false;
    std::list<InFlight> inFlight_;
    // Answered, kept until no command of theirs can be on the stack.
    std::list<InFlight> finished_;
};

CommandEntry streamCommand(const char *word, const char *summary,
                           const std::function<void(CommandContext &, const Finish &)> &body) {
    CommandEntry entry;
    entry.path = QStringList{QLatin1String(word)};
    entry.summary = tr(summary);
    entry.linesOnly = true;
    entry.run = [entry, body](const QStringList &args, const Invocation &, CommandContext &context,
                              const Finish &finish) {
        Answer refusal;
        if (!exactArguments(args, 0, entry, &refusal)) {
            finish(refusal);
            return;
        }
        body(context, finish);
    };
    return entry;
}

}  // namespace

void addSessionCommands(std::vector<CommandEntry> *entries) {
    entries->push_back(streamCommand(
        "watch", "Prints the module's events as JSON lines until interrupted (SIGINT, SIGTERM).",
        watch));
    entries->push_back(streamCommand("session",
                                     "Answers JSON requests read from standard input, one a line: "
                                     "{\"id\": ANY, \"args\": [WORDS]}.",
                                     [](CommandContext &context, const Finish &finish) {
                                         (new Session(context, finish))->start();
                                     }));
}
