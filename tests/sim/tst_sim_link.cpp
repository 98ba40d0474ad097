// The virtual module's protocol duties over its real pty: acknowledgements, repeats, its own
// sequence numbers and retransmission (on a replaced clock), stop-and-wait and pipelined
// output, every fault it can inject, wire pacing, and its console.
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>

#include "module_console.h"
#include "module_session.h"
#include "wire_schedule.h"

using testsupport::Decoded;
using testsupport::frame;
using testsupport::hex;

namespace {

QStringList described(const QList<Decoded> &frames) {
    QStringList out;
    for (const Decoded &f : frames) {
        out << describe(f);
    }
    return out;
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

int hammingDistance(const QByteArray &a, const QByteArray &b) {
    int bits = 0;
    for (int i = 0; i < qMin(a.size(), b.size()); ++i) {
        bits += __builtin_popcount(static_cast<uint8_t>(a[i] ^ b[i]));
    }
    return bits;
}

}  // namespace

class TestSimLink : public QObject {
    Q_OBJECT

  private slots:
    void answersTheWorkedExchangeByteForByte();
    void acknowledgementRules_data();
    void acknowledgementRules();
    void repeatIsAnsweredAgainButCarriedOutOnce_data();
    void repeatIsAnsweredAgainButCarriedOutOnce();
    void ownSequenceNumbers_data();
    void ownSequenceNumbers();
    void unacknowledgedFrameIsWrittenAgainAfterTenSeconds();
    void toolAnswerEndsRetransmission_data();
    void toolAnswerEndsRetransmission();
    void pipelinedModeWritesABurst();
    void stopAndWaitHoldsOneFrameAtATime();
    void nakOfChosenIds_data();
    void nakOfChosenIds();
    void withheldAcksLeaveTheToolRepeating();
    void lineFaults_data();
    void lineFaults();
    void sameSeedSameDamage();
    void wireSchedule_data();
    void wireSchedule();
    void pacedOutputArrivesWhole();
    void restartKeepsTheStateOnANewLine();
    void consoleCommands_data();
    void consoleCommands();
    void consoleSetsFaults();
    void programRunsAndQuits();
};

void TestSimLink::answersTheWorkedExchangeByteForByte() {
    ModuleSession session;
    QVERIFY(session.ready());
    session.peer().write(hex("7E A1 01 00 75 01 CE"));
    QCOMPARE(testsupport::toHex(session.peer().readBytes(14)),
             QStringLiteral("7E 00 01 0D 2E CE 7E A1 10 80 1F A3 27 CE"));
}

void TestSimLink::acknowledgementRules_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("answer");

    QTest::newRow("request") << frame(0xA4, 0x40) << QStringList{"00 40", "A4 80 2F 1C"};
    QTest::newRow("unknown id is acknowledged only") << frame(200, 0x40) << QStringList{"00 40"};
    QTest::newRow("module-started id from the tool")
        << frame(67, 0x40, 0, hex("000000")) << QStringList{"00 40"};
    QTest::newRow("tool's reply to an incoming sms")
        << frame(0x60, 0x40, REPLY_FLAG) << QStringList{"00 40"};
    QTest::newRow("ack of nothing") << frame(0, 0x40) << QStringList();
    QTest::newRow("nak of nothing") << frame(1, 0x40) << QStringList();
    QTest::newRow("maximum message size") << frame(2, 0, 0, hex("40")) << QStringList();
    QTest::newRow("unused control id") << frame(15, 0x40) << QStringList();
    QByteArray spoiled = frame(0xA4, 0x40);
    spoiled[3] = char(spoiled[3] ^ 0x01);
    QTest::newRow("bad crc") << spoiled << QStringList();
    QTest::newRow("status byte missing") << hex("7E 20 40 9B 5E CE") << QStringList();
}

