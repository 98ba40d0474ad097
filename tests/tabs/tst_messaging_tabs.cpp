// The SMS, mail and socket tabs through the window against the virtual module: what the user
// enters, the frames that reach the module, and what the fields show. Steps as in tab_script.h.
#include <QPlainTextEdit>
#include <QtTest>

#include "frames.h"
#include "module3g.h"
#include "link_harness.h"
#include "main_window.h"
#include "socket_feature.h"
#include "tab_script.h"

namespace {

void row(const char *tag, const QStringList &steps) {
    QTest::newRow(tag) << steps;
}

QStringList lines(const QString &steps) {
    return steps.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// `count` bytes of `byte` as the hex the module received.
QString hex(int count, const char *byte = "61") {
    return QString::fromLatin1(byte).repeated(count);
}

// Append pieces of `size` bytes of 'a' as they travel, after the opening empty piece.
QString pieces(int size) {
    QString out = QStringLiteral("00");
    for (int left = size; left > 0; left -= 255) {
        const int n = qMin(255, left);
        out += QStringLiteral(" %1%2").arg(n, 2, 16, QLatin1Char('0')).arg(hex(n)).toUpper();
    }
    return out;
}

const QString kWaiting = QStringLiteral("yellow|Request sent. Waiting for reply...");
const QString kRefused = QStringLiteral("red|Refused by the module.");

}  // namespace

class TestMessagingTabs : public QObject {
    Q_OBJECT

  private slots:
    void smsTab_data() {
        QTest::addColumn<QStringList>("steps");
        const QString tooLong = "expect box Message too long|";
        row("limits",
            {"set lineEdit_SMSPhone=" + QString(33, '1'),
             "set plainTextEdit_SMSMessage=" + QString(141, 'a'), "press pushButton_SMSSend",
             "expect box Invalid Phone Number|That phone number looks suspiciously long.\n"
             "Please check your input.",
             "set lineEdit_SMSPhone=" + QString(32, '1'), "press pushButton_SMSSend",
             tooLong + "Please leave the message under 140 characters.",
             "set plainTextEdit_SMSMessage=" + QString(128, QChar(0xE9)),
             "press pushButton_SMSSend",
             tooLong + "The message is 256 bytes long; at most 254 bytes can be sent.\n"
                       "Characters outside ASCII take two to four bytes each.",
             "set plainTextEdit_SMSMessage=" + QString(127, QChar(0x39E)),
             "press pushButton_SMSSend",
             tooLong + "The message does not fit one frame: bytes 7E, 9E and CE take two places "
                       "on the line.\nCharacters outside ASCII take two to four bytes each.",
             "set plainTextEdit_SMSMessage=" + QString(127, QChar(0xE9)),
             "press pushButton_SMSSend", "set plainTextEdit_SMSMessage=" + QString(140, 'a'),
             "press pushButton_SMSSend", "expect sent 61=FE" + hex(127, "C3A9") + " 8C" + hex(140),
             "expect sent 60=20" + hex(32, "31") + "00 20" + hex(32, "31") + "00"});
        row("send statuses",
            lines("answer 62 00\nset lineEdit_SMSPhone=+49170\nset "
                  "plainTextEdit_SMSMessage=Hi\\nyou\n"
                  "press pushButton_SMSSend\nexpect sent 60=062B343931373000\n"
                  "expect sent 61=0648690A796F75\nexpect sent 62=-\n"
                  "expect label_SmsSentStatus=green|SMS SENT!\nanswer 62 01\n"
                  "press pushButton_SMSSend\nexpect label_SmsSentStatus=red|ERROR: SMS NOT Sent"));
        // The reception read selects its item once per reply; the user's choice then stands.
        const QString status = "expect label_SmsReceptionStatus=";
        row("reception",
            lines("set cmbControlSmsReception=<Unknown>\npress btnControlSmsReception\n"
                  "expect box Invalid Selection|Please select 'Enabled' or 'Disabled'\n"
                  "set cmbControlSmsReception=Disabled\npress btnControlSmsReception\n"
                  "expect sent 63=00\n" +
                  status +
                  "green|SMS reception command successful!\n"
                  "answer 64 00 01\npress btnGetSmsReceptionEnabled\n"
                  "expect cmbControlSmsReception=Enabled\n" +
                  status +
                  "green|SMS GET RECEPTION ENABLED command successful!\n"
                  "set cmbControlSmsReception=Disabled\nevent 43 000200\n"
                  "expect lbl_CallHandling_CurrentStateValue=Call Active\n"
                  "expect cmbControlSmsReception=Disabled\nanswer 64 01\n"
                  "press btnGetSmsReceptionEnabled\n" +
                  status +
                  "red|ERROR: SMS GET RECEPTION ENABLED command failed.\n"
                  "fill\npress btnGetSmsReceptionEnabled\nexpect box SMS|The request was not "
                  "sent: too many frames wait for the module already. Try again once it has "
                  "answered them.\n" +
                  status + "red|ERROR: SMS GET RECEPTION ENABLED command failed."));
        // A sender too long for its field keeps the last one; a piece that would overfill the
        // text is dropped; an emptied text leaves the last message shown.
        row("incoming",
            {"event 60 03313233"
             "0431323334",
             "event 61 024869", "event 62 00", "expect plainTextEdit_SmsReceived=Hi",
             "expect lblSmsRecvFrom=123", "expect lblSmsRecvDate=1234",
             "event 60 14" + hex(20, "39") + "0135", "expect lblSmsRecvDate=5",
             "expect lblSmsRecvFrom=123", "event 61 00", "event 61 C8" + hex(200),
             "event 61 64" + hex(100), "expect plainTextEdit_SmsReceived=" + QString(200, 'a')});
    }
    void smsTab() { KOVA_RUN_TAB_SCRIPT(); }

