// The telnet client against a serial server whose bytes are played by hand.
#include <QtTest>

#include "frames.h"
#include "telnet_client.h"

using testsupport::hex;

namespace {

const QByteArray kOffers = hex("FFFB00 FFFD00 FFFB03 FFFD03 FFFB2C");
// What ser2net sends at connect: WILL SGA, DO SGA, WILL ECHO, DONT ECHO, DO BINARY, WILL BINARY,
// DO COM-PORT-OPTION.
const QByteArray kSer2net = hex("FFFB03 FFFD03 FFFB01 FFFE01 FFFD00 FFFB00 FFFD2C");
// 115200 baud, 8 bits, no parity, one stop bit, RTS/CTS, then purge both buffers.
const QByteArray kSettings =
    hex("FFFA2C 01 0001C200 FFF0 FFFA2C 02 08 FFF0 FFFA2C 03 01 FFF0 FFFA2C 04 01 FFF0"
        "FFFA2C 05 03 FFF0 FFFA2C 0C 03 FFF0");
const QByteArray kAnswers =
    hex("FFFA2C 65 0001C200 FFF0 FFFA2C 66 08 FFF0 FFFA2C 67 01 FFF0 FFFA2C 68 01 FFF0");
const QByteArray kControlAnswer = hex("FFFA2C 69 03 FFF0");
// Our answers to ser2net's opening: DONT ECHO and the settings.
const QByteArray kOpened = hex("FFFE01") + kSettings;
const QByteArray kSignature = hex("FFFA2C 00 4B4F5641205465737420546F6F6C FFF0");

// A client whose opening offers were taken; `server` played to it, the line's data returned.
QByteArray play(TelnetClient &client, const QByteArray &server) {
    client.start(SerialLineRequest());
    if (client.takeOutgoing() != kOffers) {
        return "offers differ";
    }
    return client.receive(server);
}

// Whether it is ready, what failed and what was counted, in a few words.
QString outcome(const TelnetClient &client) {
    static const char *const kFailures[] = {"", " COM-PORT refused", " BINARY refused", " refused"};
    const TelnetClient::Refusal &r = client.refusal();
    QString out = (client.ready() ? "ready" : "") + QString(kFailures[int(client.failure())]);
    if (client.failure() == TelnetClient::Failure::SettingRefused) {
        out += QString(" %1 %2 %3").arg(r.command).arg(r.asked).arg(r.answered);
    }
    if (client.malformed() > 0) {
        out += QString(" malformed %1").arg(client.malformed());
    }
    return out.trimmed();
}

void row(const char *name, const QByteArray &server, const QByteArray &answer, const char *result) {
    QTest::newRow(name) << server << answer << QString(result);
}

}  // namespace

class TestTelnetClient : public QObject {
    Q_OBJECT