void TestSimLink::acknowledgementRules() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, answer);
    ModuleSession session;
    QVERIFY(session.ready());
    session.peer().write(bytes);
    const uint8_t probe = session.send(0xA1);
    // The probe's answer may overtake the row's replies but not its ACK: compare as sets.
    const QStringList expected =
        answer + QStringList{QStringLiteral("00 %1").arg(probe, 2, 16, QLatin1Char('0')),
                             QStringLiteral("A1 80 1F")};
    QCOMPARE(sorted(described(session.read(expected.size()))), sorted(expected));
    QVERIFY(session.probe());
}

void TestSimLink::repeatIsAnsweredAgainButCarriedOutOnce_data() {
    QTest::addColumn<uint8_t>("id");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("rejected");
    QTest::addColumn<int>("frames");

    QTest::newRow("socket payload piece") << uint8_t(0x81) << hex("03 616263") << false << 1;
    QTest::newRow("dial") << uint8_t(0x40) << bytesOf("00 01'5'") << false << 4;
    QTest::newRow("rejected frame") << uint8_t(0x81) << hex("03 616263") << true << 0;
}

void TestSimLink::repeatIsAnsweredAgainButCarriedOutOnce() {
    QFETCH(uint8_t, id);
    QFETCH(QByteArray, payload);
    QFETCH(bool, rejected);
    QFETCH(int, frames);
    ModuleSession session;
    QVERIFY(session.ready());
    if (rejected) {
        session.module().setNakIds({id});
    }
    const QString answer = rejected ? QStringLiteral("01 50") : QStringLiteral("00 50");

    session.peer().write(frame(id, 0x50, 0, payload));
    const QList<Decoded> first = session.read(1 + frames);
    QCOMPARE(first.size(), 1 + frames);
    QCOMPARE(describe(first[0]), answer);

    session.peer().write(frame(id, 0x50, 0, payload));
    QCOMPARE(described(session.read(1)), QStringList{answer});
    QVERIFY(session.probe());
    QCOMPARE(session.module().stats().link.repeatsSeen, 1u);
    QCOMPARE(session.module().snapshot().socketPayload,
             id == 0x81 && !rejected ? QByteArray("abc") : QByteArray());
}

void TestSimLink::ownSequenceNumbers_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("apart from the tool's by default") << -1 << QList<int>{0x10, 0x11, 0x12};
    QTest::newRow("colliding with the tool's on purpose") << 1 << QList<int>{1, 2, 3};
    QTest::newRow("255 is followed by 1") << 0xFE << QList<int>{0xFE, 0xFF, 0x01};
    QTest::newRow("0 is never used") << 0 << QList<int>{1, 2, 3};
}

void TestSimLink::ownSequenceNumbers() {
    QFETCH(int, first);
    QFETCH(QList<int>, expected);
    ModuleSession session;
    QVERIFY(session.ready());
    if (first >= 0) {
        session.module().setNextSequence(static_cast<quint8>(first));
    }
    QVERIFY(session.module().injectIncomingSms("1", "d", "t"));
    QList<int> seqs;
    for (const Decoded &f : session.read(3)) {
        seqs << f.seq;
    }
    QCOMPARE(seqs, expected);
}

void TestSimLink::unacknowledgedFrameIsWrittenAgainAfterTenSeconds() {
    ModuleSession session;
    QVERIFY(session.ready());
    auto now = std::make_shared<std::atomic<double>>(1000.0);
    session.module().setClock([now] { return now->load(); });
    QSignalSpy written(&session.module(), &VirtualModule::frameWritten);

    session.send(0xA1);
    const QList<Decoded> original = session.read(2, false);
    QCOMPARE(original.size(), 2);

    QVERIFY(session.awaitUnacknowledged(1));
    *now = 1010.0;  // exactly ten seconds: not yet
    session.module().pollTimers();
    QVERIFY(session.probe());

    QVERIFY(session.awaitUnacknowledged(1));
    *now = 1010.5;
    session.module().pollTimers();
    QList<Decoded> again = session.read(1, false);
    QCOMPARE(again.size(), 1);
    QCOMPARE(again[0].seq, original[1].seq);
    QCOMPARE(describe(again[0]), describe(original[1]));

    *now = 1021.0;  // counted from the last write
    session.module().pollTimers();
    again = session.read(1);
    QCOMPARE(again.size(), 1);
    QCOMPARE(again[0].seq, original[1].seq);

    QVERIFY(session.awaitUnacknowledged(0));
    *now = 2000.0;
    session.module().pollTimers();
    QVERIFY(session.probe());
    QCOMPARE(session.module().stats().link.retransmissions, 2u);
    QTRY_COMPARE_WITH_TIMEOUT(written.count(), 8, 5000);
    int flagged = 0;
    for (const QList<QVariant> &signal : written) {
        flagged += signal.at(2).toBool() ? 1 : 0;
    }
    QCOMPARE(flagged, 2);
}

