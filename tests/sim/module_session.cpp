// Test sessions against the virtual module.
#include "module_session.h"

#include <QTest>

#include "module_console.h"

using testsupport::Decoded;

QString describe(const Decoded &frame) {
    QByteArray bytes(1, char(frame.cmdId));
    bytes += char(frame.cmdId < FIRST_STATUS_ID ? frame.seq : frame.status);
    return testsupport::toHex(bytes + frame.payload);
}

QByteArray bytesOf(const QString &notation) {
    QByteArray out;
    QByteArray hexDigits;
    bool quoted = false;
    for (int i = 0; i < notation.size(); ++i) {
        const QChar c = notation[i];
        if (c == QLatin1Char('\'')) {
            out += QByteArray::fromHex(hexDigits);
            hexDigits.clear();
            quoted = !quoted;
        } else if (quoted && c == QLatin1Char('\\') && i + 1 < notation.size()) {
            const QChar next = notation[++i];
            out += next == QLatin1Char('r')   ? '\r'
                   : next == QLatin1Char('n') ? '\n'
                                              : next.toLatin1();
        } else if (quoted) {
            out += c.toLatin1();
        } else if (!c.isSpace()) {
            hexDigits += c.toLatin1();
        }
    }
    return out + QByteArray::fromHex(hexDigits);
}

ScriptStep ScriptStep::parse(const QString &line) {
    ScriptStep step;
    const int arrow = line.indexOf(QLatin1String("->"));
    step.action = (arrow < 0 ? line : line.left(arrow)).trimmed();
    if (arrow >= 0) {
        for (const QString &frame : line.mid(arrow + 2).split(QLatin1Char(';'))) {
            step.expected << testsupport::toHex(bytesOf(frame));
        }
    }
    return step;
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
    peer_->write(testsupport::frame(0, seq));
}

QList<Decoded> ModuleSession::read(int count, bool acknowledgeData) {
    const QList<Decoded> frames = peer_->readFrames(count);
    for (const Decoded &f : frames) {
        if (acknowledgeData && f.cmdId >= FIRST_STATUS_ID) {
            acknowledge(f.seq);
        }
    }
    return frames;
}

QList<Decoded> ModuleSession::exchange(uint8_t id, const QByteArray &payload, int frames) {
    send(id, payload);
    return read(1 + frames);
}

bool ModuleSession::probe() {
    const uint8_t seq = send(0xA1);
    const QList<Decoded> frames = read(2);
    const bool answered = frames.size() == 2 && frames[0].cmdId == 0 && frames[0].seq == seq &&
                          frames[1].cmdId == 0xA1 && frames[1].status == REPLY_FLAG;
    if (!answered) {
        QStringList got;
        for (const Decoded &f : frames) {
            got << describe(f);
        }
        qWarning("probe with seq %d got: %s", seq, qPrintable(got.join(QLatin1String(" | "))));
    }
    return answered;
}

bool ModuleSession::awaitUnacknowledged(int frames) {
    return QTest::qWaitFor([&] { return module_.stats().unacknowledged == frames; },
                           PtyPeer::kTimeoutMs);
}

QStringList ModuleSession::perform(const ScriptStep &step) {
    QStringList frames;
    const int count = static_cast<int>(step.expected.size());
    if (step.action.startsWith(QLatin1Char('$'))) {
        const ConsoleReply reply = runConsoleCommand(module_, step.action.mid(1));
        if (!reply.ok) {
            return {QStringLiteral("refused: ") + reply.text};
        }
    } else {
        const QByteArray request = bytesOf(step.action);
        const uint8_t seq = send(static_cast<uint8_t>(request.at(0)), request.mid(1));
        const QList<Decoded> ack = read(1);
        if (ack.size() != 1 || ack[0].cmdId != 0 || ack[0].seq != seq) {
            frames << QStringLiteral("no ACK of %1").arg(seq);
        }
    }
    for (const Decoded &f : read(count)) {
        frames << describe(f);
    }
    return frames;
}
