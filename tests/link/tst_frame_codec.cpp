// Frame codec: exact bytes on the wire, the decoder's state machine, and its limits.
#include <QtTest>

#include "frame_codec.h"
#include "frames.h"

using testsupport::hex;
using testsupport::toHex;

namespace {

struct Fed {
    QList<int> results;  // one per byte fed
    QList<testsupport::Decoded> frames;
};

// Feeds bytes to a fresh decoder, taking each completed frame at once as the receive path does.
Fed feed(const QByteArray &bytes, uint16_t capacity = DECODER_BUFFER_SIZE) {
    static uint8_t buffer[1024];
    FrameDecoder decoder;
    frame_decoder_init(&decoder, buffer, capacity);
    Fed fed;
    for (char c : bytes) {
        const int result = frame_decoder_put(&decoder, static_cast<uint8_t>(c));
        fed.results.append(result);
        LinkMessage m;
        if (result == FRAME_COMPLETE && frame_decoder_take(&decoder, &m) == FRAME_OK) {
            fed.frames.append({m.cmdId, m.seq, m.status,
                               QByteArray(reinterpret_cast<const char *>(m.payload), m.length)});
        }
    }
    return fed;
}

QByteArray escapeRich(int size) {
    static const char specials[] = {'\x7E', '\x9E', '\xCE', '\x01'};
    QByteArray out;
    for (int i = 0; i < size; ++i) {
        out.append(specials[i % 4]);
    }
    return out;
}

}  // namespace

class TestFrameCodec : public QObject {
    Q_OBJECT