void TestSimLink::toolAnswerEndsRetransmission_data() {
    QTest::addColumn<uint8_t>("answerId");
    QTest::newRow("ack") << uint8_t(0);
    QTest::newRow("nak") << uint8_t(1);
}

void TestSimLink::toolAnswerEndsRetransmission() {
    QFETCH(uint8_t, answerId);
    ModuleSession session;
    QVERIFY(session.ready());
    auto now = std::make_shared<std::atomic<double>>(50.0);
    session.module().setClock([now] { return now->load(); });

    QVERIFY(session.module().injectIncomingCall());
    const QList<Decoded> event = session.read(1, false);
    QCOMPARE(event.size(), 1);
    session.peer().write(frame(answerId, event[0].seq));
    QVERIFY(session.awaitUnacknowledged(0));

    *now = 100.0;
    session.module().pollTimers();
    QVERIFY(session.probe());
    QVERIFY(session.awaitUnacknowledged(0));
    const ModuleStats stats = session.module().stats();
    QCOMPARE(stats.link.retransmissions, 0u);
    QCOMPARE(stats.link.naksReceived, answerId == 1 ? 1u : 0u);
    QCOMPARE(stats.link.acksReceived, answerId == 0 ? 2u : 1u);
}

void TestSimLink::pipelinedModeWritesABurst() {
    ModuleSession session;
    QVERIFY(session.ready());
    session.module().setApn(Apn{});
    session.module().setSocketResponseSize(41000);
    const int pieces = (41000 + 254) / 255;

    session.send(0x82, bytesOf("01 0000 06'x.test'"));
    // Nothing is acknowledged until the whole response has arrived.
    const QList<Decoded> burst = session.read(1 + 4 + pieces, false);
    QCOMPARE(burst.size(), 1 + 4 + pieces);
    QCOMPARE(describe(burst.last()), QStringLiteral("83 80"));
    QCOMPARE(session.module().stats().unacknowledged, 4 + pieces);
    for (const Decoded &f : burst.mid(1)) {
        session.acknowledge(f.seq);
    }
    QVERIFY(session.probe());
    QVERIFY(session.awaitUnacknowledged(0));
}

void TestSimLink::stopAndWaitHoldsOneFrameAtATime() {
    ModuleSession session;
    QVERIFY(session.ready());
    session.module().setFlowMode(FlowMode::StopAndWait);
    QVERIFY(session.module().injectIncomingSms("1", "d", "t"));

    QStringList order;
    QList<Decoded> got = session.read(1, false);
    order << described(got);
    // A request meanwhile is acknowledged at once; its reply queues behind the SMS.
    const uint8_t probe = session.send(0xA1);
    order << described(session.read(1, false));
    for (int i = 0; i < 3 && got.size() == 1; ++i) {
        QCOMPARE(session.module().stats().unacknowledged, 1);
        session.acknowledge(got[0].seq);
        got = session.read(1, false);
        order << described(got);
    }
    QCOMPARE(order, (QStringList{"60 00 01 31 01 64",
                                 QStringLiteral("00 %1").arg(probe, 2, 16, QLatin1Char('0')),
                                 "61 00 01 74", "62 00", "A1 80 1F"}));
}

