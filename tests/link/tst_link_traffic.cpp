// The traffic record: every frame both ways in the order it crossed the line, with what became
// of it, and the line statistics.
#include <QtTest>

#include "link_requests.h"
#include "link_traffic.h"
#include "module_script.h"

using testsupport::frame;

namespace {

// Each record as "<direction> <id> <outcome>", its outcome as last changed.
QStringList rows() {
    QStringList out;
    QMap<uint64_t, int> index;
    for (const TrafficChange &c : link_traffic_take()) {
        const TrafficRecord &r = c.record;
        if (c.isNew) {
            index[r.id] = out.size();
            out << QStringLiteral("%1 %2 ")
                       .arg(r.fromModule ? "in" : "out")
                       .arg(r.decoded ? QString::number(r.cmdId, 16) : QStringLiteral("-"));
        }
        QString &row = out[index.value(r.id)];
        row = row.section(' ', 0, 1) + ' ' + QLatin1String(traffic_outcome_name(r.outcome));
    }
    return out;
}

}  // namespace

class TestLinkTraffic : public QObject {
    Q_OBJECT

    testsupport::FakeClock clock;

  private slots:
    void init() {
        testsupport::resetLink();
        link_traffic_record(true);
    }

    void everyFrameWithItsOutcome_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("expected");
        // Steps: ask (an RSSI request), ack, nak, reply, repeat, late (11 s pass), spoil.
        QTest::newRow("request, ACK, reply")
            << "ask ack reply" << QStringList{"out a1 ACKed", "in 0 ", "in a1 ACKed", "out 0 "};
        QTest::newRow("rewritten after time-out")
            << "ask late ack"
            << QStringList{"out a1 rewritten after time-out", "out a1 ACKed", "in 0 "};
        QTest::newRow("refused") << "ask nak" << QStringList{"out a1 NAKed", "in 1 "};
        QTest::newRow("repeat and bad CRC")
            << "reply repeat spoil"
            << QStringList{"in a1 ACKed", "out 0 ", "in a1 dropped as a repeat", "out 0 ",
                           "in - bad CRC"};
    }
    void everyFrameWithItsOutcome() {
        QFETCH(QString, script);
        QFETCH(QStringList, expected);
        uint8_t toolSeq = 0;
        for (const QString &step : script.split(' ')) {
            if (step == "ask") {
                link_get_rssi();
            } else if (step == "ack" || step == "nak") {
                link_receive(frame(step == "ack" ? CMD_ACK : CMD_NAK, toolSeq));
            } else if (step == "reply" || step == "repeat") {
                link_receive(frame(CMD_GET_RSSI, 0x20, REPLY_FLAG, QByteArray(1, 31)));
            } else if (step == "late") {
                clock.advance(LINK_RETRANSMIT_SECONDS + 1);
            } else if (step == "spoil") {
                QByteArray bad = frame(CMD_GET_RSSI, 0x21, REPLY_FLAG, QByteArray(1, 31));
                bad[bad.size() - 2] = char(bad[bad.size() - 2] ^ 1);
                link_receive(bad);
            }
            for (const QByteArray &written : testsupport::drain()) {
                toolSeq = uint8_t(written[2]);
            }
        }
        QCOMPARE(rows(), expected);
        const LinkCounters c = link_snapshot().counters;
        QCOMPARE(c.framesSent + c.framesReceived, uint64_t(expected.size() - c.crcErrors));
    }

    void statisticsReset() {
        link_get_rssi();
        testsupport::drain();
        QVERIFY(link_snapshot().counters.bytesSent > 0);
        link_reset_statistics();
        QCOMPARE(link_snapshot().counters.bytesSent, 0u);
    }
};

QTEST_MAIN(TestLinkTraffic)
#include "tst_link_traffic.moc"
