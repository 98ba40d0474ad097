// Transfers of several frames (SMS, mail, socket payload): one frame on the line at a time,
// the commit last, one transfer of a kind after another, and nothing more of a transfer once a
// piece was refused or the transfer withdrawn.
#include <QtTest>

#include "link_engine.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "link_transfers.h"
#include "module3g.h"
#include "module_script.h"

using testsupport::Decoded;
using testsupport::hex;

namespace {

QList<Decoded> written() {
    return testsupport::decodeAll(testsupport::drain().join());
}

QString ids(const QList<Decoded> &frames) {
    QStringList out;
    for (const Decoded &f : frames) {
        out << QString::number(f.cmdId, 16);
    }
    return out.join(' ');
}

void answer(const Decoded &frame, uint8_t control = CMD_ACK) {
    link_receive(testsupport::frame(control, frame.seq));
}

}  // namespace

class TestLinkTransfers : public QObject {
    Q_OBJECT

    testsupport::FakeClock clock;

  private slots:
    void init() { testsupport::resetLink(); }

    // A later transfer of a kind starts once the earlier one's commit is on the line; other
    // kinds do not wait.
    void transfersOfAKindQueue() {
        QCOMPARE(link_mail_set_server("a", 25), 1);
        QCOMPARE(link_mail_send_smtp(0), 1);
        QCOMPARE(link_mail_set_server("b", 25), 1);
        QCOMPARE(link_socket_append_payload("x"), 1);
        const QList<Decoded> all = ModuleScript::acknowledgeEverything();
        QCOMPARE(ids(all), QStringLiteral("70 81 71 81 78 70 71"));
        QCOMPARE(all[5].payload, hex("0162"));
    }

    // Lost ACKs make pieces come again 10 s later; the commit still waits for every piece, so
    // the module never sends a payload with holes or pieces out of order.
    void lostAcksNeverReorderPieces() {
        const QByteArray data = QByteArray(255, 'a') + QByteArray(255, 'b') + QByteArray(255, 'c');
        QCOMPARE(link_socket_append_payload(data), 1);
        QCOMPARE(link_socket_send("host:80", 0, 100), 1);
        QByteArray atModule;
        QStringList order;
        int dropped = 0;
        for (int round = 0; round < 20; ++round) {
            for (const Decoded &f : written()) {
                order << QString::number(f.cmdId, 16);
                if (f.cmdId == CMD_SOCKET_PAYLOAD && f.payload.size() > 1 && dropped < 2 &&
                    f.payload[1] == 'b') {
                    ++dropped;  // the piece reaches the module, its ACK does not come back
                    continue;
                }
                if (f.cmdId == CMD_SOCKET_PAYLOAD && f.payload.size() > 1 &&
                    !atModule.endsWith(f.payload.mid(1))) {
                    atModule += f.payload.mid(1);
                }
                answer(f);
            }
            clock.advance(11);
        }
        QCOMPARE(atModule, data);
        QCOMPARE(order.last(), QStringLiteral("82"));
        QCOMPARE(order.count(QStringLiteral("82")), 1);
    }

    // A refused piece takes the rest of its transfer with it, its send too, queued or still to
    // come, and the send's status tells the user; the next mail of the kind goes ahead.
    void refusedPieceWithdrawsTheRest_data() {
        QTest::addColumn<bool>("committed");  // the send, and the next mail, queued before
        QTest::addColumn<int>("refused");     // the piece refused, from the first
        QTest::newRow("port, send queued") << true << 1;
        QTest::newRow("server, send still to come") << false << 0;
    }
    void refusedPieceWithdrawsTheRest() {
        QFETCH(bool, committed);
        QFETCH(int, refused);
        QCOMPARE(link_mail_set_server("a", 25), 1);
        QVERIFY(!committed || (link_mail_send_smtp(0) == 1 && link_mail_set_server("b", 25) == 1));
        for (int i = 0; i <= refused; ++i) {
            const QList<Decoded> out = written();
            QCOMPARE(ids(out), QString::number(CMD_MAIL_SERVER + i, 16));
            answer(out[0], i == refused ? CMD_NAK : CMD_ACK);
        }
        const QList<Decoded> queued = written();  // the next mail, when it was queued
        QCOMPARE(ids(queued), committed ? "70" : "");
        QVERIFY(committed ||
                (link_mail_set_credentials("me", "pw") == 1 && link_mail_send_smtp(0) == 1 &&
                 ModuleScript::acknowledgeEverything().isEmpty()));
        const LinkSnapshot s = link_snapshot();
        QCOMPARE(s.cmdStatus[CMD_MAIL_SERVER + refused], CMD_STATUS_NAK);
        QCOMPARE(s.cmdStatus[CMD_MAIL_SEND_SMTP], CMD_STATUS_NAK);
        QCOMPARE(s.nakCount[CMD_MAIL_SERVER + refused], 1u);
        QVERIFY(committed || link_mail_set_server("b", 25) == 1);
        for (const Decoded &f : queued) {
            answer(f);
        }
        QCOMPARE(link_mail_send_smtp(0), 1);
        const QList<Decoded> next = queued + ModuleScript::acknowledgeEverything();
        QCOMPARE(ids(next), QStringLiteral("70 71 78"));
        QCOMPARE(next[0].payload, hex("0162"));
    }

