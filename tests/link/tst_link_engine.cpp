// The engine against scripted module frames: acknowledgement, repeats, retransmission and the
// unpacking of every reply into the link record.
#include <QSignalSpy>
#include <QtTest>
#include <functional>
#include <map>

#include "link_engine.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "link_state.h"
#include "module3g.h"
#include "module_script.h"

using testsupport::hex;
using testsupport::toHex;

namespace {

QString text(const char *data) {
    return QString::fromLatin1(data);
}

// The fields of the record a row can name, as text.
QString pair(const std::array<uint8_t, 2> &a) {
    return QStringLiteral("%1,%2").arg(a[0]).arg(a[1]);
}

const std::map<QString, std::function<QString(const LinkState &)>> &fields() {
    static const std::map<QString, std::function<QString(const LinkState &)>> table = {
        {"rssi", [](const LinkState &s) { return QString::number(s.rssi); }},
        {"imei", [](const LinkState &s) { return text(s.imei.data()); }},
        {"simId", [](const LinkState &s) { return text(s.simId.data()); }},
        {"vin", [](const LinkState &s) { return QString::number(s.vin); }},
        {"towerConn", [](const LinkState &s) { return pair(s.towerConn); }},
        {"modemSpeed", [](const LinkState &s) { return QString::number(s.modemSpeed); }},
        {"reply160Status", [](const LinkState &s) { return QString::number(s.reply160Status); }},
        {"tarnFirmware", [](const LinkState &s) { return text(s.tarnFirmware.data()); }},
        {"tarnHardware", [](const LinkState &s) { return text(s.tarnHardware.data()); }},
        {"cintFirmware", [](const LinkState &s) { return text(s.cintFirmware.data()); }},
        {"cintHardware", [](const LinkState &s) { return text(s.cintHardware.data()); }},
        {"i2c",
         [](const LinkState &s) {
             return QStringLiteral("%1:").arg(s.i2cReadLength) +
                    toHex(QByteArray(reinterpret_cast<const char *>(s.i2cData.data()),
                                     s.i2cReadLength));
         }},
        {"gpioGroup2",
         [](const LinkState &s) {
             return QStringLiteral("cmd %1 result %2 value %3 queued %4")
                 .arg(s.lastGpioCmd)
                 .arg(s.gpioGroupResult[2])
                 .arg(s.gpioGroupValue[2])
                 .arg(s.gpioGroupQueue.size());
         }},
        {"gpioPin11",
         [](const LinkState &s) {
             return QStringLiteral("cmd %1 value %2 queued %3")
                 .arg(s.lastGpioCmd)
                 .arg(s.gpioPinValue[11])
                 .arg(s.gpioPinQueue.size());
         }},
        {"callEvent",
         [](const LinkState &s) {
             return QStringLiteral("%1,%2,%3")
                 .arg(s.callEventState)
                 .arg(qint64(s.callEventValue))
                 .arg(s.callEventExtra);
         }},
        {"lastCallCmd", [](const LinkState &s) { return QString::number(s.lastCallCmd); }},
        {"audio",
         [](const LinkState &s) {
             return QStringLiteral("mute %1 mic %2 spk %3 ring %4 last %5")
                 .arg(s.audioMicMute)
                 .arg(s.audioMicGain)
                 .arg(pair(s.audioSpeakerGain), pair(s.audioRingTone))
                 .arg(s.lastAudioCmd);
         }},
        {"smsReception", [](const LinkState &s) { return QString::number(s.smsReceptionEnabled); }},
        {"socketBytesSent", [](const LinkState &s) { return QString::number(s.socketBytesSent); }},
        {"apn",
         [](const LinkState &s) {
             return QString::fromLatin1(s.apnName + '|' + s.apnLogin + '|' + s.apnPassword);
         }},
        {"sms",
         [](const LinkState &s) {
             return QStringLiteral("%1|%2|%3|%4|%5")
                 .arg(text(s.smsRxSender.data()), text(s.smsRxDate.data()),
                      text(s.smsRxText.data()))
                 .arg(s.smsRxTextLength)
                 .arg(s.smsRxComplete);
         }},
        {"at", [](const LinkState &s) { return text(s.atResponse.data()); }},
    };
    return table;
}

QString field(const LinkState &s, const QString &name) {
    return fields().at(name)(s);
}

QString field(const QString &name) {
    return field(*link_get_state(), name);
}

int occupiedTxSlots() {
    auto state = link_get_state();
    return int(std::count_if(state->txTable.begin(), state->txTable.end(),
                             [](const TxSlot &slot) { return slot.occupied(); }));
}

uint8_t cmdStatus(uint8_t id) {
    return link_get_state()->cmdStatus[id];
}

QByteArray ack(uint8_t seq) {
    return testsupport::frame(CMD_ACK, seq);
}

}  // namespace

