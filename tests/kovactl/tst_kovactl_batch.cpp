// kovactl batch-update against the virtual module with its report and exit code, the capture
// with passwords masked or kept, and a port that goes while a command waits.
#include <signal.h>
#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include "command_ids.h"
#include "kovactl_run.h"
#include "pcapng.h"

namespace {

const QString kFirmware = QStringLiteral("fw/KV100/kv_2.1.bin");

QStringList batchArgs(const QString &report, const QString &more) {
    return QStringList{QStringLiteral("batch-update"),
                       QStringLiteral("--firmware"),
                       kFirmware,
                       QStringLiteral("--numbers"),
                       QStringLiteral("-"),
                       QStringLiteral("--report"),
                       report} +
           more.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// The outcome column of the report, one per number.
QStringList reportOutcomes(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {QStringLiteral("(no report)")};
    }
    QStringList outcomes;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines.mid(1)) {
        if (!line.isEmpty()) {
            outcomes << QString::fromUtf8(line.split(',').value(2));
        }
    }
    return outcomes;
}

}  // namespace

class KovactlBatchTest : public QObject {
    Q_OBJECT

  private slots:
    void batch_data();
    void batch();
    void capture_data();
    void capture();
    void lostWhileWaiting();
};

void KovactlBatchTest::batch_data() {
    QTest::addColumn<QByteArray>("numbers");
    QTest::addColumn<QString>("more");
    // "fails": every SMS fails; "lost", "interrupt": the port goes, or SIGTERM comes, while
    // the first number waits for its reply.
    QTest::addColumn<QString>("module");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("outcomes");
    QTest::addColumn<QStringList>("smsTo");

    const QStringList none;
    QTest::newRow("every number sent") << QByteArray("111\n222") << "--yes"
                                       << "" << 0 << "sent,sent" << QStringList{"111", "222"};
    QTest::newRow("an invalid number among them")
        << QByteArray("111\n4x\n333\n") << "--yes"
        << "" << 1 << "sent,invalid number,sent" << QStringList{"111", "333"};
    QTest::newRow("the module fails") << QByteArray("111") << "--yes"
                                      << "fails" << 1 << "failed" << none;
    QTest::newRow("port lost") << QByteArray("111 222 333") << "--yes"
                               << "lost" << 69 << "no reply (outcome unknown),not sent,not sent"
                               << none;
    QTest::newRow("interrupted") << QByteArray("111 222") << "--yes"
                                 << "interrupt" << 1 << "no reply (outcome unknown),not sent"
                                 << none;
    QTest::newRow("no terminal to ask on") << QByteArray("111") << ""
                                           << "" << 64 << "(no report)" << none;
    QTest::newRow("trigger over one SMS")
        << QByteArray("111") << "--yes --apn " + QString(200, QLatin1Char('a')) << "" << 65
        << "(no report)" << none;
}

void KovactlBatchTest::batch() {
    QFETCH(QByteArray, numbers);
    QFETCH(QString, more);
    QFETCH(QString, module);
    QFETCH(int, code);
    QFETCH(QString, outcomes);
    QFETCH(QStringList, smsTo);

    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("report.csv"));
    KovactlRun run;
    QStringList sentTo;
    connect(&run.module(), &VirtualModule::smsSent, this,
            [&](const QByteArray &number) { sentTo << QString::fromUtf8(number); });
    run.module().setSmsSendFails(module == QLatin1String("fails"));
    if (module == QLatin1String("lost") || module == QLatin1String("interrupt")) {
        run.module().setUnansweredSmsTo({"111"});
        connect(&run.module(), &VirtualModule::frameReceived, this, [&](quint8 id) {
            if (id != CMD_SMS_SEND) {
                return;
            }
            if (module == QLatin1String("lost")) {
                run.module().stop();
            } else {
                ::kill(pid_t(run.processId()), SIGTERM);
            }
        });
    }
    const KovactlResult r = run.run(batchArgs(report, more), numbers);
    QVERIFY2(r.exitCode == code, r.err.constData());
    QCOMPARE(reportOutcomes(report).join(QLatin1Char(',')), outcomes);
    QCOMPARE(sentTo, smsTo);
    if (code == 64 || code == 65) {
        QVERIFY(r.frames.isEmpty());
        return;
    }
    // Standard error tells each number's outcome.
    const QStringList given = QString::fromUtf8(numbers).split(
        QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    const QStringList ends = outcomes.split(QLatin1Char(','));
    for (int i = 0; i < given.size(); ++i) {
        QVERIFY2(r.err.contains((given[i] + QStringLiteral(": ") + ends[i]).toUtf8()),
                 r.err.constData());
    }
}

