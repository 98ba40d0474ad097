// The telnet client against a serial server whose bytes are played by hand.
#include <QtTest>

#include "frames.h"
#include "telnet_client.h"

using testsupport::hex;
using F = TelnetClient::Failure;

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
const QByteArray kSignature = hex("FFFA2C 00 4B4F5641205465737420546F6F6C FFF0");

// A client whose opening offers were taken; `server` played to it, the line's data returned.
QByteArray play(TelnetClient &client, const QByteArray &server) {
    client.start(SerialLineRequest());
    if (client.takeOutgoing() != kOffers) {
        return "offers differ";
    }
    return client.receive(server);
}

}  // namespace

class TestTelnetClient : public QObject {
    Q_OBJECT

  private slots:
    void negotiation_data() {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("failure");
        QTest::newRow("ser2net opening") << kSer2net << hex("FFFE01") + kSettings << int(F::None);
        QTest::newRow("DO COM-PORT twice") << hex("FFFD2C FFFD2C") << kSettings << int(F::None);
        QTest::newRow("COM-PORT again after DONT")
            << hex("FFFD2C FFFE2C FFFD2C") << kSettings + hex("FFFC2C FFFB2C")
            << int(F::ComPortRefused);
        QTest::newRow("WONT BINARY") << hex("FFFC00") << QByteArray() << int(F::BinaryRefused);
        QTest::newRow("DONT BINARY") << hex("FFFE00") << QByteArray() << int(F::BinaryRefused);
        QTest::newRow("agreed BINARY withdrawn")
            << hex("FFFB00 FFFC00") << hex("FFFE00") << int(F::BinaryRefused);
        QTest::newRow("DONT COM-PORT") << hex("FFFE2C") << QByteArray() << int(F::ComPortRefused);
        QTest::newRow("SGA refused") << hex("FFFE03 FFFC03") << QByteArray() << int(F::None);
        QTest::newRow("unknown refusals") << hex("FFFC01 FFFE18") << QByteArray() << int(F::None);
        QTest::newRow("unknown offers")
            << hex("FFFB01 FFFD18 FFFB2C") << hex("FFFE01 FFFC18 FFFE2C") << int(F::None);
        QTest::newRow("first failure sticks")
            << hex("FFFE2C FFFC00") << QByteArray() << int(F::ComPortRefused);
    }
    void negotiation() {
        QFETCH(QByteArray, server);
        QFETCH(QByteArray, answer);
        QFETCH(int, failure);
        TelnetClient client;
        QCOMPARE(play(client, server), QByteArray());
        QCOMPARE(client.takeOutgoing(), answer);
        QCOMPARE(int(client.failure()), failure);
    }

    void serverMessages_data() {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<int>("malformed");
        const QByteArray all = kAnswers + kControlAnswer;
        const QString none;
        QTest::newRow("all answered") << all << QByteArray() << true << int(F::None) << none << 0;
        QTest::newRow("control unanswered")
            << kAnswers << QByteArray() << false << int(F::None) << none << 0;
        QTest::newRow("baud answered lower")
            << QByteArray(all).replace(hex("0001C200"), hex("00002580")) << QByteArray() << false
            << int(F::SettingRefused) << "1 115200 9600" << 0;
        QTest::newRow("no flow control") << kAnswers + hex("FFFA2C 69 01 FFF0") << QByteArray()
                                         << false << int(F::SettingRefused) << "5 3 1" << 0;
        QTest::newRow("baud of 3 bytes") << QByteArray(all).replace(hex("0001C200"), hex("01C200"))
                                         << QByteArray() << false << int(F::None) << none << 1;
        QTest::newRow("signature asked")
            << hex("FFFA2C64FFF0") << kSignature << false << int(F::None) << none << 0;
        QTest::newRow("signature given, purge and mask answers")
            << hex("FFFA2C644142FFF0 FFFA2C7003FFF0 FFFA2C6AFFFFFFF0") << QByteArray() << false
            << int(F::None) << none << 0;
        QTest::newRow("too long") << hex("FFFA2C6B") + QByteArray(70, 'x') + hex("FFF0")
                                  << QByteArray() << false << int(F::None) << none << 1;
        QTest::newRow("IAC DO inside SB")
            << hex("FFFA2C6B FFFD18") << hex("FFFC18") << false << int(F::None) << none << 1;
        QTest::newRow("other option")
            << hex("FFFA1801FFF0") << QByteArray() << false << int(F::None) << none << 1;
        QTest::newRow("notify without value") << hex("FFFA2C6AFFF0 FFFA2C6CFFFF") << QByteArray()
                                              << false << int(F::None) << none << 1;
    }
    void serverMessages() {
        QFETCH(QByteArray, server);
        QFETCH(QByteArray, answer);
        QFETCH(bool, ready);
        QFETCH(int, failure);
        QFETCH(QString, refusal);
        QFETCH(int, malformed);
        TelnetClient client;
        play(client, kSer2net);
        client.takeOutgoing();
        QCOMPARE(client.receive(server), QByteArray());
        QCOMPARE(client.takeOutgoing(), answer);
        QCOMPARE(client.ready(), ready);
        QCOMPARE(int(client.failure()), failure);
        QCOMPARE(client.malformed(), malformed);
        const TelnetClient::Refusal &r = client.refusal();
        if (!refusal.isEmpty()) {
            QCOMPARE(QString("%1 %2 %3").arg(r.command).arg(r.asked).arg(r.answered), refusal);
        }
    }

    void everySplitGivesTheSameResult() {
        // CR NUL is a CR until the server's side is binary; an SB carries a doubled IAC.
        const QByteArray stream = QByteArray("A\r\0B", 4) + kSer2net + QByteArray("\r\0", 2) +
                                  hex("FFFF43 FFFA2C6BFFFFFFF0 FFF1 44 FFFA2C64FFF0");
        const QByteArray data = hex("41 0D 42 0D00 FF 43 44");
        const QByteArray answer = hex("FFFE01") + kSettings + kSignature;
        for (int split = 0; split <= stream.size(); ++split) {
            TelnetClient client;
            QByteArray got = play(client, stream.left(split));
            got += client.receive(stream.mid(split));
            QCOMPARE(got, data);
            QCOMPARE(client.takeOutgoing(), answer);
            QCOMPARE(client.modemState(), std::optional<uint8_t>(0xFF));
            QCOMPARE(client.malformed(), 0);
        }
    }

    void iacPayloadsPassWhole_data() {
        QTest::addColumn<int>("size");
        QTest::newRow("one") << 1;
        QTest::newRow("two") << 2;
        QTest::newRow("longer than any read") << 5000;
    }
    void iacPayloadsPassWhole() {
        QFETCH(int, size);
        TelnetClient client;
        play(client, kSer2net + kAnswers + kControlAnswer);
        client.takeOutgoing();
        QVERIFY(client.ready());
        const QByteArray payload(size, '\xFF');
        client.send(payload);
        const QByteArray wire = client.takeOutgoing();
        QCOMPARE(wire, QByteArray(2 * size, '\xFF'));
        QCOMPARE(client.receive(wire), payload);
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
        QCOMPARE(client.takeOutgoing(), QByteArray("a"));
        QCOMPARE(client.heldBytes(), 4);
        client.receive(hex("FFFA2C6DFFF0"));
        QCOMPARE(client.takeOutgoing(), QByteArray("b\xFF\xFF"
                                                   "c"));
        QVERIFY(!client.suspended());
    }
};

QTEST_GUILESS_MAIN(TestTelnetClient)
#include "tst_telnet_client.moc"
