// The engine against scripted module frames: acknowledgement, repeats, retransmission, the
// pairing of replies with requests, and the unpacking of every reply into the link record.
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

QString pair(const std::array<uint8_t, 2> &a) {
    return QStringLiteral("%1,%2").arg(a[0]).arg(a[1]);
}

// The fields of the record a row can name, as text.
const std::map<QString, std::function<QString(const LinkSnapshot &)>> &fields() {
    using S = const LinkSnapshot &;
    static const std::map<QString, std::function<QString(S)>> table = {
        {"rssi", [](S s) { return QString::number(s.rssi); }},
        {"imei", [](S s) { return text(s.imei.data()); }},
        {"vin", [](S s) { return QString::number(s.vin); }},
        {"towerConn", [](S s) { return pair(s.towerConn); }},
        {"modemSpeed", [](S s) { return QString::number(s.modemSpeed); }},
        {"reply160Status", [](S s) { return QString::number(s.reply160Status); }},
        {"tarnFirmware", [](S s) { return text(s.tarnFirmware.data()); }},
        {"cintFirmware", [](S s) { return text(s.cintFirmware.data()); }},
        {"i2c",
         [](S s) {
             return QStringLiteral("%1:").arg(s.i2cReadLength) +
                    toHex(QByteArray(reinterpret_cast<const char *>(s.i2cData.data()),
                                     s.i2cReadLength));
         }},
        {"gpioGroups",
         [](S s) {
             return QStringLiteral("cmd %1 results %2,%3 values %4,%5")
                 .arg(s.lastGpioCmd)
                 .arg(s.gpioGroupResult[1])
                 .arg(s.gpioGroupResult[2])
                 .arg(s.gpioGroupValue[1])
                 .arg(s.gpioGroupValue[2]);
         }},
        {"gpioPins",
         [](S s) {
             return QStringLiteral("cmd %1 values %2,%3")
                 .arg(s.lastGpioCmd)
                 .arg(s.gpioPinValue[5])
                 .arg(s.gpioPinValue[11]);
         }},
        {"callEvent",
         [](S s) {
             return QStringLiteral("%1,%2,%3")
                 .arg(s.callEventState)
                 .arg(qint64(s.callEventValue))
                 .arg(s.callEventExtra);
         }},
        {"lastCallCmd", [](S s) { return QString::number(s.lastCallCmd); }},
        {"audio",
         [](S s) {
             return QStringLiteral("mute %1 mic %2 spk %3 ring %4 last %5")
                 .arg(s.audioMicMute)
                 .arg(s.audioMicGain)
                 .arg(pair(s.audioSpeakerGain), pair(s.audioRingTone))
                 .arg(s.lastAudioCmd);
         }},
        {"smsReception", [](S s) { return QString::number(s.smsReceptionEnabled); }},
        {"socket",
         [](S s) {
             return QStringLiteral("%1|%2|%3")
                 .arg(text(s.socketResponse.data()))
                 .arg(s.socketResponseLength)
                 .arg(s.socketBytesSent);
         }},
        {"apn",
         [](S s) {
             return QString::fromLatin1(s.apnName + '|' + s.apnLogin + '|' + s.apnPassword);
         }},
        {"sms",
         [](S s) {
             return QStringLiteral("%1|%2|%3|%4|%5")
                 .arg(text(s.smsRxSender.data()), text(s.smsRxDate.data()),
                      text(s.smsRxText.data()))
                 .arg(s.smsRxTextLength)
                 .arg(s.smsRxComplete);
         }},
        {"at", [](S s) { return text(s.atResponse.data()); }},
    };
    return table;
}

QString field(const QString &name) {
    return fields().at(name)(link_snapshot());
}

uint8_t cmdStatus(uint8_t id) {
    return link_snapshot().cmdStatus[id];
}

QByteArray ack(uint8_t seq) {
    return testsupport::frame(CMD_ACK, seq);
}

