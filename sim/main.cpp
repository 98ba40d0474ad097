// kova-module-sim: a virtual KOVA module on a pseudo-terminal, driven from the command line.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>

#include "kova_version.h"
#include "module_console.h"
#include "virtual_module.h"

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int) {
    const char byte = 1;
    // Nothing else is safe in a signal handler; the event loop does the rest.
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

void say(const QString &text) {
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

void complain(const QString &text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

QString hexBytes(const QByteArray &bytes) {
    return QString::fromLatin1(bytes.toHex(' '));
}

QString commandText(quint8 id) {
    const char *name = command_name(id);
    return name != nullptr ? QString::fromLatin1(name) : QStringLiteral("id %1").arg(id);
}

// The command-line flags are console commands given up front.
QStringList flagCommands(const QCommandLineParser &parser) {
    QStringList commands;
    if (parser.isSet(QStringLiteral("nak"))) {
        commands << QStringLiteral("nak ") + parser.value(QStringLiteral("nak"))
                                                 .replace(QLatin1Char(','), QLatin1Char(' '));
    }
    if (parser.isSet(QStringLiteral("withhold-acks"))) {
        commands << QStringLiteral("withhold-acks on");
    }
    const QStringList valued = {QStringLiteral("seed"), QStringLiteral("flip"),
                                QStringLiteral("drop"), QStringLiteral("repeat"),
                                QStringLiteral("seq"),  QStringLiteral("response")};
    for (const QString &name : valued) {
        if (parser.isSet(name)) {
            commands << name + QLatin1Char(' ') + parser.value(name);
        }
    }
    if (parser.isSet(QStringLiteral("paced"))) {
        commands << QStringLiteral("pace on");
    }
    if (parser.isSet(QStringLiteral("stop-and-wait"))) {
        commands << QStringLiteral("mode stop-and-wait");
    }
    if (parser.isSet(QStringLiteral("sms-fail"))) {
        commands << QStringLiteral("sms-fail on");
    }
    return commands;
}

}  // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kova-module-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KOVA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A virtual KOVA module on a pseudo-terminal. Prints the device to open "
                       "as the serial port, then reads commands from stdin.\n\n") +
        consoleHelp());
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("link"), QStringLiteral("Make a symlink to the device at <path>."),
         QStringLiteral("path")},
        {QStringLiteral("nak"), QStringLiteral("NAK frames of these command ids (comma list)."),
         QStringLiteral("ids")},
        {QStringLiteral("withhold-acks"), QStringLiteral("Never acknowledge frames.")},
        {QStringLiteral("flip"), QStringLiteral("Flip a bit in every <n>th frame written."),
         QStringLiteral("n")},
        {QStringLiteral("drop"), QStringLiteral("Drop a byte of every <n>th frame written."),
         QStringLiteral("n")},
        {QStringLiteral("repeat"), QStringLiteral("Write every <n>th frame twice."),
         QStringLiteral("n")},
        {QStringLiteral("seed"), QStringLiteral("Seed for the bits and bytes spoiled."),
         QStringLiteral("n")},
        {QStringLiteral("paced"), QStringLiteral("Write at 115200-baud wire time.")},
        {QStringLiteral("stop-and-wait"),
         QStringLiteral("One unacknowledged module frame at a time (default: pipelined).")},
        {QStringLiteral("seq"), QStringLiteral("Sequence number of the first module frame."),
         QStringLiteral("n")},
        {QStringLiteral("response"), QStringLiteral("Size of the socket response in bytes."),
         QStringLiteral("bytes")},
        {QStringLiteral("sms-fail"), QStringLiteral("SMS sends fail.")},
        {QStringLiteral("verbose"), QStringLiteral("Print every frame read and written.")},
    });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        complain(QStringLiteral("unexpected argument '%1'; see --help")
                     .arg(parser.positionalArguments().first()));
        return 2;
    }

    VirtualModule module;
    if (!module.start()) {
        complain(QStringLiteral("cannot start the module: %1").arg(module.errorString()));
        return 1;
    }
    for (const QString &command : flagCommands(parser)) {
        const ConsoleReply reply = runConsoleCommand(module, command);
        if (!reply.ok) {
            complain(reply.text);
            return 2;
        }
    }
    // The link exists before the path is printed: whoever waits for the line may open it.
    const bool linked = parser.isSet(QStringLiteral("link"));
    if (linked && !module.createLink(parser.value(QStringLiteral("link")))) {
        complain(module.errorString());
        return 1;
    }
    say(module.devicePath());
    if (linked) {
        say(QStringLiteral("linked at %1").arg(parser.value(QStringLiteral("link"))));
    }

    QObject::connect(&module, &VirtualModule::lineError, [](const QString &reason) {
        complain(QStringLiteral("line error: %1").arg(reason));
    });
    QObject::connect(&module, &VirtualModule::smsSent,
                     [](const QByteArray &number, const QByteArray &text) {
                         say(QStringLiteral("SMS sent to %1: %2")
                                 .arg(QString::fromUtf8(number), QString::fromUtf8(text)));
                     });
    if (parser.isSet(QStringLiteral("verbose"))) {
        QObject::connect(&module, &VirtualModule::frameReceived,
                         [](quint8 id, quint8 seq, quint8 status, const QByteArray &payload) {
                             say(QStringLiteral("<- %1 seq %2 status %3 payload %4")
                                     .arg(commandText(id))
                                     .arg(seq)
                                     .arg(status, 2, 16, QLatin1Char('0'))
                                     .arg(hexBytes(payload)));
                         });
        QObject::connect(&module, &VirtualModule::frameWritten,
                         [](quint8 id, quint8 seq, bool again, const QByteArray &wire) {
                             say(QStringLiteral("-> %1 seq %2%3: %4")
                                     .arg(commandText(id))
                                     .arg(seq)
                                     .arg(again ? QStringLiteral(" (again)") : QString())
                                     .arg(hexBytes(wire)));
                         });
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        signal(SIGINT, onTerminate);
        signal(SIGTERM, onTerminate);
        auto *terminate = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(terminate, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    }
    signal(SIGPIPE, SIG_IGN);

    // stdin may end (a module started in the background); the module then runs until a signal.
    auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
    QByteArray pending;
    const auto runLine = [&](const QByteArray &line) {
        const ConsoleReply reply = runConsoleCommand(module, QString::fromLocal8Bit(line));
        if (!reply.ok) {
            complain(reply.text);
        } else if (!reply.text.isEmpty()) {
            say(reply.text);
        }
        if (reply.quit) {
            app.quit();
        }
    };
    QObject::connect(input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input->setEnabled(false);
            if (!pending.isEmpty()) {
                runLine(pending);
                pending.clear();
            }
            return;
        }
        pending.append(buffer, static_cast<int>(n));
        for (int end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            runLine(line);
        }
    });

    const int status = app.exec();
    module.stop();
    return status;
}
