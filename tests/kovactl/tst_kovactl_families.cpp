// kovactl's i2c, call, audio, at, apn and sms reception commands: the frame each writes for its
// arguments, the exit code, and one field of its answer.
#include <QtTest>

#include "command_ids.h"
#include "kovactl_run.h"

namespace {

const QByteArray kSecret = "s3cret";

QStringList words(const QString &line) {
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

}  // namespace

class KovactlFamiliesTest : public QObject {
    Q_OBJECT

  private slots:
    void requests_data();
    void requests();
};

void KovactlFamiliesTest::requests_data() {
    QTest::addColumn<QString>("args");
    QTest::addColumn<QByteArray>("input");  // standard input
    QTest::addColumn<bool>("nak");          // the module refuses the frame
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("frameId");  // -1: nothing written
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("canned");  // a text the module replies with instead

    const auto row = [](const char *name, const QString &args, int code, int frameId,
                        const char *hex, const char *field = "", const QVariant &value = {},
                        const QByteArray &input = {}, bool nak = false,
                        const QByteArray &canned = {}) {
        QTest::newRow(name) << args << input << nak << code << frameId << QByteArray::fromHex(hex)
                            << field << value << canned;
    };
    row("i2c read", "i2c read 48 0 4", 0, CMD_I2C, "480004", "i2c.read_data", "GQBLUA==");
    row("i2c write joins pieces", "i2c write 50 10 aabb 0x1f", 0, CMD_I2C, "d01003aabb1f");
    row("i2c piece not hex", "i2c write 50 10 AA zz", 65, -1, "");
    row("i2c address over 7 bits", "i2c read 0xA0 0 1", 65, -1, "");
    row("i2c device missing", "i2c read 51 0 1", 1, CMD_I2C, "510001", "module.code", 2);
    row("dial", "call dial +4912345", 0, CMD_CALL_DIAL, "00082b34393132333435");
    row("dial not dialable", "call dial 12x", 65, -1, "");
    row("hang up without a call", "call hangup", 1, CMD_CALL_HANGUP, "0010", "module.code", 1);
    row("speaker gain read", "audio get speaker-gain", 0, CMD_AUDIO_GET_SPEAKER_GAIN, "",
        "audio.sidetone_gain", 18);
    row("speaker gain at its top", "audio set speaker-gain 100 175", 0, CMD_AUDIO_SET_SPEAKER_GAIN,
        "64af");
    row("ring tone", "audio set ring-tone 8 4", 0, CMD_AUDIO_SET_RING_TONE, "0804");
    row("mic gain over range", "audio set mic-gain 101", 65, -1, "");
    row("ring preset under range", "audio set ring-tone 0 2", 65, -1, "");
    row("at response of several replies", "at AT+CSQ", 0, CMD_AT_COMMAND, "0641542b435351",
        "at.response", "\r\n+CSQ: 17,99\r\n\r\nOK\r\n");
    row("at response without its final line", "--timeout 0.5 at AT+CSQ", 75, CMD_AT_COMMAND,
        "0641542b435351", "at.response", "\r\n+CSQ: 17,99\r\n", {}, false, "\r\n+CSQ: 17,99\r\n");
    row("at words joined, modem error", "at AT+X now", 1, CMD_AT_COMMAND, "0841542b58206e6f77",
        "module.code", 1);
    row("at over its limit", "at " + QString(255, QLatin1Char('A')), 65, -1, "");
    row("message size in quarters", "max-message-size 33", 0, CMD_MAX_MESSAGE_SIZE, "08",
        "link.size_quarter", 8);
    row("message size under range", "max-message-size 31", 65, -1, "");
    row("sms reception off", "sms reception off", 0, CMD_SMS_SET_RECEPTION, "00");
    row("sms reception read", "sms reception", 0, CMD_SMS_GET_RECEPTION, "", "sms.reception", 1);
    row("apn password from the environment", "apn set internet", 0, CMD_APN_SET,
        "08696e7465726e65740007656e7670617373");
    row("apn get masks the password", "apn get", 0, CMD_APN_GET, "", "apn.password", "******");
    row("answer refused", "call answer", 2, CMD_CALL_ANSWER, "", "", {}, {}, true);
    row("apn password from standard input", "apn set internet --login u --password-file -", 0,
        CMD_APN_SET, "08696e7465726e6574017506733363726574", "", {}, kSecret + "\r\n");
}

void KovactlFamiliesTest::requests() {
    QFETCH(QString, args);
    QFETCH(QByteArray, input);
    QFETCH(bool, nak);
    QFETCH(int, code);
    QFETCH(int, frameId);
    QFETCH(QByteArray, payload);
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, canned);

    KovactlRun run;
    run.module().setRssi(17);
    run.module().setApn({"internet", "user", kSecret});
    if (nak) {
        run.module().setNakIds({static_cast<quint8>(frameId)});
    }
    if (!canned.isEmpty()) {
        run.module().setCannedReply(quint8(frameId), 0, char(canned.size()) + canned);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KOVA_APN_PASSWORD"), QStringLiteral("envpass"));
    const KovactlResult r =
        run.run(QStringList{QStringLiteral("--json")} + words(args), input, env);
    QCOMPARE(r.exitCode, code);
    QCOMPARE(r.json().value(QStringLiteral("code")).toInt(), code);
    QVERIFY(!(r.out + r.err).contains(kSecret));
    verifyFrameAndField(r, frameId, payload, field, value);
}

QTEST_GUILESS_MAIN(KovactlFamiliesTest)
#include "tst_kovactl_families.moc"
