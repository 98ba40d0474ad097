// What the virtual module answers, request by request: each row is a short script of requests
// and the module frames they must bring, run over the module's real pty.
#include <QSignalSpy>
#include <QtTest>

#include "module_session.h"
#include "payload_fields.h"
#include "socket_feature.h"

using testsupport::Decoded;

namespace {

const QString kDial =
    QStringLiteral("40 00 05'12345' -> 40 80; 43 00 00 03 00; 43 00 00 04 00; 43 00 00 02 00");
const QString kApn = QStringLiteral("80 08'internet' 00 00 -> 80 80");
const QString kSmtpSettings = QStringLiteral(
    "70 0C'smtp.kova.io' -> 70 80 | 71 0019 -> 71 80 | 72 02'me' -> 72 80 | 73 02'pw' -> 73 80 | "
    "75 08'a@b.test' -> 75 80 | 74 08'c@d.test' -> 74 80 | 76 02'hi' -> 76 80 | 77 00 -> 77 80");

void addScript(const char *name, const QString &script) {
    QTest::newRow(name) << script.split(QLatin1Char('|'));
}

}  // namespace

class TestSimBehaviour : public QObject {
    Q_OBJECT

  private slots:
    void scripts_data();
    void scripts();
    void incomingSmsComesInPieces_data();
    void incomingSmsComesInPieces();
    void incomingSmsNeedsReception();
    void sentSmsIsReported();
    void mailBodyIsAssembledFromPieces();
    void socketResponseIsStreamedWhole_data();
    void socketResponseIsStreamedWhole();
    void socketTransferCanBeCancelled();
    void secondTransferIsRefusedWhileOneRuns();
};

