// Test sessions against the virtual module.
#include "module_session.h"

#include <QTest>

QString describe(uint8_t cmdId, uint8_t seqOrStatus) {
    const char *name = command_name(cmdId);
    return QStringLiteral("%1 %2")
        .arg(name != nullptr ? QString::fromLatin1(name) : QString::number(cmdId))
        .arg(seqOrStatus, 2, 16, QLatin1Char('0'))
        .toUpper();
}

QString describe(const DecodedFrame &frame) {
    return describe(frame.cmdId, frame.cmdId < FIRST_STATUS_ID ? frame.seq : frame.status);
}

QStringList described(const QList<DecodedFrame> &frames) {
    QStringList out;
    for (const DecodedFrame &f : frames) {
        out << describe(f);
    }
    return out;
}

QString ptyUnavailable() {
    PseudoTerminal pty;
    return pty.open() ? QString() : pty.errorString();
}

ModuleSession::ModuleSession() : started_(module_.start()) {
    if (started_) {
        peer_ = std::make_unique<PtyPeer>(module_.devicePath());
    }
}

uint8_t ModuleSession::send(uint8_t id, const QByteArray &payload, uint8_t status) {
    const uint8_t seq = toolSeq_;
    toolSeq_ = toolSeq_ == 255 ? 1 : static_cast<uint8_t>(toolSeq_ + 1);
    peer_->write(testsupport::frame(id, seq, status, payload));
    return seq;
}

void ModuleSession::acknowledge(uint8_t seq) {
    peer_->write(testsupport::frame(CMD_ACK, seq));
}

QList<DecodedFrame> ModuleSession::read(int count, bool acknowledgeData) {
    const QList<DecodedFrame> frames = peer_->readFrames(count);
    for (const DecodedFrame &f : frames) {
        if (acknowledgeData && f.cmdId >= FIRST_STATUS_ID) {
            acknowledge(f.seq);
        }
    }
    return frames;
}

QList<DecodedFrame> ModuleSession::exchange(uint8_t id, const QByteArray &payload, int frames) {
    send(id, payload);
    return read(1 + frames);
}

bool ModuleSession::probe() {
    const uint8_t seq = send(CMD_GET_RSSI);
    const QStringList got = described(read(2));
    const QStringList expected{describe(CMD_ACK, seq), describe(CMD_GET_RSSI, REPLY_FLAG)};
    if (got != expected) {
        qWarning() << "probe" << seq << "got" << got;
    }
    return got == expected;
}

bool ModuleSession::awaitUnacknowledged(int frames) {
    return QTest::qWaitFor([&] { return module_.stats().unacknowledged == frames; },
                           PtyPeer::kTimeoutMs);
}

void ModuleSession::useClock(double seconds) {
    *now_ = seconds;
    module_.setClock([now = now_] { return now->load(); });
}

void ModuleSession::setTime(double seconds) {
    *now_ = seconds;
    module_.pollTimers();
}
