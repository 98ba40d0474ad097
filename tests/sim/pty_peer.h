// The tool's end of the module's line in these tests: plain POSIX I/O on the pty slave in raw
// mode, frames decoded with the codec however the reads cut them.
#pragma once

#include <QList>
#include <QString>
#include <array>

#include "frame_codec.h"

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
    QList<DecodedFrame> readFrames(int count);
    // True once the module's side of the line has gone.
    bool hungUp();

  private:
    int fd_ = -1;
    std::array<uint8_t, DECODER_BUFFER_SIZE> buffer_{};
    FrameDecoder decoder_;
    QList<DecodedFrame> frames_;
};
