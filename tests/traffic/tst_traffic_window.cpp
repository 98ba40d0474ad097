// The traffic inspector over the real link: rows and outcomes, the filter, the row limit and
// pause, secrets in copies and saved captures, and captures opened again.
#include <QAbstractItemModelTester>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "frames.h"
#include "link_harness.h"
#include "link_requests.h"
#include "payload_text.h"
#include "pcapng.h"
#include "traffic_capture.h"
#include "traffic_model.h"
#include "traffic_secrets.h"
#include "traffic_statistics.h"
#include "traffic_window.h"

using testsupport::frame;

namespace {

// What link_apn_set("web", "me", "secret") sends.
const QByteArray kApnPayload("\x03web\x02me\x06secret");

// Direction, command and outcome of every row, "|" between them.
QStringList rows(const TrafficModel *m,
                 QList<int> columns = {TrafficModel::Direction, TrafficModel::Command,
                                       TrafficModel::Outcome}) {
    QStringList out;
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        for (int c : columns) {
            cells << m->text(r, c);
        }
        out << cells.join('|');
    }
    return out;
}

}  // namespace

class TestTrafficWindow : public QObject {
    Q_OBJECT

    testsupport::FakeClock clock;
    std::unique_ptr<TrafficCapture> capture;
    std::unique_ptr<TrafficWindow> window;
    uint8_t toolSeq = 0;

    // Steps: ask (RSSI request), apn (APN set with a password), ack, nak, reply, repeat,
    // late (a retransmit time-out passes), spoil (a reply with a bad CRC), spoilapn (the APN
    // read back with a bad CRC). A batch after each unless the capture's timer is to take them.
    void run(const QString &script, bool take = true) {
        for (const QString &step : script.split(' ')) {
            if (step == "ask") {
                link_get_rssi();
            } else if (step == "apn") {
                link_apn_set("web", "me", "secret");
            } else if (step == "ack" || step == "nak") {
                link_receive(frame(step == "ack" ? CMD_ACK : CMD_NAK, toolSeq));
            } else if (step == "reply" || step == "repeat") {
                link_receive(frame(CMD_GET_RSSI, 0x20, REPLY_FLAG, QByteArray(1, 31)));
            } else if (step == "late") {
                clock.advance(LINK_RETRANSMIT_SECONDS + 1);
            } else if (step == "spoil" || step == "spoilapn") {
                QByteArray bad = step == "spoil"
                                     ? frame(CMD_GET_RSSI, 0x21, REPLY_FLAG, QByteArray(1, 31))
                                     : frame(CMD_APN_GET, 0x22, REPLY_FLAG, kApnPayload);
                bad[bad.size() - 2] = char(bad[bad.size() - 2] ^ 1);
                link_receive(bad);
            }
            for (const QByteArray &written : testsupport::drain()) {
                toolSeq = uint8_t(written[2]);
            }
            if (take) {
                capture->takeNow();
            }
        }
    }

  private slots:
    void init() {
        testsupport::resetLink();
        capture = std::make_unique<TrafficCapture>();
        window = std::make_unique<TrafficWindow>(capture.get());
        new QAbstractItemModelTester(window->viewModel(),
                                     QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     window.get());
    }
    void cleanup() {
        window.reset();
        capture.reset();
    }

