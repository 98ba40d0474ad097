// kovactl: every request of the tool from a script, with its answer as text or JSON and an exit
// code that says how it ended.
#include <unistd.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QSaveFile>
#include <cstdio>

#include "capture_file.h"
#include "commands.h"
#include "exit_codes.h"
#include "headless_link.h"
#include "help_text.h"
#include "kova_version.h"

namespace {

constexpr int kDefaultTimeoutS = 15;
constexpr int kDrainMs = 500;

void print(FILE *to, const QString &text) {
    if (!text.isEmpty()) {
        std::fprintf(to, "%s\n", text.toUtf8().constData());
        std::fflush(to);
    }
}

void printJson(const QJsonObject &object) {
    print(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

bool jsonAsked = false;

int usage(const QString &why) {
    if (jsonAsked) {
        printJson(answerJson(Answer::failure(ExitUsage, why)));
    }
    print(stderr, QStringLiteral("kovactl: %1").arg(why));
    print(stderr, QCoreApplication::translate("kovactl", "Try 'kovactl --help'."));
    return ExitUsage;
}

// Standard output carries the answer; for people, a failure's reason goes to standard error.
void printAnswer(const Answer &answer, bool json) {
    if (json) {
        printJson(answerJson(answer));
        return;
    }
    if (answer.code == ExitOk) {
        print(stdout, answerText(answer));
        return;
    }
    Answer result = answer;
    result.error.clear();
    print(stdout, answerText(result));
    print(stderr, QStringLiteral("kovactl: %1").arg(answer.error));
}

QString captureFailure(const QString &why) {
    return QCoreApplication::translate("kovactl", "The capture was not saved: %1").arg(why);
}

// Whether the capture file can be created, known before anything is written to the line.
bool captureWritable(const QString &path, QString *whyNot) {
    QSaveFile probe(path);
    const bool writable = probe.open(QIODevice::WriteOnly);
    if (!writable) {
        *whyNot = QCoreApplication::translate(
                      "kovactl", "The capture file %1 cannot be written: %2. Nothing was sent.")
                      .arg(path, probe.errorString());
    }
    probe.cancelWriting();
    return writable;
}

// A capture that could not be saved fails an answer that had succeeded; a failed answer
// keeps its own code and says so beside it.
void saveCapture(const HeadlessLink &link, const Invocation &inv, Answer *answer) {
    QList<CapturedFrame> frames;
    for (const TrafficRecord &r : link.records()) {
        frames.append(capturedFrame(r, inv.has(QStringLiteral("include-passwords")), false));
    }
    QString whyNot;
    if (saveCaptureFile(inv.value(QStringLiteral("capture")), frames, &whyNot)) {
        return;
    }
    if (answer->code == ExitOk) {
        *answer = Answer::failure(ExitCannotCreate, captureFailure(whyNot), answer->result);
    } else {
        print(stderr, QStringLiteral("kovactl: %1").arg(captureFailure(whyNot)));
    }
}

}  // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kovactl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KOVA_VERSION));

    Invocation inv;
    QString why;
    jsonAsked = QCoreApplication::arguments().contains(QStringLiteral("--json"));
    if (!parseInvocation(QCoreApplication::arguments().mid(1), &inv, &why)) {
        return usage(why);
    }
    jsonAsked = inv.has(QStringLiteral("json"));
    if (inv.has(QStringLiteral("version"))) {
        print(stdout, QStringLiteral("kovactl %1").arg(QStringLiteral(KOVA_VERSION)));
        return ExitOk;
    }
    if (inv.has(QStringLiteral("help")) ||
        (!inv.words.isEmpty() && inv.words.first() == QLatin1String("help"))) {
        const QString text = helpText(inv.words.mid(inv.words.isEmpty() ? 0 : 1), &why);
        if (text.isEmpty()) {
            return usage(why);
        }
        print(stdout, text);
        return ExitOk;
    }
    if (inv.words.isEmpty()) {
        return usage(QCoreApplication::translate("kovactl", "No command given."));
    }
    QStringList args;
    const CommandEntry *entry = findCommand(inv.words, &args);
    if (entry == nullptr) {
        return usage(QCoreApplication::translate("kovactl", "Unknown command \"%1\".")
                         .arg(inv.words.join(QLatin1Char(' '))));
    }
    const bool simulate = inv.has(QStringLiteral("simulate"));
    const bool json = inv.has(QStringLiteral("json"));
    if (simulate == inv.has(QStringLiteral("port"))) {
        return usage(
            QCoreApplication::translate("kovactl", "Give either --port NAME or --simulate."));
    }
    int timeoutMs = 0;
    if (!timeoutOption(inv, kDefaultTimeoutS * 1000, &timeoutMs, &why)) {
        return usage(why);
    }

    const bool capture = inv.has(QStringLiteral("capture"));
    if (capture && !captureWritable(inv.value(QStringLiteral("capture")), &why)) {
        printAnswer(Answer::failure(ExitCannotCreate, why), json);
        return ExitCannotCreate;
    }
    HeadlessLink link;
    link.setKeepRecords(capture);
    const bool opened =
        simulate ? link.openSimulated(&why) : link.open(inv.value(QStringLiteral("port")), &why);
    if (!opened) {
        printAnswer(Answer::failure(ExitPortUnavailable, why), json);
        return ExitPortUnavailable;
    }
    if (!link.lineDescription().isEmpty()) {
        print(stderr, QStringLiteral("kovactl: %1: %2")
                          .arg(inv.value(QStringLiteral("port")), link.lineDescription()));
    }
    link.settle();

    CommandContext context{link, timeoutMs, isatty(STDERR_FILENO) == 1, printJson};
    QEventLoop loop;
    Answer answer;
    bool answered = false;
    entry->run(args, inv, context, [&](const Answer &a) {
        if (answered) {
            return;
        }
        answered = true;
        answer = a;
        loop.quit();
    });
    if (!answered) {
        loop.exec();
    }
    QCoreApplication::processEvents();  // what the command left for the loop: its own disposal
    link.drain(kDrainMs);
    if (capture) {
        saveCapture(link, inv, &answer);  // before the answer, which tells how it went
    }
    if (!entry->linesOnly) {
        printAnswer(answer, json);
    } else if (!answer.error.isEmpty()) {
        print(stderr, QStringLiteral("kovactl: %1").arg(answer.error));
    }
    return answer.code;
}