// Requests a row makes before the module's frame arrives.
void prepare(const QString &before) {
    for (const QString &step : before.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList words = step.trimmed().split(QLatin1Char(' '));
        const int n = words.value(1).toInt();
        if (words[0] == "i2c") {
            link_i2c_read(0x50, 0, 3);
        } else if (words[0] == "at") {
            link_send_at_command("AT");
        } else if (words[0] == "groupget") {
            link_gpio_group_get(n);
        } else if (words[0] == "groupset") {
            link_gpio_group_set(n, 1);
        } else if (words[0] == "pin") {
            link_gpio_pin_get(n);
        } else if (words[0] == "socket") {
            link_socket_send("host:80", 0, 100);
        } else {
            qFatal("unknown step %s", qPrintable(step));
        }
    }
}

}  // namespace

class TestLinkEngine : public QObject {
    Q_OBJECT

    testsupport::FakeClock clock;  // the link's time for the whole run, moved by hand

  private slots:
    void init() { testsupport::resetLink(); }

    // A request, the module's ACK, its reply, and our ACK of the reply, byte for byte.
    void requestAndReply() {
        QSignalSpy received(link_notifier(), &Module3G::command_received);
        QCOMPARE(link_get_rssi(), 1);
        QCOMPARE(cmdStatus(CMD_GET_RSSI), CMD_STATUS_PENDING);
        QCOMPARE(toHex(testsupport::drain().value(0)), toHex(hex("7EA101007501CE")));

        link_receive(hex("7E00010D2ECE") + hex("7EA110801FA327CE"));
        QCOMPARE(testsupport::drain(), QList<QByteArray>{hex("7E00100F3ECE")});
        QCOMPARE(cmdStatus(CMD_GET_RSSI), uint8_t(0));
        QCOMPARE(field("rssi"), QStringLiteral("31"));
        QCOMPARE(received.size(), 2);
        QCOMPARE(received[0], (QVariantList{uchar(CMD_ACK), false}));
        QCOMPARE(received[1], (QVariantList{uchar(CMD_GET_RSSI), true}));
        clock.advance(60);
        QVERIFY(testsupport::drain().isEmpty());
    }

    // A request written three times without an ACK says so (for an SMS, in the status of its
    // send), is still written again, and shows the module's answer when it comes at last.
    void silentModule_data() {
        QTest::addColumn<bool>("sms");
        QTest::newRow("request") << false;
        QTest::newRow("SMS piece") << true;
    }
    void silentModule() {
        QFETCH(bool, sms);
        const uint8_t status = sms ? CMD_SMS_SEND : CMD_GET_RSSI;
        QSignalSpy silent(link_notifier(), &Module3G::module_silent);
        QCOMPARE(sms ? link_sms_send("1", "t") : link_get_rssi(), 1);
        for (int write = 1; write <= 4; ++write) {
            QCOMPARE(testsupport::drain().size(), 1);
            QCOMPARE(cmdStatus(status), write < 3 ? CMD_STATUS_PENDING : CMD_STATUS_SILENT);
            clock.advance(11);
        }
        QCOMPARE(silent.size(), 1);
        QCOMPARE(silent[0].value(0).value<uchar>(), uchar(status));
        const testsupport::Decoded rewritten =
            testsupport::decodeAll(testsupport::drain().join()).value(0);
        link_receive(testsupport::frame(CMD_ACK, rewritten.seq));
        testsupport::drain();
        QCOMPARE(cmdStatus(status), CMD_STATUS_PENDING);
    }

