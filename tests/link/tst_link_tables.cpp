// The link record and its tables: initial values, sequence numbers, slot searches with their
// cursors, full tables, and reading the record while others change it.
#include <QSignalSpy>
#include <QtTest>

#include "link_engine.h"
#include "link_harness.h"
#include "link_requests.h"
#include "link_state.h"
#include "module3g.h"

namespace {

uint8_t seqOfSlot(int index) {
    return link_get_state()->txTable[index].seq;
}

void freeTxSlot(int index) {
    testsupport::editLink([index](LinkState &s) { link_detail::free_tx_slot(s, index); });
}

LinkMessage message(uint8_t id, uint8_t seq) {
    LinkMessage m;
    m.cmdId = id;
    m.seq = seq;
    m.status = 0x80;
    return m;
}

}  // namespace

class TestLinkTables : public QObject {
    Q_OBJECT

    testsupport::FakeClock clock;

  private slots:
    void init() { testsupport::resetLink(); }

    // A second init starts over from the record's one set of initial values.
    void initialValues() {
        link_get_rssi();
        testsupport::editLink([](LinkState &s) {
            s.rssi = 3;
            s.gpioGroupResult[2] = 0;
            s.tarnFirmware[0] = 'Q';
        });
        testsupport::resetLink();
        const LinkSnapshot s = link_snapshot();
        const LinkSnapshot fresh;
        QVERIFY(s.cmdStatus == fresh.cmdStatus && s.rssi == fresh.rssi &&
                s.gpioGroupResult == fresh.gpioGroupResult && s.tarnFirmware == fresh.tarnFirmware);
        auto state = link_get_state();
        QCOMPARE(state->txSeq, uint8_t(1));
        QVERIFY(std::none_of(state->txTable.begin(), state->txTable.end(),
                             [](const TxSlot &t) { return t.occupied(); }));
        QVERIFY(state->notifier == link_notifier());
    }

    void sequenceNumbers() {
        QCOMPARE(link_send(CMD_ACK, nullptr, 0, 0x7E), 1);
        const uint8_t size = 16;
        QCOMPARE(link_send(CMD_MAX_MESSAGE_SIZE, &size, 1, 0), 1);
        QCOMPARE(seqOfSlot(0), uint8_t(0x7E));  // control frames keep the number they are given
        QCOMPARE(seqOfSlot(1), uint8_t(0));
        for (int i = 1; i <= 257; ++i) {
            QCOMPARE(link_send(CMD_CALL_DIAL, nullptr, 0, 99), 1);
            QCOMPARE(seqOfSlot(i + 1), uint8_t(i <= 255 ? i : i - 255));
        }
    }

    void transmitSearchesFollowTheirCursors() {
        while (link_send(CMD_GET_VIN, nullptr, 0, 0) == 1) {
        }
        freeTxSlot(7);
        freeTxSlot(4199);
        QCOMPARE(link_find_free_tx_slot(), 4199);  // from the cursor upward, then from 0
        QCOMPARE(link_send(CMD_GET_VIN, nullptr, 0, 0), 1);
        QCOMPARE(link_find_free_tx_slot(), 7);
        freeTxSlot(1);
        freeTxSlot(2);
        testsupport::editLink([](LinkState &s) {
            for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
                link_detail::tx_written(s, i, 1000);
            }
            s.txScanCursor = 4000;
        });
        QCOMPARE(link_send(CMD_ACK, nullptr, 0, 3), 1);  // into slot 7
        QCOMPARE(link_find_pending_control(), 7);        // found anywhere, cursor unmoved
        QCOMPARE(link_get_state()->txScanCursor, uint16_t(4000));
        QCOMPARE(link_find_due_retransmit(), 7);  // never written: due at once
        QCOMPARE(link_get_state()->txScanCursor, uint16_t(7));
        testsupport::editLink([](LinkState &s) { link_detail::tx_written(s, 7, 1005); });
        QCOMPARE(link_find_due_retransmit(), -1);
        QCOMPARE(link_get_state()->txScanCursor, uint16_t(7));
        clock.advance(11);
        QCOMPARE(link_find_due_retransmit(), 8);  // the next one due after the cursor
    }

    void receivedMessagesLandInOrderAndWrap() {
        testsupport::editLink([](LinkState &s) {
            s.rxAllocCursor = LINK_SLOT_COUNT - 2;
            s.rxReadCursor = LINK_SLOT_COUNT - 2;
        });
        for (uint8_t seq = 1; seq <= 4; ++seq) {
            const LinkMessage m = message(CMD_CALL_DIAL, seq);
            QCOMPARE(link_store_received(&m), 1);
        }
        QList<int> indexes;
        QList<uint8_t> order;
        for (int i = 0; i < 4; ++i) {
            const int index = link_next_received();
            indexes << index;
            order << link_get_state()->rxTable[index]->message.seq;
            testsupport::editLink([index](LinkState &s) { link_detail::take_received(s, index); });
        }
        QCOMPARE(indexes, (QList<int>{4198, 4199, 0, 1}));
        QCOMPARE(order, (QList<uint8_t>{1, 2, 3, 4}));
        QCOMPARE(link_next_received(), -1);

        for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
            const LinkMessage m = message(CMD_CALL_DIAL, uint8_t(i % 255 + 1));
            QCOMPARE(link_store_received(&m), 1);
        }
        const LinkMessage extra = message(CMD_CALL_DIAL, 9);
        QCOMPARE(link_store_received(&extra), 0);
    }

    // Two views in one expression share the lock instead of waiting for each other.
    void viewsNest() {
        link_get_rssi();
        QCOMPARE(link_get_state()->cmdStatus[CMD_GET_RSSI],
                 link_get_state()->cmdStatus[CMD_GET_RSSI]);
    }
};

QTEST_GUILESS_MAIN(TestLinkTables)
#include "tst_link_tables.moc"
