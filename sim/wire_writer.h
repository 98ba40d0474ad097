// Writes the module's frames to the pty master. Unpaced, a frame goes to the kernel at once;
// paced, its bytes are released no faster than a 115200-baud line would carry them, so a peer
// sees realistic transfer times. Either way bytes the pty cannot take yet wait for it.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>

#include "wire_schedule.h"

class QSocketNotifier;
class QTimer;

class WireWriter : public QObject {
    Q_OBJECT

  public:
    WireWriter(int fd, QObject *parent = nullptr);

    void setPaced(bool paced);
    bool paced() const { return paced_; }
    // True when the line can take the next frame.
    bool idle() const { return current_.isEmpty() && backlog_.isEmpty(); }
    void write(const QByteArray &frame);
    quint64 bytesWritten() const { return bytesWritten_; }

  signals:
    // The line took everything; the owner may hand over the next frame.
    void drained();
    void failed(const QString &reason);

  private:
    void releasePaced();
    void flush();
    int64_t nowNs() const { return clock_.nsecsElapsed(); }

    int fd_;
    bool paced_ = false;
    QByteArray current_;  // the paced frame whose bytes are still on their way
    QByteArray backlog_;  // released bytes the pty did not take yet
    WireSchedule schedule_;
    int64_t lineFreeNs_ = 0;
    // Set while the owner is handed the next frame the instant the previous one ended, so
    // that the two follow each other on the wire without a gap.
    bool backToBack_ = false;
    quint64 bytesWritten_ = 0;
    QElapsedTimer clock_;
    QTimer *pacer_;
    QSocketNotifier *writable_;
};
