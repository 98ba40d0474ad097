// The batch firmware update: the firmware list from a real HTTP server on loopback, the numbers
// and the trigger SMS, and whole batches through the window against the virtual module.
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "dlgfwupdate.h"
#include "firmware_list.h"
#include "main_window.h"
#include "modal_box_watcher.h"
#include "update_server.h"
#include "virtual_module.h"
#include "window_harness.h"

using namespace testsupport;

namespace {

QString logOf(QWidget *dialog) {
    return widget<QPlainTextEdit>(dialog, "txtUpdateLog")->toPlainText();
}

bool logShows(QWidget *dialog, const QString &text) {
    return QTest::qWaitFor([&] { return logOf(dialog).contains(text); }, kIoTimeoutMs);
}

// Asks the server for the list and waits until the dialog has read it.
QStringList fetchList(Dlgfwupdate &dialog) {
    widget<QPushButton>(&dialog, "btnRefreshFwSelection")->click();
    if (!QTest::qWaitFor([&] { return widget(&dialog, "btnRefreshFwSelection")->isEnabled(); },
                         kIoTimeoutMs)) {
        return {QStringLiteral("the list did not come")};
    }
    auto *list = widget<QComboBox>(&dialog, "cmbFwSelection");
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items << list->itemText(i) + QLatin1Char('|') + list->itemData(i).toString();
    }
    return items;
}

}  // namespace

class TestFwUpdate : public QObject {
    Q_OBJECT

    QTemporaryDir settings_;
    ModalBoxWatcher boxes_;
    UpdateServer server_;
    std::unique_ptr<VirtualModule> module_;
    std::unique_ptr<MainWindow> window_;
    Dlgfwupdate *dialog_ = nullptr;
    int smsSends_ = 0;

    // The window connected to a fresh module, its batch dialog open with the demo list.
    bool openDialog() {
        QString why;
        if (!(module_ = startModule(&why))) {
            return false;
        }
        smsSends_ = 0;
        connect(module_.get(), &VirtualModule::frameReceived, this,
                [this](quint8 id) { smsSends_ += id == CMD_SMS_SEND; });
        window_ = std::make_unique<MainWindow>();
        window_->serialWorker().setWatchIntervalMs(10);
        if (!module_->createLink(link())) {
            return false;
        }
        window_->openSerialPort(link());
        window_->setUpdateServerHost(QStringLiteral("127.0.0.1"));
        window_->findChild<QAction *>(QStringLiteral("mnuBatchFwUpdate"))->trigger();
        dialog_ = window_->findChild<Dlgfwupdate *>();
        server_.setAnswer(UpdateServer::Answer::List);
        server_.setList(UpdateServer::demoList());
        return dialog_->isVisible() && fetchList(*dialog_).size() == 3;
    }

    QString link() const { return settings_.filePath(QStringLiteral("kova")); }

    void start(const QString &numbers) {
        widget<QPlainTextEdit>(dialog_, "txtListMSISDN")->setPlainText(numbers);
        widget<QPushButton>(dialog_, "btnStartUpdate")->click();
    }

