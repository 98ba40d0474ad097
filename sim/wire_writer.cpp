// Paced and unpaced writing to a non-blocking pty master.
#include "wire_writer.h"

#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>

WireWriter::WireWriter(int fd, QObject *parent)
    : QObject(parent),
      fd_(fd),
      pacer_(new QTimer(this)),
      writable_(new QSocketNotifier(fd, QSocketNotifier::Write, this)) {
    clock_.start();
    // A millisecond holds about 11.5 bytes at this rate: fine enough for any reader.
    pacer_->setTimerType(Qt::PreciseTimer);
    pacer_->setInterval(1);
    connect(pacer_, &QTimer::timeout, this, &WireWriter::releasePaced);
    writable_->setEnabled(false);
    connect(writable_, &QSocketNotifier::activated, this, [this] {
        flush();
        if (idle()) {
            emit drained();
        }
    });
}

void WireWriter::setPaced(bool paced) {
    if (paced_ == paced) {
        return;
    }
    paced_ = paced;
    if (!paced_ && !current_.isEmpty()) {
        backlog_ += current_;
        current_.clear();
        pacer_->stop();
        flush();
    }
}

void WireWriter::write(const QByteArray &frame) {
    if (!paced_) {
        backlog_ += frame;
        flush();
        return;
    }
    const int64_t now = nowNs();
    const int64_t start = backToBack_ ? lineFreeNs_ : std::max(now, lineFreeNs_);
    current_ = frame;
    schedule_.begin(start, frame.size());
    lineFreeNs_ = schedule_.endNs();
    // The first byte is due a byte time from now at the earliest: the next tick releases it.
    pacer_->start();
}

void WireWriter::releasePaced() {
    // A frame that follows back to back may be partly due already; its bytes go now rather
    // than at the next tick, or every frame shorter than a tick would take a whole tick.
    for (;;) {
        const int count = schedule_.release(nowNs());
        if (count > 0) {
            backlog_ += current_.left(count);
            current_.remove(0, count);
            flush();
        }
        if (!current_.isEmpty()) {
            return;
        }
        pacer_->stop();
        if (!backlog_.isEmpty()) {
            return;
        }
        backToBack_ = true;
        emit drained();
        backToBack_ = false;
        if (current_.isEmpty()) {
            return;
        }
    }
}

void WireWriter::flush() {
    while (!backlog_.isEmpty()) {
        const ssize_t n = ::write(fd_, backlog_.constData(), static_cast<size_t>(backlog_.size()));
        if (n > 0) {
            backlog_.remove(0, static_cast<int>(n));
            bytesWritten_ += static_cast<quint64>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            const QString reason = QString::fromLocal8Bit(std::strerror(errno));
            backlog_.clear();
            emit failed(reason);
        }
        break;
    }
    writable_->setEnabled(!backlog_.isEmpty());
}