void TestSimLink::nakOfChosenIds_data() {
    QTest::addColumn<uint8_t>("id");
    QTest::addColumn<QStringList>("answer");

    QTest::newRow("chosen id") << uint8_t(0xA1) << QStringList{"01 40"};
    QTest::newRow("another chosen id") << uint8_t(0x61) << QStringList{"01 40"};
    QTest::newRow("other id") << uint8_t(0xA4) << QStringList{"00 40", "A4 80 2F 1C"};
}

void TestSimLink::nakOfChosenIds() {
    QFETCH(uint8_t, id);
    QFETCH(QStringList, answer);
    ModuleSession session;
    QVERIFY(session.ready());
    session.module().setNakIds({0xA1, 0x61});
    session.peer().write(frame(id, 0x40, 0, id == 0x61 ? hex("01 41") : QByteArray()));
    QCOMPARE(described(session.read(answer.size())), answer);
    session.module().setNakIds({});
    QVERIFY(session.probe());
}

void TestSimLink::withheldAcksLeaveTheToolRepeating() {
    ModuleSession session;
    QVERIFY(session.ready());
    session.module().setWithholdAcks(true);

    session.peer().write(frame(0xA1, 0x40));
    QCOMPARE(described(session.read(1)), QStringList{"A1 80 1F"});
    session.peer().write(frame(0xA1, 0x40));  // the tool's retransmission: still no ACK
    QVERIFY(QTest::qWaitFor([&] { return session.module().stats().link.receivedById[0xA1] == 2; },
                            5000));

    session.module().setWithholdAcks(false);
    session.peer().write(frame(0xA1, 0x40));
    QCOMPARE(described(session.read(1)), QStringList{"00 40"});
    QVERIFY(session.probe());
    const ModuleStats stats = session.module().stats();
    QCOMPARE(stats.link.acksWithheld, 2u);
    QCOMPARE(stats.link.repeatsSeen, 2u);
}

void TestSimLink::lineFaults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("decoded");

    const QStringList repliesLost{"00 01", "00 02"};
    QTest::newRow("flip a bit of every 2nd frame") << "flip" << repliesLost;
    QTest::newRow("drop a byte of every 2nd frame") << "drop" << repliesLost;
    QTest::newRow("repeat every 2nd frame")
        << "repeat"
        << QStringList{"00 01", "A1 80 1F", "A1 80 1F", "00 02", "A4 80 2F 1C", "A4 80 2F 1C"};
}

void TestSimLink::lineFaults() {
    QFETCH(QString, fault);
    QFETCH(QStringList, decoded);
    ModuleSession session;
    QVERIFY(session.ready());
    QVERIFY(runConsoleCommand(session.module(), fault + QStringLiteral(" 2")).ok);
    QSignalSpy written(&session.module(), &VirtualModule::frameWritten);

    session.send(0xA1);
    QTRY_COMPARE_WITH_TIMEOUT(written.count(), 2, 5000);
    session.send(0xA4);
    QTRY_COMPARE_WITH_TIMEOUT(written.count(), 4, 5000);
    QByteArray wire;
    for (const QList<QVariant> &signal : written) {
        wire += signal.at(3).toByteArray();
    }
    QCOMPARE(described(testsupport::decodeAll(session.peer().readBytes(wire.size()))), decoded);

    const QByteArray clean = frame(0xA1, 0x10, REPLY_FLAG, hex("1F"));
    const QByteArray spoiled = written.at(1).at(3).toByteArray();
    const LineFaultCounters counters = session.module().stats().line;
    if (fault == QLatin1String("flip")) {
        QCOMPARE(spoiled.size(), clean.size());
        QCOMPARE(hammingDistance(spoiled, clean), 1);
        QCOMPARE(counters.bitsFlipped, 2u);
    } else if (fault == QLatin1String("drop")) {
        QCOMPARE(spoiled.size(), clean.size() - 1);
        QCOMPARE(spoiled.front(), clean.front());
        QCOMPARE(spoiled.back(), clean.back());
        QCOMPARE(counters.bytesDropped, 2u);
    } else {
        QCOMPARE(spoiled, clean + clean);
        QCOMPARE(counters.framesRepeated, 2u);
    }
}