    // The saved report's rows as "number,outcome,code", the header first.
    QStringList report() {
        QString why;
        const QString csv = settings_.filePath("report.csv");
        if (!dialog_->saveReport(csv, &why)) {
            return {why};
        }
        QFile file(csv);
        file.open(QIODevice::ReadOnly);
        QStringList rows;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split(',');
            if (fields.size() == 5) {
                rows << QString(fields[0] + ',' + fields[2] + ',' + fields[3]);
            }
        }
        return rows;
    }

    // Waits until the module has been asked for the nth SMS, then answers it.
    bool answerSms(int nth, quint8 code) {
        const bool asked = QTest::qWaitFor([&] { return smsSends_ >= nth; }, kIoTimeoutMs);
        module_->sendModuleReply(CMD_SMS_SEND, code);
        return asked;
    }

  private slots:
    void initTestCase() {
        isolateSettings(settings_);
        if (!server_.listen(kUpdateServerPort)) {
            QSKIP(qPrintable("port 7776 is taken: " + server_.errorString()));
        }
    }
    void cleanup() {
        window_.reset();
        module_.reset();
        boxes_.boxes.clear();
    }

    void firmwareList_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("log");
        const auto list = int(UpdateServer::Answer::List);
        const QString none = "No FW files found on update server.|";
        QTest::newRow("three parts") << list << QByteArray("fw/TypeA/app_1.2.jad\r\nreadme.txt\r\n"
                                                           "a/b/c/d\r\n\r\n/x/")
                                     << QStringList{"TypeA \t- app_1.2.jad|:7776/cellularModem/fw/"
                                                    "TypeA/app_1.2.jad",
                                                    "x \t- |:7776/cellularModem//x/"}
                                     << QString();
        QTest::newRow("Latin-1 up to a NUL")
            << list << QByteArray("fw/T\xE9/a\r\nfw/B/b\0/c\r\nfw/C/c", 26)
            << QStringList{"T\u00E9 \t- a|:7776/cellularModem/fw/T\u00E9/a",
                           "B \t- b|:7776/cellularModem/fw/B/b"}
            << QString();
        QTest::newRow("HTTP error")
            << int(UpdateServer::Answer::NotFound) << QByteArray() << QStringList{none}
            << "could not be fetched from 127.0.0.1, port 7776";
        QTest::newRow("LF lines") << list << QByteArray("fw/A/a\nfw/B/b\r\nfw/C/c")
                                  << QStringList{"A \t- a|:7776/cellularModem/fw/A/a",
                                                 "B \t- b|:7776/cellularModem/fw/B/b",
                                                 "C \t- c|:7776/cellularModem/fw/C/c"}
                                  << QString();
        const QString late = "the whole list did not come within 0.2 s";
        QTest::newRow("no answer")
            << int(UpdateServer::Answer::Silence) << QByteArray() << QStringList{none} << late;
        QTest::newRow("trickling")
            << int(UpdateServer::Answer::Trickle) << QByteArray("fw/T/" + QByteArray(100, 'x'))
            << QStringList{none} << late;
        // Read up to 1 MiB: 1,041 whole lines of 1,007 bytes, the piece of the next dropped.
        const QByteArray line = "fw/T/" + QByteArray(1000, 'x') + "\r\n";
        const QString item = "T \t- " + QString(1000, 'x') + "|:7776/cellularModem/fw/T/";
        QTest::newRow("endless") << int(UpdateServer::Answer::Endless) << line
                                 << QStringList(
                                        QVector<QString>(1041, item + QString(1000, 'x')).toList())
                                 << QString();
    }
    void firmwareList() {
        QFETCH(int, answer);
        QFETCH(QByteArray, body);
        QFETCH(QStringList, items);
        QFETCH(QString, log);
        Dlgfwupdate dialog;
        dialog.setUpdateServerHost(QStringLiteral("127.0.0.1"));
        // Short where the limit is what the row tests.
        dialog.setListTimeoutMs(log.contains("within") ? 200 : Dlgfwupdate::kListTimeoutMs);
        server_.setAnswer(UpdateServer::Answer(answer));
        server_.setList(body);
        QCOMPARE(fetchList(dialog), items);
        QVERIFY2(logOf(&dialog).contains(log), qPrintable(logOf(&dialog)));
        QCOMPARE(widget(&dialog, "btnStartUpdate")->isEnabled(), !items.first().endsWith('|'));
        // Items that differ only at their end can be told apart in the open list.
        auto *view = widget<QComboBox>(&dialog, "cmbFwSelection")->view();
        for (const QString &item : items) {
            QVERIFY(view->minimumWidth() >
                    view->fontMetrics().horizontalAdvance(item.section('|', 0, 0)));
        }
    }

    void otaText_data() {
        QTest::addColumn<QStringList>("apnUserPass");
        QTest::addColumn<QString>("lines");
        QTest::newRow("none") << QStringList{"", "", ""} << QString();
        QTest::newRow("APN, no user") << QStringList{"web", "", "pw"} << "!APN=web!\r\n";
        QTest::newRow("user without APN") << QStringList{"", "me", "pw"} << QString();
        QTest::newRow("all three")
            << QStringList{"web", "me", "pw"} << "!APN=web!\r\n!USER=me!\r\n!PASS=pw!\r\n";
    }
    void otaText() {
        QFETCH(QStringList, apnUserPass);
        QFETCH(QString, lines);
        UpdateWorker worker;
        worker.setFirmwarePath(":7776/cellularModem/fw/TypeA/app.jad");
        worker.setApnSettings(apnUserPass[0], apnUserPass[1], apnUserPass[2]);
        QCOMPARE(worker.buildOtaMessage(),
                 "OTA5183-417\r\n!JAD=RavozuvoRedazUdo!\r\n!PATH=:7776/cellularModem/fw/TypeA/"
                 "app.jad!\r\n" +
                     lines + "OTA-START");
    }

    // Every number its own outcome, in the log and the report: a number the module never
    // answers costs its own wait and no other number's outcome; its late reply corrects it.
    void outcomesAddUp() {
        QVERIFY(openDialog());
        module_->setUnansweredSmsTo({"333", "555"});
        QList<int> progress;
        connect(widget<QProgressBar>(dialog_, "prgUpdate"), &QProgressBar::valueChanged, this,
                [&](int value) { progress << value; });
        auto *smsSend = widget<QPushButton>(window_.get(), "pushButton_SMSSend");
        const QString tooLong = "4" + QString(254, '9');
        start("+111, 222x;\n333 " + tooLong + " 555");
        QVERIFY(!smsSend->isEnabled() && !smsSend->toolTip().isEmpty());
        QVERIFY(QTest::qWaitFor([&] { return smsSends_ == 2; }, kIoTimeoutMs));
        QMetaObject::invokeMethod(&dialog_->updateWorker(), "giveUpWaiting");
        QVERIFY(logShows(dialog_, "Update to 333 finished with status 5("));
        QVERIFY(answerSms(2, 0));  // late, for 333: the next number waited for it
        QVERIFY(logShows(dialog_, "Late reply for 333: 0(Success)"));
        QVERIFY(answerSms(3, 1));  // 555's, in time
        QVERIFY(logShows(dialog_, "Update finished."));
        QCOMPARE(boxes_.boxes.first().text,
                 "Warning!\r\nYou are about to update 5 KOVA-3G device(s) with "
                 "kova_3g_1.4.0.jad.\r\nAre you sure?");
        QCOMPARE(progress, QList<int>({1, 2, 3, 4, 5}));
        for (const QString &line :
             {QString("Update to 111 finished with status 0(Success)"),
              QString("Update to 222x finished with status 1(Invalid MSISDN)"),
              "Update to " + tooLong + " finished with status 2(",
              QString("Update to 555 finished with status 3(Failed to send SMS on cellular "
                      "network)"),
              QString("Outcomes: 2 sent, 1 failed, 0 refused by the module, 0 no reply (outcome "
                      "unknown), 1 invalid number, 1 not sent.")}) {
            QVERIFY2(logOf(dialog_).contains(line), qPrintable(line));
        }
        QCOMPARE(smsSends_, 3);
        QVERIFY(smsSend->isEnabled());
        QCOMPARE(labelText(window_.get(), "label_SmsSentStatus"), QString());
        QCOMPARE(report().mid(1), (QStringList{"111,sent,0", "222x,invalid number,", "333,sent,0",
                                               tooLong + ",not sent,", "555,failed,1"}));
    }

    // Stop while the port is away ends the batch at once; the menu still reaches it; the
    // reply that comes after the reconnect is placed with its number, after the batch.
    void stopWhileThePortIsAway() {
        QVERIFY(openDialog());
        module_->setUnansweredSmsTo({"111"});
        start(QStringLiteral("111 222"));
        QVERIFY(QTest::qWaitFor([&] { return smsSends_ == 1; }, kIoTimeoutMs));
        module_->stop();
        QVERIFY(logShows(dialog_, "The serial port is gone: the batch waits for it to return."));
        widget<QPushButton>(dialog_, "btnStopUpdate")->click();
        QVERIFY(logShows(dialog_, "Update finished."));
        QVERIFY(logOf(dialog_).contains("Update to 111 finished with status 5("));
        QVERIFY(logOf(dialog_).contains("Not sent: 222"));
        QVERIFY(logOf(dialog_).contains("Not final: the reply for 111 may still come"));
        QVERIFY(module_->start() && module_->createLink(link()));
        QVERIFY(
            QTest::qWaitFor([&] { return window_->serialWorker().isPortOpen(); }, kIoTimeoutMs));
        module_->sendModuleReply(CMD_SMS_SEND, 0);
        QVERIFY(logShows(dialog_, "Late reply for 111: 0(Success)"));
        QVERIFY(logShows(dialog_, "Outcomes: 1 sent,"));
        QCOMPARE(report().mid(1), (QStringList{"111,sent,0", "222,not sent,"}));
    }

    // The port comes back under another name, connected by hand: the batch goes on. A batch
    // running while the port is away is reached from the menu; Disconnect ends it at once.
    void portBackUnderAnotherName() {
        QVERIFY(openDialog());
        module_->setUnansweredSmsTo({"111", "333"});
        start(QStringLiteral("111 222 333"));
        QVERIFY(QTest::qWaitFor([&] { return smsSends_ == 1; }, kIoTimeoutMs));
        module_->stop();
        QVERIFY(logShows(dialog_, "The serial port is gone"));
        dialog_->hide();
        window_->findChild<QAction *>(QStringLiteral("mnuBatchFwUpdate"))->trigger();
        QVERIFY(dialog_->isVisible());
        QVERIFY(module_->start());
        window_->openSerialPort(module_->devicePath());
        QVERIFY(logShows(dialog_, "The batch goes on."));
        module_->sendModuleReply(CMD_SMS_SEND, 0);
        QVERIFY(logShows(dialog_, "Update to 222 finished with status 0(Success)"));
        // In its wait, or late.
        QVERIFY(logOf(dialog_).contains("111 finished with status 0(Success)") ||
                logOf(dialog_).contains("Late reply for 111: 0(Success)"));
        QVERIFY(QTest::qWaitFor([&] { return smsSends_ == 3; }, kIoTimeoutMs));
        window_->closeSerialPort();
        QVERIFY(logShows(dialog_, "Update finished."));
        QVERIFY(logOf(dialog_).contains("Disconnected: the batch ends."));
        QVERIFY(logOf(dialog_).contains("Update to 333 finished with status 5("));
        QCOMPARE(boxes_.titles(), QStringList{"Firmware Update"});
    }

    // Stop during the second of three waits for its reply; showing the dialog again and a
    // second Start meanwhile leave the batch alone; a trigger SMS too long for its frame
    // refuses the next batch.
    void stopShowAgainAndSecondStart() {
        QVERIFY(openDialog());
        module_->setUnansweredIds({CMD_SMS_SEND});
        start(QStringLiteral("111 222 333"));
        QVERIFY(answerSms(1, 0));
        QVERIFY(QTest::qWaitFor([&] { return smsSends_ == 2; }, kIoTimeoutMs));
        dialog_->hide();
        dialog_->show();
        dialog_->on_btnStartUpdate_clicked();
        QVERIFY(logOf(dialog_).contains("Update to 111 finished with status 0"));
        QVERIFY(!widget(dialog_, "btnStartUpdate")->isEnabled());
        QCOMPARE(boxes_.boxes.size(), 1);
        widget<QPushButton>(dialog_, "btnStopUpdate")->click();
        QVERIFY(logShows(dialog_, "Stopping: waiting for the reply for 222, at most"));
        module_->sendModuleReply(CMD_SMS_SEND, 0);
        QVERIFY(logShows(dialog_, "Update finished."));
        QVERIFY(logOf(dialog_).contains("Update to 222 finished with status 0"));
        QCOMPARE(widget<QLabel>(dialog_, "lblCurrentOperation")->text(), "Done.");
        QCOMPARE(widget<QProgressBar>(dialog_, "prgUpdate")->value(), 2);
        QCOMPARE(smsSends_, 2);
        widget<QLineEdit>(dialog_, "edtApn")->setText(QString(200, 'a'));
        start(QStringLiteral("555"));
        QVERIFY2(boxes_.boxes.last().text.startsWith("The update SMS would be 311 bytes long"),
                 qPrintable(boxes_.boxes.last().text));
    }
};

QTEST_MAIN(TestFwUpdate)
#include "tst_fwupdate.moc"