class TestLinkEngine : public QObject {
    Q_OBJECT

    testsupport::FakeClock clock;  // the link's time for the whole run, moved by hand

  private slots:
    void init() { testsupport::resetLink(); }

    void workedExchange() {
        QSignalSpy received(link_notifier(), &Module3G::command_received);
        QCOMPARE(link_get_rssi(), 1);
        QCOMPARE(cmdStatus(161), CMD_STATUS_PENDING);
        QCOMPARE(toHex(testsupport::drain().value(0)), toHex(hex("7EA101007501CE")));

        testsupport::receive(hex("7E00010D2ECE") + hex("7EA110801FA327CE"));
        const QList<QByteArray> written = testsupport::drain();
        QCOMPARE(written.size(), 1);
        QCOMPARE(toHex(written[0]), toHex(hex("7E00100F3ECE")));
        QCOMPARE(cmdStatus(161), uint8_t(0));
        QCOMPARE(field("rssi"), QStringLiteral("31"));
        QCOMPARE(received.size(), 2);
        QCOMPARE(received[1], (QVariantList{uchar(161), true}));
        QCOMPARE(received[0], (QVariantList{uchar(0), false}));

        testsupport::drain();
        QCOMPARE(occupiedTxSlots(), 0);
        clock.advance(60);
        QVERIFY(testsupport::drain().isEmpty());
    }

    void nakEndsRetransmissionAndMarksTheCommand() {
        link_get_rssi();
        testsupport::drain();
        testsupport::receive(hex("7E01013E1FCE"));
        QVERIFY(testsupport::drain().isEmpty());
        QCOMPARE(cmdStatus(161), CMD_STATUS_NAK);
        clock.advance(30);
        QVERIFY(testsupport::drain().isEmpty());
        QCOMPARE(occupiedTxSlots(), 0);
    }

    void acknowledgementMatching_data() {
        QTest::addColumn<int>("firstSeq");
        QTest::addColumn<QByteArray>("answer");  // %1 replaced by the request's seq
        QTest::addColumn<bool>("ended");
        QTest::newRow("ack of seq 1") << 1 << QByteArray("ack") << true;
        QTest::newRow("ack of escaped seq 0x7E") << 0x7E << QByteArray("ack") << true;
        QTest::newRow("ack of escaped seq 0xCE") << 0xCE << QByteArray("ack") << true;
        QTest::newRow("nak of escaped seq 0x9E") << 0x9E << QByteArray("nak") << true;
        QTest::newRow("ack of another seq") << 1 << QByteArray("other") << false;
    }
    void acknowledgementMatching() {
        QFETCH(int, firstSeq);
        QFETCH(QByteArray, answer);
        QFETCH(bool, ended);
        link_get_state()->txSeq = uint8_t(firstSeq);
        link_get_imei();
        const QList<QByteArray> first = testsupport::drain();
        QCOMPARE(first.size(), 1);
        const uint8_t seq = uint8_t(firstSeq);
        if (answer == "ack") {
            testsupport::receive(ack(seq));
        } else if (answer == "nak") {
            testsupport::receive(testsupport::frame(CMD_NAK, seq));
        } else {
            testsupport::receive(ack(uint8_t(seq + 1)));
        }
        testsupport::drain();
        clock.advance(11);
        QCOMPARE(testsupport::drain().isEmpty(), ended);
    }

    // Our pending ACK of module frame 5 and our own request 5 share a number; the module's
    // ACK of 5 must end the request, not fall on our ACK.
    void moduleAckFindsTheRequestBehindOurOwnAck() {
        link_get_state()->txSeq = 5;
        ModuleScript module(5);
        module.started(200);  // module frame 5 -> our ACK of 5 is written and left done
        link_get_imei();      // our request, also 5
        QCOMPARE(testsupport::drain().size(), 1);
        testsupport::receive(ack(5));
        testsupport::drain();
        clock.advance(11);
        QVERIFY(testsupport::drain().isEmpty());
    }