void TestSimLink::sameSeedSameDamage() {
    QList<QByteArray> wires;
    for (int run = 0; run < 2; ++run) {
        ModuleSession session;
        QVERIFY(session.ready());
        session.module().setFaultSeed(7);
        session.module().setFlipBitEvery(1);
        session.module().setDropByteEvery(1);
        QSignalSpy written(&session.module(), &VirtualModule::frameWritten);
        session.send(0xC0);
        QTRY_COMPARE_WITH_TIMEOUT(written.count(), 2, 5000);
        wires << written.at(0).at(3).toByteArray() + written.at(1).at(3).toByteArray();
    }
    QCOMPARE(wires[0], wires[1]);
}

void TestSimLink::wireSchedule_data() {
    QTest::addColumn<int>("bytes");
    QTest::addColumn<qint64>("elapsedNs");
    QTest::addColumn<int>("released");

    QTest::newRow("nothing before ten bit times") << 10 << qint64(86805) << 0;
    QTest::newRow("a byte after ten bit times") << 10 << qint64(86806) << 1;
    QTest::newRow("not more than the frame") << 10 << qint64(5000000) << 10;
    QTest::newRow("a second carries 11520 bytes") << 20000 << qint64(1000000000) << 11520;
}

void TestSimLink::wireSchedule() {
    QFETCH(int, bytes);
    QFETCH(qint64, elapsedNs);
    QFETCH(int, released);
    const int64_t start = 7000000000;
    WireSchedule schedule;
    schedule.begin(start, bytes);
    QCOMPARE(schedule.release(start - 1), 0);
    QCOMPARE(schedule.release(start + elapsedNs), released);
    QCOMPARE(schedule.release(start + elapsedNs), 0);  // released once only
    QCOMPARE(schedule.finished(), released == bytes);
    QCOMPARE(WireSchedule::wireNanoseconds(11520), int64_t(1000000000));
    QCOMPARE(schedule.endNs(), start + WireSchedule::wireNanoseconds(bytes));
}

void TestSimLink::pacedOutputArrivesWhole() {
    ModuleSession session;
    QVERIFY(session.ready());
    session.module().setPaced(true);
    session.module().setApn(Apn{});
    session.module().setSocketResponseSize(3000);
    const int pieces = (3000 + 254) / 255;

    const QList<Decoded> frames = session.exchange(0x82, bytesOf("01 0000 06'x.test'"), 4 + pieces);
    QCOMPARE(frames.size(), 5 + pieces);
    QByteArray response;
    for (const Decoded &f : frames.mid(4, pieces)) {
        response += f.payload.mid(1);
    }
    QCOMPARE(response, cannedHttpResponse(3000));
    QCOMPARE(describe(frames.last()), QStringLiteral("83 80"));
    QVERIFY(session.probe());
}

void TestSimLink::restartKeepsTheStateOnANewLine() {
    ModuleSession session;
    QVERIFY(session.ready());
    VirtualModule &module = session.module();
    module.setRssi(12);
    module.stop();
    QVERIFY(session.peer().hungUp());

    QVERIFY(module.start());
    PtyPeer peer(module.devicePath());
    QVERIFY(peer.isOpen());
    peer.write(frame(0xA1, 9));
    QCOMPARE(described(peer.readFrames(2)), (QStringList{"00 09", "A1 80 0C"}));
}