void TestSimBehaviour::scripts_data() {
    QTest::addColumn<QStringList>("steps");

    addScript("rssi", "A1 -> A1 80 1F");
    addScript("imei", "A2 -> A2 80 '353840110926179'");
    addScript("sim id", "A3 -> A3 80 '89490220519033487521'");
    addScript("input voltage in millivolts", "A4 -> A4 80 2F1C");
    addScript("registered on HSPA", "A6 -> A6 80 01 06");
    addScript("version texts",
              "C0 -> C0 80 08'02.14.07' | C1 -> C1 80 0B'KV3G-B2-L07' | C2 -> C2 80 '03.001' | "
              "C3 -> C3 80 '0207-03'");
    addScript("ids without a meaning succeed", "A0 -> A0 80 | 20 05 -> 20 80");
    addScript("2G preference shows as EGPRS",
              "90 01 -> 90 80 | 91 -> 91 80 01 | A6 -> A6 80 01 03");
    addScript("modem speed out of range", "90 03 -> 90 81 | 91 -> 91 80 00");
    addScript("airplane mode silences the radio",
              "A5 01 -> A5 80 | A1 -> A1 80 63 | A6 -> A6 80 00 FF | A5 02 -> A5 80 | "
              "A1 -> A1 80 1F");
    addScript("functionality level out of range", "A5 04 -> A5 81");
    addScript("console sets the rssi", "$ rssi 12 | A1 -> A1 80 0C");

    addScript("groups start in mode 0", "13 00 -> 13 80 00 | 13 03 -> 13 80 00");
    addScript("group B in mode 1 drives pin 6",
              "10 01 01 -> 10 80 | 13 01 -> 13 80 01 | 11 06 01 -> 11 80 | 12 06 -> 12 80 01");
    addScript("an output reads back its level",
              "12 09 -> 12 80 00 | 11 09 01 -> 11 80 | 12 09 -> 12 80 01");
    addScript("an input pin refuses a level", "11 05 01 -> 11 81");
    addScript("an input reads what drives it", "12 05 -> 12 80 01 | $ pin 5 0 | 12 05 -> 12 80 00");
    addScript("a dedicated pin cannot be read", "12 00 -> 12 81");
    addScript("group A has one mode only", "10 00 01 -> 10 81 | 13 00 -> 13 80 00");
    addScript("no such pin or group",
              "11 0C 01 -> 11 82 | 12 0C -> 12 82 | 10 04 00 -> 10 82 | 13 04 -> 13 82");
    addScript("bad level or mode", "11 09 02 -> 11 83 | 10 01 02 -> 10 83 | 12 -> 12 83");

    addScript("i2c write then read back",
              "21 D0 10 02 AABB -> 21 80 00 | 21 50 10 02 -> 21 80 02 AABB");
    addScript("i2c erased eeprom", "21 50 00 03 -> 21 80 03 FFFFFF");
    addScript("i2c register address wraps",
              "21 D0 FF 02 1122 -> 21 80 00 | 21 50 FF 02 -> 21 80 02 1122");
    addScript("i2c temperature sensor", "21 48 00 01 -> 21 80 01 19");
    addScript("i2c nothing at the address", "21 33 00 01 -> 21 82 00");
    addScript("i2c fewer data bytes than the count", "21 D0 00 03 AA -> 21 83 00");
    addScript("i2c read of no bytes", "21 50 00 00 -> 21 80 00");
    addScript("i2c short request", "21 50 -> 21 83 00");

    addScript("dial runs to an active call", kDial);
    addScript("hang up ends the call", kDial + "| 42 00 10 -> 42 80; 43 00 00 05 FF");
    addScript("dial while a call is up", kDial + "| 40 00 01'9' -> 40 83");
    addScript("number with a space", "40 00 03'1 2' -> 40 81");
    addScript("data call type", "40 01 01'1' -> 40 81");
    addScript("empty number", "40 00 00 -> 40 81");
    addScript("dial without network", "A5 01 -> A5 80 | 40 00 01'1' -> 40 82");
    addScript("incoming call answered",
              "$ call -> 43 00 00 00 00 | 41 -> 41 80; 43 00 00 02 00 | 42 00 10 -> 42 80; 43 00 "
              "00 05 FF");
    addScript("answer without a call", "41 -> 41 81");
    addScript("hang up without a call", "42 00 10 -> 42 81");
    addScript("far end hangs up", kDial + "| $ hangup 2 -> 43 00 00 05 02 | 42 00 10 -> 42 81");
    addScript("airplane mode drops the call", kDial + "| A5 01 -> A5 80; 43 00 00 05 00");
    addScript("reboot drops the call", kDial + "| A5 03 -> A5 80; 43 00 00 05 00 | A1 -> A1 80 1F");

    addScript("audio defaults",
              "48 -> 48 80 00 | 4A -> 4A 80 28 | 4C -> 4C 80 46 12 | 4E -> 4E 80 01 04");
    addScript("gains set and read back",
              "4B 64 -> 4B 80 | 4A -> 4A 80 64 | 4D 00 AF -> 4D 80 | 4C -> 4C 80 00 AF");
    addScript("ring tone set and read back", "4F 08 00 -> 4F 80 | 4E -> 4E 80 08 00");
    addScript("audio values out of range",
              "4B 65 -> 4B 81 | 4D 65 00 -> 4D 81 | 4D 00 B0 -> 4D 81 | 4F 00 01 -> 4F 81 | "
              "4F 09 01 -> 4F 81 | 4F 01 05 -> 4F 81 | 4D 01 -> 4D 81 | 4A -> 4A 80 28");
    addScript("mute needs an active call",
              "49 01 -> 49 82 | " + kDial + "| 49 01 -> 49 80 | 48 -> 48 80 01 | 49 02 -> 49 81");

    addScript("sms sent", "60 03'123' 00 -> 60 80 | 61 02'hi' -> 61 80 | 62 -> 62 80");
    addScript("sms failing when told",
              "$ sms-fail on | 60 03'123' 00 -> 60 80 | 61 02'hi' -> 61 80 | 62 -> 62 81 | "
              "$ sms-fail off | 60 03'123' 00 -> 60 80 | 62 -> 62 80");
    addScript("sms without a number", "61 02'hi' -> 61 80 | 62 -> 62 81");
    addScript("sms without network",
              "A5 00 -> A5 80 | 60 03'123' 00 -> 60 80 | 61 02'hi' -> 61 80 | 62 -> 62 81");
    addScript("sms reception switched off",
              "64 -> 64 80 01 | 63 00 -> 63 80 | 64 -> 64 80 00 | 63 02 -> 63 81");

    addScript("mail by smtp", kSmtpSettings + "| 77 03'abc' -> 77 80 | 78 01 -> 78 80");
    addScript("mail by smtp without a server",
              "75 08'a@b.test' -> 75 80 | 74 08'c@d.test' -> 74 80 | 78 00 -> 78 81");
    addScript("mail encryption beyond ssl", kSmtpSettings + "| 78 02 -> 78 81");
    addScript("mail without network", kSmtpSettings + "| A5 01 -> A5 80 | 78 00 -> 78 81");
    addScript("mail by post", "79 12'http://x.test/mail' -> 79 80");
    addScript("mail posted to no url", "79 03'foo' -> 79 81 | 79 07'http://' -> 79 81");

    addScript("transfer needs an apn", "82 01 1388 06'x.test' -> 82 80; 83 81");
    addScript("apn read before it is set", "85 -> 85 81");
    addScript("apn set and read back", kApn + "| 85 -> 85 80 08'internet' 00 00");
    addScript("apn malformed", "80 05'ab' -> 80 81 | 85 -> 85 81");
    addScript("cancel without a transfer", "84 -> 84 81");
    addScript("transfer to no destination", kApn + "| 82 00 1388 00 -> 82 80; 83 82");
    addScript("transfer of an unknown protocol", kApn + "| 82 05 1388 06'x.test' -> 82 80; 83 85");
    addScript("transfer without network",
              kApn + "| A5 01 -> A5 80 | 82 01 1388 06'x.test' -> 82 80; 83 82");
    addScript("transfer request malformed", "82 01 -> 82 81");
    addScript("transfer of a small payload",
              "$ response 10 | " + kApn +
                  "| 81 00 -> 81 80 | 81 03'abc' -> 81 80 | 82 01 1388 06'x.test' -> 82 80; "
                  "83 00 0003; 81 00 00; 81 00 0A'HTTP/1.1 2'; 83 80");

    addScript("at", "F0 02'AT' -> F0 80 06'\\r\\nOK\\r\\n'");
    addScript("at identification, a line a reply",
              "F0 03'ATI' -> F0 80 08'\\r\\nKOVA\\r\\n'; F0 80 0A'\\r\\nKV-M3G\\r\\n'; "
              "F0 80 13'\\r\\nREVISION 03.001\\r\\n'; F0 80 06'\\r\\nOK\\r\\n'");
    addScript("at signal quality from the state",
              "$ rssi 20 | F0 08' at+csq ' -> F0 80 0F'\\r\\n+CSQ: 20,99\\r\\n'; F0 80 "
              "06'\\r\\nOK\\r\\n'");
    addScript("at registration follows the radio",
              "A5 01 -> A5 80 | F0 08'AT+CREG?' -> F0 80 0E'\\r\\n+CREG: 0,0\\r\\n'; F0 80 "
              "06'\\r\\nOK\\r\\n'");
    addScript("at unknown command", "F0 06'AT+XYZ' -> F0 81 09'\\r\\nERROR\\r\\n'");
    addScript("at empty command", "F0 00 -> F0 81 09'\\r\\nERROR\\r\\n'");
}

