// Request functions: the exact frames each one queues, the state it marks, and that a refused
// one changes nothing and names its reason, field and limit.
#include <QtTest>
#include <functional>

#include "command_catalogue.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "module_script.h"

using testsupport::hex;
using testsupport::toHex;

Q_DECLARE_METATYPE(std::function<int()>)
Q_DECLARE_METATYPE(std::function<int(QByteArray)>)

namespace {

using Call = std::function<int()>;

// What the module receives, as "id payload" in hex, all frames acknowledged.
QStringList sent() {
    QStringList out;
    for (const auto &f : ModuleScript::acknowledgeEverything()) {
        out << QStringLiteral("%1 %2")
                   .arg(f.cmdId, 2, 16, QLatin1Char('0'))
                   .arg(QString::fromLatin1(f.payload.toHex()))
                   .trimmed()
                   .toUpper();
    }
    return out;
}

// The part of the record a request may change, as text, to prove a refusal changed nothing.
QString requestState() {
    auto s = link_get_state();
    QString out = QStringLiteral(
                      "seq %1 sel %2 %3 %4 %5 %6 %7 fifo %8 %9 at %10 sock %11 i2c %12 "
                      "group1 %13 waiting %14|")
                      .arg(s->txSeq)
                      .arg(s->lastGpioCmd)
                      .arg(s->lastCallCmd)
                      .arg(s->lastAudioCmd)
                      .arg(s->lastSmsCmd)
                      .arg(s->lastSocketCmd)
                      .arg(s->lastStatusCmd)
                      .arg(s->gpioGroupQueue.size())
                      .arg(s->gpioPinQueue.size())
                      .arg(QString::fromLatin1(s->atResponse.data()))
                      .arg(s->socketResponseLength)
                      .arg(s->i2cReadLength)
                      .arg(s->gpioGroupValue[1])
                      .arg(s->transferFramesWaiting);
    for (size_t id = 0; id < s->cmdStatus.size(); ++id) {
        if (s->cmdStatus[id] != CMD_STATUS_IDLE) {
            out += QStringLiteral(" %1=%2").arg(id).arg(s->cmdStatus[id]);
        }
    }
    return out;
}

void fillTxTable() {
    while (link_send(CMD_GET_VIN, nullptr, 0, 0) == 1) {
    }
}

QString asText(const std::map<QString, uint32_t> &values) {
    QStringList out;
    for (const auto &v : values) {
        out << QStringLiteral("%1=%2").arg(v.first).arg(v.second);
    }
    return out.join(' ');
}

QByteArray text(int size, char c = 'a') {
    return QByteArray(size, c);
}

}  // namespace

class TestLinkRequests : public QObject {
    Q_OBJECT

    testsupport::FakeClock clock;  // the link's time for the whole run, moved by hand

  private slots:
    void init() { testsupport::resetLink(); }

