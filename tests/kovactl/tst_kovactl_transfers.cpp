// kovactl's transfers (sms send, mail, socket send): the frames the module reads, in order, how
// each end is told, input over the module's limit, and the response and the password.
#include <QtTest>

#include "command_ids.h"
#include "kovactl_run.h"
#include "socket_feature.h"

namespace {

QByteArray frame(quint8 id, const QByteArray &payload = QByteArray()) {
    return char(id) + payload;
}

QByteArray counted(const QByteArray &text) {
    return char(text.size()) + text;
}

const QByteArray kPayload = QByteArray(300, 'p');  // two pieces: 255 and 45 bytes

}  // namespace

class KovactlTransfersTest : public QObject {
    Q_OBJECT

  private slots:
    void transfers_data();
    void transfers();
    void responseWhole();
};

void KovactlTransfersTest::transfers_data() {
    QTest::addColumn<QString>("args");  // %d: a folder holding "password" and "big"
    QTest::addColumn<QString>("module");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArrayList>("frames");  // the tool's requests, id then payload

    const QByteArrayList sms = {frame(CMD_SMS_NUMBER, counted("5551234") + '\0'),
                                frame(CMD_SMS_TEXT, counted("see you at 9")), frame(CMD_SMS_SEND)};
    QTest::newRow("sms sent") << "sms send 5551234 see you  at 9"
                              << "" << QByteArray() << 0 << sms;
    QTest::newRow("sms failure status") << "sms send 5551234 see you  at 9"
                                        << "sms fails" << QByteArray() << 1 << sms;
    QTest::newRow("sms nak") << "sms send 5551234 see you  at 9"
                             << "nak 98" << QByteArray() << 2 << sms;
    QTest::newRow("sms no reply") << "--timeout 0.3 sms send 5551234 see you  at 9"
                                  << "unanswered sms" << QByteArray() << 75 << sms;
    QTest::newRow("sms never acknowledged")
        << "--timeout 0.3 sms send 5551234 hi"
        << "no acks" << QByteArray() << 75
        << QByteArrayList{frame(CMD_SMS_NUMBER, counted("5551234") + '\0')};
    QTest::newRow("sms text too long")
        << "sms send 5551234 " + QString(141, 'x') << "" << QByteArray() << 65 << QByteArrayList();

    const QByteArrayList mail = {frame(CMD_MAIL_SERVER, counted("smtp.example")),
                                 frame(CMD_MAIL_PORT, "\x02\x4b"),
                                 frame(CMD_MAIL_LOGIN, counted("ann")),
                                 frame(CMD_MAIL_PASSWORD, counted("s3cr3t")),
                                 frame(CMD_MAIL_RECIPIENT, counted("b@y.org")),
                                 frame(CMD_MAIL_SENDER, counted("a@x.org")),
                                 frame(CMD_MAIL_SUBJECT, counted("hi")),
                                 frame(CMD_MAIL_BODY, counted("")),
                                 frame(CMD_MAIL_BODY, counted("body\n"))};
    const QString fields =
        "--server smtp.example --smtp-port 587 --login ann --password-file "
        "%d/password --sender a@x.org --recipient b@y.org --subject hi "
        "--body-file - ";
    QTest::newRow("mail smtp") << fields + "--ssl mail smtp"
                               << "" << QByteArray("body\n") << 0
                               << mail + QByteArrayList{frame(CMD_MAIL_SEND_SMTP, "\x01")};
    QTest::newRow("mail post") << fields + "mail http-post http://h.example/in"
                               << "" << QByteArray("body\n") << 0
                               << mail + QByteArrayList{frame(CMD_MAIL_SEND_HTTP_POST,
                                                              counted("http://h.example/in"))};
    QTest::newRow("mail body over the limit") << "--body-file %d/big mail smtp"
                                              << "" << QByteArray() << 65 << QByteArrayList();

    const QByteArrayList socket = {
        frame(CMD_SOCKET_PAYLOAD, counted("")),
        frame(CMD_SOCKET_PAYLOAD, counted(kPayload.left(255))),
        frame(CMD_SOCKET_PAYLOAD, counted(kPayload.mid(255))),
        frame(CMD_SOCKET_SEND, "\x02\x13\x88" + counted("h.example:80"))};
    QTest::newRow("socket send") << "socket send h.example:80 --protocol http-post --payload-file -"
                                 << "apn" << kPayload << 0 << socket;
    QTest::newRow("socket result code") << "socket send h.example:80 --protocol http-post "
                                           "--payload-file -"
                                        << "" << kPayload << 1 << socket;
    QTest::newRow("socket response cut") << "socket send h.example:80 --protocol http-post "
                                            "--payload-file -"
                                         << "apn, 40960 bytes" << kPayload << 1 << socket;
    QTest::newRow("socket payload over the limit")
        << "socket send h.example:80 --payload-file %d/big"
        << "apn" << QByteArray() << 65 << QByteArrayList();
    QTest::newRow("socket time-out not a number")
        << "socket send h.example:80 --timeout-ms soon"
        << "apn" << QByteArray() << 64 << QByteArrayList();
}

