// Network ports: the serial worker and kovactl through the real ser2net in front of the virtual
// module's pty, and against a stub server for what ser2net never does.
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <memory>

#include "comm_processor.h"
#include "frames.h"
#include "kovactl_run.h"
#include "link_harness.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "link_state.h"
#include "network_line_device.h"
#include "pty_line.h"
#include "queued_recorder.h"
#include "rfc2217_stub.h"
#include "ser2net_server.h"
#include "virtual_module.h"

Q_DECLARE_METATYPE(Rfc2217Stub::Opening)

namespace {

constexpr int kIoTimeoutMs = 15000;  // generous: I/O on a loaded machine, never a protocol timer

// A loopback port nothing listens on.
quint16 deadPort() {
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

}  // namespace

class TestNetworkPort : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::FakeClock> clock;  // the link never retransmits
    std::unique_ptr<VirtualModule> module;
    std::unique_ptr<Ser2netServer> ser2net;
    std::unique_ptr<CommProcessor> comm;
    std::unique_ptr<QueuedRecorder> opened;

    bool startSer2net(const QString &device) {
        ser2net = std::make_unique<Ser2netServer>(device);
        return ser2net->start();
    }
    QString ser2netName(const QString &kind) const {
        return kind == "raw" ? ser2net->rawName() : ser2net->rfc2217Name();
    }

    bool openPort(const QString &name) {
        const int before = opened->count();
        emit comm->OpenSerialPort(name);
        return QTest::qWaitFor([&] { return opened->count() > before; }, kIoTimeoutMs) &&
               opened->last().value(0).toBool();
    }

  private slots:
    void init() {
        clock = std::make_unique<testsupport::FakeClock>();
        testsupport::resetLink();
        module = std::make_unique<VirtualModule>();
        module->setClock([] { return 1000.0; });  // frozen: the module never repeats itself
        if (!module->start()) {
            QSKIP(qPrintable(QStringLiteral("no pseudo-terminal: %1").arg(module->errorString())));
        }
        if (!Ser2netServer::unavailableReason().isEmpty()) {
            QSKIP(qPrintable(Ser2netServer::unavailableReason()));
        }
        comm = std::make_unique<CommProcessor>();
        opened = std::make_unique<QueuedRecorder>(comm.get(), &CommProcessor::OpenSerialPortDone);
    }
    void cleanup() {
        if (comm) {
            // Closed as the user closes it, before ser2net goes: its close would be a loss.
            QueuedRecorder closed(comm.get(), &CommProcessor::SerialPortClosed);
            emit comm->DoCloseSerialPort();
            QVERIFY(QTest::qWaitFor([&] { return closed.count() == 1; }, kIoTimeoutMs));
        }
        opened.reset();
        comm.reset();
        ser2net.reset();
        module.reset();
        clock.reset();
    }

