// The serial worker over a real pseudo-terminal, with the virtual module on the other side.
#include <unistd.h>
#include <QtTest>
#include <cerrno>
#include <cstring>

#include "comm_processor.h"
#include "frames.h"
#include "link_harness.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "link_state.h"
#include "module3g.h"
#include "port_diagnosis.h"
#include "pty_line.h"
#include "queued_recorder.h"
#include "virtual_module.h"

using testsupport::hex;

namespace {

constexpr int kIoTimeoutMs = 15000;  // generous: I/O on a loaded machine, never a protocol timer

}  // namespace

class TestCommProcessor : public QObject {
    Q_OBJECT

    testsupport::FakeClock *clock = nullptr;
    VirtualModule *module = nullptr;
    CommProcessor *comm = nullptr;
    QueuedRecorder *opened = nullptr;

    bool openPort(const QString &name) {
        const int before = opened->count();
        emit comm->OpenSerialPort(name);
        if (!QTest::qWaitFor([&] { return opened->count() > before; }, kIoTimeoutMs)) {
            return false;
        }
        return opened->last().value(0).toBool();
    }

    bool closePort() {
        QueuedRecorder closed(comm, &CommProcessor::SerialPortClosed);
        emit comm->DoCloseSerialPort();
        return QTest::qWaitFor([&] { return closed.count() == 1; }, kIoTimeoutMs) &&
               !comm->isPortOpen();
    }

  private slots:
    void initTestCase() { qRegisterMetaType<QSerialPort::SerialPortError>(); }

    void init() {
        clock = new testsupport::FakeClock;
        testsupport::resetLink();
        module = new VirtualModule;
        module->setClock([] { return 1000.0; });  // frozen: the module never repeats itself
        if (!module->start()) {
            QSKIP(qPrintable(QStringLiteral("no pseudo-terminal: %1").arg(module->errorString())));
        }
        comm = new CommProcessor;
        opened = new QueuedRecorder(comm, &CommProcessor::OpenSerialPortDone);
    }
    void cleanup() {
        delete opened;
        delete comm;
        delete module;
        delete clock;
    }

    void smsFramesGoOutInOrderOneSignalEach() {
        QVERIFY(openPort(module->devicePath()));
        QueuedRecorder sent(comm, &CommProcessor::UartMessageSent);
        QueuedRecorder smsSent(module, &VirtualModule::smsSent);
        QVERIFY(link_sms_send("123", "hi"));
        // Besides the three requests, only the ACKs of the module's replies go out.
        auto requestsSent = [&sent] {
            QList<uint8_t> ids;
            for (const QVariantList &call : qAsConst(sent.calls)) {
                for (const auto &frame : testsupport::decodeAll(call.value(0).toByteArray())) {
                    if (frame.cmdId != CMD_ACK) {
                        ids << frame.cmdId;
                    }
                }
            }
            return ids;
        };
        QTRY_COMPARE_WITH_TIMEOUT(requestsSent().size(), 3, kIoTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(smsSent.calls,
                                  (QList<QVariantList>{{QByteArray("123"), QByteArray("hi")}}),
                                  kIoTimeoutMs);
        QCOMPARE(module->snapshot().sentSms.value(0).text, QByteArray("hi"));
        for (const QVariantList &call : qAsConst(sent.calls)) {
            QCOMPARE(testsupport::decodeAll(call.value(0).toByteArray()).size(), 1);
        }
        const QList<uint8_t> requests = requestsSent();
        QCOMPARE(requests, (QList<uint8_t>{CMD_SMS_NUMBER, CMD_SMS_TEXT, CMD_SMS_SEND}));
    }

    // The decoder keeps its state between wake-ups: a frame may arrive in pieces.
    void frameSplitAcrossReads() {
        module->stop();  // the test plays the module by hand on a pty of its own
        PseudoTerminal pty;
        QVERIFY(pty.open());
        QVERIFY(openPort(pty.slavePath()));
        QueuedRecorder woke(comm, &CommProcessor::RxUartDataReady);
        QueuedRecorder received(link_notifier(), &Module3G::command_received);
        const QByteArray reply = testsupport::frame(CMD_GET_RSSI, 0x10, 0x80, hex("2A"));
        for (const QByteArray &piece : {reply.left(1), reply.mid(1, 3), reply.mid(4)}) {
            const int wakes = woke.count();
            QCOMPARE(::write(pty.masterFd(), piece.constData(), size_t(piece.size())),
                     ssize_t(piece.size()));
            QTRY_VERIFY_WITH_TIMEOUT(woke.count() > wakes, kIoTimeoutMs);
        }
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, kIoTimeoutMs);
        QCOMPARE(link_get_state()->rssi, 42u);
    }

