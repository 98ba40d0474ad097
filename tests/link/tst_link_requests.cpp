// Request functions: the exact frames each one queues, the state it marks, and the limits of
// texts and long payloads.
#include <QtTest>
#include <functional>

#include "frames.h"
#include "link_harness.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "link_state.h"

using testsupport::hex;
using testsupport::toHex;

Q_DECLARE_METATYPE(std::function<int()>)
Q_DECLARE_METATYPE(std::function<int(QByteArray)>)

namespace {

using Call = std::function<int()>;

QStringList writtenHex() {
    QStringList out;
    for (const QByteArray &frame : testsupport::drain()) {
        out << toHex(frame);
    }
    return out;
}

// Expected frames: "id payload" pairs in hex, numbered from sequence 1 as a fresh link does.
QStringList frames(const QStringList &wanted) {
    QStringList out;
    uint8_t seq = 1;
    for (const QString &item : wanted) {
        const QStringList parts = item.split(' ');
        const auto id = uint8_t(parts[0].toUInt(nullptr, 16));
        const QByteArray payload = QByteArray::fromHex(parts.mid(1).join(QString()).toLatin1());
        out << toHex(testsupport::frame(id, id <= CMD_MAX_MESSAGE_SIZE ? 0 : seq++, 0, payload));
    }
    return out;
}

// The part of the record a request may change, as text, to prove a refusal changed nothing.
QString requestState() {
    auto s = link_get_state();
    QString out = QStringLiteral("seq %1 sel %2 %3 %4 %5 %6 %7 fifo %8 %9 at %10 sock %11|")
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
                      .arg(s->socketResponseLength);
    for (size_t id = 0; id < s->cmdStatus.size(); ++id) {
        if (s->cmdStatus[id] != CMD_STATUS_IDLE) {
            out += QStringLiteral(" %1=%2").arg(id).arg(s->cmdStatus[id]);
        }
    }
    return out;
}

void fillTxTableLeaving(int free) {
    for (int i = 0; i < LINK_SLOT_COUNT - free; ++i) {
        link_send(0x40, nullptr, 0, 0);
    }
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

    void catalogue_data() {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QStringList>("expectedFrames");
        QTest::addColumn<QString>("marked");  // "<id>=<status> ..., <selector>=<value>"
        auto row = [](const char *tag, Call call, QStringList wanted, const char *marked) {
            QTest::newRow(tag) << call << frames(wanted) << QString::fromLatin1(marked);
        };
        row(
            "max message size 100", [] { return link_set_max_message_size(100); }, {"02 19"}, "");
        row(
            "max message size 256", [] { return link_set_max_message_size(256); }, {"02 40"}, "");
        row(
            "max message size 33", [] { return link_set_max_message_size(33); }, {"02 08"}, "");
        row(
            "gpio group set", [] { return link_gpio_group_set(2, 1); }, {"10 0201"},
            "16=255 gpio=16 group2=1");
        row(
            "gpio pin set", [] { return link_gpio_pin_set(11, 1); }, {"11 0B01"}, "17=255 gpio=17");
        row(
            "gpio pin get", [] { return link_gpio_pin_get(5); }, {"12 05"}, "18=255 gpio=18");
        row(
            "gpio group get", [] { return link_gpio_group_get(3); }, {"13 03"}, "19=255 gpio=19");
        row(
            "request 32", [] { return link_request_32(7); }, {"20 07"}, "32=255");
        row(
            "i2c read", [] { return link_i2c_read(0x50, 0x10, 4); }, {"21 501004"}, "33=255");
        row(
            "i2c write", [] { return link_i2c_write(0x50, 0x10, 2, hex("AABB")); },
            {"21 D01002AABB"}, "33=255");
        row(
            "dial", [] { return link_call_dial("123"); }, {"40 0003313233"}, "64=255 call=64");
        row(
            "answer", [] { return link_call_answer(); }, {"41"}, "65=255 call=65");
        row(
            "hang up", [] { return link_call_hangup(0, 16); }, {"42 0010"}, "66=255 call=66");
        row(
            "get mic mute", [] { return link_audio_get_mic_mute(); }, {"48"}, "72=255");
        row(
            "set mic mute", [] { return link_audio_set_mic_mute(1); }, {"49 01"},
            "73=255 audio=73");
        row(
            "get mic gain", [] { return link_audio_get_mic_gain(); }, {"4A"}, "74=255");
        row(
            "set mic gain", [] { return link_audio_set_mic_gain(5); }, {"4B 05"},
            "75=255 audio=75");
        row(
            "get speaker gain", [] { return link_audio_get_speaker_gain(); }, {"4C"}, "76=255");
        row(
            "set speaker gain", [] { return link_audio_set_speaker_gain(1, 2); }, {"4D 0102"},
            "77=255 audio=77");
        row(
            "get ring tone", [] { return link_audio_get_ring_tone(); }, {"4E"}, "78=255");
        row(
            "set ring tone", [] { return link_audio_set_ring_tone(3, 4); }, {"4F 0304"},
            "79=255 audio=79");
        row(
            "sms", [] { return link_sms_send("123", "hi"); }, {"60 0331323300", "61 026869", "62"},
            "96=255 97=255 98=255");
        row(
            "sms reception", [] { return link_sms_set_reception(1); }, {"63 01"}, "99=255 sms=99");
        row(
            "sms reception query", [] { return link_sms_get_reception_enabled(); }, {"64"},
            "100=255 sms=100");
        row(
            "mail server", [] { return link_mail_set_server("smtp.x", 587); },
            {"70 06736D74702E78", "71 024B"}, "");
        row(
            "mail credentials", [] { return link_mail_set_credentials("me", "pw"); },
            {"72 026D65", "73 027077"}, "");
        row(
            "mail smtp", [] { return link_mail_send_smtp(1); }, {"78 01"}, "120=255");
        row(
            "mail post", [] { return link_mail_send_http_post("http://x"); },
            {"79 08687474703A2F2F78"}, "121=255");
        row(
            "apn set", [] { return link_apn_set("web", "u", "p"); }, {"80 037765620175 0170"},
            "128=255 socket=128");
        row(
            "socket send", [] { return link_socket_send("host:80", 1, 5000); },
            {"82 011388 07686F73743A3830"}, "131=255 socket=131");
        row(
            "socket cancel", [] { return link_socket_cancel_send(); }, {"84"},
            "132=255 socket=132");
        row(
            "apn get", [] { return link_apn_get(); }, {"85"}, "133=255 socket=133");
        row(
            "modem speed set", [] { return link_set_modem_speed(2); }, {"90 02"},
            "144=255 status=144");
        row(
            "modem speed get", [] { return link_get_modem_speed(); }, {"91"}, "145=255 status=145");
        row(
            "160", [] { return link_get_160(); }, {"A0"}, "160=255 status=160");
        row(
            "rssi", [] { return link_get_rssi(); }, {"A1"}, "161=255 status=161");
        row(
            "imei", [] { return link_get_imei(); }, {"A2"}, "162=255 status=162");
        row(
            "sim", [] { return link_get_sim(); }, {"A3"}, "163=255 status=163");
        row(
            "vin", [] { return link_get_vin(); }, {"A4"}, "164=255 status=164");
        row(
            "func level", [] { return link_set_func_level(1); }, {"A5 01"}, "165=255 status=165");
        row(
            "tower", [] { return link_get_tower_conn(); }, {"A6"}, "166=255 status=166");
        row(
            "tarn firmware", [] { return link_get_tarn_firmware(); }, {"C0"}, "192=255 status=192");
        row(
            "tarn hardware", [] { return link_get_tarn_hardware(); }, {"C1"}, "193=255 status=193");
        row(
            "cint firmware", [] { return link_get_cint_firmware(); }, {"C2"}, "194=255 status=194");
        row(
            "cint hardware", [] { return link_get_cint_hardware(); }, {"C3"}, "195=255 status=195");
        row(
            "at command", [] { return link_send_at_command("AT"); }, {"F0 024154"}, "240=255");
        row(
            "empty at command", [] { return link_send_at_command(""); }, {"F0 00"}, "240=255");
    }
    void catalogue() {
        QFETCH(Call, call);
        QFETCH(QStringList, expectedFrames);
        QFETCH(QString, marked);
        QCOMPARE(call(), 1);
        QCOMPARE(writtenHex(), expectedFrames);

        auto s = link_get_state();
        const std::map<QString, uint32_t> selectors = {
            {"gpio", s->lastGpioCmd},        {"call", s->lastCallCmd},
            {"audio", s->lastAudioCmd},      {"sms", s->lastSmsCmd},
            {"socket", s->lastSocketCmd},    {"status", s->lastStatusCmd},
            {"group2", s->gpioGroupValue[2]}};
        int pending = 0;
        for (const QString &item : marked.split(' ', Qt::SkipEmptyParts)) {
            const QString key = item.section('=', 0, 0);
            const uint32_t value = item.section('=', 1).toUInt();
            bool isId = false;
            const int id = key.toInt(&isId);
            if (isId) {
                QCOMPARE(uint32_t(s->cmdStatus[id]), value);
                ++pending;
            } else {
                QCOMPARE(selectors.at(key), value);
            }
        }
        const int pendingNow =
            int(std::count(s->cmdStatus.begin(), s->cmdStatus.end(), CMD_STATUS_PENDING));
        QCOMPARE(pendingNow, pending);  // nothing else was marked
    }

    // A text that cannot travel with its one-byte length queues nothing and changes nothing;
    // one byte less goes through.
    void overlongTextChangesNothing_data() {
        QTest::addColumn<std::function<int(QByteArray)>>("call");
        auto row = [](const char *tag, std::function<int(QByteArray)> call) {
            QTest::newRow(tag) << call;
        };
        row("dial", [](QByteArray t) { return link_call_dial(t); });
        row("mail post", [](QByteArray t) { return link_mail_send_http_post(t); });
        row("apn name", [](QByteArray t) { return link_apn_set(t, "u", "p"); });
        row("apn password", [](QByteArray t) { return link_apn_set("w", "u", t); });
        row("socket destination", [](QByteArray t) { return link_socket_send(t, 0, 100); });
        row("sms number", [](QByteArray t) { return link_sms_send(t, "x"); });
        row("sms text", [](QByteArray t) { return link_sms_send("1", t); });
        row("mail server", [](QByteArray t) { return link_mail_set_server(t, 25); });
        row("mail login", [](QByteArray t) { return link_mail_set_credentials(t, "p"); });
        row("at command", [](QByteArray t) { return link_send_at_command(t); });
    }
    void overlongTextChangesNothing() {
        QFETCH(std::function<int(QByteArray)>, call);
        link_get_state()->atResponse[0] = 'R';
        const QString before = requestState();
        QCOMPARE(call(text(LINK_MAX_TEXT_LENGTH + 1)), 0);
        QCOMPARE(requestState(), before);
        QVERIFY(testsupport::drain().isEmpty());
        QCOMPARE(call(text(LINK_MAX_TEXT_LENGTH)), 1);
        QVERIFY(!testsupport::drain().isEmpty());
    }

    void outOfRangeArgumentsAreRefused_data() {
        QTest::addColumn<Call>("call");
        QTest::newRow("size 31") << Call([] { return link_set_max_message_size(31); });
        QTest::newRow("size 257") << Call([] { return link_set_max_message_size(257); });
        QTest::newRow("group 4") << Call([] { return link_gpio_group_set(4, 1); });
        QTest::newRow("group -1") << Call([] { return link_gpio_group_get(-1); });
        QTest::newRow("pin 12") << Call([] { return link_gpio_pin_get(12); });
        QTest::newRow("pin -1") << Call([] { return link_gpio_pin_set(-1, 0); });
        QTest::newRow("i2c data short") << Call([] { return link_i2c_write(1, 2, 3, "ab"); });
        QTest::newRow("escape-rich sms")
            << Call([] { return link_sms_send("1", text(254, '\x7E')); });
        // A mail setting is two frames: both go, or neither.
        QTest::newRow("escape-rich mail server")
            << Call([] { return link_mail_set_server(text(254, '\x7E'), 25); });
        QTest::newRow("escape-rich mail login")
            << Call([] { return link_mail_set_credentials(text(254, '\x7E'), "pw"); });
        QTest::newRow("escape-rich mail password")
            << Call([] { return link_mail_set_credentials("me", text(254, '\x9E')); });
    }
    void outOfRangeArgumentsAreRefused() {
        QFETCH(Call, call);
        const QString before = requestState();
        QCOMPARE(call(), 0);
        QCOMPARE(requestState(), before);
        QVERIFY(testsupport::drain().isEmpty());
    }

    void mailContentInPieces() {
        const QByteArray body = text(255, 'a') + text(255, 'b') + text(90, 'c');
        link_mail_set_content("from@x", "to@y", text(300, 's'), body);
        QCOMPARE(int(link_get_state()->cmdStatus[119]), int(CMD_STATUS_PENDING));
        const QList<testsupport::Decoded> sent =
            testsupport::decodeAll(testsupport::drain().join());
        QStringList order;
        for (const auto &m : sent) {
            order << QStringLiteral("%1:%2").arg(m.cmdId).arg(m.payload.size());
        }
        QCOMPARE(order, (QStringList{"117:5", "116:7", "118:256", "119:1", "119:256", "119:256",
                                     "119:91"}));
        QCOMPARE(sent[2].payload, QByteArray(1, char(255)) + text(255, 's'));
        QCOMPARE(sent[3].payload, hex("00"));
        QCOMPARE(uint8_t(sent[6].payload[0]), uint8_t(0x5A));
        QCOMPARE(sent[4].payload.mid(1) + sent[5].payload.mid(1) + sent[6].payload.mid(1), body);
    }

    // Escaping could make a 255-byte field too long for its frame: it is cut further rather
    // than lost, and the rest of the mail still goes.
    void escapeRichMailFieldsAreCutToFit() {
        link_mail_set_content(text(300, '\x7E'), "to@y", text(255, '\xCE'), "body");
        const auto sent = testsupport::decodeAll(testsupport::drain().join());
        QStringList ids;
        for (const auto &m : sent) {
            ids << QString::number(m.cmdId);
        }
        QCOMPARE(ids, (QStringList{"117", "116", "118", "119", "119"}));
        for (int i : {1, 2}) {
            const int count = uint8_t(sent[i].payload[0]);
            QCOMPARE(count, sent[i].payload.size() - 1);
            QVERIFY(count >= 240 && count < 255);
        }
    }

    void socketPayloadPieces_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("pieces");
        QTest::newRow("empty") << 0 << QList<int>{};
        QTest::newRow("255") << 255 << QList<int>{255};
        QTest::newRow("256") << 256 << QList<int>{255, 1};
        QTest::newRow("600") << 600 << QList<int>{255, 255, 90};
    }
    void socketPayloadPieces() {
        QFETCH(int, size);
        QFETCH(QList<int>, pieces);
        QCOMPARE(link_socket_append_payload(text(size)), 1);
        const auto sent = testsupport::decodeAll(testsupport::drain().join());
        QCOMPARE(sent.size(), pieces.size() + 1);
        QCOMPARE(sent[0].payload, hex("00"));
        for (int i = 0; i < pieces.size(); ++i) {
            QCOMPARE(sent[i + 1].cmdId, uint8_t(129));
            QCOMPARE(int(uint8_t(sent[i + 1].payload[0])), pieces[i]);
        }
        QCOMPARE(int(link_get_state()->cmdStatus[129]), int(CMD_STATUS_IDLE));
    }