    // With more than 255 frames queued, a sequence number also stands on a frame not yet
    // written; the ACK belongs to the one on the line.
    void ackEndsTheWrittenFrameNotALaterNamesake() {
        {
            auto s = link_get_state();
            s->txAllocCursor = 4100;
            s->txScanCursor = 4100;
        }
        for (int i = 0; i < 300; ++i) {
            QVERIFY(link_get_vin());
        }
        TxSlot *first = link_process();
        QVERIFY(first == &link_get_state()->txTable[4100]);
        testsupport::receive(ack(1));
        const QList<QByteArray> rest = testsupport::drain();
        QCOMPARE(rest.size(), 299);
        clock.advance(11);
        const QList<QByteArray> again = testsupport::drain();
        QCOMPARE(again.size(), 299);                           // all but the acknowledged one
        QCOMPARE(again.count(testsupport::frame(164, 1)), 1);  // the namesake at slot 155
    }

    void retransmissionAfterMoreThanTenSeconds() {
        link_get_vin();
        QCOMPARE(testsupport::drain().size(), 1);
        for (int second = 1; second <= 10; ++second) {
            clock.advance(1);
            QVERIFY2(testsupport::drain().isEmpty(), qPrintable(QString::number(second)));
        }
        clock.advance(1);
        const QList<QByteArray> again = testsupport::drain();
        QCOMPARE(again.size(), 1);
        QCOMPARE(toHex(again[0]), toHex(testsupport::frame(164, 1)));
        clock.advance(11);
        QCOMPARE(testsupport::drain().size(), 1);
    }

    void controlFramesGoFirstAndOnlyOnce() {
        link_get_vin();
        link_get_sim();
        ModuleScript module;
        module.deliver(200, 0x00, QByteArray());  // drains: ACK first, then the two requests
        link_get_imei();
        testsupport::receive(testsupport::frame(201, 0x30, 0));
        const QList<QByteArray> written = testsupport::drain();
        QCOMPARE(written.size(), 2);
        QCOMPARE(toHex(written[0]), toHex(ack(0x30)));
        clock.advance(11);
        for (const QByteArray &frame : testsupport::drain()) {
            QVERIFY(uint8_t(frame[1]) > CMD_MAX_MESSAGE_SIZE);
        }
    }

    // A repeat is acknowledged again, so the module stops sending it, but it is neither
    // handled nor signalled twice.
    void repeatedFrameIsAcknowledgedButHandledOnce() {
        QSignalSpy received(link_notifier(), &Module3G::command_received);
        const QByteArray piece = testsupport::frame(97, 0x21, 0, hex("026869"));
        testsupport::receive(piece);
        const QList<QByteArray> first = testsupport::drain();
        testsupport::receive(piece);
        const QList<QByteArray> second = testsupport::drain();
        QCOMPARE(first.size(), 2);  // ACK and the reply to the piece
        QCOMPARE(second.size(), 1);
        QCOMPARE(toHex(second[0]), toHex(ack(0x21)));
        QCOMPARE(field("sms"), QStringLiteral("||hi|2|0"));
        QCOMPARE(received.size(), 1);
        QCOMPARE(link_get_state()->counters.repeatsDropped, 1u);
    }

    // ACKs carry our numbers: one that equals the module's next frame must not hide it.
    void controlFrameNeverCountsAsRepeat() {
        link_get_state()->txSeq = 5;
        link_get_rssi();
        testsupport::drain();
        testsupport::receive(ack(5) + testsupport::frame(161, 5, 0x80, hex("14")));
        const QList<QByteArray> written = testsupport::drain();
        QCOMPARE(written.size(), 1);
        QCOMPARE(toHex(written[0]), toHex(ack(5)));
        QCOMPARE(field("rssi"), QStringLiteral("20"));
        QCOMPARE(int(link_get_state()->lastRxSeq), 5);
    }

