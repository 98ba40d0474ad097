// pcapng blocks: built little-endian on the way out; on the way in each section's byte order is
// honoured and every length is checked against its block and the file before it is used.
#include "pcapng.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QVector>
#include <QtEndian>
#include <limits>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("Pcapng", text);
}

bool fail(QString *whyNot, const QString &reason) {
    if (whyNot != nullptr) {
        *whyNot = reason;
    }
    return false;
}

constexpr quint32 kSectionHeader = 0x0A0D0D0A;
constexpr quint32 kInterfaceDescription = 1;
constexpr quint32 kEnhancedPacket = 6;
constexpr quint32 kByteOrderMagic = 0x1A2B3C4D;

constexpr quint16 kEndOfOptions = 0;
constexpr quint16 kComment = 1;
constexpr quint16 kIfName = 2;
constexpr quint16 kEpbFlags = 2;
constexpr quint16 kShbUserAppl = 4;
constexpr quint16 kIfTsresol = 9;

constexpr quint32 kInbound = 1;
constexpr quint32 kOutbound = 2;
constexpr quint8 kMicroseconds = 6;

// A longer block is taken for a damaged length field rather than allocated.
constexpr quint32 kMaxBlockLength = 16u << 20;
// Block type, length, and the closing copy of the length.
constexpr quint32 kBlockFraming = 12;

int padded(int size) {
    return (size + 3) & ~3;
}

class BlockWriter {
  public:
    explicit BlockWriter(quint32 type) {
        put32(type);
        put32(0);  // the length, known at finish()
    }
    void put16(quint16 value) { put(value); }
    void put32(quint32 value) { put(value); }
    void put64(quint64 value) { put(value); }
    void putPadded(const QByteArray &bytes) {
        m_data += bytes;
        m_data.append(padded(bytes.size()) - bytes.size(), '\0');
    }
    void option(quint16 code, const QByteArray &value) {
        put16(code);
        put16(quint16(value.size()));
        putPadded(value);
    }
    QByteArray finish() {
        option(kEndOfOptions, QByteArray());
        const quint32 length = quint32(m_data.size()) + 4;
        qToLittleEndian(length, m_data.data() + 4);
        put32(length);
        return m_data;
    }

  private:
    template <typename T>
    void put(T value) {
        char bytes[sizeof(T)];
        qToLittleEndian(value, bytes);
        m_data.append(bytes, int(sizeof(T)));
    }
    QByteArray m_data;
};

QByteArray littleEndian32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

bool writeBlock(QIODevice &out, const QByteArray &block, QString *whyNot) {
    if (out.write(block) != block.size()) {
        return fail(whyNot, tr("The capture could not be written: %1").arg(out.errorString()));
    }
    return true;
}

// Ticks of 10^-e or 2^-e seconds (tsresol bit 7 clear or set) to microseconds, rounded down.
bool ticksToMicroseconds(quint64 ticks, quint8 tsresol, qint64 *timeUs) {
    const quint64 base = tsresol & 0x80 ? 2 : 10;
    quint64 perSecond = 1;
    for (int i = 0; i < (tsresol & 0x7F); ++i) {
        if (perSecond > std::numeric_limits<quint64>::max() / base) {
            return false;
        }
        perSecond *= base;
    }
    constexpr quint64 kMillion = 1000000;
    const quint64 seconds = ticks / perSecond;
    const quint64 rest = ticks % perSecond;
    if (seconds >= quint64(std::numeric_limits<qint64>::max()) / kMillion) {
        return false;
    }
    const quint64 fraction = perSecond <= std::numeric_limits<quint64>::max() / kMillion
                                 ? rest * kMillion / perSecond
                                 : rest / (perSecond / kMillion);
    *timeUs = qint64(seconds * kMillion + fraction);
    return true;
}

struct Interface {
    quint16 linkType = 0;
    quint8 tsresol = kMicroseconds;
};

class Reader {
  public:
    explicit Reader(QIODevice &in) : m_in(in) {}

    bool read(QList<CapturedFrame> *frames) {
        quint32 type = 0;
        QByteArray body;
        bool atEnd = false;
        while (readBlock(&type, &body, &atEnd)) {
            if (atEnd) {
                return true;
            }
            const bool ok = type == kSectionHeader          ? section(body)
                            : type == kInterfaceDescription ? interface(body)
                            : type == kEnhancedPacket       ? packet(body, frames)
                                                            : true;
            if (!ok) {
                return false;
            }
        }
        return false;
    }