    // What an open answers, once, after what came before it. The tool's side of the pty and
    // its lock file go with a closed port and with a destroyed worker.
    void openOutcomes_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<bool>("missing");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("held");  // a port is open afterwards
        QTest::newRow("missing port") << QStringList() << true << false << false;
        QTest::newRow("second open refused") << QStringList{"open"} << false << false << true;
        QTest::newRow("again after close") << QStringList{"open", "close"} << false << true << true;
        QTest::newRow("again after the worker is gone")
            << QStringList{"open", "destroy"} << false << true << true;
    }
    void openOutcomes() {
        QFETCH(QStringList, before);
        QFETCH(bool, missing);
        QFETCH(bool, opens);
        QFETCH(bool, held);
        const QString device = module->devicePath();
        for (const QString &step : before) {
            if (step == "open") {
                QVERIFY(openPort(device));
            } else if (step == "close") {
                QVERIFY(closePort());
            } else {
                delete opened;
                delete comm;
                comm = new CommProcessor;
                opened = new QueuedRecorder(comm, &CommProcessor::OpenSerialPortDone);
            }
        }
        const int answers = opened->count();
        QCOMPARE(openPort(missing ? QStringLiteral("/dev/kova-no-such-port") : device), opens);
        QCOMPARE(comm->isPortOpen(), held);
        if (held) {
            QCOMPARE(comm->portName(), device);
            QCOMPARE(testsupport::ptyLineSettings(device), QStringLiteral("115200 8N1 RTS/CTS"));
        } else {
            QVERIFY(!comm->portErrorText().isEmpty());
        }
        QVERIFY(closePort());  // a round trip through the worker's queue: no second answer
        QCOMPARE(opened->count(), answers + 1);
    }

    void portLossIsReportedOnce() {
        // A path of the test's own: the watch must not find another test's pty of that number.
        QTemporaryDir folder;
        const QString device = folder.filePath(QStringLiteral("kova"));
        QVERIFY(module->createLink(device));
        QVERIFY(openPort(device));
        QueuedRecorder lost(comm, &CommProcessor::SerialPortLost);
        module->stop();
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, kIoTimeoutMs);
        QVERIFY(!comm->isPortOpen());
        // A pty says nothing useful about why: the message names the port and stops there.
        QCOMPARE(lost.last().value(0).toString(),
                 QStringLiteral("Serial port %1 was closed or unplugged.").arg(device));
        // Anything still in flight from the worker is delivered before this answer.
        QVERIFY(!openPort(QStringLiteral("/dev/kova-no-such-port")));
        QCOMPARE(lost.count(), 1);
    }

    void portLossMessage_data() {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("message");
        const QString plain = QStringLiteral("Serial port /dev/ttyUSB0 was closed or unplugged.");
        QTest::newRow("no reason") << QString() << plain;
        QTest::newRow("unknown") << QStringLiteral("Unknown error") << plain;
        QTest::newRow("ioctl on a pty") << QString::fromLocal8Bit(std::strerror(ENOTTY)) << plain;
        QTest::newRow("a reason that helps") << QStringLiteral("Permission denied")
                                             << plain + QStringLiteral(" (Permission denied)");
    }
    void portLossMessage() {
        QFETCH(QString, reason);
        QFETCH(QString, message);
        QCOMPARE(::portLossMessage(QStringLiteral("/dev/ttyUSB0"), reason), message);
    }

    // Every frame of a burst is acknowledged and handled once, with no wait for a tick
    // between acknowledgements.
    void pipelinedBurstIsHandledOnce() {
        // A message size of 204 makes the module cut its response into 203-byte pieces.
        const int pieces = 200;
        const int pieceSize = 203;
        module->setFlowMode(FlowMode::Pipelined);
        module->setSocketResponseSize(pieces * pieceSize);
        QVERIFY(openPort(module->devicePath()));
        QueuedRecorder written(module, &VirtualModule::frameWritten);
        QVERIFY(link_set_max_message_size(204));
        QVERIFY(link_apn_set("internet", "", ""));
        QVERIFY(link_socket_append_payload("GET / HTTP/1.0\r\n\r\n"));
        QVERIFY(link_socket_send("example.org:80", 0, 5000));
        QTRY_COMPARE_WITH_TIMEOUT(int(link_get_state()->cmdStatus[CMD_SOCKET_RESULT]), 0,
                                  kIoTimeoutMs);
        auto s = link_get_state();
        QCOMPARE(s->socketResponseLength, uint32_t(pieces * pieceSize));
        QCOMPARE(s->socketResponseDropped, 0u);
        QCOMPARE(s->counters.repeatsDropped, 0u);
        // The ACKs of the last frames may still be on their way to the module.
        QTRY_COMPARE_WITH_TIMEOUT(module->stats().unacknowledged, 0, kIoTimeoutMs);
        QCOMPARE(module->stats().link.retransmissions, 0u);
        auto responsePieces = [&written] {
            int count = 0;
            for (const QVariantList &c : qAsConst(written.calls)) {
                for (const auto &f : testsupport::decodeAll(c.value(3).toByteArray())) {
                    count += f.cmdId == CMD_SOCKET_PAYLOAD && !(f.status & REPLY_FLAG) ? 1 : 0;
                }
            }
            return count;
        };
        // The pieces and the opening empty one; the module's signals trail the link's state.
        QTRY_COMPARE_WITH_TIMEOUT(responsePieces(), pieces + 1, kIoTimeoutMs);
    }
};

QTEST_GUILESS_MAIN(TestCommProcessor)
#include "tst_comm_processor.moc"
