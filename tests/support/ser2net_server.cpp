#include "ser2net_server.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

namespace {

constexpr int kStartLimitMs = 15000;  // generous: a loaded machine, never a protocol timer
constexpr int kPortTries = 5;

QString program() {
    // Debian puts it in sbin, which an ordinary user's PATH may lack.
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
    return onPath.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                                             {"/usr/sbin", "/usr/local/sbin"})
                            : onPath;
}

// Its own session, so that one signal reaches all of it, and gone when the test program is.
class SessionProcess : public QProcess {
  protected:
    void setupChildProcess() override {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    }
};

// Inodes of the sockets process `pid` holds.
QSet<QString> socketInodes(qint64 pid) {
    QSet<QString> inodes;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &fd :
         fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        if (target.contains(QLatin1String("socket:["))) {
            inodes << target.section('[', 1).chopped(1);
        }
    }
    return inodes;
}

}  // namespace

QString Ser2netServer::unavailableReason() {
    return program().isEmpty() ? QStringLiteral("ser2net is not installed") : QString();
}

Ser2netServer::Ser2netServer(const QString &devicePath) : device_(devicePath) {}

Ser2netServer::~Ser2netServer() {
    stop();
}

QString Ser2netServer::rawName() const {
    return QStringLiteral("tcp://127.0.0.1:%1").arg(rawPort_);
}

QString Ser2netServer::rfc2217Name() const {
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(rfc2217Port_);
}

bool Ser2netServer::isRunning() const {
    return process_ && process_->state() == QProcess::Running;
}

bool Ser2netServer::start() {
    for (int attempt = 0; attempt < kPortTries; ++attempt) {
        // Both held at once so that the two differ; another program may still take one before
        // ser2net does, which launch() notices.
        QTcpServer raw, telnet;
        if (!raw.listen(QHostAddress::LocalHost) || !telnet.listen(QHostAddress::LocalHost)) {
            error_ = raw.errorString() + telnet.errorString();
            return false;
        }
        rawPort_ = raw.serverPort();
        rfc2217Port_ = telnet.serverPort();
        raw.close();
        telnet.close();
        if (launch()) {
            return true;
        }
        stop();
    }
    return false;
}

bool Ser2netServer::restart() {
    stop();
    return launch();
}

void Ser2netServer::stop() {
    if (!process_) {
        return;
    }
    if (process_->state() != QProcess::NotRunning) {
        // The whole session: anything ser2net may have started goes with it.
        ::kill(-pid_t(process_->processId()), SIGKILL);
        process_->kill();
        process_->waitForFinished();
    }
    process_.reset();
}

bool Ser2netServer::launch() {
    if (!folder_.isValid()) {
        error_ = folder_.errorString();
        return false;
    }
    // The telnet side starts slow on purpose: the tool's own speed then shows at the device.
    const QString config = QStringLiteral(
                               "connection: &raw\n"
                               "  accepter: tcp(nodelay),127.0.0.1,%1\n"
                               "  connector: serialdev,%3,115200n81,rtscts,local\n"
                               "  options:\n"
                               "    chardelay: false\n"
                               "connection: &rfc2217\n"
                               "  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1,%2\n"
                               "  connector: serialdev,%3,9600n81,local\n"
                               "  options:\n"
                               "    chardelay: false\n")
                               .arg(rawPort_)
                               .arg(rfc2217Port_)
                               .arg(device_);
    QFile file(folder_.filePath(QStringLiteral("ser2net.yaml")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        error_ = file.errorString();
        return false;
    }
    file.close();
    process_ = std::make_unique<SessionProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    // -d keeps ser2net's complaints on its output, where errorString() finds them.
    process_->start(program(), {"-n", "-d", "-u", "-P", folder_.filePath(QStringLiteral("pid")),
                                "-c", file.fileName()});
    if (!process_->waitForStarted()) {
        error_ = process_->errorString();
        return false;
    }
    const bool listening = QTest::qWaitFor(
        [this] { return !isRunning() || (listensOn(rawPort_) && listensOn(rfc2217Port_)); },
        kStartLimitMs);
    if (listening && isRunning()) {
        return true;
    }
    error_ = QStringLiteral("ser2net did not listen on ports %1 and %2: %3")
                 .arg(rawPort_)
                 .arg(rfc2217Port_)
                 .arg(QString::fromLocal8Bit(process_->readAll()));
    return false;
}

// A listening socket of ser2net's own on the port: another program's does not count.
bool Ser2netServer::listensOn(quint16 port) const {
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QString local =
        QStringLiteral("0100007F:%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    const QSet<QString> ours = socketInodes(process_->processId());
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QStringList f = QString::fromLatin1(line).simplified().split(' ');
        // sl, local address, remote address, state (0A: listening), ..., inode at 9.
        if (f.size() > 9 && f[1] == local && f[3] == QLatin1String("0A") && ours.contains(f[9])) {
            return true;
        }
    }
    return false;
}
