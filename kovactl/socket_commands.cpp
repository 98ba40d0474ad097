// socket and apn: a payload sent to a host and its response, and the access point.
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "commands.h"
#include "link_requests.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

// A secret comes from --password-file (a path, or "-" for standard input) or else from the
// environment, never from the command line that `ps` shows. One trailing line end is the file's,
// not the secret's. False with the answer to give when the file cannot be read.
bool readSecret(const Invocation &invocation, const char *variable, QByteArray *secret,
                Answer *refusal) {
    const QString option = QStringLiteral("password-file");
    if (!invocation.has(option)) {
        *secret = qgetenv(variable);
        return true;
    }
    const QString path = invocation.value(option);
    QFile file(path);
    const bool opened = path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                   : file.open(QIODevice::ReadOnly);
    QByteArray read = opened ? file.readAll() : QByteArray();
    if (!opened || file.error() != QFileDevice::NoError) {
        *refusal = Answer::failure(
            ExitBadInput,
            tr("The password file %1 could not be read: %2").arg(path, file.errorString()));
        return false;
    }
    if (read.endsWith('\n')) {
        read.chop(read.endsWith("\r\n") ? 2 : 1);
    }
    *secret = read;
    return true;
}

void addApnCommands(std::vector<CommandSpec> *specs) {
    CommandSpec get;
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
    specs->push_back(get);

    CommandSpec set;
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
    specs->push_back(set);
}

}  // namespace

void addSocketCommands(std::vector<CommandSpec> *specs) {
    addApnCommands(specs);
}
