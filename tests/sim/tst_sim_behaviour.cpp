// What the tool relies on in the virtual module's answers, over its real pty: transfers that
// travel in pieces either way, and one socket transfer at a time.
#include <QtTest>

#include "module_session.h"
#include "payload_fields.h"

namespace {

QByteArray letters(int size) {
    QByteArray text;
    for (int i = 0; i < size; ++i) {
        text += char('a' + i % 26);
    }
    return text;
}

QByteArray transferRequest(const QByteArray &destination) {
    return QByteArray(1, '\0') + u16Field(0) + textField(destination);
}

}  // namespace

class TestSimBehaviour : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        const QString why = ptyUnavailable();
        if (!why.isEmpty()) {
            QSKIP(qPrintable(QStringLiteral("no pseudo-terminal: %1").arg(why)));
        }
    }

    // Long data the module sends comes in counted pieces within the message size that add up
    // to the whole: an incoming SMS after its header, a socket response after the bytes sent.
    void longDataComesInPieces_data() {
        QTest::addColumn<bool>("sms");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("maxMessageSize");
        QTest::addColumn<bool>("paced");
        QTest::addColumn<int>("pieces");
        QTest::newRow("empty text") << true << 0 << 256 << false << 0;
        QTest::newRow("text of exactly a piece") << true << 255 << 256 << false << 1;
        QTest::newRow("text a byte more") << true << 256 << 256 << false << 2;
        QTest::newRow("text in small messages") << true << 100 << 32 << false << 4;
        QTest::newRow("empty response") << false << 0 << 256 << false << 0;
        QTest::newRow("response of exactly a piece") << false << 255 << 256 << false << 1;
        QTest::newRow("response a byte more") << false << 256 << 256 << false << 2;
        QTest::newRow("response beyond the tool's 40 KB") << false << 41000 << 256 << false << 161;
        QTest::newRow("response paced at line speed") << false << 3000 << 256 << true << 12;
    }

    void longDataComesInPieces() {
        QFETCH(bool, sms);
        QFETCH(int, bytes);
        QFETCH(int, maxMessageSize);
        QFETCH(bool, paced);
        QFETCH(int, pieces);
        ModuleSession session;
        QVERIFY(session.ready());
        session.peer().write(testsupport::frame(CMD_MAX_MESSAGE_SIZE, 0, 0,
                                                QByteArray(1, char(maxMessageSize / 4))));
        QVERIFY(session.probe());  // the size is in force once the next request is answered
        const QByteArray data = letters(bytes);
        QList<DecodedFrame> frames;
        if (sms) {
            QVERIFY(
                session.module().injectIncomingSms("+4915550100", "24/05/17,14:03:22+08", data));
            frames = session.read(pieces + 2);
            QCOMPARE(frames.size(), pieces + 2);
            QCOMPARE(describe(frames.first()), describe(CMD_SMS_NUMBER, 0));
            QCOMPARE(frames.takeFirst().payload,
                     textField("+4915550100") + textField("24/05/17,14:03:22+08"));
        } else {
            session.module().setApn(Apn{"internet", "", ""});
            session.module().setSocketResponse(data);
            session.module().setPaced(paced);
            QCOMPARE(session.exchange(CMD_SOCKET_PAYLOAD, textField("abc"), 1).size(), 2);
            // ACK, the direct reply, bytes sent, the emptying piece, the pieces, the result.
            frames = session.exchange(CMD_SOCKET_SEND, transferRequest("x.test"), 4 + pieces);
            QCOMPARE(frames.size(), 5 + pieces);
            QCOMPARE(describe(frames[1]), describe(CMD_SOCKET_SEND, REPLY_FLAG));
            QCOMPARE(describe(frames[2]), describe(CMD_SOCKET_RESULT, 0));
            QCOMPARE(frames[2].payload, u16Field(3));
            QCOMPARE(frames[3].payload, textField(""));
            frames = frames.mid(4);
        }
        QByteArray received;
        for (const DecodedFrame &piece : frames.mid(0, pieces)) {
            QCOMPARE(describe(piece), describe(sms ? CMD_SMS_TEXT : CMD_SOCKET_PAYLOAD, 0));
            QCOMPARE(int(uint8_t(piece.payload[0])), piece.payload.size() - 1);
            QVERIFY(piece.payload.size() <= maxMessageSize);
            received += piece.payload.mid(1);
        }
        QCOMPARE(received, data);
        QCOMPARE(describe(frames.last()),
                 sms ? describe(CMD_SMS_SEND, 0) : describe(CMD_SOCKET_RESULT, REPLY_FLAG));
        QVERIFY(session.probe());
    }

    void mailBodyIsAssembledFromPieces() {
        ModuleSession session;
        QVERIFY(session.ready());
        const QByteArray body = letters(600);
        // A stale body is discarded by the opening empty piece.
        session.exchange(CMD_MAIL_BODY, textField("old"), 1);
        session.exchange(CMD_MAIL_BODY, textField(""), 1);
        for (int offset = 0; offset < body.size(); offset += 255) {
            session.exchange(CMD_MAIL_BODY, textField(body.mid(offset, 255)), 1);
        }
        session.exchange(CMD_MAIL_SEND_HTTP_POST, textField("https://x.test"), 1);
        QVERIFY(session.probe());
        const ModuleSnapshot state = session.module().snapshot();
        QCOMPARE(state.mailsSent, 1);
        QCOMPARE(state.lastMail.body, body);
        QCOMPARE(state.lastMail.postUrl, QByteArray("https://x.test"));
    }

    void whileATransferRuns_data() {
        QTest::addColumn<uint8_t>("id");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QStringList>("next");
        QTest::addColumn<bool>("streaming");  // the first transfer's frames still waiting

        const QString result = describe(CMD_SOCKET_RESULT, 0);
        const QString piece = describe(CMD_SOCKET_PAYLOAD, 0);
        QTest::newRow("cancel takes the stream back")
            << uint8_t(CMD_SOCKET_CANCEL) << QByteArray()
            << QStringList{describe(CMD_SOCKET_CANCEL, REPLY_FLAG),
                           describe(CMD_SOCKET_RESULT, REPLY_FLAG | SocketFeature::Cancelled)}
            << false;
        QTest::newRow("second transfer refused, first untouched")
            << uint8_t(CMD_SOCKET_SEND) << transferRequest("y.test")
            << QStringList{describe(CMD_SOCKET_SEND, REPLY_FLAG | SocketFeature::Failed),
                           describe(CMD_SOCKET_RESULT, REPLY_FLAG | SocketFeature::Busy), result,
                           piece}
            << true;
    }

    void whileATransferRuns() {
        QFETCH(uint8_t, id);
        QFETCH(QByteArray, payload);
        QFETCH(QStringList, next);
        QFETCH(bool, streaming);
        ModuleSession session;
        QVERIFY(session.ready());
        session.module().setApn(Apn{});
        session.module().setSocketResponse(letters(40000));
        session.module().setFlowMode(FlowMode::StopAndWait);

        // The direct reply stays unacknowledged, so the stream waits behind it.
        const uint8_t start = session.send(CMD_SOCKET_SEND, transferRequest("x.test"));
        const QList<DecodedFrame> first = session.read(2, false);
        QCOMPARE(described(first),
                 (QStringList{describe(CMD_ACK, start), describe(CMD_SOCKET_SEND, REPLY_FLAG)}));
        const uint8_t seq = session.send(id, payload);
        QCOMPARE(described(session.read(1)), QStringList{describe(CMD_ACK, seq)});
        session.acknowledge(first[1].seq);

        QStringList got;
        for (int i = 0; i < next.size(); ++i) {
            got << described(session.read(1));
        }
        QCOMPARE(got, next);
        QCOMPARE(session.module().stats().queued > 0, streaming);
    }
};

QTEST_GUILESS_MAIN(TestSimBehaviour)
#include "tst_sim_behaviour.moc"