void TestSimBehaviour::scripts() {
    QFETCH(QStringList, steps);
    ModuleSession session;
    QVERIFY(session.ready());
    for (const QString &line : steps) {
        const ScriptStep step = ScriptStep::parse(line);
        QCOMPARE(session.perform(step), step.expected);
    }
    // Nothing more than the script asked for is left on the line.
    QVERIFY(session.probe());
}

void TestSimBehaviour::incomingSmsComesInPieces_data() {
    QTest::addColumn<int>("textBytes");
    QTest::addColumn<int>("maxMessageSize");
    QTest::addColumn<int>("pieces");

    QTest::newRow("empty text") << 0 << 256 << 0;
    QTest::newRow("one piece") << 160 << 256 << 1;
    QTest::newRow("exactly a piece") << 255 << 256 << 1;
    QTest::newRow("a byte more") << 256 << 256 << 2;
    QTest::newRow("small messages") << 100 << 32 << 4;
}

void TestSimBehaviour::incomingSmsComesInPieces() {
    QFETCH(int, textBytes);
    QFETCH(int, maxMessageSize);
    QFETCH(int, pieces);
    ModuleSession session;
    QVERIFY(session.ready());
    session.peer().write(testsupport::frame(2, 0, 0, QByteArray(1, char(maxMessageSize / 4))));
    QVERIFY(QTest::qWaitFor(
        [&] { return session.module().stats().maxMessageSize == maxMessageSize; }, 5000));
    QByteArray text;
    for (int i = 0; i < textBytes; ++i) {
        text += char('a' + i % 26);
    }
    QVERIFY(session.module().injectIncomingSms("+4915550100", "24/05/17,14:03:22+08", text));

    const QList<Decoded> frames = session.read(pieces + 2);
    QCOMPARE(frames.size(), pieces + 2);
    QCOMPARE(describe(frames.first()),
             testsupport::toHex(bytesOf("60 00 0B'+4915550100' 14'24/05/17,14:03:22+08'")));
    QByteArray received;
    for (int i = 1; i <= pieces; ++i) {
        QCOMPARE(frames[i].cmdId, uint8_t(0x61));
        QCOMPARE(frames[i].status, uint8_t(0));  // started by the module, not a reply
        QCOMPARE(int(uint8_t(frames[i].payload[0])), frames[i].payload.size() - 1);
        QVERIFY(frames[i].payload.size() - 1 <= maxMessageSize - 1);
        received += frames[i].payload.mid(1);
    }
    QCOMPARE(received, text);
    QCOMPARE(describe(frames.last()), QStringLiteral("62 00"));
    QVERIFY(session.probe());
}

