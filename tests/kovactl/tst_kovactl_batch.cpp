// kovactl batch-update against the virtual module with its report and exit code, a port that
// goes while a command waits, and the capture with passwords masked or kept.
#include <signal.h>
#include <QTemporaryDir>
#include <QtTest>

#include "command_ids.h"
#include "kovactl_run.h"
#include "pcapng.h"

namespace {

QStringList batchArgs(const QTemporaryDir &dir, const QString &more) {
    return QStringLiteral(
               "--json batch-update --firmware fw/KV100/kv_2.1.bin --numbers - "
               "--report %1 %2")
        .arg(dir.filePath(QStringLiteral("report.csv")), more)
        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

}  // namespace

class KovactlBatchTest : public QObject {
    Q_OBJECT

  private slots:
    void runs_data();
    void runs();
    void capture_data();
    void capture();
};

void KovactlBatchTest::runs_data() {
    QTest::addColumn<QString>("args");  // "batch" and its options, or another command
    QTest::addColumn<QByteArray>("numbers");
    // "fails": every SMS fails. "lost", "term": the module leaves the SMS to 111 and rssi
    // unanswered, and once it read their frame it stops, or the program gets a SIGTERM.
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("outcomes");  // the report's, one per number

    QTest::newRow("every number sent")
        << "batch --yes" << QByteArray("111\n222") << "" << 0 << "sent,sent";
    QTest::newRow("an invalid number among them")
        << "batch --yes" << QByteArray("111\n4x\n333\n") << "" << 1 << "sent,invalid number,sent";
    QTest::newRow("the module fails")
        << "batch --yes" << QByteArray("111") << "fails" << 1 << "failed";
    QTest::newRow("port lost") << "batch --yes" << QByteArray("111 222 333") << "lost" << 69
                               << "no reply (outcome unknown),not sent,not sent";
    QTest::newRow("interrupted") << "batch --yes" << QByteArray("111 222") << "term" << 1
                                 << "no reply (outcome unknown),not sent";
    QTest::newRow("no terminal to ask on") << "batch" << QByteArray("111") << "" << 64 << "";
    QTest::newRow("trigger over one SMS") << "batch --yes --apn " + QString(200, QLatin1Char('a'))
                                          << QByteArray("111") << "" << 65 << "";
    QTest::newRow("capture cannot be created")  // known before the line is touched
        << "batch --yes --capture /nonexistent-kova/line.pcapng" << QByteArray("111") << "" << 73
        << "";
    QTest::newRow("port lost while a request waits")
        << "--timeout 30 status rssi" << QByteArray() << "lost" << 69 << "";
}

void KovactlBatchTest::runs() {
    QFETCH(QString, args);
    QFETCH(QByteArray, numbers);
    QFETCH(QString, fault);
    QFETCH(int, code);
    QFETCH(QString, outcomes);

    QTemporaryDir dir;
    KovactlRun run;
    QStringList sentTo;
    connect(&run.module(), &VirtualModule::smsSent, this,
            [&](const QByteArray &number) { sentTo << QString::fromUtf8(number); });
    run.module().setSmsSendFails(fault == QLatin1String("fails"));
    const bool lost = fault == QLatin1String("lost");
    if (lost || fault == QLatin1String("term")) {
        run.module().setUnansweredSmsTo({"111"});
        run.module().setUnansweredIds({CMD_GET_RSSI});
        connect(&run.module(), &VirtualModule::frameReceived, this, [&](quint8 id) {
            if (id == CMD_SMS_SEND || id == CMD_GET_RSSI) {
                lost ? run.module().stop() : void(::kill(pid_t(run.processId()), SIGTERM));
            }
        });
    }
    const KovactlResult r =
        run.run(args.startsWith(QLatin1String("batch"))
                    ? batchArgs(dir, args.mid(5))
                    : QStringList{QStringLiteral("--json")} + args.split(QLatin1Char(' ')),
                numbers);
    QVERIFY2(r.exitCode == code, r.err.constData());
    QCOMPARE(r.json().value(QStringLiteral("code")).toInt(), code);
    QCOMPARE(r.frames.isEmpty(), code == 64 || code == 65 || code == 73);
    // Each number's outcome is in the report and, as it comes, on standard error.
    QFile report(dir.filePath(QStringLiteral("report.csv")));
    QStringList reported;
    QStringList sent;
    if (report.open(QIODevice::ReadOnly) && !report.readLine().isEmpty()) {
        while (!report.atEnd()) {
            const QList<QByteArray> row = report.readLine().split(',');
            reported << QString::fromUtf8(row.value(2));
            if (row.value(2) == "sent") {
                sent << QString::fromUtf8(row[0]);
            }
            QVERIFY2(r.err.contains(row.value(0) + ": " + row.value(2)), r.err.constData());
        }
    }
    QCOMPARE(reported.join(QLatin1Char(',')), outcomes);
    QCOMPARE(sentTo, sent);  // the module's SMS went to the numbers reported sent, and no other
}

void KovactlBatchTest::capture_data() {
    QTest::addColumn<bool>("includePasswords");
    QTest::addColumn<bool>("fromEnvironment");

    QTest::newRow("masked") << false << false;
    QTest::newRow("masked, password from the environment") << false << true;
    QTest::newRow("passwords kept") << true << false;
}

void KovactlBatchTest::capture() {
    QFETCH(bool, includePasswords);
    QFETCH(bool, fromEnvironment);

    QTemporaryDir dir;
    const QString capture = dir.filePath(QStringLiteral("line.pcapng"));
    QFile secret(dir.filePath(QStringLiteral("secret")));
    QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("s3cret\n") == 7);
    secret.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Set either way: a password file comes before it.
    env.insert(QStringLiteral("KOVA_OTA_PASSWORD"),
               fromEnvironment ? QStringLiteral("s3cret") : QStringLiteral("unused"));
    QString more = QStringLiteral("--yes --apn inet --user bob --capture ") + capture;
    more += fromEnvironment ? QString() : QStringLiteral(" --password-file ") + secret.fileName();
    more += includePasswords ? QStringLiteral(" --include-passwords") : QString();
    KovactlRun run;
    QByteArray text;
    connect(&run.module(), &VirtualModule::smsSent, this,
            [&](const QByteArray &, const QByteArray &sms) { text = sms; });
    const KovactlResult r = run.run(batchArgs(dir, more), "111", env);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(text.contains("!PASS=s3cret!\r\n"), text.constData());

    QFile file(capture);
    QList<CapturedFrame> frames;
    QString why;
    QVERIFY2(file.open(QIODevice::ReadOnly) && readPcapng(file, &frames, &why), qPrintable(why));
    QByteArray wire;
    bool masked = false;
    for (const CapturedFrame &f : frames) {
        wire += f.wire;
        masked = masked || f.comment.endsWith(QLatin1String("masked"));
    }
    QVERIFY(wire.contains("!PATH=:7776/cellularModem/fw/KV100/kv_2.1.bin!"));
    QCOMPARE(wire.contains("s3cret"), includePasswords);
    QCOMPARE(masked, !includePasswords);
}

QTEST_GUILESS_MAIN(KovactlBatchTest)
#include "tst_kovactl_batch.moc"
