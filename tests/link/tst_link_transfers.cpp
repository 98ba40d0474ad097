// Transfers of several frames (SMS, mail, socket payload): one frame on the line at a time,
// the commit last, one transfer of a kind after another, and nothing more of a transfer once a
// piece was refused or the transfer withdrawn.
#include <QtTest>

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

    void framesGoOneAtATime() {
        QVERIFY(link_sms_send("123", "hi"));
        QList<Decoded> out = written();
        QCOMPARE(ids(out), QStringLiteral("60"));
        QVERIFY(written().isEmpty());
        answer(out[0]);
        out = written();
        QCOMPARE(ids(out), QStringLiteral("61"));
        // The module's reply shows the piece arrived even when its ACK was lost.
        out = testsupport::decodeAll(ModuleScript().reply(CMD_SMS_TEXT).join());
        QCOMPARE(ids(out), QStringLiteral("0 62"));
    }

    // A later transfer of a kind starts once the earlier one's commit is on the line; other
    // kinds do not wait.
    void transfersOfAKindQueue() {
        QVERIFY(link_sms_send("1", "a"));
        QVERIFY(link_sms_send("2", "b"));
        QVERIFY(link_socket_append_payload("x"));
        const QList<Decoded> all = ModuleScript::acknowledgeEverything();
        QCOMPARE(ids(all), QStringLiteral("60 81 61 81 62 60 61 62"));
        QCOMPARE(all[5].payload, hex("013200"));
    }

    // Lost ACKs make pieces come again 10 s later; the commit still waits for every piece, so
    // the module never sends a payload with holes or pieces out of order.
    void lostAcksNeverReorderPieces() {
        const QByteArray data = QByteArray(255, 'a') + QByteArray(255, 'b') + QByteArray(255, 'c');
        QVERIFY(link_socket_append_payload(data));
        QVERIFY(link_socket_send("host:80", 0, 100));
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

    // A refused piece takes the rest of its transfer with it and the transfer's status tells
    // the user; the next transfer of the kind goes ahead.
    void refusedPieceWithdrawsTheRest() {
        QVERIFY(link_sms_send("1", "a"));
        QVERIFY(link_sms_send("2", "b"));
        const QList<Decoded> first = written();
        QCOMPARE(ids(first), QStringLiteral("60"));
        answer(first[0]);
        const QList<Decoded> second = written();
        QCOMPARE(ids(second), QStringLiteral("61"));
        answer(second[0], CMD_NAK);
        const QList<Decoded> next = written();
        QCOMPARE(ids(next), QStringLiteral("60"));
        QCOMPARE(next[0].payload, hex("013200"));
        const LinkSnapshot s = link_snapshot();
        QCOMPARE(s.cmdStatus[CMD_SMS_TEXT], CMD_STATUS_NAK);
        QCOMPARE(s.cmdStatus[CMD_SMS_SEND], CMD_STATUS_NAK);
        QCOMPARE(s.nakCount[CMD_SMS_TEXT], 1u);
        answer(next[0]);
        QCOMPARE(ids(ModuleScript::acknowledgeEverything()), QStringLiteral("61 62"));
    }

    // Each transfer hears its own outcome: replies pair with sends in order, a refusal ends
    // its own transfer, and a send unanswered for a minute pairs with nothing.
    void transfersEndWithTheirOwnOutcome() {
        QSignalSpy ended(link_notifier(), &Module3G::transfer_ended);
        LinkTransferId ids[5] = {};
        ModuleScript module;
        for (int i = 0; i < 2; ++i) {
            QVERIFY(link_sms_send("1", "a", &ids[i]));
        }
        ModuleScript::acknowledgeEverything();
        QVERIFY(link_sms_send("3", "c", &ids[2]));
        answer(written().value(0));
        answer(written().value(0), CMD_NAK);
        module.reply(CMD_SMS_SEND, {}, 1);
        module.reply(CMD_SMS_SEND);
        QVERIFY(link_sms_send("4", "d", &ids[3]));
        ModuleScript::acknowledgeEverything();
        clock.advance(LINK_OUTCOME_WAIT_SECONDS + 1);
        QVERIFY(link_sms_send("5", "e", &ids[4]));
        ModuleScript::acknowledgeEverything();
        module.reply(CMD_SMS_SEND);
        QList<QList<QVariant>> expected;
        for (auto [index, status] : {std::pair{2, 253}, {0, 1}, {1, 0}, {4, 0}}) {
            expected.append({uint(ids[index]), status});
        }
        QCOMPARE(QList<QList<QVariant>>(ended), expected);
    }

    // Refused before its send was queued: the send never goes, and says so.
    void refusedOpenTransferDropsItsCommit() {
        QVERIFY(link_mail_set_server("smtp.x", 25));
        answer(written().value(0), CMD_NAK);
        QVERIFY(written().isEmpty());  // the port stays behind with the refused server
        QVERIFY(link_mail_set_credentials("me", "pw"));
        QVERIFY(link_mail_send_smtp(0));
        QVERIFY(ModuleScript::acknowledgeEverything().isEmpty());
        QCOMPARE(link_snapshot().cmdStatus[CMD_MAIL_SEND_SMTP], CMD_STATUS_NAK);
        // The next mail starts afresh.
        QVERIFY(link_mail_set_server("smtp.x", 25));
        QVERIFY(link_mail_send_smtp(0));
        QCOMPARE(ids(ModuleScript::acknowledgeEverything()), QStringLiteral("70 71 78"));
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
        QVERIFY(link_sms_send("1", "a", &id));
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
            QVERIFY(link_send(CMD_GET_VIN, nullptr, 0, 0));
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