    // The frames each request queues, what it marks pending, the feature's last command it
    // notes, and what of an earlier answer it clears.
    void requests_data() {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("marked");  // "<id>=<status> ... <selector>=<value>"
        auto row = [](const char *tag, Call call, QStringList expected, const char *marked) {
            QTest::newRow(tag) << call << expected << QString::fromLatin1(marked);
        };
        // clang-format off
        row("max message size 100", [] { return link_set_max_message_size(100); }, {"02 19"}, "");
        row("max message size 33", [] { return link_set_max_message_size(33); }, {"02 08"}, "");
        row("gpio group set", [] { return link_gpio_group_set(1, 1); },
            {"10 0101"}, "16=255 gpio=16 group1=1");
        row("gpio pin set", [] { return link_gpio_pin_set(11, 1); }, {"11 0B01"}, "17=255 gpio=17");
        row("gpio pin get", [] { return link_gpio_pin_get(5); }, {"12 05"}, "18=255 gpio=18");
        row("gpio group get", [] { return link_gpio_group_get(3); }, {"13 03"}, "19=255 gpio=19");
        row("request 32", [] { return link_request_32(7); }, {"20 07"}, "32=255");
        row("i2c read", [] { return link_i2c_read(0x50, 0x10, 4); }, {"21 501004"}, "33=255 i2c=0");
        row("i2c write", [] { return link_i2c_write(0x50, 0x10, 2, hex("AABB")); },
            {"21 D01002AABB"}, "33=255 i2c=0");
        row("dial", [] { return link_call_dial("123"); }, {"40 0003313233"}, "64=255 call=64");
        row("answer", link_call_answer, {"41"}, "65=255 call=65");
        row("hang up", [] { return link_call_hangup(0, 16); }, {"42 0010"}, "66=255 call=66");
        row("get mic mute", link_audio_get_mic_mute, {"48"}, "72=255");
        row("set mic mute", [] { return link_audio_set_mic_mute(1); },
            {"49 01"}, "73=255 audio=73");
        row("get mic gain", link_audio_get_mic_gain, {"4A"}, "74=255");
        row("set mic gain", [] { return link_audio_set_mic_gain(5); },
            {"4B 05"}, "75=255 audio=75");
        row("get speaker gain", link_audio_get_speaker_gain, {"4C"}, "76=255");
        row("set speaker gain", [] { return link_audio_set_speaker_gain(1, 2); },
            {"4D 0102"}, "77=255 audio=77");
        row("get ring tone", link_audio_get_ring_tone, {"4E"}, "78=255");
        row("set ring tone", [] { return link_audio_set_ring_tone(3, 4); },
            {"4F 0304"}, "79=255 audio=79");
        row("sms", [] { return link_sms_send("123", "hi"); },
            {"60 0331323300", "61 026869", "62"}, "96=255 97=255 98=255");
        row("sms reception", [] { return link_sms_set_reception(1); }, {"63 01"}, "99=255 sms=99");
        row("get sms reception", link_sms_get_reception_enabled, {"64"}, "100=255 sms=100");
        row("mail server", [] { return link_mail_set_server("smtp.x", 587); },
            {"70 06736D74702E78", "71 024B"}, "");
        row("mail credentials", [] { return link_mail_set_credentials("me", "pw"); },
            {"72 026D65", "73 027077"}, "");
        row("mail smtp", [] { return link_mail_send_smtp(1); }, {"78 01"}, "120=255");
        row("mail post", [] { return link_mail_send_http_post("http://x"); },
            {"79 08687474703A2F2F78"}, "121=255");
        row("apn set", [] { return link_apn_set("web", "u", "p"); },
            {"80 0377656201750170"}, "128=255 socket=128");
        row("cancel socket send", link_socket_cancel_send, {"84"}, "132=255 socket=132");
        row("socket send", [] { return link_socket_send("host:80", 1, 5000); },
            {"82 01138807686F73743A3830"}, "131=255 socket=131 response=0");
        row("apn get", link_apn_get, {"85"}, "133=255 socket=133");
        row("modem speed set", [] { return link_set_modem_speed(2); },
            {"90 02"}, "144=255 status=144");
        row("modem speed get", link_get_modem_speed, {"91"}, "145=255 status=145");
        row("get 160", link_get_160, {"A0"}, "160=255 status=160");
        row("rssi", link_get_rssi, {"A1"}, "161=255 status=161");
        row("imei", link_get_imei, {"A2"}, "162=255 status=162");
        row("sim", link_get_sim, {"A3"}, "163=255 status=163");
        row("vin", link_get_vin, {"A4"}, "164=255 status=164");
        row("func level", [] { return link_set_func_level(1); }, {"A5 01"}, "165=255 status=165");
        row("tower", link_get_tower_conn, {"A6"}, "166=255 status=166");
        row("tarn firmware", link_get_tarn_firmware, {"C0"}, "192=255 status=192");
        row("tarn hardware", link_get_tarn_hardware, {"C1"}, "193=255 status=193");
        row("cint firmware", link_get_cint_firmware, {"C2"}, "194=255 status=194");
        row("cint hardware", link_get_cint_hardware, {"C3"}, "195=255 status=195");
        row("at command", [] { return link_send_at_command("AT"); }, {"F0 024154"}, "240=255 at=0");
        row("empty at command", [] { return link_send_at_command(""); }, {"F0 00"}, "240=255 at=0");
        // clang-format on
    }
    void requests() {
        QFETCH(Call, call);
        QFETCH(QStringList, expected);
        QFETCH(QString, marked);
        // What earlier answers left: a request clears only the answer it will bring.
        testsupport::editLink([](LinkState &s) {
            s.i2cReadLength = 3;
            s.socketResponseLength = 2;
            s.socketResponseDropped = 3;
            s.socketBytesSent = 4;
            s.atResponse[0] = 'x';
        });
        QCOMPARE(call(), 1);
        QCOMPARE(sent(), expected);

        // Everything not named keeps its value from before the request.
        const LinkSnapshot s = link_snapshot();
        const std::map<QString, uint32_t> actual = {
            {"gpio", s.lastGpioCmd},
            {"call", s.lastCallCmd},
            {"audio", s.lastAudioCmd},
            {"sms", s.lastSmsCmd},
            {"socket", s.lastSocketCmd},
            {"status", s.lastStatusCmd},
            {"group1", s.gpioGroupValue[1]},
            {"i2c", s.i2cReadLength},
            {"response", s.socketResponseLength + s.socketResponseDropped + s.socketBytesSent},
            {"at", uint8_t(s.atResponse[0])}};
        std::map<QString, uint32_t> wanted = {
            {"gpio", 0},   {"call", 0},   {"audio", 0}, {"sms", 0},      {"socket", 0},
            {"status", 0}, {"group1", 2}, {"i2c", 3},   {"response", 9}, {"at", 'x'}};
        int pending = 0;
        for (const QString &item : marked.split(' ', Qt::SkipEmptyParts)) {
            const QString key = item.section('=', 0, 0);
            const uint32_t value = item.section('=', 1).toUInt();
            bool isId = false;
            const int id = key.toInt(&isId);
            if (isId) {
                QCOMPARE(uint32_t(s.cmdStatus[id]), value);
                ++pending;
            } else {
                wanted.at(key) = value;
            }
        }
        QCOMPARE(int(std::count(s.cmdStatus.begin(), s.cmdStatus.end(), CMD_STATUS_PENDING)),
                 pending);
        QCOMPARE(asText(actual), asText(wanted));
    }

