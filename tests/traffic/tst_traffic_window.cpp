// The traffic inspector over the real link: rows and outcomes, the filter, the row limit and
// pause, secrets in copies and saved captures, and captures opened again.
#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "frames.h"
#include "link_harness.h"
#include "link_requests.h"
#include "pcapng.h"
#include "traffic_capture.h"
#include "traffic_model.h"
#include "traffic_secrets.h"
#include "traffic_window.h"

using testsupport::frame;

namespace {

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

QList<int> allColumns() {
    QList<int> all;
    for (int c = 0; c < TrafficModel::ColumnCount; ++c) {
        all << c;
    }
    return all;
}

}  // namespace

class TestTrafficWindow : public QObject {
    Q_OBJECT

    testsupport::FakeClock clock;
    std::unique_ptr<TrafficCapture> capture;
    std::unique_ptr<TrafficWindow> window;
    uint8_t toolSeq = 0;

    // Steps: ask (RSSI request), apn (APN set with a password), ack, nak, reply, repeat,
    // late (a retransmit time-out passes), spoil (a reply with a bad CRC). A batch after each
    // unless the capture's timer is to take them.
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
            } else if (step == "spoil") {
                QByteArray bad = frame(CMD_GET_RSSI, 0x21, REPLY_FLAG, QByteArray(1, 31));
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
        QTest::newRow("0x id") << "0xA1" << 2;
        QTest::newRow("in") << "in" << 3;
        QTest::newRow("out") << "out" << 3;
        QTest::newRow("in and id") << "in a1" << 1;
        QTest::newRow("payload text") << "web" << 1;
        QTest::newRow("payload hex") << "1f" << 1;
        QTest::newRow("masked password") << "secret" << 0;
        QTest::newRow("none") << "" << 6;
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
        run("ask ask ask");
        QCOMPARE(window->trafficModel()->rowCount(), paused ? 0 : 3);
        window->setPaused(false);
        QList<uint64_t> ids;
        for (int r = 0; r < window->trafficModel()->rowCount(); ++r) {
            ids << window->trafficModel()->record(r).id;
        }
        QCOMPARE(ids, (QList<uint64_t>{3, 4, 5}));
        QCOMPARE(capture->droppedRows(), 2u);
        QVERIFY(window->droppedNote().startsWith("Oldest 2 rows dropped"));
    }

    void secretsMasked_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("masked");
        QTest::newRow("mail password")
            << int(CMD_MAIL_PASSWORD) << QByteArray("\x03pw1x") << QByteArray("\x03****x");
        QTest::newRow("APN password") << int(CMD_APN_SET) << QByteArray("\x01w\x00\x02pw", 6)
                                      << QByteArray("\x01w\x00\x02****", 8);
        QTest::newRow("trigger SMS") << int(CMD_SMS_TEXT) << QByteArray("\x13!USER=me!\r\n!PASS=pw")
                                     << QByteArray("\x13!USER=****!\r\n!PASS=****");
        QTest::newRow("count past the end") << int(CMD_APN_SET) << QByteArray("\x01w\x00\x09pw", 6)
                                            << QByteArray("\x01w\x00\x09pw", 6);
        QTest::newRow("other command")
            << int(CMD_GET_RSSI) << QByteArray("\x02pw") << QByteArray("\x02pw");
    }
    void secretsMasked() {
        QFETCH(int, id);
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, masked);
        QCOMPARE(maskSecrets(uint8_t(id), payload), masked);
    }

    void copyMasksPassword() {
        run("apn");
        const QStringList lines = window->csvOfRows({0}).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], "Time,Direction,Seq,Command,Status,Length,Payload,Outcome");
        QVERIFY(lines[1].contains("2A 2A 2A 2A"));
        QVERIFY(!lines[1].contains(QByteArray("secret").toHex(' ').toUpper()));
    }

    void savedAndReopened_data() {
        QTest::addColumn<bool>("includePasswords");
        QTest::newRow("passwords masked") << false;
        QTest::newRow("passwords included") << true;
    }
    void savedAndReopened() {
        QFETCH(bool, includePasswords);
        run("apn ack ask late ack reply spoil");
        QTemporaryDir dir;
        const QString path = dir.filePath("traffic.pcapng");
        QString why;
        QVERIFY2(window->saveCapture(path, includePasswords, &why), qPrintable(why));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QList<CapturedFrame> frames;
        QVERIFY(readPcapng(file, &frames, &why));
        QCOMPARE(frames.size(), window->trafficModel()->rowCount());
        QCOMPARE(frames[0].wire.contains("secret"), includePasswords);

        std::unique_ptr<TrafficWindow> opened(TrafficWindow::openCapture(path, nullptr, &why));
        QVERIFY2(opened, qPrintable(why));
        QCOMPARE(rows(opened->trafficModel(), allColumns()),
                 rows(window->trafficModel(), allColumns()));
        QVERIFY(!window->saveCapture(dir.filePath("missing/traffic.pcapng"), false, &why));
    }
};

QTEST_MAIN(TestTrafficWindow)
#include "tst_traffic_window.moc"