    QString error;

  private:
    bool malformed(const QString &what) {
        error = tr("The capture is damaged: %1 (block at byte %2).").arg(what).arg(m_blockStart);
        return false;
    }

    bool cutShort() { return malformed(tr("the file ends inside it")); }

    quint16 get16(const QByteArray &bytes, int at) const {
        return m_bigEndian ? qFromBigEndian<quint16>(bytes.constData() + at)
                           : qFromLittleEndian<quint16>(bytes.constData() + at);
    }
    quint32 get32(const QByteArray &bytes, int at) const {
        return m_bigEndian ? qFromBigEndian<quint32>(bytes.constData() + at)
                           : qFromLittleEndian<quint32>(bytes.constData() + at);
    }

    // Reads exactly `size` bytes onto `bytes`, or says the file ends too soon.
    bool take(QByteArray *bytes, qint64 size) {
        const QByteArray got = m_in.read(size);
        bytes->append(got);
        m_offset += got.size();
        if (got.size() < size) {
            return cutShort();
        }
        return true;
    }

    // One block's body (without type and lengths); atEnd at a clean end of the file.
    bool readBlock(quint32 *type, QByteArray *body, bool *atEnd) {
        m_blockStart = m_offset;
        QByteArray head = m_in.read(8);
        m_offset += head.size();
        // The section header's type reads the same in either byte order; its magic tells which.
        const bool startsSection =
            head.size() == 8 && qFromLittleEndian<quint32>(head.constData()) == kSectionHeader;
        if (!m_sawSection && !startsSection) {
            error = tr("This is not a pcapng file.");
            return false;
        }
        if (head.size() < 8) {
            *atEnd = head.isEmpty();
            return *atEnd || cutShort();
        }
        if (startsSection) {
            if (!take(&head, 4)) {
                return false;
            }
            const quint32 magic = qFromLittleEndian<quint32>(head.constData() + 8);
            if (magic != kByteOrderMagic && magic != qbswap(kByteOrderMagic)) {
                return malformed(tr("its byte-order magic is unknown"));
            }
            m_bigEndian = magic != kByteOrderMagic;
            m_sawSection = true;
        }
        *type = get32(head, 0);
        const quint32 length = get32(head, 4);
        if (length < kBlockFraming + quint32(head.size() - 8) || length % 4 != 0 ||
            length > kMaxBlockLength) {
            return malformed(tr("no block is %1 bytes long").arg(length));
        }
        const qint64 rest = qint64(length) - head.size();
        if (!m_in.isSequential() && rest > m_in.size() - m_in.pos()) {
            return malformed(
                tr("it claims %1 bytes and runs past the end of the file").arg(length));
        }
        QByteArray block = head;
        if (!take(&block, rest)) {
            return false;
        }
        if (get32(block, int(length) - 4) != length) {
            return malformed(tr("its two length fields differ"));
        }
        *body = block.mid(8, int(length - kBlockFraming));
        return true;
    }

    // Calls use(code, value) for each option from `at` on; false when one overruns the block.
    template <typename Use>
    bool options(const QByteArray &body, int at, Use &&use) {
        while (at + 4 <= body.size()) {
            const quint16 code = get16(body, at);
            const int length = get16(body, at + 2);
            if (code == kEndOfOptions) {
                break;
            }
            if (at + 4 + padded(length) > body.size()) {
                return malformed(tr("option %1 runs past its block").arg(code));
            }
            use(code, body.mid(at + 4, length));
            at += 4 + padded(length);
        }
        return true;
    }

    bool section(const QByteArray &body) {
        if (body.size() < 16) {
            return malformed(tr("the section header is too short"));
        }
        if (get16(body, 4) != 1) {
            return malformed(tr("pcapng version %1 is not supported").arg(get16(body, 4)));
        }
        // Interface numbers start again in every section.
        m_interfaces.clear();
        return true;
    }

    bool interface(const QByteArray &body) {
        if (body.size() < 8) {
            return malformed(tr("the interface description is too short"));
        }
        Interface added;
        added.linkType = get16(body, 0);
        const bool ok = options(body, 8, [&added](quint16 code, const QByteArray &value) {
            if (code == kIfTsresol && !value.isEmpty()) {
                added.tsresol = quint8(value.at(0));
            }
        });
        m_interfaces.append(added);
        return ok;
    }