    void mailTab_data() {
        QTest::addColumn<QStringList>("steps");
        row("send", {"set lineEdit_MailSMTPServer=mx",
                     "set spinBox_MailSmtpPort=25",
                     "set lineEdit_MailLogin=me",
                     "set lineEdit_MailPassword=pw",
                     "set lineEdit_MailTo=" + QString(300, 'a'),
                     "set lineEdit_MailFrom=f",
                     "set lineEdit_MailSubject=s",
                     "set plainTextEdit_MailMessage=" + QString(600, 'a'),
                     "set comboBox_MailUseSsl=Use SSL",
                     "answer 78 00",
                     "press pushButton_MailSend",
                     "expect label_MailSentStatus=green|Mail SENT!",
                     "expect sent 70=026D78",
                     "expect sent 71=0019",
                     "expect sent 72=026D65",
                     "expect sent 73=027077",
                     "expect sent 75=FF" + hex(255),
                     "expect sent 74=0166",
                     "expect sent 76=0173",
                     "expect sent 77=" + pieces(600),
                     "expect sent 78=01"});
        for (int size : {255, 256}) {
            QTest::newRow(qPrintable(QStringLiteral("post, body of %1").arg(size)))
                << QStringList{"set spinBox_MailSmtpPort=65535",
                               "set plainTextEdit_MailMessage=" + QString(size, 'a'),
                               "answer 79 01",
                               "press pushButton_MailSendUrl",
                               "expect label_MailSentUrlStatus=red|ERROR: Mail NOT Sent",
                               "expect sent 71=FFFF",
                               "expect sent 77=" + pieces(size),
                               "expect sent 79=00"};
        }
        row("over-long texts",
            {"set lineEdit_MailSendUrl=" + QString(255, 'u'), "press pushButton_MailSendUrl",
             "expect box Mail Send|The URL is 255 bytes long; at most 254 bytes can be sent.",
             "set lineEdit_MailSendUrl=u", "set lineEdit_MailPassword=" + QString(255, 'p'),
             "press pushButton_MailSend",
             "expect box Mail Send|The SMTP password is 255 bytes long; at most 254 bytes can "
             "be sent.",
             "expect sent 70="});
    }
    void mailTab() { KOVA_RUN_TAB_SCRIPT(); }