    // One SMS at a time, and a reply goes to the send owed it or to nobody. A script of steps:
    // sX sends an SMS to X ("sX!": refused), w writes and acknowledges until nothing is left,
    // a does one round of that, W writes without acknowledging, n NAKs what one round writes,
    // p is the module's reply to a text piece, rC its reply to the send with code C, +S moves the
    // clock S seconds on and runs the engine, L loses the port and T is the worker's wake-up while
    // it is away.
    void smsOutcomes_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("sends");  // the ids of every frame of an SMS written
        QTest::addColumn<QString>("ended");  // "X:status" per transfer, "u:C" a reply to nobody
        QTest::addColumn<int>("status");     // the send's status at the end
        QTest::newRow("one owed at a time") << "s1 s2! w s2! +12 r1 s2 w r0"
                                            << "60 61 62 60 61 62"
                                            << "1:1 2:0" << 0;
        QTest::newRow("a lost reply") << "s1 w +46 s2 w r0"
                                      << "60 61 62 60 61 62"
                                      << "1:250 2:0" << 0;
        QTest::newRow("late, just in time") << "s1 w +45 r0"
                                            << "60 61 62"
                                            << "1:0" << 0;
        QTest::newRow("late, after the give-up") << "s1 w +46 r0"
                                                 << "60 61 62"
                                                 << "1:250 u:0" << int(CMD_STATUS_NO_REPLY);
        QTest::newRow("none owed") << "r0"
                                   << ""
                                   << "u:0" << int(CMD_STATUS_IDLE);
        QTest::newRow("send written, not yet acknowledged") << "s1 a a W r0"
                                                            << "60 61 62"
                                                            << "1:0" << 0;
        QTest::newRow("send never acknowledged") << "s1 a a W +46 +11"
                                                 << "60 61 62"
                                                 << "1:250" << int(CMD_STATUS_NO_REPLY);
        QTest::newRow("number never acknowledged") << "s1 W +46 s2 w"
                                                   << "60 60 61 62"
                                                   << "1:249" << int(CMD_STATUS_PENDING);
        // The reply shows the piece arrived, its ACK lost; until then nothing more goes.
        QTest::newRow("text replied, not acknowledged") << "s1 a W W p W r0"
                                                        << "60 61 62"
                                                        << "1:0" << 0;
        QTest::newRow("number refused") << "s1 n"
                                        << "60"
                                        << "1:253" << int(CMD_STATUS_NAK);
        QTest::newRow("text refused") << "s1 a n"
                                      << "60 61"
                                      << "1:253" << int(CMD_STATUS_NAK);
        QTest::newRow("send refused") << "s1 a a n"
                                      << "60 61 62"
                                      << "1:253" << int(CMD_STATUS_NAK);
        QTest::newRow("port lost while owed") << "s1 w L T +30 T w r0"
                                              << "60 61 62"
                                              << "1:0" << 0;
        QTest::newRow("port lost for good while owed") << "s1 w L +46 T"
                                                       << "60 61 62"
                                                       << "1:250" << int(CMD_STATUS_NO_REPLY);
        QTest::newRow("port lost before the send") << "s1 a W L w r0"
                                                   << "60 61 60 61 62"
                                                   << "1:0" << 0;
        QTest::newRow("port lost with the send unacknowledged")
            << "s1 a a W L +11 w +35 T"
            << "60 61 62"
            << "1:250" << int(CMD_STATUS_NO_REPLY);
    }
    void smsOutcomes() {
        QFETCH(QString, script);
        QStringList ended;
        QMap<uint, QString> numbers;
        const auto note = [&](const QString &event) { ended << event; };
        QObject context;
        connect(link_notifier(), &Module3G::transfer_ended, &context,
                [&](uint id, uchar status) { note(numbers[id] + ':' + QString::number(status)); });
        connect(link_notifier(), &Module3G::reply_unplaced, &context,
                [&](uchar, uchar status) { note("u:" + QString::number(status)); });
        QStringList sends;
        const auto round = [&](int control) {
            for (const Decoded &f : written()) {
                if (f.cmdId >= CMD_SMS_NUMBER && f.cmdId <= CMD_SMS_SEND) {
                    sends << QString::number(f.cmdId, 16);
                }
                if (control >= 0 && f.cmdId >= FIRST_STATUS_ID) {
                    answer(f, uint8_t(control));
                }
            }
        };
        ModuleScript module;
        for (const QString &step : script.split(' ', Qt::SkipEmptyParts)) {
            const QString arg = step.mid(1);
            switch (step[0].toLatin1()) {
                case 's': {
                    LinkTransferId id = 0;
                    const bool refused = arg.endsWith('!');
                    QCOMPARE(link_sms_send(arg.left(1).toLatin1(), "t", &id),
                             refused ? LINK_REFUSED_SMS_IN_PROGRESS : 1);
                    numbers[id] = arg.left(1);
                    break;
                }
                case 'w':
                    for (int i = 0; i < 5; ++i) {
                        round(CMD_ACK);
                    }
                    break;
                case 'a':
                    round(CMD_ACK);
                    break;
                case 'W':
                    round(-1);
                    break;
                case 'n':
                    round(CMD_NAK);
                    break;
                case 'p':
                    link_receive(testsupport::frame(CMD_SMS_TEXT, 0x50, REPLY_FLAG));
                    break;
                case 'r':
                    module.reply(CMD_SMS_SEND, {}, uint8_t(arg.toInt()));
                    break;
                case '+':
                    clock.advance(arg.toInt());
                    round(-1);
                    break;
                case 'L':
                    link_port_lost();
                    break;
                case 'T':
                    link_tick();
                    break;
            }
        }
        round(-1);  // what the last step brought is handled
        QTEST(sends.join(' '), "sends");
        QTEST(ended.join(' '), "ended");
        QTEST(int(link_snapshot().cmdStatus[CMD_SMS_SEND]), "status");
    }

    // The port goes between the calls that build a transfer: the module never gets a send
    // without its pieces, and the send says it was interrupted.
    void portLostWhileBuilding_data() {
        QTest::addColumn<bool>("mail");
        QTest::newRow("mail") << true;
        QTest::newRow("socket") << false;
    }
    void portLostWhileBuilding() {
        QFETCH(bool, mail);
        QSignalSpy ended(link_notifier(), &Module3G::transfer_ended);
        QCOMPARE(mail ? link_mail_set_server("smtp.x", 25) : link_socket_append_payload("x"), 1);
        link_port_lost();
        LinkTransferId id = 0;
        QVERIFY(mail
                    ? link_mail_set_credentials("me", "pw") == 1 && link_mail_send_smtp(0, &id) == 1
                    : link_socket_send("host:80", 0, 100, &id) == 1);
        QVERIFY(ModuleScript::acknowledgeEverything().isEmpty());
        const uint8_t status = mail ? CMD_MAIL_SEND_SMTP : CMD_SOCKET_RESULT;
        QCOMPARE(link_snapshot().cmdStatus[status], CMD_STATUS_INTERRUPTED);
        QCOMPARE(ended.value(0), (QList<QVariant>{uint(id), uchar(CMD_STATUS_INTERRUPTED)}));
        QVERIFY(mail ? link_mail_set_server("smtp.x", 25) == 1 && link_mail_send_smtp(0) == 1
                     : link_socket_append_payload("y") == 1 &&
                           link_socket_send("host:80", 0, 100) == 1);
        QCOMPARE(ids(ModuleScript::acknowledgeEverything()), mail ? "70 71 78" : "81 81 82");
    }

    // Requests not written when the port went keep their places in the GPIO queues, so their
    // replies find their own pins.
    void portLossKeepsUnwrittenGpioRequests() {
        QCOMPARE(link_gpio_pin_get(3), 1);
        ModuleScript::acknowledgeEverything();
        QCOMPARE(link_gpio_pin_get(5), 1);
        link_port_lost();
        ModuleScript::acknowledgeEverything();
        ModuleScript().reply(CMD_GPIO_PIN_GET, QByteArray(1, 1));
        QCOMPARE(link_snapshot().gpioPinValue[5], 1u);
        QCOMPARE(link_snapshot().gpioPinValue[3], 2u);
    }

    void withdrawal_data() {
        QTest::addColumn<int>("acknowledged");  // frames acknowledged before the withdrawal
        QTest::addColumn<int>("withdrawn");
        QTest::addColumn<QString>("afterwards");
        QTest::newRow("nothing written") << -1 << 1 << QString();
        QTest::newRow("a piece on the line") << 0 << 1 << QString();
        QTest::newRow("before the commit") << 1 << 1 << QString();
        QTest::newRow("commit written") << 2 << 0 << QString();
    }
    void withdrawal() {
        QFETCH(int, acknowledged);
        QFETCH(int, withdrawn);
        LinkTransferId id = 0;
        QCOMPARE(link_sms_send("1", "a", &id), 1);
        for (int i = 0; i <= acknowledged; ++i) {
            const QList<Decoded> out = written();
            QCOMPARE(out.size(), 1);
            if (i < acknowledged) {
                answer(out[0]);
            }
        }
        QCOMPARE(link_withdraw_transfer(id), withdrawn);
        QCOMPARE(link_snapshot().cmdStatus[CMD_SMS_SEND],
                 withdrawn ? CMD_STATUS_CANCELLED : CMD_STATUS_PENDING);
        const QString after = ids(ModuleScript::acknowledgeEverything());
        QVERIFY2(!after.contains(QStringLiteral("62")) || !withdrawn, qPrintable(after));
        QCOMPARE(link_withdraw_transfer(id), 0);
    }

    // Whatever ends a transfer early gives back the room its frames held, in the table and in
    // the queue of frames waiting their turn.
    void endedTransferGivesItsRoomBack_data() {
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("firstWritten");
        QTest::newRow("withdrawn") << "withdraw" << false;
        QTest::newRow("port lost while open") << "lost" << true;
        QTest::newRow("port lost once committed") << "commit, lost" << false;
    }
    void endedTransferGivesItsRoomBack() {
        QFETCH(QString, end);
        QFETCH(bool, firstWritten);
        const QByteArray overHalfTheRoom(LINK_PIECE_MAX_DATA * LINK_SLOT_COUNT / 2, 'x');
        LinkTransferId id = 0;
        QCOMPARE(link_socket_append_payload(overHalfTheRoom, &id), 1);
        QVERIFY(!firstWritten || testsupport::drain().size() == 1);
        QVERIFY(!end.startsWith("commit") || link_socket_send("host:80", 0, 100) == 1);
        QVERIFY(end != "withdraw" ? (link_port_lost(), true) : link_withdraw_transfer(id) == 1);
        QCOMPARE(link_socket_append_payload(overHalfTheRoom), 1);
        int sent = 0;
        while (link_send(CMD_GET_VIN, nullptr, 0, 0) == 1) {
            ++sent;
        }
        QCOMPARE(sent, LINK_SLOT_COUNT - 1);  // the new transfer's first piece holds one
    }

    // A mail's server and port go together: the module never gets one without the other,
    // however full the transmit table is.
    void mailSettingsTravelInPairs_data() {
        QTest::addColumn<int>("freeSlots");
        QTest::newRow("none free") << 0;
        QTest::newRow("one free") << 1;
        QTest::newRow("two free") << 2;
    }
    void mailSettingsTravelInPairs() {
        QFETCH(int, freeSlots);
        for (int i = 0; i < LINK_SLOT_COUNT - freeSlots; ++i) {
            QCOMPARE(link_send(CMD_GET_VIN, nullptr, 0, 0), 1);
        }
        QCOMPARE(link_mail_set_server("smtp.x", 25), 1);
        QCOMPARE(link_mail_set_credentials("me", "pw"), 1);
        QStringList mail;
        for (const Decoded &f : ModuleScript::acknowledgeEverything()) {
            if (f.cmdId != CMD_GET_VIN) {
                mail << QString::number(f.cmdId, 16);
            }
        }
        QCOMPARE(mail, (QStringList{"70", "71", "72", "73"}));
    }
};

QTEST_GUILESS_MAIN(TestLinkTransfers)
#include "tst_link_transfers.moc"
