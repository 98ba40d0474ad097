// The line statistics and the record of every frame from the module, as the receive path
// counts and records them whatever chunks the line delivers; their reset.
#include <QtTest>

#include "link_requests.h"
#include "link_traffic.h"
#include "module_script.h"

using testsupport::frame;
using testsupport::hex;

namespace {

// A frame of a status-carrying id whose body holds only id and seq, with a good CRC.
QByteArray withoutStatusByte(uint8_t id, uint8_t seq) {
    const uint8_t body[2] = {id, seq};
    const uint16_t crc = crc16(body, 2);
    return hex("7E") + char(id) + char(seq) + char(crc >> 8) + char(crc & 0xFF) + hex("CE");
}

}  // namespace

class TestLinkTraffic : public QObject {
    Q_OBJECT

    testsupport::FakeClock clock;

  private slots:
    // Each piece, what its record holds ("" for a frame that decoded), and the stream cut in
    // two at every offset: every frame arrives once, whole, and every drop is counted once.
    void everySplitOfAStream() {
        QByteArray badCrc = frame(CMD_GET_RSSI, 0x21, REPLY_FLAG, hex("1F"));
        badCrc[badCrc.size() - 2] = char(badCrc[badCrc.size() - 2] ^ 1);
        const QByteArray overlong = hex("7E") + QByteArray(DECODER_BUFFER_SIZE + 1, '\x11');
        const QList<std::pair<QByteArray, TrafficOutcome>> pieces = {
            {hex("01 9E 7E CE"), TrafficOutcome::None},  // noise, an escaped start among it
            {frame(CMD_GET_RSSI, 0x10, REPLY_FLAG, hex("1F")), TrafficOutcome::None},
            {badCrc, TrafficOutcome::BadCrc},
            {frame(CMD_SMS_TEXT, 0x7E, 0, hex("027E9E")), TrafficOutcome::None},
            {hex("7E 11 9E CE"), TrafficOutcome::CutOff},  // broken off by the next start
            {frame(CMD_ACK, 0x7E), TrafficOutcome::None},
            {hex("7E 00 05 CE"), TrafficOutcome::CutOff},  // too short
            {withoutStatusByte(0x20, 3), TrafficOutcome::CutOff},
            {overlong, TrafficOutcome::Overflow},
            {hex("11 CE"), TrafficOutcome::None},  // the overlong frame's rest: ignored
            {frame(CMD_NAK, 0x22), TrafficOutcome::None},
        };
        QByteArray stream;
        QStringList expected;
        for (const auto &piece : pieces) {
            stream += piece.first;
            if (piece.first.startsWith('\x7E')) {
                expected << piece.first.toHex() + ' ' + traffic_outcome_name(piece.second);
            }
        }
        for (int split = 0; split <= stream.size(); ++split) {
            testsupport::resetLink();
            link_traffic_record(true);
            QCOMPARE(link_receive(stream.left(split)) + link_receive(stream.mid(split)), 4);
            QStringList records;
            for (const TrafficChange &change : link_traffic_take()) {
                records << change.record.wire.toHex() + ' ' +
                               traffic_outcome_name(change.record.outcome);
            }
            QCOMPARE(records, expected);
            const LinkCounters c = link_snapshot().counters;
            QCOMPARE(QList<quint64>({c.framesReceived, c.bytesReceived, c.crcErrors, c.overflows,
                                     c.tooShort, c.cutOff}),
                     QList<quint64>({4, quint64(stream.size()), 1, 1, 2, 1}));
        }
    }

    void sentCountedAndReset() {
        testsupport::resetLink();
        link_get_rssi();
        const QByteArray request = testsupport::drain().join();
        clock.advance(LINK_RETRANSMIT_SECONDS + 1);
        testsupport::drain();  // written again
        link_receive(frame(CMD_NAK, uint8_t(request[2])) + hex("7E 00 05 CE"));
        testsupport::drain();
        LinkCounters c = link_snapshot().counters;
        QCOMPARE(QList<quint64>({c.framesSent, c.bytesSent, c.rewrites, c.naksReceived}),
                 QList<quint64>({2, 2u * request.size(), 1, 1}));
        link_reset_statistics();
        c = link_snapshot().counters;
        QCOMPARE(c.bytesSent + c.naksReceived + c.tooShort, 0u);
    }
};

QTEST_MAIN(TestLinkTraffic)
#include "tst_link_traffic.moc"