    void socketTab_data() {
        QTest::addColumn<QStringList>("steps");
        const QString invalid = "expect box Invalid URL or endpoint|";
        row("destination and payload",
            {"press pushButton_SocketSend", invalid + "Please enter a valid URL or TCP endpoint.",
             "set lineEdit_SocketUrl=" + QString(252, 'd'), "press pushButton_SocketSend",
             invalid + "The destination is 252 bytes long; at most 251 bytes can be sent.",
             "set lineEdit_SocketUrl=   ", "set plainTextEdit_SocketPayload=" + QString(510, 'a'),
             "press pushButton_SocketSend", "expect sent 82=00138803202020",
             "set plainTextEdit_SocketPayload=" + QString(511, 'a'),
             "set comboBox_SocketProtocol=HTTP POST", "press pushButton_SocketSend",
             "expect sent 81=" + pieces(510) + " " + pieces(511),
             "expect sent 82=00138803202020 02138803202020"});
        // 40,960 bytes: one too many for the field. A line break split between two pieces
        // still shows as one.
        const QByteArray response = cannedHttpResponse(40960).left(40959);
        const int shown = response.size() - response.count("\r\n");
        row("response",
            lines("set lineEdit_SocketApn_Name=internet\npress pushButton_SocketConfigApn\n"
                  "expect lblSocketApnStatus=green|APN configured successfully.\n"
                  "response 40960\nset lineEdit_SocketUrl=example.org:80\n"
                  "press pushButton_SocketSend\n"
                  "expect lblSocketSendStatus=green|Operation Complete OK\n"
                  "expect lblSocketRecvPayloadSize=40960\n"
                  "expect lblSocketBufferSizeExceeded:visible=true\n"
                  "expect label_SocketRcvd_OpCompleteBytesSent=0\n"
                  "expect plainTextEdit_Socket_Response:length=" +
                  QString::number(shown) +
                  "\nresponse 20\npress pushButton_SocketSend\n"
                  "expect lblSocketRecvPayloadSize=20\n"
                  "expect lblSocketBufferSizeExceeded:visible=false\n"
                  "expect plainTextEdit_Socket_Response:length=19"));
        QStringList results{"answer 82 00", "set lineEdit_SocketUrl=h"};
        const QStringList texts{
            "green|Operation Complete OK",
            "red|ERROR: APN not set.",
            "red|ERROR: Cannot connect to destination host / No more data (Profile "
            "deactivated).",
            "red|ERROR: IO error while sending request payload.",
            "red|ERROR: IO error while receiving response payload.",
            "red|ERROR: generic IO error.",
            "red|ERROR: another Socket Payload Send operation is in progress.",
            "red|ERROR: the send operation was cancelled (Socket Cancel Send).",
            "yellow|"};
        for (int code = 0; code < texts.size(); ++code) {
            results << "press pushButton_SocketSend"
                    << "expect lblSocketSendStatus=" + kWaiting
                    << QStringLiteral("reply 83 %1")
                           .arg(code + 1 == texts.size() ? 9 : code, 2, 10, QLatin1Char('0'))
                    << "expect lblSocketSendStatus=" + texts[code];
        }
        row("result codes", results);
        // Before its start frame went, a transfer is taken back; after, the module is asked.
        row("cancel",
            lines("set lineEdit_SocketUrl=h\nanswer 82 00\npress pushButton_SocketSend\n"
                  "expect sent 82=0013880168\npress btnSocketCancelSend\nexpect sent 84=-\n"
                  "expect lblSocketSendStatus=red|ERROR: No SEND operation in progress.\n"
                  "fill\npress pushButton_SocketSend\npress btnSocketCancelSend\n"
                  "expect lblSocketSendStatus=red|Cancelled before it was sent.\n"
                  "expect sent 82=0013880168\nexpect sent 84=-"));
        // A read fills the line edits once; a malformed one changes nothing.
        row("apn",
            lines("set lineEdit_SocketApn_Name=web\nset lineEdit_SocketApn_Password=pw\n"
                  "press pushButton_SocketConfigApn\nexpect sent 80=0377656200027077\n"
                  "answer 85 00 03617069016C027077\npress pushButton_SocketConfigGetApn\n"
                  "expect lineEdit_SocketApn_Name=api\nexpect lineEdit_SocketApn_Login=l\n"
                  "set lineEdit_SocketApn_Name=typed\nevent 43 000200\n"
                  "expect lbl_CallHandling_CurrentStateValue=Call Active\n"
                  "expect lineEdit_SocketApn_Name=typed\npress pushButton_SocketConfigApn\n"
                  "expect lblSocketApnStatus=green|APN configured successfully.\n"
                  "answer 85 00 0561\npress pushButton_SocketConfigGetApn\n"
                  "expect lblSocketApnStatus=green|APN retrieved successfully.\n"
                  "expect lineEdit_SocketApn_Name=typed\n"
                  "set lineEdit_SocketApn_Login=" +
                  QString(250, 'l') +
                  "\npress pushButton_SocketConfigApn\nexpect box APN Configuration|Name, login "
                  "and password together is 257 bytes long; at most 252 bytes can be sent."));
    }
    void socketTab() { KOVA_RUN_TAB_SCRIPT(); }

