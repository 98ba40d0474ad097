#include "pty_line.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace testsupport {

QString ptyLineSettings(const QString &path) {
    termios t{};
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const bool read = fd >= 0 && tcgetattr(fd, &t) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    if (!read) {
        return QStringLiteral("unreadable");
    }
    return QStringLiteral("%1 %2%3%4%5")
        .arg(cfgetospeed(&t) == B115200 ? "115200" : "other speed")
        .arg((t.c_cflag & CSIZE) == CS8 ? "8" : "not 8 bits")
        .arg((t.c_cflag & PARENB) != 0 ? "P" : "N")
        .arg((t.c_cflag & CSTOPB) != 0 ? "2" : "1")
        .arg((t.c_cflag & CRTSCTS) != 0 ? " RTS/CTS" : "");
}

}  // namespace testsupport