void KovactlBatchTest::capture_data() {
    QTest::addColumn<bool>("includePasswords");
    QTest::addColumn<bool>("fromEnvironment");
    QTest::addColumn<QString>("folder");  // of the capture, within the test's own

    QTest::newRow("masked") << false << false << "";
    QTest::newRow("masked, password from the environment") << false << true << "";
    QTest::newRow("passwords kept") << true << false << "";
    QTest::newRow("capture cannot be created") << false << false << "missing/";
}

void KovactlBatchTest::capture() {
    QFETCH(bool, includePasswords);
    QFETCH(bool, fromEnvironment);
    QFETCH(QString, folder);

    QTemporaryDir dir;
    const QString capture = dir.filePath(folder + QStringLiteral("line.pcapng"));
    QFile secret(dir.filePath(QStringLiteral("secret")));
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write("s3cret\n");
    secret.close();
    QString more = QStringLiteral("--yes --apn inet --user bob");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (fromEnvironment) {
        env.insert(QStringLiteral("KOVA_OTA_PASSWORD"), QStringLiteral("s3cret"));
    } else {
        more += QStringLiteral(" --password-file ") + secret.fileName();
    }
    if (includePasswords) {
        more += QStringLiteral(" --include-passwords");
    }
    KovactlRun run;
    QByteArray text;
    connect(&run.module(), &VirtualModule::smsSent, this,
            [&](const QByteArray &, const QByteArray &sms) { text = sms; });
    const KovactlResult r =
        run.run(QStringList{QStringLiteral("--json"), QStringLiteral("--capture"), capture} +
                    batchArgs(dir.filePath(QStringLiteral("report.csv")), more),
                "111", env);
    if (!folder.isEmpty()) {  // known before the line is touched, and said in the answer too
        QCOMPARE(r.exitCode, 73);
        QCOMPARE(r.json().value(QStringLiteral("code")).toInt(), 73);
        QVERIFY(r.frames.isEmpty());
        return;
    }
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(text.contains("!PASS=s3cret!\r\n"), text.constData());

    QFile file(capture);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QList<CapturedFrame> frames;
    QString why;
    QVERIFY2(readPcapng(file, &frames, &why), qPrintable(why));
    QByteArray wire;
    int maskedFrames = 0;
    for (const CapturedFrame &f : frames) {
        wire += f.wire;
        maskedFrames += f.comment.endsWith(QLatin1String("masked")) ? 1 : 0;
    }
    QVERIFY(wire.contains("!PATH=:7776/cellularModem/fw/KV100/kv_2.1.bin!"));
    QCOMPARE(wire.contains("s3cret"), includePasswords);
    QCOMPARE(maskedFrames > 0, !includePasswords);
}

// A request the module never answers, and the port gone once it was read: the exit is 69, not
// the time-out's 75 half a minute later.
void KovactlBatchTest::lostWhileWaiting() {
    KovactlRun run;
    run.module().setUnansweredIds({CMD_GET_RSSI});
    connect(&run.module(), &VirtualModule::frameReceived, this, [&](quint8 id) {
        if (id == CMD_GET_RSSI) {
            run.module().stop();
        }
    });
    const KovactlResult r =
        run.run({QStringLiteral("--json"), QStringLiteral("--timeout"), QStringLiteral("30"),
                 QStringLiteral("status"), QStringLiteral("rssi")});
    QCOMPARE(r.exitCode, 69);
    QCOMPARE(r.json().value(QStringLiteral("code")).toInt(), 69);
}

QTEST_GUILESS_MAIN(KovactlBatchTest)
#include "tst_kovactl_batch.moc"