    // The response field grows piece by piece, a refresh after each, and shows what one write
    // of the whole response would show. An empty piece starts a new response, unseen.
    void responseShownInPieces_data() {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QString>("shown");
        QTest::newRow("line break across pieces") << QList<QByteArray>{"a\r", "\nb"} << "a\nb";
        QTest::newRow("new response, longer") << QList<QByteArray>{"abc", "", "wxyz"} << "wxyz";
        QTest::newRow("ends at a NUL")
            << QList<QByteArray>{"ab", QByteArray("c\0d", 3), "e"} << "abc";
    }
    void responseShownInPieces() {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QString, shown);
        MainWindow window;
        // Refreshes as the worker's queued notifications give them: not after every frame.
        QObject::disconnect(link_notifier(), nullptr, &window, nullptr);
        testsupport::editLink(
            [](LinkState &s) { s.cmdStatus[CMD_SOCKET_RESULT] = CMD_STATUS_PENDING; });
        uint8_t seq = 1;
        for (const QByteArray &piece : pieces) {
            const QByteArray payload = char(piece.size()) + piece;
            link_receive(testsupport::frame(CMD_SOCKET_PAYLOAD, seq++, 0, payload));
            testsupport::drain();
            if (!piece.isEmpty()) {
                window.update_UI(0, false);
            }
        }
        QCOMPARE(window.findChild<QPlainTextEdit *>("plainTextEdit_Socket_Response")->toPlainText(),
                 shown);
    }

    // Each refused piece is reported once, and its transfer shows the refusal, never success.
    void refusedPieces_data() {
        QTest::addColumn<QStringList>("steps");
        row("four transfers",
            lines("nak 61\nset plainTextEdit_SMSMessage=x\npress pushButton_SMSSend\n"
                  "expect label_SmsSentStatus=" +
                  kRefused +
                  "\nnak 77\npress pushButton_MailSend\nexpect label_MailSentStatus=" + kRefused +
                  "\nnak 81\nset lineEdit_SocketUrl=h\npress pushButton_SocketSend\n"
                  "expect lblSocketSendStatus=" +
                  kRefused +
                  "\nnak F0\nset lineEdit_SendAtCommand=AT\npress pushButton_SendAtCommand\n"
                  "expect label_AtCommandStatus=" +
                  kRefused +
                  "\nexpect titles=SMS Message Append, Mail Message Append, Socket Payload "
                  "Append, AT Command Send\nexpect sent 62=\nexpect sent 78=\nexpect sent 82="));
    }
    void refusedPieces() { KOVA_RUN_TAB_SCRIPT(); }
};

QTEST_MAIN(TestMessagingTabs)
#include "tst_messaging_tabs.moc"