void KovactlTransfersTest::transfers() {
    QFETCH(QString, args);
    QFETCH(QString, module);
    QFETCH(QByteArray, input);
    QFETCH(int, code);
    QFETCH(QByteArrayList, frames);

    QTemporaryDir dir;
    QFile password(dir.filePath(QStringLiteral("password")));
    QVERIFY(password.open(QIODevice::WriteOnly) && password.write("s3cr3t\n") == 7);
    password.close();
    QFile big(dir.filePath(QStringLiteral("big")));
    QVERIFY(big.open(QIODevice::WriteOnly) && big.write(QByteArray(65536, 'b')) == 65536);
    big.close();

    KovactlRun run;
    if (module == QLatin1String("sms fails")) {
        run.module().setSmsSendFails(true);
    } else if (module.startsWith(QLatin1String("nak"))) {
        run.module().setNakIds({quint8(module.mid(4).toInt())});
    } else if (module == QLatin1String("unanswered sms")) {
        run.module().setUnansweredSmsTo({"5551234"});
    } else if (module == QLatin1String("no acks")) {
        run.module().setWithholdAcks(true);  // and no reply, which would stand for an ACK
        run.module().setUnansweredIds({CMD_SMS_NUMBER});
    } else if (module.startsWith(QLatin1String("apn"))) {
        run.module().setApn(Apn{"internet", "", ""});
        if (module.contains(QLatin1String("bytes"))) {
            run.module().setSocketResponseSize(module.section(QLatin1Char(' '), 1, 1).toInt());
        }
    }
    const QStringList words =
        args.replace(QLatin1String("%d"), dir.path()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const KovactlResult r = run.run(QStringList{QStringLiteral("--json")} + words, input);
    QCOMPARE(r.exitCode, code);
    QCOMPARE(r.json().value(QStringLiteral("code")).toInt(), code);
    QByteArrayList requests;
    for (const ModuleFrame &f : r.frames) {
        if ((f.status & 0x80) == 0) {  // the tool's answers to the module's own frames aside
            requests << frame(f.id, f.payload);
        }
    }
    QCOMPARE(requests, frames);
    QVERIFY2(!(r.out + r.err).contains("s3cr3t"), r.out.constData());
    if (code == 75) {  // no outcome: only a send that never went out says it was not sent
        QCOMPARE(r.json().value(QStringLiteral("result")).toObject().contains("transfer.sent"),
                 module == QLatin1String("no acks"));
    }
}

// A response just under the store's size reaches standard output byte for byte.
void KovactlTransfersTest::responseWhole() {
    KovactlRun run;
    run.module().setApn(Apn{"internet", "", ""});
    run.module().setSocketResponseSize(40959);
    const KovactlResult r =
        run.run({QStringLiteral("socket"), QStringLiteral("send"), QStringLiteral("h.example:80"),
                 QStringLiteral("--protocol"), QStringLiteral("http-get")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out.size(), 40959);
    QVERIFY(r.out == cannedHttpResponse(40959));
}

QTEST_GUILESS_MAIN(KovactlTransfersTest)
#include "tst_kovactl_transfers.moc"