    void acknowledgement_data() {
        QTest::addColumn<int>("seq");
        QTest::addColumn<int>("answer");  // the control id the module answers with
        QTest::addColumn<int>("answeredSeq");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<int>("status");
        QTest::newRow("ack") << 1 << int(CMD_ACK) << 1 << true << int(CMD_STATUS_PENDING);
        QTest::newRow("ack of escaped 0x7E")
            << 0x7E << int(CMD_ACK) << 0x7E << true << int(CMD_STATUS_PENDING);
        QTest::newRow("ack of escaped 0xCE")
            << 0xCE << int(CMD_ACK) << 0xCE << true << int(CMD_STATUS_PENDING);
        QTest::newRow("nak of escaped 0x9E")
            << 0x9E << int(CMD_NAK) << 0x9E << true << int(CMD_STATUS_NAK);
        QTest::newRow("ack of another seq")
            << 1 << int(CMD_ACK) << 2 << false << int(CMD_STATUS_PENDING);
    }
    void acknowledgement() {
        QFETCH(int, seq);
        QFETCH(int, answer);
        QFETCH(int, answeredSeq);
        QFETCH(bool, ended);
        QFETCH(int, status);
        testsupport::editLink([&](LinkState &s) { s.txSeq = uint8_t(seq); });
        link_get_imei();
        QCOMPARE(testsupport::drain().size(), 1);
        link_receive(testsupport::frame(uint8_t(answer), uint8_t(answeredSeq)));
        testsupport::drain();
        QCOMPARE(int(cmdStatus(CMD_GET_IMEI)), status);
        QCOMPARE(link_snapshot().nakCount[CMD_GET_IMEI], answer == CMD_NAK ? 1u : 0u);
        // Rewritten only after more than ten seconds, and again after ten more.
        clock.advance(10);
        QVERIFY(testsupport::drain().isEmpty());
        clock.advance(1);
        QCOMPARE(testsupport::drain().size(), ended ? 0 : 1);
        clock.advance(11);
        QCOMPARE(testsupport::drain().size(), ended ? 0 : 1);
    }

    // Our pending ACK of module frame 5 and our own request 5 share a number; the module's
    // ACK of 5 must end the request, not fall on our ACK.
    void moduleAckFindsTheRequestBehindOurOwnAck() {
        testsupport::editLink([](LinkState &s) { s.txSeq = 5; });
        ModuleScript module(5);
        module.started(200);
        link_get_imei();
        QCOMPARE(testsupport::drain().size(), 1);
        link_receive(ack(5));
        testsupport::drain();
        clock.advance(11);
        QVERIFY(testsupport::drain().isEmpty());
    }

    // With more than 255 frames queued, a sequence number also stands on a frame not yet
    // written; an ACK belongs to the one on the line, also when it comes twice.
    void ackEndsTheWrittenFrameNotALaterNamesake() {
        for (int i = 0; i < 300; ++i) {
            QCOMPARE(link_get_vin(), 1);
        }
        QCOMPARE(link_process(), testsupport::frame(CMD_GET_VIN, 1));
        link_receive(ack(1) + ack(1));
        QCOMPARE(testsupport::drain().size(), 299);
        clock.advance(11);
        const QList<QByteArray> again = testsupport::drain();
        QCOMPARE(again.size(), 299);
        QCOMPARE(again.count(testsupport::frame(CMD_GET_VIN, 1)), 1);  // the 256th frame
    }

    void controlFramesGoFirstAndOnlyOnce() {
        link_get_vin();
        link_get_sim();
        link_receive(testsupport::frame(201, 0x30, 0));
        const QList<QByteArray> written = testsupport::drain();
        QCOMPARE(written.size(), 3);
        QCOMPARE(written[0], ack(0x30));
        clock.advance(11);
        for (const QByteArray &frame : testsupport::drain()) {
            QVERIFY(uint8_t(frame[1]) > CMD_MAX_MESSAGE_SIZE);
        }
    }