  private slots:
    void crcCheckValues_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("crc");
        QTest::newRow("check string 123456789") << QByteArray("123456789") << 0x29B1;
        QTest::newRow("abc") << QByteArray("abc") << 0x514A;
        QTest::newRow("empty keeps the initial value") << QByteArray() << 0xFFFF;
    }
    void crcCheckValues() {
        QFETCH(QByteArray, input);
        QFETCH(int, crc);
        QCOMPARE(int(crc16(reinterpret_cast<const uint8_t *>(input.constData()),
                           uint32_t(input.size()))),
                 crc);
    }

    void knownFrames_data() {
        QTest::addColumn<int>("cmdId");
        QTest::addColumn<int>("seq");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("rssi request") << 0xA1 << 1 << 0 << QByteArray() << hex("7EA10100 7501CE");
        QTest::newRow("ack of 5") << 0 << 5 << 0 << QByteArray() << hex("7E00054DAACE");
        QTest::newRow("escaped seq 7E")
            << 0x60 << 0x7E << 0 << hex("03313233") << hex("7E609E7E00033132338B65CE");
        QTest::newRow("max message size") << 2 << 0 << 0 << hex("40") << hex("7E020040EA38CE");
        QTest::newRow("nak of 1") << 1 << 1 << 0 << QByteArray() << hex("7E01013E1FCE");
    }
    void knownFrames() {
        QFETCH(int, cmdId);
        QFETCH(int, seq);
        QFETCH(int, status);
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, wire);

        QCOMPARE(toHex(testsupport::frame(uint8_t(cmdId), uint8_t(seq), uint8_t(status), payload)),
                 toHex(wire));

        const Fed fed = feed(wire);
        QCOMPARE(fed.results.count(FRAME_OK), wire.size() - 1);
        QCOMPARE(fed.results.last(), int(FRAME_COMPLETE));
        QCOMPARE(fed.frames.size(), 1);
        QCOMPARE(int(fed.frames[0].cmdId), cmdId);
        QCOMPARE(int(fed.frames[0].seq), seq);
        QCOMPARE(int(fed.frames[0].status), cmdId >= 16 ? status : 0);
        QCOMPARE(fed.frames[0].payload, payload);
    }

    // Every sequence number and payloads from empty to the decoder's limit, with the escaped
    // bytes at every position, come back unchanged; a byte more is not delivered.
    void roundTripSweep() {
        uint8_t out[1024];
        for (int size = 0; size <= DECODER_BUFFER_SIZE - 4; size += 1) {
            const QByteArray payload = escapeRich(size).right(size);
            for (int seq = 0; seq < 256; seq += (size == 7 ? 1 : 37)) {
                for (uint8_t id : {uint8_t(0), uint8_t(0x21), uint8_t(0xCE)}) {
                    LinkMessage m;
                    m.cmdId = id;
                    m.seq = uint8_t(seq);
                    m.status = uint8_t(0x80 | (size & 0x7F));
                    m.payload = reinterpret_cast<uint8_t *>(const_cast<char *>(payload.data()));
                    m.length = uint16_t(size);
                    uint16_t length = 0;
                    QCOMPARE(frame_encode(&m, out, sizeof out, &length), int(FRAME_OK));
                    const Fed fed = feed(QByteArray(reinterpret_cast<char *>(out), length));
                    const bool fits = size + (id >= 16 ? 3 : 2) + 2 <= DECODER_BUFFER_SIZE;
                    QCOMPARE(fed.frames.size(), fits ? 1 : 0);
                    if (fits) {
                        QCOMPARE(fed.frames[0].seq, uint8_t(seq));
                        QCOMPARE(fed.frames[0].status, id >= 16 ? m.status : uint8_t(0));
                        QCOMPARE(fed.frames[0].payload, payload);
                    }
                }
            }
        }
    }

    void endMarkerResults_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("result");
        QTest::newRow("no body") << hex("7ECE") << int(FRAME_TOO_SHORT);
        QTest::newRow("two body bytes") << hex("7E0005CE") << int(FRAME_TOO_SHORT);
        QTest::newRow("three body bytes") << hex("7E00054DCE") << int(FRAME_TOO_SHORT);
        QTest::newRow("wrong crc") << hex("7E00054DABCE") << int(FRAME_BAD_CRC);
        QTest::newRow("good") << hex("7E00054DAACE") << int(FRAME_COMPLETE);
    }
    void endMarkerResults() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, result);
        QCOMPARE(feed(bytes).results.last(), result);
    }

    // CRC-16 catches every single-bit error: no flipped frame is ever delivered, and where
    // the flip does not create a marker the end marker reports the bad CRC.
    void everyFlippedBitIsRejected() {
        const QByteArray good = testsupport::frame(0x60, 0x7E, 0, hex("03313233CE9E"));
        for (int i = 1; i < good.size() - 1; ++i) {
            for (int bit = 0; bit < 8; ++bit) {
                QByteArray bad = good;
                bad[i] = char(bad[i] ^ (1 << bit));
                const Fed fed = feed(bad);
                QVERIFY2(fed.frames.isEmpty(), qPrintable(toHex(bad)));
                const auto original = uint8_t(good[i]);
                const auto flipped = uint8_t(bad[i]);
                if (frame_escaped_size(original) == 1 && frame_escaped_size(flipped) == 1 &&
                    uint8_t(good[i - 1]) != FRAME_ESCAPE) {
                    QCOMPARE(fed.results.last(), int(FRAME_BAD_CRC));
                }
            }
        }
    }

    void overflowDropsTheFrameUntilTheNextStart() {
        const uint16_t capacity = 32;
        QByteArray longBody = hex("7E") + QByteArray(capacity + 5, '\x11') + hex("CE");
        const QByteArray stream = longBody + hex("7E00054DAACE");
        const Fed fed = feed(stream, capacity);
        QCOMPARE(fed.results.at(1 + capacity), int(FRAME_NO_ROOM));
        QVERIFY(!fed.results.mid(1, capacity).contains(FRAME_NO_ROOM));
        QCOMPARE(fed.frames.size(), 1);
        QCOMPARE(fed.frames[0].seq, uint8_t(5));
    }

    void completeFrameWaitsToBeTaken() {
        uint8_t buffer[64];
        FrameDecoder d;
        frame_decoder_init(&d, buffer, sizeof buffer);
        LinkMessage m;
        QCOMPARE(frame_decoder_take(&d, &m), int(FRAME_NOT_READY));
        for (char c : hex("7E00054DAACE")) {
            frame_decoder_put(&d, uint8_t(c));
        }
        QCOMPARE(frame_decoder_put(&d, 0x7E), int(FRAME_COMPLETE));  // ignored while waiting
        QCOMPARE(frame_decoder_take(&d, &m), int(FRAME_OK));
        QCOMPARE(d.state, uint32_t(Hunt));
        QCOMPARE(frame_decoder_take(&d, &m), int(FRAME_NOT_READY));
    }

    void decoderMisuse() {
        uint8_t buffer[64];
        FrameDecoder d;
        LinkMessage m;
        QCOMPARE(frame_decoder_init(&d, buffer, 31), int(FRAME_BAD_ARGUMENT));
        QCOMPARE(frame_decoder_put(&d, 0x7E), int(FRAME_NOT_INITIALISED));
        QCOMPARE(frame_decoder_take(&d, &m), int(FRAME_NOT_INITIALISED));
        QCOMPARE(frame_decoder_init(&d, nullptr, 64), int(FRAME_BAD_ARGUMENT));
        QCOMPARE(frame_decoder_init(&d, buffer, 32), int(FRAME_OK));
        QCOMPARE(frame_decoder_take(&d, nullptr), int(FRAME_BAD_ARGUMENT));
        d.state = 9;
        QCOMPARE(frame_decoder_put(&d, 0x7E), int(FRAME_BAD_STATE));
    }

    // Every buffer shorter than the frame fails with no room and leaves the length alone.
    void encodeIntoSmallBuffers() {
        const QByteArray payload = hex("7E9ECE01");
        LinkMessage m{0x60, 0x7E, 0,
                      reinterpret_cast<uint8_t *>(const_cast<char *>(payload.constData())),
                      uint16_t(payload.size())};
        uint8_t out[64];
        uint16_t full = 0;
        QCOMPARE(frame_encode(&m, out, sizeof out, &full), int(FRAME_OK));
        for (uint16_t capacity = 0; capacity < full; ++capacity) {
            uint16_t length = 777;
            QCOMPARE(frame_encode(&m, out, capacity, &length), int(FRAME_NO_ROOM));
            QCOMPARE(length, uint16_t(777));
        }
        uint16_t length = 0;
        QCOMPARE(frame_encode(&m, out, full, &length), int(FRAME_OK));
        QCOMPARE(length, full);
        QCOMPARE(frame_encode(nullptr, out, 64, &length), int(FRAME_BAD_ARGUMENT));
        QCOMPARE(frame_encode(&m, nullptr, 64, &length), int(FRAME_BAD_ARGUMENT));
        QCOMPARE(frame_encode(&m, out, 64, nullptr), int(FRAME_BAD_ARGUMENT));
        QVERIFY(frame_worst_case_size(0x60, 0, m.payload, m.length) >= full);
    }
};

QTEST_APPLESS_MAIN(TestFrameCodec)
#include "tst_frame_codec.moc"
