#include "port_diagnosis.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSerialPortInfo>
#include <QStringList>
#include <cerrno>
#include <cstring>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("CommProcessor", text);
}

// Where serial programs, Qt among them, put their UUCP-style lock files.
const char *const kLockDirectories[] = {"/var/lock",        "/run/lock",       "/etc/locks",
                                        "/var/spool/locks", "/var/spool/uucp", "/tmp",
                                        "/var/tmp"};

// The program holding the port by its lock file, or an empty string when none does.
QString lockHolder(const QString &port) {
    // Named as Qt names it: the path below /dev, each "/" made "_".
    QString name = portDevicePath(port);
    if (name.startsWith(QLatin1String("/dev/"))) {
        name.remove(0, 5);
    }
    name = QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *directory : kLockDirectories) {
        QFile lock(QDir(QString::fromLatin1(directory)).filePath(name));
        if (!lock.open(QIODevice::ReadOnly)) {
            continue;
        }
        // The process id comes first, as text; a few programs still write it as 4 raw bytes.
        const QByteArray content = lock.read(256);
        bool isText = false;
        qint64 pid = content.split('\n').value(0).trimmed().toLongLong(&isText);
        if (!isText && content.size() == 4) {
            qint32 binary = 0;
            std::memcpy(&binary, content.constData(), sizeof binary);
            pid = binary;
        }
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (pid > 0 && comm.open(QIODevice::ReadOnly)) {
            return tr("%1 (process %2)")
                .arg(QString::fromLocal8Bit(comm.readAll().trimmed()))
                .arg(pid);
        }
        return tr("the program named in %1").arg(lock.fileName());
    }
    return QString();
}

QString userName() {
    const passwd *entry = getpwuid(getuid());
    return entry != nullptr ? QString::fromLocal8Bit(entry->pw_name) : qEnvironmentVariable("USER");
}

}  // namespace

QString portDevicePath(const QString &port) {
    return port.startsWith(QLatin1Char('/')) ? port : QStringLiteral("/dev/") + port;
}

QString portOpenFailure(const QString &port, QSerialPort::SerialPortError error,
                        const QString &reason) {
    QString headline = reason;
    QString advice;
    struct stat device {};
    const bool exists = stat(QFile::encodeName(portDevicePath(port)).constData(), &device) == 0;
    const QString holder = lockHolder(port);
    if (!holder.isEmpty()) {
        // Qt words a lock held elsewhere as a permission error.
        headline = tr("Serial port %1 is in use by %2.").arg(port, holder);
        advice = tr("Close that program or let it release the port, then connect again.");
    } else if (exists && !S_ISCHR(device.st_mode)) {
        // The system's words for this ("Inappropriate ioctl for device") name neither.
        headline = S_ISREG(device.st_mode)   ? tr("%1 is a regular file, not a serial device.")
                   : S_ISDIR(device.st_mode) ? tr("%1 is a folder, not a serial device.")
                                             : tr("%1 is not a serial device.");
        headline = headline.arg(port);
    } else if (error == QSerialPort::PermissionError) {
        advice = tr("You are not allowed to use %1. On Debian, add your user to the dialout "
                    "group (sudo usermod -aG dialout %2), then log out and in again.")
                     .arg(port, userName());
    } else if (error == QSerialPort::DeviceNotFoundError || !exists) {
        QStringList ports;
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
            ports << info.portName();
        }
        advice = ports.isEmpty()
                     ? tr("%1 does not exist, and no other serial port does either.").arg(port)
                     : tr("%1 does not exist. Serial ports there are now: %2.")
                           .arg(port, ports.join(QLatin1String(", ")));
    }
    return advice.isEmpty() ? headline : headline + QStringLiteral("\n\n") + advice;
}

QString portLossMessage(const QString &port, const QString &reason) {
    const QString message = tr("Serial port %1 was closed or unplugged.").arg(port);
    // What the system says after a device went away is often beside the point.
    const QStringList saysNothing = {QString(), QStringLiteral("Unknown error"),
                                     QString::fromLocal8Bit(std::strerror(ENOTTY)),
                                     QString::fromLocal8Bit(std::strerror(EIO))};
    if (saysNothing.contains(reason)) {
        return message;
    }
    return tr("%1 (%2)").arg(message, reason);
}