    void unknownIdIsAcknowledgedAndSignalledOnly() {
        QSignalSpy received(link_notifier(), &Module3G::command_received);
        const QString before = field("sms") + field("at") + field("rssi");
        ModuleScript module;
        const QList<QByteArray> written = module.reply(200, hex("0102"), 3);
        QCOMPARE(written.size(), 1);
        QCOMPARE(toHex(written[0]), toHex(ack(0x10)));
        QCOMPARE(received.size(), 1);
        QCOMPARE(received[0], (QVariantList{uchar(200), true}));
        QCOMPARE(cmdStatus(200), uint8_t(3));
        QCOMPARE(field("sms") + field("at") + field("rssi"), before);
    }

    void dispatch_data() {
        QTest::addColumn<QString>("before");  // requests made first, e.g. "group 2"
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");

        auto row = [](const char *tag, const char *before, int id, int status, const char *payload,
                      const char *name, const QString &expected) {
            QTest::newRow(tag) << QString::fromLatin1(before) << id << status << hex(payload)
                               << QString::fromLatin1(name) << expected;
        };
        const QByteArray imei = "351234567890123";
        const QByteArray sim = "89012345678901234567";
        row("rssi", "", 161, 0x80, "1F", "rssi", "31");
        row("rssi empty payload", "", 161, 0x80, "", "rssi", "99");
        row("rssi started by the module", "", 161, 0x00, "1F", "rssi", "99");
        row("imei", "", 162, 0x80, imei.toHex(), "imei", QString::fromLatin1(imei));
        row("imei one short", "", 162, 0x80, imei.left(14).toHex(), "imei", "");
        row("imei longer", "", 162, 0x80, (imei + "99").toHex(), "imei", QString::fromLatin1(imei));
        row("sim", "", 163, 0x80, sim.toHex(), "simId", QString::fromLatin1(sim));
        row("vin", "", 164, 0x80, "3039", "vin", "12345");
        row("vin one byte", "", 164, 0x80, "30", "vin", "0");
        row("tower", "", 166, 0x80, "0107", "towerConn", "1,7");
        row("tower one byte", "", 166, 0x80, "01", "towerConn", "1,0");
        row("tower failed", "", 166, 0x81, "0107", "towerConn", "0,0");
        row("modem speed", "", 145, 0x80, "02", "modemSpeed", "2");
        row("modem speed failed", "", 145, 0x81, "02", "modemSpeed", "0");
        row("reply 160", "", 160, 0x85, "", "reply160Status", "5");
        row("tarn firmware", "", 192, 0x80, "0830312E30322E3033", "tarnFirmware", "01.02.03");
        row("tarn firmware 16", "", 192, 0x80, "10" + QByteArray("ABCDEFGHIJKLMNOP").toHex(),
            "tarnFirmware", "ABCDEFGHIJKLMNOP");
        row("tarn firmware 17 refused", "", 192, 0x80,
            "11" + QByteArray("ABCDEFGHIJKLMNOPQ").toHex(), "tarnFirmware", "xx.yy.zz");
        row("tarn hardware count past payload", "", 193, 0x80, "0A31323334", "tarnHardware",
            "1234");
        row("cint firmware", "", 194, 0x80, QByteArray("123456").toHex(), "cintFirmware", "123456");
        row("cint firmware short", "", 194, 0x80, QByteArray("12345").toHex(), "cintFirmware",
            "xx.yyyy");
        row("cint hardware", "", 195, 0x80, QByteArray("ABCD-12").toHex(), "cintHardware",
            "ABCD-12");
        row("i2c read", "i2c", 33, 0x80, "03AABBCC", "i2c", "3:AA BB CC");
        row("i2c count past payload", "i2c", 33, 0x80, "05AABB", "i2c", "2:AA BB");
        row("i2c empty", "i2c", 33, 0x80, "", "i2c", "0:");
        row("gpio group read", "group 2", 19, 0x80, "01", "gpioGroup2",
            "cmd 19 result 0 value 1 queued 0");
        row("gpio group read failed", "group 2", 19, 0x81, "01", "gpioGroup2",
            "cmd 19 result 255 value 2 queued 0");
        row("gpio group read, none asked", "", 19, 0x80, "01", "gpioGroup2",
            "cmd 0 result 255 value 2 queued 0");
        row("gpio group read short", "group 2", 19, 0x80, "", "gpioGroup2",
            "cmd 19 result 255 value 2 queued 0");
        row("gpio group set", "set group 2", 16, 0x83, "", "gpioGroup2",
            "cmd 16 result 3 value 1 queued 0");
        row("gpio group set, none asked", "", 16, 0x80, "", "gpioGroup2",
            "cmd 0 result 255 value 2 queued 0");
        row("gpio pin read", "pin 11", 18, 0x80, "01", "gpioPin11", "cmd 18 value 1 queued 0");
        row("gpio pin read failed", "pin 11", 18, 0x81, "01", "gpioPin11",
            "cmd 18 value 2 queued 0");
        row("gpio pin read, none asked", "", 18, 0x80, "01", "gpioPin11", "cmd 0 value 2 queued 0");
        row("call event", "", 67, 0x00, "020304", "callEvent", "2,3,4");
        row("call event short", "", 67, 0x00, "02", "callEvent", "2,4294967295,0");
        row("call event as reply", "", 67, 0x80, "020304", "callEvent", "0,4294967295,0");
        row("call reply", "", 64, 0x80, "", "lastCallCmd", "64");
        row("call started by module", "", 65, 0x00, "", "lastCallCmd", "0");
        row("mic mute", "", 72, 0x80, "01", "audio", "mute 1 mic 0 spk 0,0 ring 0,0 last 0");
        row("mic mute 2 means off", "", 72, 0x80, "02", "audio",
            "mute 0 mic 0 spk 0,0 ring 0,0 last 0");
        row("mic gain", "", 74, 0x00, "09", "audio", "mute 0 mic 9 spk 0,0 ring 0,0 last 0");
        row("speaker gain", "", 76, 0x80, "0506", "audio", "mute 0 mic 0 spk 5,6 ring 0,0 last 0");
        row("ring tone one byte", "", 78, 0x80, "04", "audio",
            "mute 0 mic 0 spk 0,0 ring 4,0 last 0");
        row("audio set echo", "", 77, 0x00, "", "audio", "mute 0 mic 0 spk 0,0 ring 0,0 last 77");
        row("sms reception on", "", 100, 0x80, "01", "smsReception", "1");
        row("sms reception failed", "", 100, 0x81, "01", "smsReception", "0");
        row("bytes sent", "", 131, 0x00, "0102", "socketBytesSent", "258");
        row("bytes sent short", "", 131, 0x00, "01", "socketBytesSent", "0");
        row("transfer result", "", 131, 0x80, "0102", "socketBytesSent", "0");
        row("apn", "", 133, 0x80,
            "03776562"
            "0475736572"
            "027077",
            "apn", "web|user|pw");
        row("apn empty strings", "", 133, 0x80, "000000", "apn", "||");
        row("apn third runs past", "", 133, 0x80,
            "03776562"
            "0475736572"
            "0570",
            "apn", "||");
        row("apn missing third", "", 133, 0x80,
            "03776562"
            "0475736572",
            "apn", "||");
        row("apn failed", "", 133, 0x81,
            "03776562"
            "0475736572"
            "027077",
            "apn", "||");
        row("sms header", "", 96, 0x00,
            "03313233"
            "0432362F31",
            "sms", "123|26/1||0|0");
        row("sms header sender too long", "", 96, 0x00, "14" + QByteArray(20, '9').toHex() + "0131",
            "sms", "|1||0|0");
        row("sms header date too long", "", 96, 0x00,
            "0131"
            "1E" +
                QByteArray(30, '0').toHex(),
            "sms", "1|||0|0");
        row("sms header cut short", "", 96, 0x00, "0531", "sms", "|||0|0");
        row("at response", "at", 240, 0x80, "024F4B", "at", "OK");
        row("at response count past payload", "at", 240, 0x80, "094F4B", "at", "OK");
    }
    void dispatch() {
        QFETCH(QString, before);
        QFETCH(int, id);
        QFETCH(int, status);
        QFETCH(QByteArray, payload);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        const QStringList words = before.split(' ');
        if (before == "i2c") {
            link_i2c_read(0x50, 0, 3);
        } else if (before == "at") {
            link_send_at_command("AT");
        } else if (words.value(0) == "group") {
            link_gpio_group_get(words[1].toInt());
        } else if (words.value(0) == "set") {
            link_gpio_group_set(words[2].toInt(), 1);
        } else if (words.value(0) == "pin") {
            link_gpio_pin_get(words[1].toInt());
        }
        testsupport::drain();
        ModuleScript module;
        const QList<QByteArray> written = module.deliver(uint8_t(id), uint8_t(status), payload);
        QCOMPARE(field(name), expected);
        QCOMPARE(toHex(written.value(0)), toHex(ack(0x10)));  // every status id is acknowledged
        if (status & REPLY_FLAG) {
            QCOMPARE(int(cmdStatus(uint8_t(id))), status & 0x7F);
        }
    }