    void rowsShowOutcomes_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("expected");
        const QString out = "Tool → Module|", in = "Module → Tool|";
        QTest::newRow("request, ACK, reply")
            << "ask ack reply"
            << QStringList{out + "0xA1 GET_RSSI|ACKed", in + "0x00 ACK|",
                           in + "0xA1 GET_RSSI|ACKed", out + "0x00 ACK|"};
        QTest::newRow("rewritten") << "ask late ack"
                                   << QStringList{out + "0xA1 GET_RSSI|rewritten after time-out",
                                                  out + "0xA1 GET_RSSI|ACKed", in + "0x00 ACK|"};
        QTest::newRow("NAK") << "ask nak"
                             << QStringList{out + "0xA1 GET_RSSI|NAKed", in + "0x01 NAK|"};
        QTest::newRow("repeat and bad CRC")
            << "reply repeat spoil"
            << QStringList{in + "0xA1 GET_RSSI|ACKed", out + "0x00 ACK|",
                           in + "0xA1 GET_RSSI|dropped as a repeat", out + "0x00 ACK|",
                           in + "|bad CRC"};
    }
    void rowsShowOutcomes() {
        QFETCH(QString, script);
        QFETCH(QStringList, expected);
        run(script);
        QCOMPARE(rows(window->trafficModel()), expected);
    }

    void filter_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("shown");
        QTest::newRow("name") << "get_rssi" << 2;
        QTest::newRow("id") << "a1" << 2;
        QTest::newRow("in") << "in" << 3;
        QTest::newRow("in and id") << "in a1" << 1;
        QTest::newRow("payload text") << "web" << 1;
        QTest::newRow("payload hex") << "1f" << 1;
        QTest::newRow("hex run") << "77 65" << 1;
        QTest::newRow("hex run out of order") << "65 77" << 0;
        QTest::newRow("id then payload") << "a1 1f" << 1;
        QTest::newRow("masked password") << "secret" << 0;
        QTest::newRow("masked password hex") << "73 65 63" << 0;
    }
    void filter() {
        QFETCH(QString, text);
        QFETCH(int, shown);
        run("ask ack apn ack reply", false);
        QTRY_COMPARE(window->viewModel()->rowCount(), 6);  // the capture's own batch
        window->setFilterText(text);
        QCOMPARE(window->viewModel()->rowCount(), shown);
    }

    void rowLimitAndPause_data() {
        QTest::addColumn<bool>("paused");
        QTest::newRow("live") << false;
        QTest::newRow("paused while rows drop") << true;
    }
    void rowLimitAndPause() {
        QFETCH(bool, paused);
        capture->setMaxRows(3);
        run("ask ask");
        window->setPaused(paused);
        const auto *pause = window->findChild<QPushButton *>();
        QCOMPARE(pause->text(), paused ? "Resume" : "Pause");  // what pressing it does next
        run("ask ask ask");
        QCOMPARE(window->trafficModel()->rowCount(), paused ? 0 : 3);
        window->setPaused(false);
        QCOMPARE(pause->text(), "Pause");
        QCOMPARE(window->trafficModel()->rowCount(), 3);
        QCOMPARE(window->trafficModel()->record(0).id, 3u);
        QVERIFY(window->droppedNote().startsWith("Oldest 2 rows dropped"));
    }

    // A payload masked (bytes expected) or shown by field (a text).
    void payloadShown_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("way");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QVariant>("expected");
        const int req = int(PayloadWay::Request), reply = int(PayloadWay::Reply);
        const auto bytes = [](const char *text) { return QVariant(QByteArray(text)); };
        QTest::newRow("mail password")
            << int(CMD_MAIL_PASSWORD) << req << QByteArray("\x03pw!") << bytes("\x03***");
        QTest::newRow("cut before the password")
            << int(CMD_APN_GET) << reply << QByteArray("\x01w\x05me") << bytes("\x01w\x05**");
        QTest::newRow("trigger SMS, ! in the password")
            << int(CMD_SMS_TEXT) << req
            << QByteArray("\x26!USER=me!\r\n!PASS=se!cret!\r\nOTA-START")
            << bytes("\x26!USER=**!\r\n!PASS=*******!\r\nOTA-START");
        QTest::newRow("trigger SMS ending in the password")
            << int(CMD_SMS_TEXT) << req << QByteArray("\x0a!PASS=a!b!") << bytes("\x0a!PASS=***!");
        QTest::newRow("trigger SMS cut in the password")
            << int(CMD_SMS_TEXT) << req << QByteArray("\x0e!PASS=a!\r") << bytes("\x0e!PASS=***");
        QTest::newRow("received SMS kept") << int(CMD_SMS_TEXT) << int(PayloadWay::ModuleStarted)
                                           << QByteArray("\x07!PASS=a") << bytes("\x07!PASS=a");
        QTest::newRow("numbers, extra")
            << int(CMD_GPIO_PIN_SET) << req << QByteArray("\x05\x01\xAA")
            << QVariant("pin: 5 (0x05)\nvalue: 1 (0x01)\nextra: AA");
        QTest::newRow("texts, secret masked")
            << int(CMD_APN_SET) << req << kApnPayload
            << QVariant("name: \"web\"\nlogin: \"me\"\npassword: \"******\" (masked)");
        QTest::newRow("data") << int(CMD_I2C) << reply << QByteArray("\x02\x00\xFF", 3)
                              << QVariant("data read: 00 FF");
        QTest::newRow("short") << int(CMD_APN_GET) << reply << QByteArray("\x01w\x05me")
                               << QVariant("name: \"w\"\nmissing: login, password");
    }
    void payloadShown() {
        QFETCH(int, id);
        QFETCH(int, way);
        QFETCH(QByteArray, payload);
        QFETCH(QVariant, expected);
        if (expected.type() == QVariant::ByteArray) {
            QCOMPARE(maskSecrets(uint8_t(id), PayloadWay(way), payload), expected.toByteArray());
        } else {
            QCOMPARE(linesText(payloadLines(uint8_t(id), PayloadWay(way), payload)),
                     expected.toString());
        }
    }

    void savedAndReopened_data() {
        QTest::addColumn<bool>("includePasswords");
        QTest::newRow("passwords masked") << false;
        QTest::newRow("passwords included") << true;
    }
    void savedAndReopened() {
        QFETCH(bool, includePasswords);
        run("apn ack ask late ack reply spoil spoilapn");
        // Copies and the detail pane mask the password, and a spoiled read-back's whole payload.
        const QStringList lines = window->csvOfRows({0, 8}).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[1].section(',', 5, 6), "14,03 77 65 62 02 6D 65 06 2A 2A 2A 2A 2A 2A");
        const QModelIndex payload = window->viewModel()->index(0, TrafficModel::Payload);
        window->table()->setCurrentIndex(payload);
        QCOMPARE(window->detailText(), payload.data(Qt::ToolTipRole).toString() +
                                           "\nraw bytes: " + lines[1].section(',', 6, 6));
        const QByteArray wire = window->trafficModel()->record(8).wire;
        const QByteArray shown = wire.left(4) + QByteArray(kApnPayload.size(), '*') + wire.right(3);
        QCOMPARE(lines[2].section(',', 5, 6),
                 QString("%1,%2").arg(wire.size()).arg(testsupport::toHex(shown)));
        QTemporaryDir dir;
        const QString path = dir.filePath("traffic.pcapng");
        QString why;
        QVERIFY2(window->saveCapture(path, includePasswords, &why), qPrintable(why));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QList<CapturedFrame> frames;
        QVERIFY(readPcapng(file, &frames, &why));
        QStringList secretsAndNotes;
        for (const CapturedFrame &f : frames) {
            if (f.wire.contains("secret") || f.comment.contains("masked")) {
                secretsAndNotes << QString("%1 %2").arg(f.wire.contains("secret")).arg(f.comment);
            }
        }
        // The APN set, and the two spoiled frames, whose payload is masked whatever it held.
        const QStringList expected =
            includePasswords
                ? QStringList{"1 ACKed", "1 bad CRC"}
                : QStringList{"0 ACKed, masked", "0 bad CRC, masked", "0 bad CRC, masked"};
        QCOMPARE(secretsAndNotes, expected);

        std::unique_ptr<TrafficWindow> opened(TrafficWindow::openCapture(path, nullptr, &why));
        QVERIFY2(opened, qPrintable(why));
        const QList<int> allButOutcome{TrafficModel::Time,   TrafficModel::Direction,
                                       TrafficModel::Seq,    TrafficModel::Command,
                                       TrafficModel::Status, TrafficModel::Length,
                                       TrafficModel::Payload};
        QCOMPARE(rows(opened->trafficModel(), allButOutcome),
                 rows(window->trafficModel(), allButOutcome));
        QCOMPARE(rows(opened->trafficModel(), {TrafficModel::Outcome}).filter("masked").size(),
                 includePasswords ? 0 : 3);
        // The file's own statistics, as the link counted the same frames.
        QCOMPARE(opened->statisticsText().section(" · ", 0, 6),
                 trafficStatisticsLine(link_snapshot().counters, 0).section(" · ", 0, 6));
        QVERIFY(!window->saveCapture(dir.filePath("missing/traffic.pcapng"), false, &why));
    }
};

QTEST_MAIN(TestTrafficWindow)
#include "tst_traffic_window.moc"
