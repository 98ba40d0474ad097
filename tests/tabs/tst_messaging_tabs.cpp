// The SMS, mail and socket tabs through the window against the virtual module: what the user
// enters, the frames that reach the module, and what the fields show. Steps as in tab_script.h.
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QtTest>

#include "frames.h"
#include "link_harness.h"
#include "main_window.h"
#include "modal_box_watcher.h"
#include "module3g.h"
#include "socket_feature.h"
#include "tab_script.h"
#include "virtual_module.h"
#include "window_harness.h"

namespace {

// Steps one a line or parted by ";; "; %1, %2... are filled from `args` in turn.
void row(const char *tag, const char *steps, const QStringList &args = {}) {
    QString text = QString::fromUtf8(steps);
    for (const QString &arg : args) {
        text = text.arg(arg);
    }
    QStringList lines;
    for (QString line : text.split(QRegularExpression(QStringLiteral("\n|;; ")))) {
        line.remove(QRegularExpression(QStringLiteral("^\\s+")));
        if (!line.isEmpty()) {
            lines << line;
        }
    }
    QTest::newRow(tag) << lines;
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

}  // namespace

class TestMessagingTabs : public QObject {
    Q_OBJECT

  private slots:
    void smsTab_data() {
        QTest::addColumn<QStringList>("steps");
        row("sent whole", R"(
            set lineEdit_SMSPhone=%1;; set plainTextEdit_SMSMessage=%2;; press pushButton_SMSSend
            expect label_SmsSentStatus=green|SMS SENT!;; expect sent 61=8C%3
            expect sent 60=20%4)",
            {QString(32, '1'), QString(140, 'a'), hex(140), hex(32, "31") + "00"});
        row("send statuses", R"(
            answer 62 00;; set lineEdit_SMSPhone=+49170;; set plainTextEdit_SMSMessage=Hi\nyou
            press pushButton_SMSSend;; expect sent 60=062B343931373000
            expect sent 61=0648690A796F75;; expect sent 62=-
            expect label_SmsSentStatus=green|SMS SENT!;; answer 62 01;; press pushButton_SMSSend
            expect label_SmsSentStatus=red|ERROR: SMS NOT Sent)");
        // The reception read selects its item once per reply; the user's choice then stands.
        row("reception", R"(
            set cmbControlSmsReception=<Unknown>;; press btnControlSmsReception
            expect box Invalid Selection|Please select 'Enabled' or 'Disabled'
            set cmbControlSmsReception=Disabled;; press btnControlSmsReception;; expect sent 63=00
            expect label_SmsReceptionStatus=green|SMS reception command successful!
            answer 64 00 01;; press btnGetSmsReceptionEnabled;; expect cmbControlSmsReception=Enabled
            expect label_SmsReceptionStatus=green|SMS GET RECEPTION ENABLED command successful!
            set cmbControlSmsReception=Disabled;; event 43 000200
            expect lbl_CallHandling_CurrentStateValue=Call Active
            expect cmbControlSmsReception=Disabled;; answer 64 01;; press btnGetSmsReceptionEnabled
            expect label_SmsReceptionStatus=red|ERROR: SMS GET RECEPTION ENABLED command failed.
            fill;; press btnGetSmsReceptionEnabled
            expect box SMS|The request was not sent: too many frames wait for the module already. Try again once it has answered them.
            expect label_SmsReceptionStatus=red|ERROR: SMS GET RECEPTION ENABLED command failed.)");
        // A sender too long for its field keeps the last one; a piece that would overfill the
        // text is dropped; an emptied text leaves the last message shown.
        const QByteArray from = "+491701234567890123", date = "28/08/30,20:58:08+08 (UTC+2h)";
        row("incoming", R"(
            event 60 13%5;; event 61 024869;; event 62 00
            expect plainTextEdit_SmsReceived=Hi;; expect lblSmsRecvFrom=%6
            expect lblSmsRecvDate=%7;; event 60 14%1;; expect lblSmsRecvDate=5
            expect lblSmsRecvFrom=%6;; event 61 00;; event 61 C8%2;; event 61 64%3
            expect plainTextEdit_SmsReceived=%4)",
            {hex(20, "39") + "0135", hex(200), hex(100), QString(200, 'a'),
             (from + char(date.size()) + date).toHex(), from, date});
        // Each field as UTF-8 when its bytes are, else as Latin-1.
        row("incoming encodings", R"(
            event 60 054AC3B67267034DE472;; event 61 0B4772C3BCC39F6520E282AC;; event 62 00
            expect plainTextEdit_SmsReceived=Grüße €;; expect lblSmsRecvFrom=Jörg
            expect lblSmsRecvDate=Mär;; event 61 054772FCDF65;; expect plainTextEdit_SmsReceived=Grüße)");
    }
    void smsTab() { KOVA_RUN_TAB_SCRIPT(); }

    void mailTab_data() {
        QTest::addColumn<QStringList>("steps");
        row("send", R"(
            set lineEdit_MailSMTPServer=mx;; set spinBox_MailSmtpPort=25;; set lineEdit_MailLogin=me
            set lineEdit_MailPassword=pw;; set lineEdit_MailTo=%1;; set lineEdit_MailFrom=f
            set lineEdit_MailSubject=s;; set plainTextEdit_MailMessage=%2
            set comboBox_MailUseSsl=Use SSL;; answer 78 00;; press pushButton_MailSend
            expect label_MailSentStatus=green|Mail SENT!;; expect sent 70=026D78
            expect sent 71=0019;; expect sent 72=026D65;; expect sent 73=027077;; expect sent 75=FF%3
            expect sent 74=0166;; expect sent 76=0173;; expect sent 77=%4;; expect sent 78=01)",
            {QString(300, 'a'), QString(600, 'a'), hex(255), pieces(600)});
        const char *post = R"(
            set spinBox_MailSmtpPort=65535;; set plainTextEdit_MailMessage=%1;; answer 79 01
            press pushButton_MailSendUrl;; expect label_MailSentUrlStatus=red|ERROR: Mail NOT Sent
            expect sent 71=FFFF;; expect sent 77=%2;; expect sent 79=00)";
        row("post, body of 255", post, {QString(255, 'a'), pieces(255)});
        row("post, body of 256", post, {QString(256, 'a'), pieces(256)});
    }
    void mailTab() { KOVA_RUN_TAB_SCRIPT(); }

    void socketTab_data() {
        QTest::addColumn<QStringList>("steps");
        row("destination and payload", R"(
            press pushButton_SocketSend
            expect box Invalid URL or endpoint|Please enter a valid URL or TCP endpoint.
            set lineEdit_SocketUrl=%1;; set plainTextEdit_SocketPayload=%2
            press pushButton_SocketSend;; expect sent 82=00138803202020
            set plainTextEdit_SocketPayload=%2a;; set comboBox_SocketProtocol=HTTP POST
            press pushButton_SocketSend;; expect sent 81=%3 %4
            expect sent 82=00138803202020 02138803202020)",
            {"   ", QString(510, 'a'), pieces(510), pieces(511)});
        // 40,960 bytes: one too many for the field. A line break split between two pieces
        // still shows as one.
        const QByteArray response = cannedHttpResponse(40960).left(40959);
        row("response", R"(
            set lineEdit_SocketApn_Name=internet;; press pushButton_SocketConfigApn
            expect lblSocketApnStatus=green|APN configured successfully.;; response 40960
            set lineEdit_SocketUrl=example.org:80;; press pushButton_SocketSend
            expect lblSocketSendStatus=green|Operation Complete OK
            expect lblSocketRecvPayloadSize=40960;; expect lblSocketBufferSizeExceeded:visible=true
            expect plainTextEdit_Socket_Response:length=%1;; response 20
            press pushButton_SocketSend;; expect lblSocketRecvPayloadSize=20
            expect lblSocketBufferSizeExceeded:visible=false
            expect plainTextEdit_Socket_Response:length=19)",
            {QString::number(response.size() - response.count("\r\n"))});
        // Each result code in turn, then one without a meaning.
        row("result codes", R"(
            answer 82 00;; set lineEdit_SocketUrl=h;; press pushButton_SocketSend;; reply 83 00
            expect lblSocketSendStatus=green|Operation Complete OK;; event 83 FFFF
            expect label_SocketRcvd_OpCompleteBytesSent=65535;; press pushButton_SocketSend
            reply 83 01;; expect lblSocketSendStatus=red|ERROR: APN not set.
            press pushButton_SocketSend;; reply 83 02
            expect lblSocketSendStatus=red|ERROR: Cannot connect to destination host / No more data (Profile deactivated).
            press pushButton_SocketSend;; reply 83 03
            expect lblSocketSendStatus=red|ERROR: IO error while sending request payload.
            press pushButton_SocketSend;; reply 83 04
            expect lblSocketSendStatus=red|ERROR: IO error while receiving response payload.
            press pushButton_SocketSend;; reply 83 05
            expect lblSocketSendStatus=red|ERROR: generic IO error.;; press pushButton_SocketSend
            reply 83 06
            expect lblSocketSendStatus=red|ERROR: another Socket Payload Send operation is in progress.
            press pushButton_SocketSend;; reply 83 07
            expect lblSocketSendStatus=red|ERROR: the send operation was cancelled (Socket Cancel Send).
            press pushButton_SocketSend
            expect lblSocketSendStatus=yellow|Request sent. Waiting for reply...;; reply 83 09
            expect lblSocketSendStatus=yellow|)");
        // Before its start frame went, a transfer is taken back; after, the module is asked.
        row("cancel", R"(
            set lineEdit_SocketUrl=h;; answer 82 00;; press pushButton_SocketSend
            expect sent 82=0013880168;; press btnSocketCancelSend;; expect sent 84=-
            expect lblSocketSendStatus=red|ERROR: No SEND operation in progress.;; fill
            press pushButton_SocketSend;; press btnSocketCancelSend
            expect lblSocketSendStatus=red|Cancelled before it was sent.;; expect sent 82=0013880168
            expect sent 84=-)");
        // A read fills the line edits once; a malformed one changes nothing.
        row("apn", R"(
            set lineEdit_SocketApn_Name=web;; set lineEdit_SocketApn_Password=pw
            press pushButton_SocketConfigApn;; expect sent 80=0377656200027077
            answer 85 00 03617069016C027077;; press pushButton_SocketConfigGetApn
            expect lineEdit_SocketApn_Name=api;; expect lineEdit_SocketApn_Login=l
            set lineEdit_SocketApn_Name=typed;; event 43 000200
            expect lbl_CallHandling_CurrentStateValue=Call Active
            expect lineEdit_SocketApn_Name=typed;; press pushButton_SocketConfigApn
            expect lblSocketApnStatus=green|APN configured successfully.;; answer 85 00 0561
            press pushButton_SocketConfigGetApn
            expect lblSocketApnStatus=green|APN retrieved successfully.
            expect lineEdit_SocketApn_Name=typed;; answer 80 01;; press pushButton_SocketConfigApn
            expect lblSocketApnStatus=red|ERROR: Invalid values provided.;; answer 85 01
            press pushButton_SocketConfigGetApn
            expect lblSocketApnStatus=red|ERROR: Failed to retrieve configured APN.)");
    }
    void socketTab() { KOVA_RUN_TAB_SCRIPT(); }

    // One row per limit the window holds the user to: what was typed, and the box that says
    // so. Texts one byte shorter are sent in the tabs' own rows.
    void inputLimits_data() {
        QTest::addColumn<QStringList>("steps");
        const auto limit = [](const char *tag, const QString &set, const char *button,
                              const QString &box) {
            row(tag, "set %1;; press %2;; expect box %3;; expect sent 40=;; expect sent 21=",
                {set, button, box});
        };
        const QString bytes = "is %1 bytes long; at most %2 bytes can be sent.";
        const QString sms = "plainTextEdit_SMSMessage=", ascii =
                                                             "\\nCharacters outside ASCII "
                                                             "take two to four bytes each.";
        const QString escaped =
            "does not fit one frame: bytes 7E, 9E and CE take two places on "
            "the line.";
        limit("sms number characters", "lineEdit_SMSPhone=" + QString(33, '1'),
              "pushButton_SMSSend",
              "Invalid Phone Number|That phone number looks suspiciously long.\\nPlease check "
              "your input.");
        limit("sms characters", sms + QString(141, 'a'), "pushButton_SMSSend",
              "Message too long|Please leave the message under 140 characters.");
        limit("sms bytes", sms + QString(128, QChar(0xE9)), "pushButton_SMSSend",
              "Message too long|The text " + bytes.arg(256).arg(254) + ascii);
        limit("sms escaped bytes", sms + QString(127, QChar(0x39E)), "pushButton_SMSSend",
              "Message too long|The text " + escaped + ascii);
        limit("mail url", "lineEdit_MailSendUrl=" + QString(255, 'u'), "pushButton_MailSendUrl",
              "Mail Send|The URL " + bytes.arg(255).arg(254));
        limit("mail password", "lineEdit_MailPassword=" + QString(255, 'p'), "pushButton_MailSend",
              "Mail Send|The password " + bytes.arg(255).arg(254));
        limit("socket destination", "lineEdit_SocketUrl=" + QString(252, 'd'),
              "pushButton_SocketSend",
              "Invalid URL or endpoint|The destination " + bytes.arg(252).arg(251));
        limit("apn texts together", "lineEdit_SocketApn_Login=" + QString(253, 'l'),
              "pushButton_SocketConfigApn",
              "APN Configuration|The login " + bytes.arg(253).arg(252));
        limit("dial number", "edt_CallHandling_DialoutPhoneNumber=" + QString(254, '1'),
              "btn_CallHandling_Dial", "Call Handling|The number " + bytes.arg(254).arg(253));
        limit("i2c bytes", "plainTextEdit_I2C_Write=" + QString("AB").repeated(256),
              "pushButton_I2C_Write", "I2C Write Error|The data " + bytes.arg(256).arg(255));
        limit("i2c escaped bytes", "plainTextEdit_I2C_Write=" + QString("7E").repeated(250),
              "pushButton_I2C_Write", "I2C Write Error|The data " + escaped);
        limit("at command", "lineEdit_SendAtCommand=" + QString(200, QChar(0xE9)),
              "pushButton_SendAtCommand", "AT Command Send|The command " + bytes.arg(400).arg(254));
    }
    void inputLimits() { KOVA_RUN_TAB_SCRIPT(); }

    // The response field grows piece by piece, a refresh after each, and shows what one write
    // of the whole response would show. An empty piece starts a new response, unseen.
    void responseShownInPieces_data() {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QString>("shown");
        QTest::newRow("line break across pieces") << QList<QByteArray>{"a\r", "\nb"} << "a\nb";
        QTest::newRow("new response, longer") << QList<QByteArray>{"abc", "", "wxyz"} << "wxyz";
        QTest::newRow("ends at a NUL")
            << QList<QByteArray>{"ab", QByteArray("c\0d", 3), "e"} << "abc";
        // Pieces past the bottom of the field, which are added without drawing it again.
        QTest::newRow("past the view")
            << QList<QByteArray>{QByteArray(40, '\n'), "x\r\ny"} << QString(40, '\n') + "x\ny";
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
        auto *field = window.findChild<QPlainTextEdit *>("plainTextEdit_Socket_Response");
        QCOMPARE(field->toPlainText(), shown);
        // The scroll bar reaches the end, as after the text is laid out again whole.
        const int end = field->verticalScrollBar()->maximum();
        field->setPlainText(field->toPlainText());
        QCOMPARE(field->verticalScrollBar()->maximum(), end);
    }

    // Each refused piece is reported once, and its transfer shows the refusal, never success.
    void refusedPieces_data() {
        QTest::addColumn<QStringList>("steps");
        row("four transfers", R"(
            nak 61;; set plainTextEdit_SMSMessage=x;; press pushButton_SMSSend
            expect label_SmsSentStatus=red|Refused by the module.;; nak 77
            press pushButton_MailSend;; expect label_MailSentStatus=red|Refused by the module.
            nak 81;; set lineEdit_SocketUrl=h;; press pushButton_SocketSend
            expect lblSocketSendStatus=red|Refused by the module.;; nak F0
            set lineEdit_SendAtCommand=AT;; press pushButton_SendAtCommand
            expect label_AtCommandStatus=red|Refused by the module.
            expect titles=SMS Message Append, Mail Message Append, Socket Payload Append, AT Command Send
            expect sent 62=;; expect sent 78=;; expect sent 82=)");
    }
    void refusedPieces() { KOVA_RUN_TAB_SCRIPT(); }

    // A refusal box that opens as an SMS is queued runs an event loop, in which the SMS can
    // end: the tab still shows how it ended.
    void smsEndsWhileABoxIsOpen() {
        QString why;
        const std::unique_ptr<VirtualModule> module = testsupport::startModule(&why);
        if (!module) {
            QSKIP(qPrintable(why));
        }
        ModalBoxWatcher boxes;
        MainWindow window;
        window.openSerialPort(module->devicePath());
        module->setNakIds({CMD_SMS_TEXT});
        // Heard after the window's own handler, which was connected first.
        bool ended = false;
        connect(link_notifier(), &Module3G::transfer_ended, &boxes, [&ended] { ended = true; });
        boxes.whileOpen = [&ended](const ModalBoxWatcher::Box &) {
            QVERIFY(QTest::qWaitFor([&ended] { return ended; }, testsupport::kIoTimeoutMs));
        };
        // A refusal not reported yet: the refresh as the SMS is queued opens its box.
        testsupport::editLink([](LinkState &s) { ++s.nakCount[CMD_SMS_TEXT]; });
        testsupport::widget<QPlainTextEdit>(&window, "plainTextEdit_SMSMessage")->setPlainText("x");
        testsupport::widget<QAbstractButton>(&window, "pushButton_SMSSend")->click();
        QCOMPARE(testsupport::labelText(&window, "label_SmsSentStatus"),
                 QStringLiteral("Refused by the module."));
    }
};

QTEST_MAIN(TestMessagingTabs)
#include "tst_messaging_tabs.moc"