    void incomingSms() {
        ModuleScript module;
        QList<QByteArray> written = module.started(96, hex("0331323305") + "26/11");
        QCOMPARE(written.size(), 2);
        // The answer to a frame the module started carries our next number and the reply flag.
        QCOMPARE(toHex(written[1]), toHex(testsupport::frame(96, 1, 0x80)));
        module.started(97, QByteArray("\x05Hello", 6));
        module.started(97, QByteArray("\x06 world", 7));
        QCOMPARE(field("sms"), QStringLiteral("123|26/11|Hello world|11|0"));
        written = module.started(98);
        QCOMPARE(toHex(written.value(1)), toHex(testsupport::frame(98, 4, 0x80)));
        QCOMPARE(field("sms"), QStringLiteral("123|26/11|Hello world|0|1"));

        // The next message overwrites the text; a zero count empties it.
        module.started(97, QByteArray("\x02Hi", 3));
        QCOMPARE(field("sms"), QStringLiteral("123|26/11|Hi|2|0"));
        module.started(97, QByteArray(1, '\0'));
        QCOMPARE(field("sms"), QStringLiteral("123|26/11||0|0"));
    }

    void incomingSmsTextLimit() {
        ModuleScript module;
        const QByteArray piece = QByteArray(1, char(100)) + QByteArray(100, 'a');
        module.started(97, piece);
        module.started(97, piece);
        module.started(97, QByteArray(1, char(55)) + QByteArray(55, 'b'));
        QCOMPARE(link_get_state()->smsRxTextLength, int16_t(255));
        module.started(97, QByteArray("\x01z", 2));  // does not fit: ignored whole
        QCOMPARE(link_get_state()->smsRxTextLength, int16_t(255));
        const QString textNow = text(link_get_state()->smsRxText.data());
        QCOMPARE(textNow, QString(200, 'a') + QString(55, 'b'));
    }