  private slots:
    void exchange_data() {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("outcome");
        const QByteArray opened = kSer2net + kAnswers;
        row("ser2net opening", kSer2net, kOpened, "");
        row("all answered", opened + kControlAnswer, kOpened, "ready");
        row("control unanswered", opened, kOpened, "");
        row("DO COM-PORT twice", hex("FFFD2C FFFD2C"), kSettings, "");
        row("COM-PORT again after DONT", hex("FFFD2C FFFE2C FFFD2C"),
            kSettings + hex("FFFC2C FFFB2C"), "COM-PORT refused");
        row("WONT BINARY", hex("FFFC00"), "", "BINARY refused");
        row("DONT BINARY", hex("FFFE00"), "", "BINARY refused");
        row("agreed BINARY withdrawn", hex("FFFB00 FFFC00"), hex("FFFE00"), "BINARY refused");
        row("DONT COM-PORT", hex("FFFE2C"), "", "COM-PORT refused");
        row("SGA refused", hex("FFFE03 FFFC03"), "", "");
        row("unknown refusals", hex("FFFC01 FFFE18"), "", "");
        row("unknown offers", hex("FFFB01 FFFD18 FFFB2C"), hex("FFFE01 FFFC18 FFFE2C"), "");
        row("first failure sticks", hex("FFFE2C FFFC00"), "", "COM-PORT refused");
        row("baud answered lower", QByteArray(opened).replace(hex("0001C200"), hex("00002580")),
            kOpened, "refused 1 115200 9600");
        row("no flow control, then odd parity", opened + hex("FFFA2C6901FFF0 FFFA2C6702FFF0"),
            kOpened, "refused 5 3 1");
        row("baud of 3 bytes", QByteArray(opened).replace(hex("0001C200"), hex("01C200")), kOpened,
            "malformed 1");
        row("signature asked", kSer2net + hex("FFFA2C64FFF0"), kOpened + kSignature, "");
        row("signature given, purge and mask answers",
            kSer2net + hex("FFFA2C644142FFF0 FFFA2C7003FFF0 FFFA2C6AFFFFFFF0"), kOpened, "");
        row("signature too long", kSer2net + hex("FFFA2C64") + QByteArray(70, 'x') + hex("FFF0"),
            kOpened, "malformed 1");
        row("IAC DO inside SB", kSer2net + hex("FFFA2C6B FFFD18"), kOpened + hex("FFFC18"),
            "malformed 1");
        row("other option", kSer2net + hex("FFFA1801FFF0"), kOpened, "malformed 1");
        row("notify without value", kSer2net + hex("FFFA2C6AFFF0 FFFA2C6CFFFF"), kOpened,
            "malformed 1");
    }
    void exchange() {
        QFETCH(QByteArray, server);
        QFETCH(QByteArray, answer);
        QFETCH(QString, outcome);
        TelnetClient client;
        QCOMPARE(play(client, server), QByteArray());
        QCOMPARE(client.takeOutgoing(), answer);
        QCOMPARE(::outcome(client), outcome);
    }

    void everySplitGivesTheSameResult() {
        // CR NUL is a CR until the server's side is binary; an SB carries a doubled IAC.
        const QByteArray stream = QByteArray("A\r\0B", 4) + kSer2net + QByteArray("\r\0", 2) +
                                  hex("FFFF43 FFFA2C6BFFFFFFF0 FFF1 44 FFFA2C64FFF0");
        const QByteArray data = hex("41 0D 42 0D00 FF 43 44");
        for (int split = 0; split <= stream.size(); ++split) {
            TelnetClient client;
            QByteArray got = play(client, stream.left(split));
            got += client.receive(stream.mid(split));
            QCOMPARE(got, data);
            QCOMPARE(client.takeOutgoing(), kOpened + kSignature);
            QCOMPARE(client.modemState(), std::optional<uint8_t>(0xFF));
            QCOMPARE(client.malformed(), 0);
        }
    }

    void iacPayloadsPassWhole() {
        for (const int size : {1, 2, 5000}) {
            TelnetClient client;
            play(client, kSer2net + kAnswers + kControlAnswer);
            client.takeOutgoing();
            const QByteArray payload(size, '\xFF');
            client.send(payload);
            QCOMPARE(client.receive(client.takeOutgoing()), payload);
            client.send(payload);
            QCOMPARE(client.takeOutgoing(), QByteArray(2 * size, '\xFF'));
        }
    }

    void suspendHoldsResumeReleasesInOrder() {
        TelnetClient client;
        play(client, kSer2net);
        client.takeOutgoing();
        client.send("a");
        client.receive(hex("FFFA2C6CFFF0"));
        client.send("b\xFF");
        client.send("c");
        QVERIFY(client.suspended());
        QCOMPARE(client.heldBytes(), 4);
        client.receive(hex("FFFA2C64FFF0 FFFA2C6DFFF0"));  // a signature asked, then resume
        client.send("d");
        QCOMPARE(client.takeOutgoing(), "a" + kSignature +
                                            "b\xFF\xFF"
                                            "cd");
        QVERIFY(!client.suspended());
    }
};

QTEST_GUILESS_MAIN(TestTelnetClient)
#include "tst_telnet_client.moc"
