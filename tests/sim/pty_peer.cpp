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
    for (int done = 0; fd_ >= 0 && done < bytes.size();) {
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

QList<DecodedFrame> PtyPeer::readFrames(int count) {
    const QDeadlineTimer deadline(kTimeoutMs);
    while (fd_ >= 0 && frames_.size() < count && !deadline.hasExpired()) {
        pollfd p{fd_, POLLIN, 0};
        char chunk[4096];
        const ssize_t n = poll(&p, 1, static_cast<int>(deadline.remainingTime())) > 0
                              ? ::read(fd_, chunk, sizeof chunk)
                              : 0;
        frames_ += frame_decode_all(&decoder_, QByteArray(chunk, n > 0 ? static_cast<int>(n) : 0));
    }
    const QList<DecodedFrame> taken = frames_.mid(0, count);
    frames_ = frames_.mid(taken.size());
    return taken;
}

bool PtyPeer::hungUp() {
    pollfd p{fd_, POLLIN, 0};
    return fd_ >= 0 && poll(&p, 1, kTimeoutMs) > 0 && (p.revents & POLLHUP) != 0;
}