    // A refused request changes nothing and says why: the field at fault and its limit. A
    // text cut to the limit goes through.
    void refusals_data() {
        QTest::addColumn<std::function<int(QByteArray)>>("call");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("before");  // "full": the table is; "sms": one is on its way
        const auto row = [](const char *tag, std::function<int(QByteArray)> call, QByteArray in,
                            int result, const char *field = "", int limit = 0,
                            const char *before = "") {
            QTest::newRow(tag) << call << in << result << QString(field) << limit
                               << QString(before);
        };
#define CALL(expr) []([[maybe_unused]] QByteArray t) { return expr; }
        // clang-format off
        const int range = LINK_REFUSED_OUT_OF_RANGE, over = LINK_REFUSED_TOO_LONG;
        const int escaped = LINK_REFUSED_NEVER_FITS, frame = FRAME_BUFFER_SIZE;
        row("size 31", CALL(link_set_max_message_size(31)), {}, range, "link.size_quarter", 256);
        row("size 257", CALL(link_set_max_message_size(257)), {}, range, "link.size_quarter", 256);
        row("group 4", CALL(link_gpio_group_set(4, 1)), {}, range, "gpio.group", 3);
        row("pin -1", CALL(link_gpio_pin_set(-1, 0)), {}, range, "gpio.pin", 11);
        row("pin get 12", CALL(link_gpio_pin_get(12)), {}, range, "gpio.pin", 11);
        row("i2c data short", CALL(link_i2c_write(1, 2, 3, "ab")), {}, range, "i2c.count", 2);
        row("dial", CALL(link_call_dial(t)), text(254), over, "call.number", 253);
        row("mail post", CALL(link_mail_send_http_post(t)), text(255), over, "mail.url", 254);
        row("apn name", CALL(link_apn_set(t, "", "")), text(253), over, "apn.name", 252);
        row("apn texts share", CALL(link_apn_set(text(200), text(51), t)), "pw", over,
            "apn.password", 1);
        row("socket destination", CALL(link_socket_send(t, 0, 100)), text(252), over,
            "socket.destination", 251);
        row("sms number", CALL(link_sms_send(t, "x")), text(254), over, "sms.number", 253);
        row("sms text", CALL(link_sms_send("1", t)), text(255), over, "sms.text", 254);
        row("mail server", CALL(link_mail_set_server(t, 25)), text(255), over, "mail.server", 254);
        row("mail login", CALL(link_mail_set_credentials(t, "p")), text(255), over, "mail.login",
            254);
        row("at command", CALL(link_send_at_command(t)), text(255), over, "at.command", 254);
        row("escape-rich sms", CALL(link_sms_send("1", t)), text(254, '\x7E'), escaped, "sms.text",
            frame);
        row("escape-rich mail password", CALL(link_mail_set_credentials("me", t)),
            text(254, '\x9E'), escaped, "mail.password", frame);
        row("escape-rich i2c", CALL(link_i2c_write(0x7E, 0, 250, t)), text(250, '\xCE'), escaped,
            "i2c.data", frame);
        row("sms in progress", CALL(link_sms_send("1", "x")), {}, LINK_REFUSED_SMS_IN_PROGRESS, "",
            0, "sms");
        row("full: rssi", CALL(link_get_rssi()), {}, 0, "", 0, "full");
        row("full: group set", CALL(link_gpio_group_set(1, 0)), {}, 0, "", 0, "full");
        row("full: group get", CALL(link_gpio_group_get(1)), {}, 0, "", 0, "full");
        row("full: pin get", CALL(link_gpio_pin_get(3)), {}, 0, "", 0, "full");
        row("full: i2c", CALL(link_i2c_read(1, 2, 3)), {}, 0, "", 0, "full");
        row("full: at", CALL(link_send_at_command("AT")), {}, 0, "", 0, "full");
        // clang-format on
#undef CALL
    }
    void refusals() {
        QFETCH(std::function<int(QByteArray)>, call);
        QFETCH(QByteArray, input);
        QFETCH(int, result);
        QFETCH(int, limit);
        QFETCH(QString, before);
        testsupport::editLink([](LinkState &s) { s.i2cReadLength = 3, s.atResponse[0] = 'R'; });
        if (before == "full") {
            fillTxTable();
        }
        QVERIFY(before != "sms" || link_sms_send("2", "y") == 1);
        const QString state = requestState();
        QCOMPARE(call(input), result);
        const LinkRefusal refusal = link_last_refusal();
        QCOMPARE(int(refusal.result), result);
        QTEST(QString(refusal.field != nullptr ? refusal.field->id : ""), "field");
        QCOMPARE(refusal.limit, limit);
        QCOMPARE(requestState(), state);
        QVERIFY(result != LINK_REFUSED_TOO_LONG || (call(input.left(limit)) == LINK_QUEUED &&
                                                    link_last_refusal().result == LINK_QUEUED));
    }