    void socketResponseAccumulatesUpToItsLimit() {
        link_socket_send("example.org:80", 0, 5000);
        testsupport::drain();
        ModuleScript module;
        module.started(129, QByteArray(1, '\0'));
        const QByteArray chunk = QByteArray(1, char(255)) + QByteArray(255, 'x');
        for (int i = 0; i < 160; ++i) {
            module.started(129, chunk);  // 40800 bytes
        }
        QCOMPARE(link_get_state()->socketResponseLength, 40800u);
        module.started(129, chunk);
        {
            auto s = link_get_state();
            QCOMPARE(s->socketResponseLength, 40959u);
            QCOMPARE(s->socketResponseDropped, 255u - 159u);
            QCOMPARE(s->socketResponse[40959], '\0');
            QCOMPARE(s->socketResponse[40958], 'x');
        }
        module.started(129, chunk);
        QCOMPARE(link_get_state()->socketResponseDropped, 96u + 255u);
        module.started(129, QByteArray(1, '\0'));
        auto s = link_get_state();
        QCOMPARE(s->socketResponseLength, 0u);
        QCOMPARE(s->socketResponseDropped, 0u);
        QCOMPARE(s->socketResponse[0], '\0');
    }

    void atResponseConcatenatesAndCutsAt1023() {
        link_send_at_command("ATI");
        testsupport::drain();
        ModuleScript module;
        module.reply(240, QByteArray("\x04"
                                     "ATI\n",
                                     5));
        module.reply(240, QByteArray("\x03"
                                     "OK\n",
                                     4));
        QCOMPARE(field("at"), QStringLiteral("ATI\nOK\n"));
        const QByteArray chunk = QByteArray(1, char(250)) + QByteArray(250, 'r');
        for (int i = 0; i < 5; ++i) {
            module.reply(240, chunk);
        }
        const QString at = field("at");
        QCOMPARE(at.size(), 1023);
        QVERIFY(at.endsWith(QStringLiteral("rrr")));
        link_send_at_command("AT");
        QCOMPARE(field("at"), QString());
    }
};

QTEST_GUILESS_MAIN(TestLinkEngine)
#include "tst_link_engine.moc"
