// Opening the pty pair, its raw mode, and the symlink the tool may open instead of /dev/pts/N.
#include "pseudo_terminal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool makeRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        return false;
    }
    cfmakeraw(&settings);
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

bool addFdFlags(int fd, int statusFlags) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | statusFlags) == 0 &&
           fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

}  // namespace

PseudoTerminal::~PseudoTerminal() {
    close();
}

bool PseudoTerminal::fail(const QString &what) {
    error_ = what + QStringLiteral(": ") + systemError();
    close();
    return false;
}

bool PseudoTerminal::open() {
    close();
    error_.clear();
    masterFd_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (masterFd_ < 0) {
        return fail(QStringLiteral("cannot open a pseudo-terminal"));
    }
    if (grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0) {
        return fail(QStringLiteral("cannot unlock the pseudo-terminal"));
    }
    char name[256];
    if (ptsname_r(masterFd_, name, sizeof name) != 0) {
        return fail(QStringLiteral("cannot name the pseudo-terminal"));
    }
    if (!addFdFlags(masterFd_, O_NONBLOCK) || !makeRaw(masterFd_)) {
        return fail(QStringLiteral("cannot set up the pseudo-terminal master"));
    }
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    // Without raw mode the slave would echo the module's own frames back to it.
    if (slaveFd_ < 0 || !makeRaw(slaveFd_)) {
        return fail(QStringLiteral("cannot set up %1").arg(QString::fromLocal8Bit(name)));
    }
    slavePath_ = QString::fromLocal8Bit(name);
    return true;
}

void PseudoTerminal::close() {
    removeLink();
    if (slaveFd_ >= 0) {
        ::close(slaveFd_);
        slaveFd_ = -1;
    }
    if (masterFd_ >= 0) {
        ::close(masterFd_);
        masterFd_ = -1;
    }
    slavePath_.clear();
}

bool PseudoTerminal::createLink(const QString &path) {
    if (!isOpen()) {
        error_ = QStringLiteral("the pseudo-terminal is not open");
        return false;
    }
    if (path != linkPath_) {
        removeLink();
    }
    const QByteArray target = QFile::encodeName(slavePath_);
    const QByteArray link = QFile::encodeName(path);
    struct stat existing {};
    if (lstat(link.constData(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            error_ = QStringLiteral("%1 exists and is not a symlink").arg(path);
            return false;
        }
        if (unlink(link.constData()) != 0) {
            error_ = QStringLiteral("cannot replace %1: %2").arg(path, systemError());
            return false;
        }
    }
    if (symlink(target.constData(), link.constData()) != 0) {
        error_ = QStringLiteral("cannot link %1: %2").arg(path, systemError());
        return false;
    }
    linkPath_ = path;
    return true;
}

void PseudoTerminal::removeLink() {
    if (linkPath_.isEmpty()) {
        return;
    }
    // Only our own link goes: another module may have taken the path over meanwhile.
    const QByteArray link = QFile::encodeName(linkPath_);
    char target[256];
    const ssize_t length = readlink(link.constData(), target, sizeof target - 1);
    if (length > 0 &&
        QFile::decodeName(QByteArray(target, static_cast<int>(length))) == slavePath_) {
        unlink(link.constData());
    }
    linkPath_.clear();
}