    // Data made of the bytes that need escaping still arrives whole, in pieces that each fit
    // one frame, whatever sequence numbers they get.
    void escapeRichPayloadIsCutToFit() {
        QByteArray data;
        for (int i = 0; i < 1500; ++i) {
            data.append("\x7E\x9E\xCE\x41"[i % 4 == 3 ? 3 : i % 3]);
        }
        link_get_state()->txSeq = 0x7C;
        QCOMPARE(link_socket_append_payload(data), 1);
        const QList<QByteArray> written = testsupport::drain();
        QByteArray reassembled;
        for (const QByteArray &frame : written) {
            QVERIFY(frame.size() <= FRAME_BUFFER_SIZE);
        }
        for (const auto &m : testsupport::decodeAll(written.join()).mid(1)) {
            QCOMPARE(int(uint8_t(m.payload[0])), m.payload.size() - 1);
            reassembled += m.payload.mid(1);
        }
        QCOMPARE(reassembled, data);
    }

    void fullTableStopsTheSocketTransfer() {
        fillTxTableLeaving(2);
        QCOMPARE(link_socket_append_payload(text(600)), 0);
        QCOMPARE(link_find_free_tx_slot(), -1);
    }

    void fullTableAndSms() {
        fillTxTableLeaving(2);
        QCOMPARE(link_sms_send("1", "x"), 0);
        QCOMPARE(int(link_get_state()->cmdStatus[98]), int(CMD_STATUS_PENDING));
    }

