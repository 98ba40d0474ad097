// Raw pty I/O for the tests.
#include "pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <cerrno>

PtyPeer::PtyPeer(const QString &path) {
    frame_decoder_init(&decoder_, buffer_.data(), static_cast<uint16_t>(buffer_.size()));
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios settings{};
    if (fd_ >= 0 && (tcgetattr(fd_, &settings) != 0 ||
                     (cfmakeraw(&settings), tcsetattr(fd_, TCSANOW, &settings)) != 0)) {
        ::close(fd_);
        fd_ = -1;
    }
}

PtyPeer::~PtyPeer() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void PtyPeer::write(const QByteArray &bytes) {
    int done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        const ssize_t n =
            ::write(fd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += static_cast<int>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            pollfd p{fd_, POLLOUT, 0};
            poll(&p, 1, kTimeoutMs);
        }
    }
}

QByteArray PtyPeer::readSome(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    if (fd_ < 0 || poll(&p, 1, timeoutMs) <= 0) {
        return QByteArray();
    }
    char chunk[4096];
    const ssize_t n = ::read(fd_, chunk, sizeof chunk);
    return n > 0 ? QByteArray(chunk, static_cast<int>(n)) : QByteArray();
}

QList<testsupport::Decoded> PtyPeer::readFrames(int count, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (frames_.size() < count && !deadline.hasExpired()) {
        for (char c : readSome(static_cast<int>(deadline.remainingTime()))) {
            if (frame_decoder_put(&decoder_, static_cast<uint8_t>(c)) != FRAME_COMPLETE) {
                continue;
            }
            LinkMessage m;
            if (frame_decoder_take(&decoder_, &m) == FRAME_OK) {
                frames_.append({m.cmdId, m.seq, m.status,
                                QByteArray(reinterpret_cast<const char *>(m.payload), m.length)});
            }
        }
    }
    const QList<testsupport::Decoded> taken = frames_.mid(0, count);
    frames_ = frames_.mid(taken.size());
    return taken;
}

QByteArray PtyPeer::readBytes(int count, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray bytes;
    while (bytes.size() < count && !deadline.hasExpired()) {
        bytes += readSome(static_cast<int>(deadline.remainingTime()));
    }
    return bytes;
}

bool PtyPeer::hungUp(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    return fd_ >= 0 && poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLHUP) != 0;
}