    // Frames pass whole both ways, 0xFF bytes (telnet's IAC) and a response of 40 KB among
    // them; over RFC 2217 the tool's line settings reach the device and its answers are shown.
    void transfersArriveWhole_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("answers");
        QTest::newRow("raw") << "raw" << QString();
        QTest::newRow("rfc2217") << "rfc2217"
                                 << "the serial server set 115200 baud, 8 data bits, no "
                                    "parity, 1 stop bit, RTS/CTS flow control";
    }
    void transfersArriveWhole() {
        QFETCH(QString, kind);
        QFETCH(QString, answers);
        QVERIFY2(startSer2net(module->devicePath()), qPrintable(ser2net->errorString()));
        const QByteArray response(40000, '\xff');
        const QByteArray payload(300, '\xff');
        module->setRssi(23);
        module->setSocketResponse(response);
        QVERIFY(openPort(ser2netName(kind)));
        QVERIFY(link_get_rssi() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(int(link_get_state()->rssi), 23, kIoTimeoutMs);
        QVERIFY(link_apn_set("internet", "", "") > 0);
        QVERIFY(link_socket_append_payload(payload) > 0);
        QVERIFY(link_socket_send("example.org:80", 0, 5000) > 0);
        QTRY_COMPARE_WITH_TIMEOUT(int(link_get_state()->cmdStatus[CMD_SOCKET_RESULT]), 0,
                                  kIoTimeoutMs);
        {
            auto s = link_get_state();
            QCOMPARE(QByteArray(s->socketResponse.data(), int(s->socketResponseLength)), response);
        }
        QCOMPARE(module->snapshot().socketPayload, payload);
        QCOMPARE(link_get_state()->counters.crcErrors, 0u);
        // ser2net's raw connector is set up like the tool's line; its telnet one is not.
        QCOMPARE(testsupport::ptyLineSettings(module->devicePath()),
                 QStringLiteral("115200 8N1 RTS/CTS"));
        if (!answers.isEmpty()) {
            QCOMPARE(comm->portLineDescription(), answers);
        }
    }

    // The server goes away under an open port and comes back on the same port.
    void serverRestartReconnects_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("raw") << "raw";
        QTest::newRow("rfc2217") << "rfc2217";
    }
    void serverRestartReconnects() {
        QFETCH(QString, kind);
        QVERIFY2(startSer2net(module->devicePath()), qPrintable(ser2net->errorString()));
        comm->setWatchIntervalMs(50);
        QVERIFY(openPort(ser2netName(kind)));
        QueuedRecorder lost(comm.get(), &CommProcessor::SerialPortLost);
        QueuedRecorder back(comm.get(), &CommProcessor::SerialPortReconnected);
        QVERIFY2(ser2net->restart(), qPrintable(ser2net->errorString()));
        QTRY_COMPARE_WITH_TIMEOUT(back.count(), 1, kIoTimeoutMs);
        QCOMPARE(lost.count(), 1);
        QVERIFY(lost.last().value(0).toString().contains(ser2netName(kind)));
        module->setRssi(31);
        QVERIFY(link_get_rssi() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(int(link_get_state()->rssi), 31, kIoTimeoutMs);
        QCOMPARE(lost.count(), 1);
    }

    // An open that cannot succeed answers false once, with a reason a user can act on.
    void openFailsPlainly_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("held");  // another client holds ser2net's port
        QTest::addColumn<QString>("says");
        const QString refused = "the connection was refused";
        const QString inUse = "is in use by another client of the serial server";
        QTest::newRow("nothing listening, raw") << "raw" << false << refused;
        QTest::newRow("nothing listening, rfc2217") << "rfc2217" << false << refused;
        QTest::newRow("in use, raw") << "raw" << true << inUse;
        QTest::newRow("in use, rfc2217") << "rfc2217" << true << inUse;
    }
    void openFailsPlainly() {
        QFETCH(QString, kind);
        QFETCH(bool, held);
        QFETCH(QString, says);
        QString name = QStringLiteral("%1://127.0.0.1:%2").arg(kind == "raw" ? "tcp" : kind);
        QTcpSocket holder;
        if (held) {
            QVERIFY2(startSer2net(module->devicePath()), qPrintable(ser2net->errorString()));
            name = ser2netName(kind);
            holder.connectToHost(QHostAddress::LocalHost,
                                 kind == "raw" ? ser2net->rawPort() : ser2net->rfc2217Port());
            // Served once the module answers it (or ser2net starts its telnet talk).
            holder.write(testsupport::frame(CMD_GET_RSSI, 0x01));
            QVERIFY(QTest::qWaitFor([&] { return holder.bytesAvailable() > 0; }, kIoTimeoutMs));
        } else {
            name = name.arg(deadPort());
        }
        QVERIFY(!openPort(name));
        QCOMPARE(opened->count(), 1);
        QVERIFY2(comm->portErrorText().contains(says), qPrintable(comm->portErrorText()));
        QVERIFY(comm->portErrorText().contains(name));
        QVERIFY(!comm->isPortOpen());
    }

    // A server that will not take our line settings fails the open, saying which.
    void stubRefusesSettings_data() {
        QTest::addColumn<Rfc2217Stub::Opening>("opening");
        QTest::addColumn<QString>("says");
        QTest::newRow("COM-PORT refused")
            << Rfc2217Stub::Opening::RefuseComPort << "does not take RFC 2217's COM-PORT option";
        QTest::newRow("speed answered otherwise")
            << Rfc2217Stub::Opening::SetBaud9600 << "asked for 115200 baud, it set 9600";
    }
    void stubRefusesSettings() {
        QFETCH(Rfc2217Stub::Opening, opening);
        QFETCH(QString, says);
        Rfc2217Stub stub(opening);
        QVERIFY(stub.listen());
        QVERIFY(!openPort(stub.name()));
        QVERIFY2(comm->portErrorText().contains(says), qPrintable(comm->portErrorText()));
    }

    // Writes the server suspends wait for its resume, in order; held past the limit they
    // count as a lost line.
    void suspendHoldsWrites_data() {
        QTest::addColumn<int>("limitMs");  // 0: the device's own
        QTest::newRow("resumed") << 0;
        QTest::newRow("held past the limit") << 1;
    }
    void suspendHoldsWrites() {
        QFETCH(int, limitMs);
        Rfc2217Stub stub;
        QVERIFY(stub.listen());
        QVERIFY(openPort(stub.name()));
        auto *device = comm->findChild<NetworkLineDevice *>();
        QVERIFY(device);
        if (limitMs > 0) {
            QMetaObject::invokeMethod(
                device, [=] { device->setSuspendLimitMs(limitMs); }, Qt::BlockingQueuedConnection);
        }
        QueuedRecorder sent(comm.get(), &CommProcessor::UartMessageSent);
        QueuedRecorder lost(comm.get(), &CommProcessor::SerialPortLost);
        stub.suspend();
        QVERIFY(stub.ping(kIoTimeoutMs));  // the client has read the suspend
        const int heardBefore = stub.heard().size();
        QVERIFY(link_get_rssi() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(sent.count(), 1, kIoTimeoutMs);
        if (limitMs > 0) {
            QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, kIoTimeoutMs);
            QVERIFY(lost.last().value(0).toString().contains("held our writes back"));
            return;
        }
        QVERIFY(stub.ping(kIoTimeoutMs));  // anything written unheld has arrived before this
        QCOMPARE(stub.heard().mid(heardBefore), Rfc2217Stub::pong());
        stub.resume();
        const QByteArray frame = sent.last().value(0).toByteArray().replace(QByteArray(1, '\xff'),
                                                                            QByteArray(2, '\xff'));
        QTRY_VERIFY_WITH_TIMEOUT(stub.heard().endsWith(frame), kIoTimeoutMs);
        QCOMPARE(lost.count(), 0);
    }

    // kovactl --port takes a network port name as it takes a device.
    void kovactlThroughSer2net_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("code");
        QTest::newRow("raw") << "raw" << 0;
        QTest::newRow("rfc2217") << "rfc2217" << 0;
        QTest::newRow("nothing listening") << "" << 69;
    }
    void kovactlThroughSer2net() {
        QFETCH(QString, kind);
        QFETCH(int, code);
        KovactlRun run;
        run.module().setRssi(19);
        QVERIFY2(startSer2net(run.device()), qPrintable(ser2net->errorString()));
        const QString name = kind.isEmpty()
                                 ? QStringLiteral("rfc2217://127.0.0.1:%1").arg(deadPort())
                                 : ser2netName(kind);
        const KovactlResult r = KovactlRun::runBare({"--port", name, "--json", "status", "rssi"});
        QCOMPARE(r.exitCode, code);
        if (code == 0) {
            verifyFrameAndField(r, -1, {}, "status.rssi", 19);
        } else {
            QVERIFY2(r.json().value("error").toString().contains("refused"), r.out.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestNetworkPort)
#include "tst_network_port.moc"
