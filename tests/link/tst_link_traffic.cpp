// The line statistics: frames and bytes each way, rewrites, refusals and spoiled frames, and
// their reset. (The record of each frame is checked through the inspector that shows it.)
#include <QtTest>

#include "link_requests.h"
#include "link_traffic.h"
#include "module_script.h"

using testsupport::frame;

class TestLinkTraffic : public QObject {
    Q_OBJECT

    testsupport::FakeClock clock;

  private slots:
    void countedAndReset() {
        testsupport::resetLink();
        link_get_rssi();
        const QByteArray request = testsupport::drain().join();
        clock.advance(LINK_RETRANSMIT_SECONDS + 1);
        testsupport::drain();  // written again
        const QByteArray nak = frame(CMD_NAK, uint8_t(request[2]));
        QByteArray spoiled = frame(CMD_GET_RSSI, 0x21, REPLY_FLAG, QByteArray(1, 31));
        spoiled[spoiled.size() - 2] = char(spoiled[spoiled.size() - 2] ^ 1);
        link_receive(nak + spoiled);
        testsupport::drain();
        const LinkCounters c = link_snapshot().counters;
        QCOMPARE(QList<quint64>({c.framesSent, c.bytesSent, c.rewrites, c.framesReceived,
                                 c.bytesReceived, c.naksReceived, c.crcErrors}),
                 QList<quint64>(
                     {2, 2u * request.size(), 1, 1, quint64(nak.size() + spoiled.size()), 1, 1}));
        link_reset_statistics();
        QCOMPARE(link_snapshot().counters.bytesSent, quint64(0));
    }
};

QTEST_MAIN(TestLinkTraffic)
#include "tst_link_traffic.moc"