    bool packet(const QByteArray &body, QList<CapturedFrame> *frames) {
        if (body.size() < 20) {
            return malformed(tr("the packet block is too short"));
        }
        const quint32 interfaceId = get32(body, 0);
        if (interfaceId >= quint32(m_interfaces.size())) {
            return malformed(
                tr("the packet names interface %1, which is not described").arg(interfaceId));
        }
        const quint32 captured = get32(body, 12);
        if (captured > quint32(body.size() - 20)) {
            return malformed(tr("the packet's %1 bytes do not fit in its block").arg(captured));
        }
        const Interface &on = m_interfaces.at(int(interfaceId));
        if (on.linkType != KOVA_PCAPNG_LINK_TYPE) {
            return true;
        }
        CapturedFrame frame;
        const quint64 ticks = quint64(get32(body, 4)) << 32 | get32(body, 8);
        if (!ticksToMicroseconds(ticks, on.tsresol, &frame.timeUs)) {
            return malformed(tr("its time stamp is out of range"));
        }
        frame.wire = body.mid(20, int(captured));
        bool haveComment = false;
        const bool ok =
            options(body, 20 + padded(int(captured)), [&](quint16 code, const QByteArray &value) {
                if (code == kEpbFlags && value.size() == 4) {
                    frame.fromModule = (get32(value, 0) & 3) == kInbound;
                } else if (code == kComment && !haveComment) {
                    frame.comment = QString::fromUtf8(value);
                    haveComment = true;
                }
            });
        frames->append(frame);
        return ok;
    }

    QIODevice &m_in;
    qint64 m_offset = 0;
    qint64 m_blockStart = 0;
    bool m_sawSection = false;
    bool m_bigEndian = false;
    QVector<Interface> m_interfaces;
};

}  // namespace

bool writePcapng(QIODevice &out, const QList<CapturedFrame> &frames, QString *whyNot) {
    BlockWriter section(kSectionHeader);
    section.put32(kByteOrderMagic);
    section.put16(1);
    section.put16(0);
    section.put64(std::numeric_limits<quint64>::max());  // -1: the section length is not given
    section.option(kShbUserAppl, QByteArrayLiteral("KOVA Test Tool"));
    BlockWriter interface(kInterfaceDescription);
    interface.put16(KOVA_PCAPNG_LINK_TYPE);
    interface.put16(0);
    interface.put32(0);  // snaplen 0: frames are never cut
    interface.option(kIfName, QByteArrayLiteral("serial"));
    interface.option(kIfTsresol, QByteArray(1, char(kMicroseconds)));
    if (!writeBlock(out, section.finish(), whyNot) ||
        !writeBlock(out, interface.finish(), whyNot)) {
        return false;
    }
    for (const CapturedFrame &frame : frames) {
        const QByteArray comment = frame.comment.toUtf8();
        // Kept to what readPcapng takes back.
        if (comment.size() > 0xFFFF || quint32(frame.wire.size()) > kMaxBlockLength / 2) {
            return fail(whyNot, tr("A frame or its comment is too long for a capture file."));
        }
        if (frame.timeUs < 0) {
            return fail(whyNot,
                        tr("A frame's time lies before 1970, which a capture cannot hold."));
        }
        BlockWriter packet(kEnhancedPacket);
        const quint64 time = quint64(frame.timeUs);
        packet.put32(0);
        packet.put32(quint32(time >> 32));
        packet.put32(quint32(time));
        packet.put32(quint32(frame.wire.size()));
        packet.put32(quint32(frame.wire.size()));
        packet.putPadded(frame.wire);
        packet.option(kEpbFlags, littleEndian32(frame.fromModule ? kInbound : kOutbound));
        if (!comment.isEmpty()) {
            packet.option(kComment, comment);
        }
        if (!writeBlock(out, packet.finish(), whyNot)) {
            return false;
        }
    }
    return true;
}

bool readPcapng(QIODevice &in, QList<CapturedFrame> *frames, QString *whyNot) {
    Reader reader(in);
    QList<CapturedFrame> read;
    if (!reader.read(&read)) {
        return fail(whyNot, reader.error);
    }
    frames->append(read);
    return true;
}