    // A repeat is acknowledged again, so the module stops sending it, but it is neither
    // handled nor signalled twice; equal frames that are not repeats are handled.
    void repeats_data() {
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<int>("secondsBetween");
        QTest::addColumn<bool>("reopened");  // a port was opened between the two
        QTest::addColumn<int>("handled");
        const QByteArray piece = testsupport::frame(CMD_SMS_TEXT, 0x21, 0, hex("026869"));
        const QByteArray other = testsupport::frame(200, 0x22, 0, hex("01"));
        QTest::newRow("at once") << QList<QByteArray>{piece, piece} << 0 << false << 1;
        QTest::newRow("after other frames")
            << QList<QByteArray>{piece, other, piece} << 0 << false << 2;
        QTest::newRow("a minute later")
            << QList<QByteArray>{piece, other, piece} << 60 << false << 2;
        QTest::newRow("more than a minute later")
            << QList<QByteArray>{piece, other, piece} << 61 << false << 3;
        QTest::newRow("module restarted its numbering")
            << QList<QByteArray>{piece, piece} << 0 << true << 2;
        QTest::newRow("same number, other payload")
            << QList<QByteArray>{piece, other,
                                 testsupport::frame(CMD_SMS_TEXT, 0x21, 0, hex("016A"))}
            << 0 << false << 3;
        QTest::newRow("first frame numbered 0")
            << QList<QByteArray>{testsupport::frame(200, 0, 0)} << 0 << false << 1;
    }
    void repeats() {
        QFETCH(QList<QByteArray>, frames);
        QFETCH(int, secondsBetween);
        QFETCH(bool, reopened);
        QFETCH(int, handled);
        QSignalSpy received(link_notifier(), &Module3G::command_received);
        int acks = 0;
        for (int i = 0; i < frames.size(); ++i) {
            if (i == frames.size() - 1) {
                clock.advance(secondsBetween);
                if (reopened) {
                    link_port_opened();
                }
            }
            link_receive(frames[i]);
            for (const QByteArray &written : testsupport::drain()) {
                acks += uint8_t(written[1]) == CMD_ACK ? 1 : 0;
            }
        }
        QCOMPARE(received.size(), handled);
        QCOMPARE(acks, frames.size());
    }

    // ACKs carry our numbers: one that equals the module's next frame must not hide it.
    void controlFrameNeverCountsAsRepeat() {
        testsupport::editLink([](LinkState &s) { s.txSeq = 5; });
        link_get_rssi();
        testsupport::drain();
        link_receive(ack(5) + testsupport::frame(CMD_GET_RSSI, 5, 0x80, hex("14")));
        QCOMPARE(testsupport::drain(), QList<QByteArray>{ack(5)});
        QCOMPARE(field("rssi"), QStringLiteral("20"));
    }

    // The module's ACK is lost on the line while its reply arrives. With one request of the id
    // on the line the reply ends it, so it is not written again (a module that remembers only
    // its last number would carry it out twice); with two, a reply cannot tell which it
    // answers, and only ACKs decide until the last reply owed has come.
    void replyEndsTheRequestWhoseAckWasLost_data() {
        QTest::addColumn<bool>("together");  // both asked before the first reply
        QTest::newRow("one on the line") << false;
        QTest::newRow("two on the line") << true;
    }
    void replyEndsTheRequestWhoseAckWasLost() {
        QFETCH(bool, together);
        QCOMPARE(link_gpio_pin_get(5), 1);
        QVERIFY(!together || link_gpio_pin_get(11) == 1);
        testsupport::drain();
        ModuleScript module;
        module.reply(CMD_GPIO_PIN_GET, hex("01"));
        clock.advance(11);
        QCOMPARE(testsupport::drain().size(), together ? 2 : 0);
        QVERIFY(together || link_gpio_pin_get(11) == 1);
        testsupport::drain();
        module.reply(CMD_GPIO_PIN_GET, hex("00"));
        QCOMPARE(field("gpioPins"), QStringLiteral("cmd 18 values 1,0"));
        clock.advance(11);
        QVERIFY(testsupport::drain().isEmpty());
    }

    // A message is handled even when no slot is left for its ACK.
    void fullTableStillHandlesTheMessage() {
        while (link_get_vin() == 1) {
        }
        QSignalSpy received(link_notifier(), &Module3G::command_received);
        link_receive(testsupport::frame(CMD_GET_RSSI, 0x10, 0x80, hex("07")));
        link_process();
        QCOMPARE(received.size(), 1);
        QCOMPARE(field("rssi"), QStringLiteral("7"));
    }

