// The link record's tables: sequence numbers, slot searches with their cursors, full tables.
#include <QSignalSpy>
#include <QtTest>

#include "link_engine.h"
#include "link_harness.h"
#include "link_requests.h"
#include "link_state.h"
#include "module3g.h"

namespace {

uint8_t seqOfSlot(int index) {
    auto s = link_get_state();
    uint8_t id = 0;
    uint8_t seq = 0;
    frame_read_header(s->txTable[index].frame.get(), s->txTable[index].length, &id, &seq);
    return seq;
}

void fillTxTable() {
    for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
        QVERIFY(link_send(0x40, nullptr, 0, 0));
    }
}

void freeTxSlot(int index) {
    auto s = link_get_state();
    s->txTable[index].frame.reset();
    s->txTable[index].length = 0;
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

    testsupport::FakeClock clock;  // the link's time for the whole run, moved by hand

  private slots:
    void init() { testsupport::resetLink(); }

    void initialValues() {
        link_get_rssi();
        link_get_state()->rssi = 3;
        testsupport::resetLink();  // a second init starts over
        auto s = link_get_state();
        QVERIFY(std::all_of(s->cmdStatus.begin(), s->cmdStatus.end(),
                            [](uint8_t v) { return v == CMD_STATUS_IDLE; }));
        QCOMPARE(s->rssi, 99u);
        QCOMPARE(s->reply160Status, 255u);
        QCOMPARE(s->txSeq, uint8_t(1));
        QCOMPARE(s->callEventValue, 0xFFFFFFFFu);
        for (int g = 0; g < GPIO_GROUP_COUNT; ++g) {
            QCOMPARE(s->gpioGroupResult[g], 255u);
            QCOMPARE(s->gpioGroupValue[g], 2u);
        }
        QVERIFY(std::all_of(s->gpioPinValue.begin(), s->gpioPinValue.end(),
                            [](uint32_t v) { return v == 2; }));
        QCOMPARE(QByteArray(s->tarnFirmware.data()), QByteArray("xx.yy.zz"));
        QCOMPARE(QByteArray(s->tarnHardware.data()), QByteArray("BOARD-LOT"));
        QCOMPARE(QByteArray(s->cintFirmware.data()), QByteArray("xx.yyyy"));
        QCOMPARE(QByteArray(s->cintHardware.data()), QByteArray("xxxx-yy"));
        QVERIFY(std::none_of(s->txTable.begin(), s->txTable.end(),
                             [](const TxSlot &t) { return t.occupied(); }));
        QVERIFY(s->notifier == link_notifier());
    }

    void sequenceNumbersRunOneTo255ThenOne() {
        for (int i = 1; i <= 257; ++i) {
            QVERIFY(link_send(0x40, nullptr, 0, 0));
            const uint8_t expected = uint8_t(i <= 255 ? i : i - 255);
            QCOMPARE(seqOfSlot(i - 1), expected);
        }
    }

    void controlFramesKeepTheirNumber() {
        QVERIFY(link_send(CMD_ACK, nullptr, 0, 0x7E));
        const uint8_t size = 16;
        QVERIFY(link_send(CMD_MAX_MESSAGE_SIZE, &size, 1, 0));
        QVERIFY(link_send(0x40, nullptr, 0, 99));
        QCOMPARE(seqOfSlot(0), uint8_t(0x7E));
        QCOMPARE(seqOfSlot(1), uint8_t(0));
        QCOMPARE(seqOfSlot(2), uint8_t(1));
        QCOMPARE(link_get_state()->txSeq, uint8_t(2));
    }

    void fullTransmitTableRefusesQuietly() {
        fillTxTable();
        QSignalSpy queued(link_notifier(), &Module3G::command_queued);
        const uint8_t seqBefore = link_get_state()->txSeq;
        QCOMPARE(link_send(0x40, nullptr, 0, 0), 0);
        QCOMPARE(link_get_rssi(), 0);
        QCOMPARE(queued.size(), 0);
        auto s = link_get_state();
        QCOMPARE(s->txSeq, seqBefore);
        QCOMPARE(s->cmdStatus[161], CMD_STATUS_PENDING);  // still shown as waiting
        QCOMPARE(s->counters.txTableFull, 2u);
    }

    void freeSlotSearchWrapsFromItsCursor() {
        fillTxTable();
        freeTxSlot(7);
        freeTxSlot(4199);
        QCOMPARE(link_find_free_tx_slot(), 4199);
        QCOMPARE(link_get_state()->txAllocCursor, uint16_t(4199));
        QCOMPARE(link_find_free_tx_slot(), 4199);  // a free cursor slot is returned again
        QVERIFY(link_send(0x40, nullptr, 0, 0));
        QCOMPARE(link_find_free_tx_slot(), 7);
        QVERIFY(link_send(0x40, nullptr, 0, 0));
        QCOMPARE(link_find_free_tx_slot(), -1);
        QCOMPARE(link_get_state()->txAllocCursor, uint16_t(7));
    }

    void receivedMessagesLandInOrderAndWrap() {
        {
            auto s = link_get_state();
            s->rxAllocCursor = LINK_SLOT_COUNT - 2;
            s->rxReadCursor = LINK_SLOT_COUNT - 2;
        }
        for (uint8_t seq = 1; seq <= 4; ++seq) {
            const LinkMessage m = message(0x40, seq);
            QCOMPARE(link_store_received(&m), 1);
        }
        QList<int> indexes;
        QList<uint8_t> order;
        for (int i = 0; i < 4; ++i) {
            const int index = link_next_received();
            indexes << index;
            auto s = link_get_state();
            order << s->rxTable[index]->message.seq;
            s->rxTable[index].reset();
        }
        QCOMPARE(indexes, (QList<int>{4198, 4199, 0, 1}));
        QCOMPARE(order, (QList<uint8_t>{1, 2, 3, 4}));
        QCOMPARE(link_next_received(), -1);
    }

    void fullReceiveTableDropsTheMessage() {
        for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
            const LinkMessage m = message(0x40, uint8_t(i % 255 + 1));
            QCOMPARE(link_store_received(&m), 1);
        }
        const LinkMessage extra = message(0x40, 9);
        QCOMPARE(link_store_received(&extra), 0);
        QCOMPARE(link_find_free_rx_slot(), -1);
        QCOMPARE(link_get_state()->counters.rxTableFull, 1u);
    }

    // The scan cursor follows the frame written, so frames go out in queue order and a frame
    // not yet due is stepped over.
    void dueSearchFollowsItsCursor() {
        for (int i = 0; i < 3; ++i) {
            link_send(0x40, nullptr, 0, 0);
        }
        link_get_state()->txScanCursor = 1;
        QCOMPARE(link_find_due_retransmit(), 1);
        link_get_state()->txTable[1].lastSent = clock.now();
        QCOMPARE(link_find_due_retransmit(), 2);
        link_get_state()->txTable[2].lastSent = clock.now();
        QCOMPARE(link_find_due_retransmit(), 0);
        link_get_state()->txTable[0].lastSent = clock.now();
        link_get_state()->txScanCursor = 2;
        QCOMPARE(link_find_due_retransmit(), -1);
        QCOMPARE(link_get_state()->txScanCursor, uint16_t(2));
        clock.advance(11);
        QCOMPARE(link_find_due_retransmit(), 2);
    }

    void pendingControlIsFoundAnywhere() {
        link_send(0x40, nullptr, 0, 0);
        link_get_state()->txAllocCursor = 4000;
        link_send(CMD_ACK, nullptr, 0, 3);
        link_get_state()->txScanCursor = 4100;
        QCOMPARE(link_find_pending_control(), 4000);
        QCOMPARE(link_get_state()->txScanCursor, uint16_t(4100));
    }

    void unencodableFrameLeavesNoTrace() {
        QSignalSpy queued(link_notifier(), &Module3G::command_queued);
        const QByteArray rich(300, '\x7E');
        QCOMPARE(link_send(0x81, reinterpret_cast<const uint8_t *>(rich.constData()),
                           uint16_t(rich.size()), 0),
                 0);
        QCOMPARE(queued.size(), 0);
        auto s = link_get_state();
        QCOMPARE(s->txSeq, uint8_t(1));
        QVERIFY(!s->txTable[0].occupied());
        QCOMPARE(s->counters.encodeFailures, 1u);
    }

    void engineFreesDoneSlots() {
        link_send(CMD_ACK, nullptr, 0, 4);
        QVERIFY(link_process() != nullptr);
        QVERIFY(link_get_state()->txTable[0].done);
        QVERIFY(link_process() == nullptr);
        QVERIFY(!link_get_state()->txTable[0].occupied());
    }
};

QTEST_GUILESS_MAIN(TestLinkTables)
#include "tst_link_tables.moc"
