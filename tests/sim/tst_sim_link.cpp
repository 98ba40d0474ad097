// The virtual module's protocol duties over its real pty: acknowledgements, repeats, its own
// sequence numbers and retransmission (on a moved clock), stop-and-wait and pipelined output,
// the line faults it injects, a restart, and its program.
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "module_console.h"
#include "module_session.h"
#include "payload_fields.h"

using testsupport::frame;

namespace {
// An id the protocol gives no meaning.
constexpr uint8_t kNoSuchCommand = 0xFF;
}  // namespace

class TestSimLink : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        const QString why = ptyUnavailable();
        if (!why.isEmpty()) {
            QSKIP(qPrintable(QStringLiteral("no pseudo-terminal: %1").arg(why)));
        }
    }

    void acknowledgementRules_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("withholdAcks");
        QTest::addColumn<QStringList>("answer");

        const QByteArray piece = textField("abc");
        const QByteArray imei = frame(CMD_GET_IMEI, 0x40);
        const QString ack = describe(CMD_ACK, 0x40);
        QTest::newRow("request") << frame(CMD_SOCKET_PAYLOAD, 0x40, 0, piece) << false
                                 << QStringList{ack, describe(CMD_SOCKET_PAYLOAD, REPLY_FLAG)};
        QTest::newRow("refused id")
            << frame(CMD_GET_RSSI, 0x40) << false << QStringList{describe(CMD_NAK, 0x40)};
        QTest::newRow("tool's reply, acknowledged only")
            << frame(CMD_SOCKET_PAYLOAD, 0x40, REPLY_FLAG, piece) << false << QStringList{ack};
        QTest::newRow("id without a meaning")
            << frame(kNoSuchCommand, 0x40) << false << QStringList{ack};
        QTest::newRow("ack of nothing") << frame(CMD_ACK, 0x40) << false << QStringList();
        // The tool's rewrite of a request whose ACK was withheld is still a repeat.
        QTest::newRow("ACKs withheld, the tool repeating")
            << imei + imei << true << QStringList{describe(CMD_GET_IMEI, REPLY_FLAG)};
    }

    void acknowledgementRules() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, withholdAcks);
        QFETCH(QStringList, answer);
        QVERIFY(command_name(kNoSuchCommand) == nullptr);
        ModuleSession session;
        QVERIFY(session.ready());
        session.module().setNakIds({CMD_GET_RSSI});
        session.module().setWithholdAcks(withholdAcks);
        session.peer().write(bytes);
        QCOMPARE(described(session.read(answer.size())), answer);
        session.module().setNakIds({});
        session.module().setWithholdAcks(false);
        QVERIFY(session.probe());  // nothing else came
        QCOMPARE(session.module().stats().link.acksWithheld, withholdAcks ? 2u : 0u);
    }

    void repeatIsAnsweredAgainButCarriedOutOnce_data() {
        QTest::addColumn<int>("between");   // tool frames handled before the rewrite
        QTest::addColumn<double>("later");  // seconds on the module's clock before the rewrite
        QTest::addColumn<QByteArray>("rewrite");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<bool>("repeat");
        QTest::addColumn<QByteArray>("socketPayload");

        const QByteArray abc = textField("abc");
        QTest::newRow("written again at once")
            << 0 << 0.0 << abc << false << true << QByteArray("abc");
        QTest::newRow("rewritten 60 s later")
            << 3 << 60.0 << abc << false << true << QByteArray("abc");
        QTest::newRow("equal frame over 60 s later")
            << 0 << 60.5 << abc << false << false << QByteArray("abcabc");
        QTest::newRow("equal frame after 64 others")
            << 64 << 0.0 << abc << false << false << QByteArray("abcabc");
        QTest::newRow("same number, other payload")
            << 0 << 0.0 << textField("xyz") << false << false << QByteArray("abcxyz");
        QTest::newRow("refused frame rewritten")
            << 3 << 10.0 << abc << true << true << QByteArray();
    }

    void repeatIsAnsweredAgainButCarriedOutOnce() {
        QFETCH(int, between);
        QFETCH(double, later);
        QFETCH(QByteArray, rewrite);
        QFETCH(bool, refused);
        QFETCH(bool, repeat);
        QFETCH(QByteArray, socketPayload);
        ModuleSession session;
        QVERIFY(session.ready());
        session.useClock(1000.0);
        session.module().setNakIds(refused ? QSet<quint8>{CMD_SOCKET_PAYLOAD} : QSet<quint8>{});
        const uint8_t seq = session.send(CMD_SOCKET_PAYLOAD, textField("abc"));
        const QString answer = describe(refused ? CMD_NAK : CMD_ACK, seq);
        QCOMPARE(described(session.read(refused ? 1 : 2)).value(0), answer);
        for (int i = 0; i < between; ++i) {
            QCOMPARE(session.exchange(CMD_GET_RSSI, QByteArray(), 1).size(), 2);
        }
        QVERIFY(session.awaitUnacknowledged(0));
        session.setTime(1000.0 + later);

        session.peer().write(frame(CMD_SOCKET_PAYLOAD, seq, 0, rewrite));
        QCOMPARE(described(session.read(repeat ? 1 : 2)).value(0), answer);
        QVERIFY(session.probe());
        QCOMPARE(session.module().stats().link.repeatsSeen, repeat ? 1u : 0u);
        QCOMPARE(session.module().snapshot().socketPayload, socketPayload);
    }

    void ownSequenceNumbers_data() {
        QTest::addColumn<int>("next");      // set first; -1 keeps the module's own start
        QTest::addColumn<int>("answered");  // a tool frame with this number is answered first
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QList<int>>("expected");

        const int first = ModuleLink::kFirstSequence;
        QTest::newRow("apart from the tool's by default")
            << -1 << -1 << false << QList<int>{first, first + 1, first + 2};
        QTest::newRow("255 is followed by 1") << 254 << -1 << false << QList<int>{254, 255, 1};
        QTest::newRow("0 is never used") << 0 << -1 << false << QList<int>{1, 2, 3};
        QTest::newRow("not the number just acknowledged")
            << 32 << 32 << false << QList<int>{33, 34, 35};
        QTest::newRow("not the number just refused") << 32 << 32 << true << QList<int>{33, 34, 35};
        QTest::newRow("nor at the wrap") << 255 << 255 << false << QList<int>{1, 2, 3};
    }

    void ownSequenceNumbers() {
        QFETCH(int, next);
        QFETCH(int, answered);
        QFETCH(bool, refused);
        QFETCH(QList<int>, expected);
        ModuleSession session;
        QVERIFY(session.ready());
        if (next >= 0) {
            session.module().setNextSequence(static_cast<quint8>(next));
        }
        if (answered >= 0) {
            session.module().setNakIds(refused ? QSet<quint8>{CMD_SMS_NUMBER} : QSet<quint8>{});
            const auto seq = static_cast<uint8_t>(answered);
            session.peer().write(frame(CMD_SMS_NUMBER, seq, REPLY_FLAG));
            QCOMPARE(described(session.read(1)),
                     QStringList{describe(refused ? CMD_NAK : CMD_ACK, seq)});
        }
        QVERIFY(session.module().injectIncomingSms("1", "d", "t"));
        QList<int> seqs;
        for (const DecodedFrame &f : session.read(3)) {
            seqs << f.seq;
        }
        QCOMPARE(seqs, expected);
    }

    void unansweredFrameIsWrittenAgainEveryTenSeconds_data() {
        QTest::addColumn<uint8_t>("answerId");
        QTest::newRow("until acknowledged") << uint8_t(CMD_ACK);
        QTest::newRow("until refused") << uint8_t(CMD_NAK);
    }

    void unansweredFrameIsWrittenAgainEveryTenSeconds() {
        QFETCH(uint8_t, answerId);
        ModuleSession session;
        QVERIFY(session.ready());
        session.useClock(1000.0);
        session.send(CMD_GET_RSSI);
        const QList<DecodedFrame> original = session.read(2, false);
        QCOMPARE(original.size(), 2);

        session.setTime(1010.0);  // exactly ten seconds: not yet
        QVERIFY(session.probe());
        QVERIFY(session.awaitUnacknowledged(1));
        session.setTime(1010.5);
        QList<DecodedFrame> again = session.read(1, false);
        QCOMPARE(again.value(0).seq, original[1].seq);
        QCOMPARE(again.value(0).payload, original[1].payload);

        session.setTime(1020.0);  // counted from the last write
        QVERIFY(session.probe());
        QVERIFY(session.awaitUnacknowledged(1));
        session.setTime(1021.0);
        again = session.read(1, false);
        QCOMPARE(again.value(0).seq, original[1].seq);
        session.peer().write(frame(answerId, original[1].seq));

        QVERIFY(session.awaitUnacknowledged(0));
        session.setTime(2000.0);
        QVERIFY(session.probe());
        QCOMPARE(session.module().stats().link.retransmissions, 2u);
        QCOMPARE(session.module().stats().link.naksReceived, answerId == CMD_NAK ? 1u : 0u);
    }

    void flowModes_data() {
        QTest::addColumn<bool>("stopAndWait");
        QTest::addColumn<int>("window");
        QTest::addColumn<QStringList>("order");

        const QString number = describe(CMD_SMS_NUMBER, 0);
        const QString text = describe(CMD_SMS_TEXT, 0);
        const QString end = describe(CMD_SMS_SEND, 0);
        const QString ack = describe(CMD_ACK, 1);
        const QString reply = describe(CMD_GET_RSSI, REPLY_FLAG);
        QTest::newRow("pipelined") << false << 3 << QStringList{number, text, end, ack, reply};
        QTest::newRow("stop-and-wait") << true << 1 << QStringList{number, ack, text, end, reply};
    }

    void flowModes() {
        QFETCH(bool, stopAndWait);
        QFETCH(int, window);
        QFETCH(QStringList, order);
        ModuleSession session;
        QVERIFY(session.ready());
        session.module().setFlowMode(stopAndWait ? FlowMode::StopAndWait : FlowMode::Pipelined);
        QVERIFY(session.module().injectIncomingSms("1", "d", "t"));

        QList<DecodedFrame> waiting = session.read(window, false);
        QCOMPARE(session.module().stats().unacknowledged, window);
        QStringList got = described(waiting);
        // An ACK never waits for the flow; a reply queues behind the frames before it.
        session.send(CMD_GET_RSSI);
        got << described(session.read(1, false));
        while (got.size() < order.size() && !waiting.isEmpty()) {
            session.acknowledge(waiting.takeFirst().seq);
            const QList<DecodedFrame> next = session.read(1, false);
            waiting += next;
            got << described(next);
        }
        QCOMPARE(got, order);
    }

    void lineFaultsAreDeterministic_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("decoded");
        const QString reply = describe(CMD_GET_RSSI, REPLY_FLAG);
        const QStringList acks{describe(CMD_ACK, 1), describe(CMD_ACK, 2)};
        QTest::newRow("flip a bit of every 2nd frame") << "flip" << acks;
        QTest::newRow("drop a byte of every 2nd frame") << "drop" << acks;
        QTest::newRow("repeat every 2nd frame")
            << "repeat" << QStringList{acks[0], reply, reply, acks[1], reply, reply};
    }

    void lineFaultsAreDeterministic() {
        QFETCH(QString, fault);
        QFETCH(QStringList, decoded);
        QList<QByteArray> wires;
        for (int run = 0; run < 2; ++run) {
            ModuleSession session;
            QVERIFY(session.ready());
            QVERIFY(runConsoleCommand(session.module(), fault + QStringLiteral(" 2")).ok);
            QSignalSpy written(&session.module(), &VirtualModule::frameWritten);
            for (int request = 1; request <= 2; ++request) {
                session.send(CMD_GET_RSSI);
                QTRY_COMPARE_WITH_TIMEOUT(written.count(), 2 * request, PtyPeer::kTimeoutMs);
            }
            QCOMPARE(described(session.read(decoded.size(), false)), decoded);
            wires << written.at(1).at(3).toByteArray() + written.at(3).at(3).toByteArray();
        }
        QCOMPARE(wires[0], wires[1]);  // the same seed spoils the same bytes
    }

    void restartKeepsTheStateOnANewLine() {
        ModuleSession session;
        QVERIFY(session.ready());
        VirtualModule &module = session.module();
        module.setRssi(12);
        module.stop();
        QVERIFY(session.peer().hungUp());

        QVERIFY(module.start());
        PtyPeer peer(module.devicePath());
        QVERIFY(peer.isOpen());
        peer.write(frame(CMD_GET_RSSI, 9));
        const QList<DecodedFrame> frames = peer.readFrames(2);
        QCOMPARE(described(frames),
                 (QStringList{describe(CMD_ACK, 9), describe(CMD_GET_RSSI, REPLY_FLAG)}));
        QCOMPARE(frames[1].payload, QByteArray(1, 12));
    }

    void programRunsAndQuits() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString link = dir.filePath(QStringLiteral("kova"));
        QProcess program;
        program.start(QStringLiteral(KOVA_MODULE_SIM_PROGRAM),
                      {QStringLiteral("--link"), link, QStringLiteral("--nak"),
                       QString::number(CMD_GET_RSSI)});
        QVERIFY(program.waitForStarted(10000));
        while (!program.canReadLine() && program.waitForReadyRead(10000)) {
        }
        const QString device = QString::fromLocal8Bit(program.readLine()).trimmed();
        QCOMPARE(QFileInfo(link).symLinkTarget(), device);
        {
            PtyPeer peer(link);  // the program answers on the linked path, with its flags in force
            QVERIFY(peer.isOpen());
            peer.write(frame(CMD_GET_RSSI, 1));
            QCOMPARE(described(peer.readFrames(1)), QStringList{describe(CMD_NAK, 1)});
        }
        program.write("quit\n");
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestSimLink)
#include "tst_sim_link.moc"
