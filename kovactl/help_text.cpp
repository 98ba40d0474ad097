#include "help_text.h"

#include <QCoreApplication>

#include "commands.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

QString overview() {
    QStringList lines;
    lines << tr("Usage: kovactl [--port NAME | --simulate] [--json] [--timeout S] "
                "[--capture FILE [--include-passwords]] COMMAND ARGS")
          << QString() << tr("Sends one request to a KOVA module and prints its answer.")
          << QString() << tr("Options:")
          << tr("  --port NAME        the module's serial port, or one on a serial server:")
          << tr("                     rfc2217://HOST:PORT (telnet, line settings sent)")
          << tr("                     tcp://HOST:PORT (the bytes as they are, the server's "
                "line settings)")
          << tr("  --simulate         a virtual module in this process instead")
          << tr("  --json             one JSON object per answer, fields by their stable ids")
          << tr("  --timeout S        how long to wait for an answer (default 15 s)")
          << tr("  --capture FILE     record the line's traffic as a pcapng file, passwords "
                "masked")
          << tr("  --include-passwords  leave passwords in the capture") << QString()
          << tr("Commands:");
    // A usage too long for its column puts its summary on a line of its own.
    constexpr int kUsageColumn = 40;
    for (const CommandEntry &entry : commandTable()) {
        const QString usage = usageLine(entry);
        if (usage.size() < kUsageColumn) {
            lines << QStringLiteral("  %1").arg(usage, -kUsageColumn) + entry.summary;
        } else {
            lines << QStringLiteral("  ") + usage
                  << QString(kUsageColumn + 2, QLatin1Char(' ')) + entry.summary;
        }
    }
    lines << QString()
          << tr("Secrets are read from a file (--password-file F, - for standard "
                "input) or the environment, never from an option's value.")
          << QString() << tr("Exit codes:") << tr("  0   success")
          << tr("  1   the module answered with a failure status (its code in the output)")
          << tr("  2   the module refused the request (NAK)")
          << tr("  64  usage: an unknown command or option, a missing argument, a word where a "
                "number belongs")
          << tr("  65  refused input: a value out of its range or over its limit; nothing was "
                "written to the line")
          << tr("  69  the port could not be opened, or was lost")
          << tr("  73  the capture file could not be written")
          << tr("  75  no answer within --timeout") << QString()
          << tr("kovactl help COMMAND shows one command.");
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

QString helpText(const QStringList &words, QString *whyNot) {
    if (words.isEmpty()) {
        return overview();
    }
    QStringList matched;
    for (const CommandEntry &entry : commandTable()) {
        if (entry.path.mid(0, words.size()) == words) {
            matched << QStringLiteral("kovactl %1\n    %2").arg(usageLine(entry), entry.summary);
        }
    }
    if (matched.isEmpty()) {
        *whyNot = tr("Unknown command \"%1\".").arg(words.join(QLatin1Char(' ')));
        return QString();
    }
    return matched.join(QLatin1Char('\n'));
}