    void dispatch_data() {
        QTest::addColumn<QString>("before");  // requests made first, e.g. "groupget 2"
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("malformed");

        auto row = [](const char *tag, const char *before, int id, int status,
                      const QByteArray &payload, const char *name, const QString &expected,
                      bool malformed = false) {
            QTest::newRow(tag) << QString::fromLatin1(before) << id << status << hex(payload)
                               << QString::fromLatin1(name) << expected << malformed;
        };
        const QByteArray imei = "351234567890123";
        row("rssi", "", CMD_GET_RSSI, 0x80, "1F", "rssi", "31");
        row("rssi failed, no payload", "", CMD_GET_RSSI, 0x81, "", "rssi", "99");
        row("rssi started by the module", "", CMD_GET_RSSI, 0x00, "1F", "rssi", "99");
        row("imei", "", CMD_GET_IMEI, 0x80, imei.toHex(), "imei", QString::fromLatin1(imei));
        row("imei one short", "", CMD_GET_IMEI, 0x80, imei.left(14).toHex(), "imei", "", true);
        row("vin", "", CMD_GET_VIN, 0x80, "3039", "vin", "12345");
        row("vin one byte", "", CMD_GET_VIN, 0x80, "30", "vin", "0", true);
        row("tower", "", CMD_GET_TOWER_CONN, 0x80, "0107", "towerConn", "1,7");
        row("modem speed", "", CMD_GET_MODEM_SPEED, 0x80, "02", "modemSpeed", "2");
        row("modem speed failed", "", CMD_GET_MODEM_SPEED, 0x81, "02", "modemSpeed", "0");
        row("reply 160", "", CMD_GET_160, 0x85, "", "reply160Status", "5");
        row("tarn firmware", "", CMD_GET_TARN_FIRMWARE, 0x80, "0830312E30322E3033", "tarnFirmware",
            "01.02.03");
        row("tarn firmware of 16", "", CMD_GET_TARN_FIRMWARE, 0x80,
            "10" + QByteArray("ABCDEFGHIJKLMNOP").toHex(), "tarnFirmware", "ABCDEFGHIJKLMNOP");
        row("tarn firmware of 17", "", CMD_GET_TARN_FIRMWARE, 0x80,
            "11" + QByteArray("ABCDEFGHIJKLMNOPQ").toHex(), "tarnFirmware", "xx.yy.zz");
        row("tarn firmware count past payload", "", CMD_GET_TARN_FIRMWARE, 0x80, "0A31323334",
            "tarnFirmware", "xx.yy.zz", true);
        row("cint firmware short", "", CMD_GET_CINT_FIRMWARE, 0x80, QByteArray("12345").toHex(),
            "cintFirmware", "xx.yyyy", true);
        row("i2c read", "i2c", CMD_I2C, 0x80, "03AABBCC", "i2c", "3:AA BB CC");
        row("i2c count past payload", "i2c", CMD_I2C, 0x80, "05AABB", "i2c", "0:", true);
        row("gpio group read", "groupget 2", CMD_GPIO_GROUP_GET, 0x80, "01", "gpioGroups",
            "cmd 19 results 255,0 values 2,1");
        row("gpio group read answers the oldest", "groupget 1; groupget 2", CMD_GPIO_GROUP_GET,
            0x80, "00", "gpioGroups", "cmd 19 results 0,255 values 0,2");
        row("gpio group read failed", "groupget 2", CMD_GPIO_GROUP_GET, 0x81, "01", "gpioGroups",
            "cmd 19 results 255,255 values 2,2");
        row("gpio group set", "groupset 2", CMD_GPIO_GROUP_SET, 0x83, "", "gpioGroups",
            "cmd 16 results 255,3 values 2,1");
        row("gpio group set, none asked", "", CMD_GPIO_GROUP_SET, 0x80, "", "gpioGroups",
            "cmd 16 results 255,255 values 2,2");
        row("gpio pin read", "pin 11", CMD_GPIO_PIN_GET, 0x80, "01", "gpioPins",
            "cmd 18 values 2,1");
        row("gpio pin read answers the oldest", "pin 5; pin 11", CMD_GPIO_PIN_GET, 0x80, "00",
            "gpioPins", "cmd 18 values 0,2");
        row("gpio pin read failed", "pin 11", CMD_GPIO_PIN_GET, 0x81, "01", "gpioPins",
            "cmd 18 values 2,2");
        row("gpio pin set", "", CMD_GPIO_PIN_SET, 0x80, "", "gpioPins", "cmd 17 values 2,2");
        row("call event", "", CMD_CALL_EVENT, 0x00, "020304", "callEvent", "2,3,4");
        row("call event short", "", CMD_CALL_EVENT, 0x00, "02", "callEvent", "2,4294967295,0",
            true);
        row("call event as reply", "", CMD_CALL_EVENT, 0x80, "020304", "callEvent",
            "0,4294967295,0");
        row("call reply", "", CMD_CALL_HANGUP, 0x80, "", "lastCallCmd", "66");
        row("call started by module", "", CMD_CALL_ANSWER, 0x00, "", "lastCallCmd", "0");
        row("mic mute", "", CMD_AUDIO_GET_MIC_MUTE, 0x80, "01", "audio",
            "mute 1 mic 0 spk 0,0 ring 0,0 last 0");
        row("mic mute 2 means off", "", CMD_AUDIO_GET_MIC_MUTE, 0x80, "02", "audio",
            "mute 0 mic 0 spk 0,0 ring 0,0 last 0");
        row("mic gain started by the module", "", CMD_AUDIO_GET_MIC_GAIN, 0x00, "09", "audio",
            "mute 0 mic 9 spk 0,0 ring 0,0 last 0");
        row("ring tone", "", CMD_AUDIO_GET_RING_TONE, 0x80, "0407", "audio",
            "mute 0 mic 0 spk 0,0 ring 4,7 last 0");
        row("audio set", "", CMD_AUDIO_SET_SPEAKER_GAIN, 0x80, "", "audio",
            "mute 0 mic 0 spk 0,0 ring 0,0 last 77");
        row("sms reception on", "", CMD_SMS_GET_RECEPTION, 0x80, "01", "smsReception", "1");
        row("sms reception failed", "", CMD_SMS_GET_RECEPTION, 0x81, "01", "smsReception", "0");
        row("bytes sent", "", CMD_SOCKET_RESULT, 0x00, "0102", "socket", "|0|258");
        row("transfer result", "", CMD_SOCKET_RESULT, 0x80, "0102", "socket", "|0|0");
        row("response piece", "socket", CMD_SOCKET_PAYLOAD, 0x00, "024F4B", "socket", "OK|2|0");
        row("response count past payload", "socket", CMD_SOCKET_PAYLOAD, 0x00, "054F4B", "socket",
            "|0|0", true);
        row("apn", "", CMD_APN_GET, 0x80, "037765620475736572027077", "apn", "web|user|pw");
        row("apn third runs past", "", CMD_APN_GET, 0x80, "0377656204757365720570", "apn", "||",
            true);
        row("apn failed", "", CMD_APN_GET, 0x81, "037765620475736572027077", "apn", "||");
        row("sms header", "", CMD_SMS_NUMBER, 0x00, "033132330432362F31", "sms", "123|26/1||0|0");
        row("sms header sender too long", "", CMD_SMS_NUMBER, 0x00,
            "14" + QByteArray(20, '9').toHex() + "0131", "sms", "|1||0|0");
        row("sms header cut short", "", CMD_SMS_NUMBER, 0x00, "0531", "sms", "|||0|0", true);
        row("sms text count past payload", "", CMD_SMS_TEXT, 0x00, "056869", "sms", "|||0|0", true);
        row("at response", "at", CMD_AT_COMMAND, 0x80, "024F4B", "at", "OK");
        row("at response count past payload", "at", CMD_AT_COMMAND, 0x80, "094F4B", "at", "", true);
        row("id without a meaning", "", 200, 0x83, "0102", "sms", "|||0|0");
    }
    void dispatch() {
        QFETCH(QString, before);
        QFETCH(int, id);
        QFETCH(int, status);
        QFETCH(QByteArray, payload);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QFETCH(bool, malformed);
        prepare(before);
        testsupport::drain();
        ModuleScript module;
        const QList<QByteArray> written = module.deliver(uint8_t(id), uint8_t(status), payload);
        QCOMPARE(field(name), expected);
        QCOMPARE(toHex(written.value(0)), toHex(ack(0x10)));
        QCOMPARE(link_snapshot().counters.malformed, malformed ? 1u : 0u);
        if (status & REPLY_FLAG) {
            QCOMPARE(int(cmdStatus(uint8_t(id))), status & 0x7F);
        }
    }