void TestSimLink::consoleCommands_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("says");

    QTest::newRow("empty line") << "" << true << "";
    QTest::newRow("help") << "help" << true << "withhold-acks";
    QTest::newRow("unknown command") << "frobnicate 3" << false << "unknown command 'frobnicate'";
    QTest::newRow("nak of a control id") << "nak 2" << false << "'2'";
    QTest::newRow("nak without ids") << "nak" << false << "nak needs";
    QTest::newRow("count that is no number") << "flip x" << false << "flip needs";
    QTest::newRow("negative count") << "repeat -1" << false << "repeat needs";
    QTest::newRow("unknown mode") << "mode sideways" << false << "pipelined or stop-and-wait";
    QTest::newRow("switch neither on nor off") << "pace maybe" << false << "on or off";
    QTest::newRow("pin out of range") << "pin 12 1" << false << "0 to 11";
    QTest::newRow("sequence number 0") << "seq 0" << false << "1 to 255";
    QTest::newRow("sms without a sender") << "sms" << false << "sender";
    QTest::newRow("hang-up without a call") << "hangup" << false << "no call";
    QTest::newRow("incoming call") << "call" << true << "rings";
    QTest::newRow("response size") << "response 40960" << true << "";
    QTest::newRow("quit") << "quit" << true << "";
}

void TestSimLink::consoleCommands() {
    QFETCH(QString, line);
    QFETCH(bool, ok);
    QFETCH(QString, says);
    VirtualModule module;
    QVERIFY(module.start());
    const ConsoleReply reply = runConsoleCommand(module, line);
    QCOMPARE(reply.ok, ok);
    QVERIFY2(reply.text.contains(says), qPrintable(reply.text));
    QCOMPARE(reply.quit, line == QLatin1String("quit"));
}

void TestSimLink::consoleSetsFaults() {
    VirtualModule module;
    for (const char *line : {"nak 161 0x61", "withhold-acks on", "flip 3", "drop 4", "repeat 5",
                             "seed 99", "pace on", "mode stop-and-wait"}) {
        QVERIFY2(runConsoleCommand(module, QString::fromLatin1(line)).ok, line);
    }
    const ModuleFaults faults = module.faults();
    QCOMPARE(faults.nakIds, (QSet<quint8>{161, 0x61}));
    QVERIFY(faults.withholdAcks);
    QCOMPARE(faults.flipBitEvery, 3);
    QCOMPARE(faults.dropByteEvery, 4);
    QCOMPARE(faults.repeatFrameEvery, 5);
    QCOMPARE(faults.seed, 99u);
    QVERIFY(faults.paced);
    QCOMPARE(faults.flow, FlowMode::StopAndWait);
    QVERIFY(runConsoleCommand(module, QStringLiteral("nak off")).ok);
    QVERIFY(module.faults().nakIds.isEmpty());
}

void TestSimLink::programRunsAndQuits() {
    QProcess help;
    help.start(QStringLiteral(KOVA_MODULE_SIM_PROGRAM), {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(10000));
    const QString usage = QString::fromLocal8Bit(help.readAllStandardOutput());
    for (const char *word : {"--link", "--stop-and-wait", "sms SENDER", "hangup", "quit"}) {
        QVERIFY2(usage.contains(QLatin1String(word)), word);
    }

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("kova"));
    QProcess program;
    program.start(QStringLiteral(KOVA_MODULE_SIM_PROGRAM),
                  {QStringLiteral("--link"), link, QStringLiteral("--nak"), QStringLiteral("161")});
    QVERIFY(program.waitForStarted(10000));
    while (!program.canReadLine() && program.waitForReadyRead(10000)) {
    }
    const QString device = QString::fromLocal8Bit(program.readLine()).trimmed();
    QVERIFY2(device.startsWith(QLatin1String("/dev/pts/")), qPrintable(device));
    QCOMPARE(QFileInfo(link).symLinkTarget(), device);

    // The program answers on the linked path and honours its fault flags.
    {
        PtyPeer peer(link);
        QVERIFY(peer.isOpen());
        peer.write(frame(0xA1, 1));
        QCOMPARE(described(peer.readFrames(1)), QStringList{"01 01"});
    }

    program.write("frobnicate\n");
    program.setReadChannel(QProcess::StandardError);
    QByteArray complaint;
    while (!complaint.contains("unknown command 'frobnicate'")) {
        QVERIFY(program.waitForReadyRead(10000));
        complaint += program.readAll();
    }
    program.write("quit\n");
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(TestSimLink)
#include "tst_sim_link.moc"
