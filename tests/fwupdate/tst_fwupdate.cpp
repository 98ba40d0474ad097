// The batch firmware update: the firmware list from a real HTTP server on loopback, the numbers
// and the trigger SMS, and whole batches through the window against the virtual module.
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

template <typename T = QWidget>
T *in(QWidget *dialog, const char *name) {
    return widget<T>(dialog, name);
}

QString logOf(QWidget *dialog) {
    return in<QPlainTextEdit>(dialog, "txtUpdateLog")->toPlainText();
}

bool logShows(QWidget *dialog, const QString &text) {
    return QTest::qWaitFor([&] { return logOf(dialog).contains(text); }, kIoTimeoutMs);
}

// Asks the server for the list and waits until the dialog has read it.
QStringList fetchList(Dlgfwupdate &dialog) {
    in<QPushButton>(&dialog, "btnRefreshFwSelection")->click();
    if (!QTest::qWaitFor([&] { return in(&dialog, "btnRefreshFwSelection")->isEnabled(); },
                         kIoTimeoutMs)) {
        return {QStringLiteral("the list did not come")};
    }
    auto *list = in<QComboBox>(&dialog, "cmbFwSelection");
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
        in<QPlainTextEdit>(dialog_, "txtListMSISDN")->setPlainText(numbers);
        in<QPushButton>(dialog_, "btnStartUpdate")->click();
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
        QTest::newRow("no answer") << int(UpdateServer::Answer::Silence) << QByteArray()
                                   << QStringList{none} << "no answer within 0.2 s";
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
        dialog.setListTimeoutMs(200);
        server_.setAnswer(UpdateServer::Answer(answer));
        server_.setList(body);
        QCOMPARE(fetchList(dialog), items);
        QVERIFY2(logOf(&dialog).contains(log), qPrintable(logOf(&dialog)));
        QCOMPARE(in(&dialog, "btnStartUpdate")->isEnabled(), !items.first().endsWith('|'));
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

    // Progress after each number, the outcome of each, and the module's SMS path closed to
    // the SMS tab meanwhile.
    void batchOfThree() {
        if (!openDialog()) {
            QSKIP("no pseudo-terminal");
        }
        QList<int> progress;
        connect(in<QProgressBar>(dialog_, "prgUpdate"), &QProgressBar::valueChanged, this,
                [&](int value) { progress << value; });
        auto *smsSend = widget<QPushButton>(window_.get(), "pushButton_SMSSend");
        start(QStringLiteral("+111, 222x;\n333"));
        QVERIFY(!smsSend->isEnabled() && !smsSend->toolTip().isEmpty());
        QVERIFY(logShows(dialog_, "Update finished."));
        QCOMPARE(boxes_.boxes.first().text,
                 "Warning!\r\nYou are about to update 3 KOVA-3G device(s) with "
                 "kova_3g_1.4.0.jad.\r\nAre you sure?");
        QCOMPARE(progress, QList<int>({1, 2, 3}));
        for (const char *line : {"Update to 111 finished with status 0(Success)",
                                 "Update to 222x finished with status 1(Invalid MSISDN)",
                                 "Update to 333 finished with status 0(Success)"}) {
            QVERIFY2(logOf(dialog_).contains(line), line);
        }
        QCOMPARE(smsSends_, 2);
        QVERIFY(smsSend->isEnabled());
        QString why;
        const QString csv = settings_.filePath("report.csv");
        QVERIFY2(dialog_->saveReport(csv, &why), qPrintable(why));
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().split('\n').value(2).left(42),
                 "222x,fw/KOVA-3G/kova_3g_1.4.0.jad,Invalid ");
    }

    // A refused request; a number given up on whose reply comes during the next number's
    // wait; one given up on before its SMS went out, which is then never sent.
    void refusedLateAndWithdrawn() {
        if (!openDialog()) {
            QSKIP("no pseudo-terminal");
        }
        module_->setUnansweredIds({CMD_SMS_SEND});
        start("1" + QString(254, QLatin1Char('9')) + " 222 333 444");
        QVERIFY(logShows(dialog_, "status 2(Failed to communicate with Cellular Module)"));
        QVERIFY(QTest::qWaitFor([&] { return smsSends_ == 1; }, kIoTimeoutMs));
        QMetaObject::invokeMethod(&dialog_->updateWorker(), "giveUpWaiting");
        QVERIFY(logShows(dialog_, "Update to 222 finished with status 3"));
        QVERIFY(answerSms(2, 1));  // late, for 222
        // From 444 on, nothing gets past its first frame: neither acknowledged nor answered.
        module_->setWithholdAcks(true);
        module_->setUnansweredIds({CMD_SMS_NUMBER, CMD_SMS_SEND});
        QVERIFY(answerSms(2, 0));  // 333's
        QVERIFY(logShows(dialog_, "Update to 333 finished with status 0(Success)"));
        QVERIFY(logOf(dialog_).contains(
            "Late reply for 222: 3(Failed to send SMS on cellular network)"));
        QVERIFY(logShows(dialog_, "Sending update to 444."));
        QMetaObject::invokeMethod(&dialog_->updateWorker(), "giveUpWaiting");
        QVERIFY2(logShows(dialog_, "No report for 444 in time: its SMS was taken back"),
                 qPrintable(logOf(dialog_)));
        QVERIFY(logShows(dialog_, "Update finished."));
        QCOMPARE(smsSends_, 2);
    }

    // The port goes while a number waits for its report: the wait stops, and once the module
    // is back the number's SMS goes again and its wait starts afresh.
    void batchWaitsForThePort() {
        if (!openDialog()) {
            QSKIP("no pseudo-terminal");
        }
        module_->setUnansweredIds({CMD_SMS_SEND});
        start(QStringLiteral("111"));
        QVERIFY(QTest::qWaitFor([&] { return smsSends_ == 1; }, kIoTimeoutMs));
        module_->stop();
        QVERIFY(logShows(dialog_, "The serial port is gone: the batch waits for it to return."));
        QVERIFY(module_->start() && module_->createLink(link()));
        QVERIFY(logShows(dialog_, "The batch goes on."));
        QVERIFY(answerSms(2, 0));
        QVERIFY(logShows(dialog_, "Update to 111 finished with status 0(Success)"));
    }

    // Stop during the second of three; showing the dialog again and a second Start meanwhile
    // leave the batch alone; a trigger SMS too long for its frame refuses the next batch.
    void stopShowAgainAndSecondStart() {
        if (!openDialog()) {
            QSKIP("no pseudo-terminal");
        }
        module_->setUnansweredIds({CMD_SMS_SEND});
        start(QStringLiteral("111 222 333"));
        QVERIFY(answerSms(1, 0));
        QVERIFY(QTest::qWaitFor([&] { return smsSends_ == 2; }, kIoTimeoutMs));
        dialog_->hide();
        dialog_->show();
        dialog_->on_btnStartUpdate_clicked();
        QVERIFY(logOf(dialog_).contains("Update to 111 finished with status 0"));
        QVERIFY(in(dialog_, "btnStopUpdate")->isEnabled());
        QVERIFY(!in(dialog_, "btnStartUpdate")->isEnabled());
        QCOMPARE(boxes_.boxes.size(), 1);
        in<QPushButton>(dialog_, "btnStopUpdate")->click();
        module_->sendModuleReply(CMD_SMS_SEND, 0);
        QVERIFY(logShows(dialog_, "Update finished."));
        QCOMPARE(in<QLabel>(dialog_, "lblCurrentOperation")->text(), "Done.");
        QCOMPARE(in<QProgressBar>(dialog_, "prgUpdate")->value(), 2);
        QCOMPARE(smsSends_, 2);
        in<QLineEdit>(dialog_, "edtApn")->setText(QString(200, 'a'));
        start(QStringLiteral("555"));
        QVERIFY2(boxes_.boxes.last().text.startsWith("The update SMS would be 311 bytes long"),
                 qPrintable(boxes_.boxes.last().text));
    }
};

QTEST_MAIN(TestFwUpdate)
#include "tst_fwupdate.moc"