    // An incoming SMS: each frame is answered with a reply that carries our next number; the
    // text grows piece by piece, a piece that would overfill it is ignored whole, and the end
    // frame marks it complete.
    void incomingSms() {
        ModuleScript module;
        const QList<QByteArray> written =
            module.started(CMD_SMS_NUMBER, hex("0331323305") + "26/11");
        QCOMPARE(written.value(1), testsupport::frame(CMD_SMS_NUMBER, 1, 0x80));
        const QByteArray piece = QByteArray(1, char(100)) + QByteArray(100, 'a');
        module.started(CMD_SMS_TEXT, piece);
        module.started(CMD_SMS_TEXT, piece);
        module.started(CMD_SMS_TEXT, QByteArray(1, char(55)) + QByteArray(55, 'b'));
        module.started(CMD_SMS_TEXT, QByteArray("\x01z", 2));
        module.started(CMD_SMS_SEND);
        QCOMPARE(field("sms"),
                 QStringLiteral("123|26/11|%1|0|1").arg(QString(200, 'a') + QString(55, 'b')));
        module.started(CMD_SMS_TEXT, QByteArray(1, '\0'));
        QCOMPARE(field("sms"), QStringLiteral("123|26/11||0|0"));
    }

    void socketResponseAccumulatesUpToItsLimit() {
        link_socket_send("example.org:80", 0, 5000);
        testsupport::drain();
        ModuleScript module;
        const QByteArray chunk = QByteArray(1, char(255)) + QByteArray(255, 'x');
        for (int i = 0; i < 161; ++i) {
            module.started(CMD_SOCKET_PAYLOAD, chunk);  // 41,055 bytes
        }
        LinkSnapshot s = link_snapshot();
        QCOMPARE(QList<uint>({s.socketResponseLength, s.socketResponseDropped}),
                 QList<uint>({40959, 41055 - 40959}));
        QCOMPARE(QByteArray(s.socketResponse.data() + 40958, 2), QByteArray("x\0", 2));
        module.started(CMD_SOCKET_PAYLOAD, QByteArray(1, '\0'));
        s = link_snapshot();
        QCOMPARE(s.socketResponseLength + s.socketResponseDropped, 0u);
    }

