// Three threads on the link at once, as in the running tool: two queue requests while the
// third stores received frames and runs the engine. Every frame must be accounted for.
#include <QtTest>
#include <atomic>
#include <thread>

#include "frames.h"
#include "link_engine.h"
#include "link_harness.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "link_state.h"
#include "module3g.h"

namespace {

constexpr int kRequestsPerThread = 1000;

// The engine's thread, playing the module as well: each request it writes is acknowledged
// and answered with a reply; the tool's ACKs of those replies are counted.
struct EngineAndModule {
    std::atomic<bool> producersDone{false};
    int requestsWritten = 0;
    int acksWritten = 0;
    int repliesStored = 0;
    int faults = 0;  // QtTest checks are not for other threads: count, then check at the end
    uint8_t moduleSeq = 0x10;

    void store(uint8_t id, uint8_t seq, uint8_t status, QByteArray payload = QByteArray()) {
        LinkMessage m;
        m.cmdId = id;
        m.seq = seq;
        m.status = status;
        m.payload = reinterpret_cast<uint8_t *>(payload.data());
        m.length = uint16_t(payload.size());
        faults += link_store_received(&m) ? 0 : 1;
    }

    void run() {
        for (;;) {
            const bool finished = producersDone.load();
            const QByteArray frame = link_process();
            if (frame.isEmpty()) {
                if (finished) {
                    return;
                }
                std::this_thread::yield();
                continue;
            }
            const auto frames = testsupport::decodeAll(frame);
            if (frames.size() != 1) {
                ++faults;
                continue;
            }
            const auto &f = frames[0];
            if (f.cmdId == CMD_ACK) {
                ++acksWritten;
                continue;
            }
            ++requestsWritten;
            store(CMD_ACK, f.seq, 0);
            moduleSeq = uint8_t(moduleSeq == 255 ? 1 : moduleSeq + 1);
            store(f.cmdId, moduleSeq, REPLY_FLAG, f.cmdId == CMD_GET_RSSI ? QByteArray(1, 42) : "");
            ++repliesStored;
        }
    }
};

}  // namespace

class TestLinkThreads : public QObject {
    Q_OBJECT

  private slots:
    // The notifier delivers to the thread that started the program even when a worker thread
    // is the first to ask for it (the serial worker starts before the window connects).
    void notifierLivesOnTheMainThread() {
        QObject *notifier = nullptr;
        std::thread worker([&notifier] { notifier = link_notifier(); });
        worker.join();
        QCOMPARE(notifier->thread(), QCoreApplication::instance()->thread());
    }

    void everyFrameIsAccountedFor() {
        testsupport::FakeClock clock;  // frozen: nothing is ever due twice
        testsupport::resetLink();

        EngineAndModule engine;
        std::atomic<int> framesQueued{0};
        std::thread rssiThread([&] {
            for (int i = 0; i < kRequestsPerThread; ++i) {
                framesQueued += link_get_rssi();
            }
        });
        std::thread smsThread([&] {
            for (int i = 0; i < kRequestsPerThread; ++i) {
                // With a table this size nothing is refused; a refusal would show as a
                // count mismatch below.
                if (link_sms_send("5551234", "update") > 0) {
                    framesQueued += 3;
                }
            }
        });
        // A queue deeper than the 255 sequence numbers before the engine starts, so that
        // every number stands on several frames at once.
        while (framesQueued.load() < 600) {
            std::this_thread::yield();
        }
        std::thread engineThread([&] { engine.run(); });
        // The window's reads meanwhile: never a torn view of a status.
        for (int i = 0; i < 500; ++i) {
            const uint8_t rssiStatus = link_snapshot().cmdStatus[CMD_GET_RSSI];
            QVERIFY(rssiStatus == CMD_STATUS_IDLE || rssiStatus == CMD_STATUS_PENDING ||
                    rssiStatus == 0);
        }
        rssiThread.join();
        smsThread.join();
        engine.producersDone = true;
        engineThread.join();

        QCOMPARE(engine.faults, 0);
        QCOMPARE(engine.requestsWritten, framesQueued.load());
        QCOMPARE(engine.acksWritten, engine.repliesStored);
        auto s = link_get_state();
        QVERIFY(std::none_of(s->txTable.begin(), s->txTable.end(), [](const TxSlot &t) {
            return t.occupied() && t.state != TxState::Done;
        }));
        QVERIFY(std::none_of(s->rxTable.begin(), s->rxTable.end(),
                             [](const auto &slot) { return bool(slot); }));
        QCOMPARE(s->rssi, 42u);
        for (uint8_t id : {CMD_GET_RSSI, CMD_SMS_NUMBER, CMD_SMS_TEXT, CMD_SMS_SEND}) {
            QCOMPARE(int(s->cmdStatus[id]), 0);
        }
        QCOMPARE(s->counters.repeatsDropped, 0u);
        QCOMPARE(s->counters.rxTableFull, 0u);
    }
};

QTEST_GUILESS_MAIN(TestLinkThreads)
#include "tst_link_threads.moc"
