// A lost serial port comes back by itself: the virtual module's pty closes and a new one appears
// at the same path, and a serial server's port after the server restarts. And a port that will
// not open says why.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QStatusBar>
#include <QtTest>

#include "link_state.h"
#include "main_window.h"
#include "modal_box_watcher.h"
#include "ser2net_server.h"
#include "virtual_module.h"
#include "window_harness.h"

using namespace testsupport;

class TestSerialReconnect : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;
    ModalBoxWatcher boxes_;

    static QString serialField(MainWindow &window) {
        return field(&window, "frmSerialStatus", "lblSerialStatus");
    }
    std::unique_ptr<VirtualModule> module_;

  private slots:
    void init() {
        QString why;
        if (!(module_ = startModule(&why))) {
            QSKIP(qPrintable(why));
        }
    }
    void cleanup() {
        module_.reset();
        boxes_.boxes.clear();
    }

    // Unplugged with an SMS owed its reply and a request queued meanwhile; the device returns
    // at the same path with its numbering started afresh (and its folder with it where that
    // went too, as /dev/serial/by-id does), and the SMS's reply with it.
    void lostPortComesBack_data() {
        QTest::addColumn<QString>("folder");
        QTest::newRow("in its folder") << QString();
        QTest::newRow("with its folder") << QStringLiteral("by-id");
    }
    void lostPortComesBack() {
        QFETCH(QString, folder);
        VirtualModule *module = module_.get();
        const QDir top(folder_.path());
        const auto makeFolder = [&] { return folder.isEmpty() || top.mkpath(folder); };
        QVERIFY(makeFolder());
        const QString path = QDir(top.filePath(folder)).filePath(QStringLiteral("kova"));
        QVERIFY(module->createLink(path));
        QList<quint8> received;
        connect(module, &VirtualModule::frameReceived, this, [&](quint8 id) { received << id; });
        MainWindow window;
        // Within the test's time only the watch on the folder can notice the return.
        window.serialWorker().setWatchIntervalMs(10 * kIoTimeoutMs);
        window.openSerialPort(path);
        module->setUnansweredIds({CMD_SMS_SEND});
        auto *smsSend = widget<QPushButton>(&window, "pushButton_SMSSend");
        smsSend->click();
        QTRY_VERIFY_WITH_TIMEOUT(received.contains(CMD_SMS_SEND), kIoTimeoutMs);
        QVERIFY(!smsSend->isEnabled() && smsSend->toolTip().contains("waits for its reply"));

        module->stop();
        QTRY_COMPARE_WITH_TIMEOUT(serialField(window), "background-color:orange;|Reconnecting...",
                                  kIoTimeoutMs);
        QVERIFY(window.statusBar()->currentMessage().contains(path));
        // The module keeps the SMS it acknowledged: its reply may come after the reconnect.
        QCOMPARE(labelText(&window, "label_SmsSentStatus"), "Request sent. Waiting for reply...");
        widget<QPushButton>(&window, "pushButton_GetRSSI")->click();
        QVERIFY(folder.isEmpty() || top.rmdir(folder));

        module->setNextSequence(ModuleLink::kFirstSequence);
        module->setRssi(17);
        QVERIFY(makeFolder() && module->start() && module->createLink(path));
        QTRY_COMPARE_WITH_TIMEOUT(serialField(window), "background-color:darkgreen;|" + path,
                                  kIoTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(widget<QLineEdit>(&window, "EdtStatusRSSI")->text(), "-79 dB",
                                  kIoTimeoutMs);
        QCOMPARE(received.count(CMD_GET_RSSI), 1);
        QVERIFY(boxes_.boxes.isEmpty());
        module->sendModuleReply(CMD_SMS_SEND, 0);
        QTRY_COMPARE_WITH_TIMEOUT(labelText(&window, "label_SmsSentStatus"), "SMS SENT!",
                                  kIoTimeoutMs);
        QVERIFY(smsSend->isEnabled());

        // Disconnect while the device is away ends the watch.
        module->stop();
        QTRY_VERIFY_WITH_TIMEOUT(window.serialWorker().isWatching(), kIoTimeoutMs);
        window.closeSerialPort();
        QTRY_VERIFY_WITH_TIMEOUT(!window.serialWorker().isWatching(), kIoTimeoutMs);
        QCOMPARE(serialField(window), "background-color:orange;|Not Connected");
    }

    // The serial field ends showing the port the worker holds, whatever order its reports and
    // the user's clicks come in: a reconnect reported after Disconnect, and a lost port that
    // comes back while the user's open of another port is on its way.
    void serialFieldShowsWhatTheWorkerHolds() {
        QString why;
        const std::unique_ptr<VirtualModule> other = startModule(&why);
        QVERIFY2(other, qPrintable(why));
        const QString path = folder_.filePath(QStringLiteral("kova-a"));
        QVERIFY(module_->createLink(path));
        MainWindow window;
        window.serialWorker().setWatchIntervalMs(10);
        window.openSerialPort(path);
        window.closeSerialPort();
        emit window.serialWorker().SerialPortReconnected(path);  // late, from before the click
        QTRY_COMPARE_WITH_TIMEOUT(serialField(window), "background-color:orange;|Not Connected",
                                  kIoTimeoutMs);

        window.openSerialPort(path);
        module_->stop();
        QTRY_VERIFY_WITH_TIMEOUT(window.serialWorker().isWatching(), kIoTimeoutMs);
        // The device returns and the worker looks for it just before the open reaches it.
        CommProcessor &worker = window.serialWorker();
        disconnect(&worker, &CommProcessor::OpenSerialPort, &worker,
                   &CommProcessor::OnOpenSerialPort);
        QObject race;
        connect(&worker, &CommProcessor::OpenSerialPort, &race, [&] {
            QVERIFY(module_->start() && module_->createLink(path));
            QMetaObject::invokeMethod(&worker, "lookForLostPort", Qt::QueuedConnection);
        });
        connect(&worker, &CommProcessor::OpenSerialPort, &worker, &CommProcessor::OnOpenSerialPort);
        window.openSerialPort(other->devicePath());
        QTRY_COMPARE_WITH_TIMEOUT(serialField(window), "background-color:darkgreen;|" + path,
                                  kIoTimeoutMs);
        QVERIFY(boxes_.boxes.value(0).text.startsWith("Serial port " + path + " came back"));
    }

    // A serial server that restarts under the window: the same field, the same return.
    void networkPortComesBack() {
        if (!Ser2netServer::unavailableReason().isEmpty()) {
            QSKIP(qPrintable(Ser2netServer::unavailableReason()));
        }
        Ser2netServer ser2net(module_->devicePath());
        QVERIFY2(ser2net.start(), qPrintable(ser2net.errorString()));
        const QString port = ser2net.rfc2217Name();
        MainWindow window;
        window.serialWorker().setWatchIntervalMs(50);
        window.openSerialPort(port);
        QTRY_COMPARE_WITH_TIMEOUT(serialField(window), "background-color:darkgreen;|" + port,
                                  kIoTimeoutMs);
        ser2net.stop();
        QTRY_COMPARE_WITH_TIMEOUT(serialField(window), "background-color:orange;|Reconnecting...",
                                  kIoTimeoutMs);
        QVERIFY2(ser2net.restart(), qPrintable(ser2net.errorString()));
        QTRY_COMPARE_WITH_TIMEOUT(serialField(window), "background-color:darkgreen;|" + port,
                                  kIoTimeoutMs);
        window.closeSerialPort();
        QTRY_COMPARE_WITH_TIMEOUT(serialField(window), "background-color:orange;|Not Connected",
                                  kIoTimeoutMs);
    }

    void openFailureSaysWhy_data() {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("advice");
        QTest::newRow("missing") << "missing"
                                 << "does not exist";
        // The kernel keeps 15 characters of a program's name.
        QTest::newRow("locked")
            << "locked"
            << "Serial port %1 is in use by " +
                   QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15) +
                   " (process %2).";
        QTest::newRow("regular file")
            << "file" << QString("%1 is a regular file, not a serial device.");
    }
    void openFailureSaysWhy() {
        QFETCH(QString, cause);
        QFETCH(QString, advice);
        QString port = module_->devicePath();
        QSerialPort holder(port);
        if (cause == "missing") {
            port = QStringLiteral("/dev/kova-no-such-port");
        } else if (cause == "locked") {
            QVERIFY(holder.open(QIODevice::ReadWrite));  // its lock file names this process
        } else if (cause == "file") {
            port = folder_.filePath(QStringLiteral("capture.txt"));
            QFile file(port);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        MainWindow window;
        window.openSerialPort(port);
        QCOMPARE(serialField(window), "background-color:red;|Connection Failed");
        const QString text = boxes_.boxes.value(0).text;
        advice.replace("%1", port)
            .replace("%2", QString::number(QCoreApplication::applicationPid()));
        QVERIFY2(boxes_.boxes.size() == 1 && text.contains(advice), qPrintable(text));
    }
};

QTEST_MAIN(TestSerialReconnect)
#include "tst_serial_reconnect.moc"