    void atResponseConcatenatesAndCutsAt1023() {
        link_send_at_command("ATI");
        testsupport::drain();
        ModuleScript module;
        module.reply(CMD_AT_COMMAND, QByteArray(1, 4) + "ATI\n");
        module.reply(CMD_AT_COMMAND, QByteArray(1, 3) + "OK\n");
        QCOMPARE(field("at"), QStringLiteral("ATI\nOK\n"));
        const QByteArray chunk = QByteArray(1, char(250)) + QByteArray(250, 'r');
        for (int i = 0; i < 5; ++i) {
            module.reply(CMD_AT_COMMAND, chunk);
        }
        QCOMPARE(field("at").size(), 1023);
        link_send_at_command("AT");
        QCOMPARE(field("at"), QString());
    }

    // The refresh restores the reason of a dropped call only while the record still holds
    // the value it read.
    void callReasonIsReplacedOnlyWhileUnchanged() {
        ModuleScript module;
        module.started(CMD_CALL_EVENT, hex("0005FF"));
        QCOMPARE(link_set_call_event_extra_if(0xFF, 3), 1);
        QCOMPARE(field("callEvent"), QStringLiteral("0,5,3"));
        module.started(CMD_CALL_EVENT, hex("000507"));
        QCOMPARE(link_set_call_event_extra_if(0xFF, 3), 0);
        QCOMPARE(field("callEvent"), QStringLiteral("0,5,7"));
    }
};

QTEST_GUILESS_MAIN(TestLinkEngine)
#include "tst_link_engine.moc"