    void mailContentInPieces() {
        const QByteArray body = text(255, 'a') + text(255, 'b') + text(90, 'c');
        QCOMPARE(link_mail_set_content("from@x", "to@y", text(300, 's'), body), 1);
        QCOMPARE(link_snapshot().cmdStatus[CMD_MAIL_BODY], CMD_STATUS_PENDING);
        const auto frames = ModuleScript::acknowledgeEverything();
        QStringList order;
        for (const auto &m : frames) {
            order << QStringLiteral("%1:%2").arg(m.cmdId).arg(m.payload.size());
        }
        QCOMPARE(order, (QStringList{"117:5", "116:7", "118:256", "119:1", "119:256", "119:256",
                                     "119:91"}));
        QCOMPARE(frames[2].payload, QByteArray(1, char(255)) + text(255, 's'));
        QCOMPARE(frames[3].payload, hex("00"));
        QCOMPARE(frames[4].payload.mid(1) + frames[5].payload.mid(1) + frames[6].payload.mid(1),
                 body);
    }

    void socketPayloadPieces_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QList<int>>("pieces");
        QTest::newRow("empty") << QByteArray() << QList<int>{};
        QTest::newRow("255") << text(255) << QList<int>{255};
        QTest::newRow("256") << text(256) << QList<int>{255, 1};
        QTest::newRow("600") << text(600) << QList<int>{255, 255, 90};
        // Every byte escaped: pieces shrink so that each fits one frame.
        QTest::newRow("escape-rich 600") << text(600, '\x9E') << QList<int>{250, 250, 100};
    }
    void socketPayloadPieces() {
        QFETCH(QByteArray, data);
        QFETCH(QList<int>, pieces);
        testsupport::editLink([](LinkState &s) { s.txSeq = 0x7C; });
        QCOMPARE(link_socket_append_payload(data), 1);
        QList<QByteArray> written;
        QList<testsupport::Decoded> frames;
        for (QList<QByteArray> batch = testsupport::drain(); !batch.isEmpty();
             batch = testsupport::drain()) {
            for (const QByteArray &frame : batch) {
                QVERIFY(frame.size() <= FRAME_BUFFER_SIZE);
                const auto f = testsupport::decodeAll(frame).value(0);
                frames << f;
                link_receive(testsupport::frame(CMD_ACK, f.seq));
            }
        }
        QCOMPARE(frames.size(), pieces.size() + 1);
        QCOMPARE(frames[0].payload, hex("00"));
        QByteArray reassembled;
        for (int i = 0; i < pieces.size(); ++i) {
            QCOMPARE(frames[i + 1].cmdId, uint8_t(CMD_SOCKET_PAYLOAD));
            QCOMPARE(int(uint8_t(frames[i + 1].payload[0])), pieces[i]);
            reassembled += frames[i + 1].payload.mid(1);
        }
        QCOMPARE(reassembled, data);
        QCOMPARE(link_snapshot().cmdStatus[CMD_SOCKET_PAYLOAD], CMD_STATUS_IDLE);
    }
};

QTEST_GUILESS_MAIN(TestLinkRequests)
#include "tst_link_requests.moc"