    // A GPIO request that was not queued must not leave its FIFO entry behind, or every later
    // reply would be paired with the wrong group or pin.
    void fullTableTakesBackGpioEntries() {
        fillTxTableLeaving(0);
        QCOMPARE(link_gpio_group_set(1, 1), 0);
        QCOMPARE(link_gpio_group_get(1), 0);
        QCOMPARE(link_gpio_pin_get(3), 0);
        auto s = link_get_state();
        QVERIFY(s->gpioGroupQueue.empty());
        QVERIFY(s->gpioPinQueue.empty());
        QCOMPARE(s->gpioGroupValue[1], 2u);
        QCOMPARE(s->cmdStatus[16], CMD_STATUS_PENDING);
    }

    void pieceSizesStayWithinOneFrame() {
        for (int size : {0, 1, 254, 255, 256, 509, 510, 1000}) {
            for (char fill : {'a', '\x7E'}) {
                const QByteArray data(size, fill);
                const QList<int> sizes = link_piece_sizes(data);
                int total = 0;
                for (int piece : sizes) {
                    QVERIFY(piece > 0 && piece <= LINK_PIECE_MAX_DATA);
                    const QByteArray payload = QByteArray(1, char(piece)) + data.mid(total, piece);
                    QVERIFY(frame_worst_case_size(
                                129, 0, reinterpret_cast<const uint8_t *>(payload.constData()),
                                uint32_t(payload.size())) <= FRAME_BUFFER_SIZE);
                    total += piece;
                }
                QCOMPARE(total, size);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestLinkRequests)
#include "tst_link_requests.moc"
