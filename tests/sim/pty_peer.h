// The tool's end of the module's line in these tests: plain POSIX I/O on the pty slave in raw
// mode. Frames are decoded with the codec as they arrive, however the reads cut them.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>

#include "frames.h"

class PtyPeer {
  public:
    // Generous: only a broken module ever waits this long.
    static constexpr int kTimeoutMs = 5000;

    explicit PtyPeer(const QString &path);
    ~PtyPeer();
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    bool isOpen() const { return fd_ >= 0; }
    void write(const QByteArray &bytes);
    // The next `count` frames, fewer when they do not come in time.
    QList<testsupport::Decoded> readFrames(int count, int timeoutMs = kTimeoutMs);
    // The next `count` raw bytes, for frames a fault spoiled; never mixed with readFrames().
    QByteArray readBytes(int count, int timeoutMs = kTimeoutMs);
    // True once the module's side of the line has gone.
    bool hungUp(int timeoutMs = kTimeoutMs);

  private:
    // Waits for bytes and reads them; empty when none came in time.
    QByteArray readSome(int timeoutMs);

    int fd_ = -1;
    std::array<uint8_t, 512> buffer_{};
    FrameDecoder decoder_;
    QList<testsupport::Decoded> frames_;
};
