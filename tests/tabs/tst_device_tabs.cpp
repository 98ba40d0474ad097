// The Status, GPIO, I2C and call/audio tabs and the message size through the window against the
// virtual module: the buttons pressed, what the module answers, and what the fields show. Steps
// as in tab_script.h.
#include <QtTest>

#include "hex_input.h"
#include "tab_script.h"

namespace {

void row(const char *tag, const QStringList &steps) {
    QTest::newRow(tag) << steps;
}

// The module answers a request, the user presses its button, and the fields show the result.
QStringList ask(const QString &answer, const QString &button, const QStringList &expected = {}) {
    QStringList steps{"answer " + answer, "press " + button};
    for (const QString &e : expected) {
        steps << "expect " + e;
    }
    return steps;
}

QStringList lines(const QString &steps) {
    return steps.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

class TestDeviceTabs : public QObject {
    Q_OBJECT

  private slots:
    void statusTab_data() {
        QTest::addColumn<QStringList>("steps");
        QStringList rssi;
        for (const QString &c :
             QStringList{"00 < -111", "01 -111", "20 UNKNOWN", "02 -109", "1F > -53", "1E -53"}) {
            rssi << ask("A1 00 " + c.left(2), "pushButton_GetRSSI",
                        {"EdtStatusRSSI=" + c.mid(3) + " dB"});
        }
        row("signal strength", rssi);
        const QString rat = "EdtStatusNetworkRegistrationRAT=";
        const QString registered = "EdtStatusNetworkRegistrationConnected=";
        row("registration",
            ask("A6 00 0106", "pushButton_GetTowerConn",
                {registered + "Registered", rat + "UTRAN w/HSDPA and w/HSUPA (3.5G)"}) +
                ask("A6 01 0103", "pushButton_GetTowerConn",
                    {registered + "Unknown", rat + "Unavailable",
                     "label_statusOperationStatus=red|ERROR: Command failed."}));
        row("input voltage", ask("A4 00 3039", "pushButton_GetVin", {"EdtStatusVIN=12.345V"}) +
                                 ask("A4 00 2EE0", "pushButton_GetVin", {"EdtStatusVIN=12V"}));
        // The speed read back selects its item once; the user's choice then stands.
        row("modem speed",
            ask("91 00 02", "btnGetModemSpeed", {"comboBox_ModemSpeed=Dual - 3G Preferred"}) +
                lines("set comboBox_ModemSpeed=Auto\nevent 43 000200\n"
                      "expect lbl_CallHandling_CurrentStateValue=Call Active\n"
                      "expect comboBox_ModemSpeed=Auto"));
        row("functionality level", lines("set comboBox_FuncLevel=Reboot\n"
                                         "press pushButton_SetFuncLevel\nexpect sent A5=03"));
        row("max message size",
            lines(
                "set txtSetMaxMessageSize=31\npress btnSetMaxMessageSize\n"
                "set txtSetMaxMessageSize=257\npress btnSetMaxMessageSize\n"
                "set txtSetMaxMessageSize=6x\npress btnSetMaxMessageSize\n"
                "expect titles=Invalid value, Invalid value, Invalid value\n"
                "expect box Invalid value|You must specify a value between 32 and 256.\n"
                "set txtSetMaxMessageSize=32\npress btnSetMaxMessageSize\n"
                "set txtSetMaxMessageSize=256\npress btnSetMaxMessageSize\nexpect sent 02=08 40"));
        // Each request field has room for the longest text every request shows.
        QStringList waiting;
        for (const char *request :
             {"12 btn_GPIO5_Get lbl_GPIO_Status", "21 pushButton_I2C_Read label_I2cOperationStatus",
              "A1 pushButton_GetRSSI label_statusOperationStatus",
              "4B btn_I2S_MicGainSet lbl_I2S_StatusValue",
              "F0 pushButton_SendAtCommand label_AtCommandStatus",
              "62 pushButton_SMSSend label_SmsSentStatus",
              "64 btnGetSmsReceptionEnabled label_SmsReceptionStatus",
              "78 pushButton_MailSend label_MailSentStatus",
              "79 pushButton_MailSendUrl label_MailSentUrlStatus",
              "80 pushButton_SocketConfigApn lblSocketApnStatus"}) {
            const QStringList parts = QString(request).split(' ');
            waiting << "unanswered " + parts[0] << "press " + parts[1]
                    << "expect " + parts[2] + "=yellow|Request sent. Waiting for reply...";
        }
        row("waiting texts fit",
            lines("set lineEdit_SendAtCommand=AT\nset lineEdit_MailSendUrl=u") + waiting);
    }
    void statusTab() { KOVA_RUN_TAB_SCRIPT(); }

    void gpioTab_data() {
        QTest::addColumn<QStringList>("steps");
        row("group modes", ask("13 00 01", "btn_GPIOB_Get",
                               {"label_Gpio7Mode=OUTPUT", "btn_GPIO7_Set:visible=true",
                                "btn_GPIO7_Get:visible=false", "cmb_GPIOB_ModeVal=MODE_1",
                                "lbl_GPIO_Status=green|GPIO GROUP CONFIG GET successful!"}) +
                               ask("13 00 00", "btn_GPIOA_Get",
                                   {"label_Gpio0Mode=DAI_TX", "label_Gpio4Mode=RING",
                                    "btn_GPIO4_Get:visible=false", "btn_GPIO4_Set:visible=false",
                                    "label_Gpio5Mode=INPUT", "lbl_GPIO5_Read:visible=true",
                                    "cmb_GPIO5_SetVal:visible=false"}) +
                               lines("press btn_GPIOD_Get\nexpect label_Gpio10Mode=INPUT") +
                               ask("13 00 03", "btn_GPIOD_Get",
                                   {"label_Gpio10Mode=Unknown", "btn_GPIO10_Get:visible=false"}));
        const QString status = "lbl_GPIO_Status=";
        row("status codes",
            ask("12 00 01", "btn_GPIO5_Get",
                {"lbl_GPIO5_Read_Value=HIGH", status + "green|GPIO GET successful!"}) +
                ask("12 04", "btn_GPIO5_Get",
                    {status + "red|GPIO GET failed! Reboot required.",
                     "lbl_GPIO5_Read_Value=HIGH"}) +
                ask("11 02", "btn_GPIO9_Set", {status + "red|GPIO SET failed!"}) +
                ask("11 04", "btn_GPIO9_Set", {status + "red|GPIO SET failed! Reboot required."}) +
                ask("10 04", "btn_GPIOC_Set",
                    {status + "green|GPIO GROUP CONFIG successful! REBOOT REQUIRED."}) +
                QStringList{"set cmb_GPIO9_SetVal=HIGH"} +
                ask("11 00", "btn_GPIO9_Set",
                    {status + "green|GPIO SET successful!", "sent 11=0900 0900 0901"}) +
                lines("nak 11\npress btn_GPIO9_Set\nexpect " + status +
                      "red|Refused by the module."));
        row("get all reads the input pins",
            ask("13 00 00", "btn_GPIOA_Get") +
                lines("press btn_GPIOB_Get\npress btn_GPIOC_Get\npress btn_GPIOD_Get\n"
                      "expect label_Gpio11Mode=INPUT\npress btn_GPIO_GetAll\n"
                      "expect sent 12=05 06 07 0A 0B"));
    }
    void gpioTab() { KOVA_RUN_TAB_SCRIPT(); }

    void i2cTab_data() {
        QTest::addColumn<QStringList>("steps");
        auto write = [](const char *tag, const QString &text, const QString &expected) {
            row(tag, lines("set lineEdit_I2C_Addr=50\nset lineEdit_I2C_Reg=10\n"
                           "set plainTextEdit_I2C_Write=" +
                           text + "\npress pushButton_I2C_Write\nexpect " + expected));
        };
        const QString error = "box I2C Write Error|";
        write("two bytes", "AA  BB ", "sent 21=D01002AABB");
        write("nothing", "   ", error + "Invalid Data. Please specify at least one byte to write.");
        row("a bad piece sends nothing",
            lines("set plainTextEdit_I2C_Write=11 XYZ\npress pushButton_I2C_Write\nexpect " +
                  error +
                  "\"XYZ\" is not hexadecimal.\nset plainTextEdit_I2C_Write=22\n"
                  "press pushButton_I2C_Write\nexpect sent 21=80000122"));
        row("bad address", lines("set lineEdit_I2C_Addr=G1\npress pushButton_I2C_Write\nexpect " +
                                 error + "Invalid I²C slave address."));
        row("read count", lines("set edtI2cNumBytesRead=256\npress pushButton_I2C_Read\n"
                                "set edtI2cNumBytesRead=255\npress pushButton_I2C_Read\n"
                                "expect sent 21=0000FF"));
        const QString status = "label_I2cOperationStatus=";
        row("status texts",
            ask("21 00 0301A0FF", "pushButton_I2C_Read",
                {"plainTextEdit_I2C_Read=01a0ff", status + "green|Operation Successful"}) +
                ask("21 02", "pushButton_I2C_Read",
                    {status + "red|ERROR: Transmission Error (I²C NAK)",
                     "plainTextEdit_I2C_Read="}) +
                ask("21 01", "pushButton_I2C_Read",
                    {status + "red|ERROR: No Response from I²C subsystem"}) +
                ask("21 03", "pushButton_I2C_Read", {status + "red|ERROR: Protocol Error"}));
    }
    void i2cTab() { KOVA_RUN_TAB_SCRIPT(); }

    // What each typed piece writes, or the piece refused.
    void hexBytes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("read");
        auto hex = [](const char *tag, const char *text, const char *read) {
            QTest::newRow(tag) << QString(text) << QString(read);
        };
        hex("runs and single digits", "0XAB12 11\n2\t0x3 f\u00a0", "ab121102030f");
        hex("sign", "01 -1", "\"-1\" is not hexadecimal.");
        hex("bare prefix", "0x", "\"0x\" is not hexadecimal.");
        hex("odd run", "ABC", "\"ABC\" has an odd number of digits: write two for each byte.");
    }
    void hexBytes() {
        QFETCH(QString, text);
        QFETCH(QString, read);
        QByteArray bytes;
        QString error;
        QCOMPARE(hexBytesFromText(text, &bytes, &error) ? QString(bytes.toHex()) : error, read);
    }

    void callsAndAudioTab_data() {
        QTest::addColumn<QStringList>("steps");
        auto dial = [](const char *tag, const QString &number, const QString &expected) {
            row(tag, {"set edt_CallHandling_DialoutPhoneNumber=" + number,
                      "press btn_CallHandling_Dial", "expect " + expected});
        };
        const QString refused = "box Invalid phone number|";
        dial("dial", "*#06#", "sent 40=00052A23303623");
        dial("dial refused", "+1 555",
             refused +
                 "Please enter a valid phone number.\r\nAllowed: 0-9, *, #, +, A, B, C, D "
                 "and p");
        dial("longest number", QString(253, '1'), "sent 40=00FD" + QString("31").repeated(253));
        // The line state of each call event, and whether dial, answer and hang up are allowed.
        QStringList states;
        for (const QString &s :
             QStringList{"000000 Call Incoming (Voice) 011", "000007 Call Incoming (Unhandled) 011",
                         "000100 Call Connected 000", "000200 Call Active 001",
                         "000300 Call Dialing 001", "000400 Call Alerting 001",
                         "000501 Call Disconnected (Reason: No dial tone, dialing impossible, "
                         "wrong mode) 100",
                         "00FF00 Call Disconnected (Reason: No dial tone, dialing impossible, "
                         "wrong mode) 000"}) {
            const QString allowed = s.right(3);
            states << "event 43 " + s.left(6)
                   << "expect lbl_CallHandling_CurrentStateValue=" + s.mid(7, s.size() - 11);
            const char *buttons[] = {"Dial", "AnswerCall", "HangUp"};
            for (int i = 0; i < 3; ++i) {
                states << QStringLiteral("expect btn_CallHandling_%1:enabled=%2")
                              .arg(buttons[i], allowed[i] == '1' ? "true" : "false");
            }
        }
        row("line states", states);
        // A disconnection without a reason shows the last one given, until a call is up again.
        // The RSSI round trip makes sure the window has shown the event before it.
        const QString line = "expect lbl_CallHandling_CurrentStateValue=";
        const QString busy = line + "Call Disconnected (Reason: Remote station busy)";
        row("remembered reason",
            QStringList{"event 43 000502", busy, "event 43 0005FF"} +
                ask("A1 00 05", "pushButton_GetRSSI", {"EdtStatusRSSI=-103 dB"}) +
                QStringList{busy, "event 43 000200", line + "Call Active", "event 43 0005FF",
                            line + "Call Disconnected (Reason: Unknown)"});
        const QString call = "lbl_CallHandling_StatusValue=";
        row("call statuses",
            ask("40 03", "btn_CallHandling_Dial",
                {call + "red|ERROR: Invalid command or call already active."}) +
                lines("event 43 000200\nexpect btn_CallHandling_HangUp:enabled=true") +
                ask("42 03", "btn_CallHandling_HangUp",
                    {call + "yellow|Request sent. Waiting for reply..."}));
        // Reads fill the controls (each clamped to its range) once; the user's changes stand.
        row("audio",
            lines("answer 48 00 01\nanswer 4A 00 28\nanswer 4C 00 4612\nanswer 4E 00 0004\n"
                  "press btn_I2S_GetValuesFirst\n"
                  "expect lbl_I2S_StatusValue=green|Audio config retrieved successfully.\n"
                  "expect frm_I2S_AudioSettings:visible=true\nexpect chk_I2S_MicMute=true\n"
                  "expect sli_I2S_MicGain=40\nexpect sli_I2S_SpkrGain=70\n"
                  "expect sli_I2S_SpkrSidetoneGain=18\nexpect spin_I2S_RingTonePreset=1\n"
                  "expect sli_I2S_RingToneVolume=4\nset sli_I2S_MicGain=10\nevent 43 000200\n"
                  "expect lbl_CallHandling_CurrentStateValue=Call Active\n"
                  "expect sli_I2S_MicGain=10") +
                ask("4B 01", "btn_I2S_MicGainSet",
                    {"sent 4B=0A",
                     "lbl_I2S_StatusValue=red|ERROR: Invalid value for audio setting."}) +
                lines("press chk_I2S_MicMute\nexpect sent 49=00"));
        row("audio read failed",
            ask("4A 01", "btn_I2S_GetValuesFirst",
                {"lbl_I2S_StatusValue=red|Failed to retrieve an audio parameter.",
                 "frm_I2S_AudioSettings:visible=false"}));
    }
    void callsAndAudioTab() { KOVA_RUN_TAB_SCRIPT(); }
};

QTEST_MAIN(TestDeviceTabs)
#include "tst_device_tabs.moc"