void TestSimBehaviour::incomingSmsNeedsReception() {
    ModuleSession session;
    QVERIFY(session.ready());
    QCOMPARE(session.perform(ScriptStep::parse("63 00 -> 63 80")), QStringList{"63 80"});
    QVERIFY(!session.module().injectIncomingSms("1", "d", "t"));
    QVERIFY(session.probe());
}

void TestSimBehaviour::sentSmsIsReported() {
    ModuleSession session;
    QVERIFY(session.ready());
    QSignalSpy sent(&session.module(), &VirtualModule::smsSent);
    session.exchange(0x60, bytesOf("05'55501' 00"), 1);
    session.exchange(0x61, bytesOf("0B'OTA5183-417'"), 1);
    session.exchange(0x62, QByteArray(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(sent.count(), 1, 5000);
    QCOMPARE(sent.first().at(0).toByteArray(), QByteArray("55501"));
    QCOMPARE(sent.first().at(1).toByteArray(), QByteArray("OTA5183-417"));
    QCOMPARE(session.module().snapshot().sentSms.size(), 1);
}

void TestSimBehaviour::mailBodyIsAssembledFromPieces() {
    ModuleSession session;
    QVERIFY(session.ready());
    QByteArray body;
    for (int i = 0; i < 600; ++i) {
        body += char('A' + i % 26);
    }
    // A stale body is discarded by the opening empty piece.
    session.exchange(0x77, bytesOf("03'old'"), 1);
    session.exchange(0x77, bytesOf("00"), 1);
    for (int offset = 0; offset < body.size(); offset += 255) {
        session.exchange(0x77, textField(body.mid(offset, 255)), 1);
    }
    session.exchange(0x79, bytesOf("0E'https://x.test'"), 1);
    QVERIFY(session.probe());
    const ModuleSnapshot state = session.module().snapshot();
    QCOMPARE(state.mailsSent, 1);
    QCOMPARE(state.lastMail.body, body);
    QCOMPARE(state.lastMail.postUrl, QByteArray("https://x.test"));
}

void TestSimBehaviour::socketResponseIsStreamedWhole_data() {
    QTest::addColumn<int>("responseBytes");
    QTest::addColumn<int>("payloadBytes");

    QTest::newRow("empty response") << 0 << 0;
    QTest::newRow("one byte") << 1 << 1;
    QTest::newRow("exactly a piece") << 255 << 255;
    QTest::newRow("a byte more") << 256 << 256;
    QTest::newRow("default response") << SocketFeature::kDefaultResponseBytes << 100;
    QTest::newRow("beyond the tool's 40 KB") << 41000 << 510;
}

void TestSimBehaviour::socketResponseIsStreamedWhole() {
    QFETCH(int, responseBytes);
    QFETCH(int, payloadBytes);
    ModuleSession session;
    QVERIFY(session.ready());
    session.module().setApn(Apn{"internet", "", ""});
    session.module().setSocketResponseSize(responseBytes);

    QCOMPARE(session.exchange(0x81, bytesOf("00"), 1).size(), 2);
    const QByteArray payload(payloadBytes, 'p');
    for (int offset = 0; offset < payload.size(); offset += 255) {
        QCOMPARE(session.exchange(0x81, textField(payload.mid(offset, 255)), 1).size(), 2);
    }
    const int pieces = (responseBytes + 254) / 255;
    // ACK, the direct reply, bytes sent, the emptying piece, the pieces, the result.
    const QList<Decoded> frames =
        session.exchange(0x82, bytesOf("02 1388 0D'http://x.test'"), 4 + pieces);
    QCOMPARE(frames.size(), 5 + pieces);
    QCOMPARE(describe(frames[1]), QStringLiteral("82 80"));
    QCOMPARE(describe(frames[2]),
             QStringLiteral("83 00 ") + testsupport::toHex(u16Field(uint16_t(payloadBytes))));
    QCOMPARE(describe(frames[3]), QStringLiteral("81 00 00"));
    QByteArray response;
    for (int i = 4; i < 4 + pieces; ++i) {
        QCOMPARE(describe(frames[i]).left(5), QStringLiteral("81 00"));
        QVERIFY(frames[i].payload.size() <= 256);
        response += frames[i].payload.mid(1);
    }
    QCOMPARE(response, cannedHttpResponse(responseBytes));
    QCOMPARE(describe(frames.last()), QStringLiteral("83 80"));
    QCOMPARE(session.module().snapshot().socketPayload, payload);
    QVERIFY(session.probe());
}

void TestSimBehaviour::socketTransferCanBeCancelled() {
    ModuleSession session;
    QVERIFY(session.ready());
    session.module().setApn(Apn{});
    session.module().setSocketResponseSize(40000);
    session.module().setFlowMode(FlowMode::StopAndWait);

    // Hold back the ACK of the direct reply, so that the stream waits behind it.
    const uint8_t start = session.send(0x82, bytesOf("00 0000 06'x.test'"));
    const QList<Decoded> first = session.read(2, false);
    QCOMPARE(first.size(), 2);
    QCOMPARE(first[0].seq, start);
    QCOMPARE(describe(first[1]), QStringLiteral("82 80"));

    const uint8_t cancel = session.send(0x84);
    const QList<Decoded> cancelAck = session.read(1);
    QCOMPARE(cancelAck.size(), 1);
    QCOMPARE(describe(cancelAck[0]),
             QStringLiteral("00 %1").arg(cancel, 2, 16, QLatin1Char('0')).toUpper());
    session.acknowledge(first[1].seq);

    // The stream is gone: the cancel's reply and the cancelled result, one after the other.
    QStringList rest;
    for (int i = 0; i < 2; ++i) {
        for (const Decoded &f : session.read(1)) {
            rest << describe(f);
        }
    }
    QCOMPARE(rest, (QStringList{"84 80", "83 87"}));
    QVERIFY(session.probe());
    QCOMPARE(session.module().stats().queued, 0);
}

void TestSimBehaviour::secondTransferIsRefusedWhileOneRuns() {
    ModuleSession session;
    QVERIFY(session.ready());
    session.module().setApn(Apn{});
    session.module().setSocketResponseSize(2000);
    session.module().setFlowMode(FlowMode::StopAndWait);

    session.send(0x82, bytesOf("00 0000 06'x.test'"));
    const QList<Decoded> first = session.read(2, false);
    QCOMPARE(first.size(), 2);
    session.send(0x82, bytesOf("00 0000 06'y.test'"));
    QCOMPARE(session.read(1).size(), 1);  // its ACK
    session.acknowledge(first[1].seq);

    // The refusal comes next; the first transfer's frames follow untouched.
    QStringList frames;
    for (int i = 0; i < 4; ++i) {
        for (const Decoded &f : session.read(1)) {
            frames << describe(f).left(5);
        }
    }
    QCOMPARE(frames, (QStringList{"82 81", "83 86", "83 00", "81 00"}));
}

QTEST_GUILESS_MAIN(TestSimBehaviour)
#include "tst_sim_behaviour.moc"
