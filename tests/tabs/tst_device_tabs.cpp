// The Status, GPIO, I2C and call/audio tabs through the window against the virtual module: the
// buttons pressed, what the module answers, and what the fields show. Steps as in tab_script.h.
#include <QtTest>

#include "tab_script.h"

namespace {

void row(const char *tag, const QStringList &steps) {
    QTest::newRow(tag) << steps;
}

// The module answers a request, the user presses its button, and a field shows the result.
QStringList ask(const char *answer, const char *button, const QStringList &expected) {
    QStringList steps{QStringLiteral("answer %1").arg(QLatin1String(answer)),
                      QStringLiteral("press %1").arg(QLatin1String(button))};
    for (const QString &e : expected) {
        steps << QStringLiteral("expect ") + e;
    }
    return steps;
}

const QString notSent = QStringLiteral(
    "The request was not sent: too many frames wait for the module already. Try "
    "again once it has answered them.");

}  // namespace

class TestDeviceTabs : public QObject {
    Q_OBJECT

  private slots:
    void statusTab_data() {
        QTest::addColumn<QStringList>("steps");
        QStringList rssi;
        const QList<QPair<const char *, const char *>> codes = {
            {"00", "< -111 dB"},  {"63", "UNKNOWN dB"}, {"01", "-111 dB"}, {"02", "-109 dB"},
            {"20", "UNKNOWN dB"}, {"10", "-81 dB"},     {"1E", "-53 dB"},  {"1F", "> -53 dB"}};
        for (const auto &c : codes) {
            rssi << ask(qPrintable(QStringLiteral("A1 00 %1").arg(c.first)), "pushButton_GetRSSI",
                        {QStringLiteral("EdtStatusRSSI=") + c.second});
        }
        row("signal strength", rssi);
        row("registration",
            ask("A6 00 0102", "pushButton_GetTowerConn",
                {"EdtStatusNetworkRegistrationConnected=Registered",
                 "EdtStatusNetworkRegistrationRAT=UTRAN (3G)"}) +
                ask("A6 00 0506", "pushButton_GetTowerConn",
                    {"EdtStatusNetworkRegistrationConnected=Not registered",
                     "EdtStatusNetworkRegistrationRAT=UTRAN w/HSDPA and w/HSUPA (3.5G)"}) +
                ask("A6 00 0107", "pushButton_GetTowerConn",
                    {"EdtStatusNetworkRegistrationRAT=Not available"}) +
                ask("A6 01 0103", "pushButton_GetTowerConn",
                    {"EdtStatusNetworkRegistrationConnected=Unknown",
                     "EdtStatusNetworkRegistrationRAT=Unavailable",
                     "label_statusOperationStatus=red|ERROR: Command failed."}));
        row("input voltage", ask("A4 00 3039", "pushButton_GetVin", {"EdtStatusVIN=12.345V"}) +
                                 ask("A4 00 2EE0", "pushButton_GetVin", {"EdtStatusVIN=12V"}) +
                                 ask("A4 00 0000", "pushButton_GetVin", {"EdtStatusVIN=0V"}));
        // A length of 17 is more than the field holds: the text stays. Its reply has come
        // once the modem's firmware, asked after it, is shown.
        row("versions",
            ask("C0 00 0830312E30322E3033", "pushButton_GetTarnFirm", {"label_TarnFirm=01.02.03"}) +
                ask("C0 00 114141414141414141414141414141414141", "pushButton_GetTarnFirm", {}) +
                ask("C2 00 303330303031", "pushButton_GetCintFirm",
                    {"label_CinterionFirm=030001", "label_TarnFirm=01.02.03"}) +
                ask("C0 00 00", "pushButton_GetTarnFirm", {"label_TarnFirm="}));
        // The speed read back selects its item once; the user's choice then stands.
        row("modem speed",
            ask("91 00 02", "btnGetModemSpeed", {"comboBox_ModemSpeed=Dual - 3G Preferred"}) +
                QStringList{"choose comboBox_ModemSpeed=0", "event 43 000200",
                            "expect lbl_CallHandling_CurrentStateValue=Call Active",
                            "expect comboBox_ModemSpeed=Auto"});
        row("functionality level",
            {"choose comboBox_FuncLevel=3", "press pushButton_SetFuncLevel", "expect sent A5=03"});
        row("refused", {"fill", "press pushButton_GetRSSI", "expect box Status|" + notSent,
                        "expect label_statusOperationStatus=|<Status Operation Status>"});
    }
    void statusTab() { KOVA_RUN_TAB_SCRIPT(); }

    void gpioTab_data() {
        QTest::addColumn<QStringList>("steps");
        row("group modes",
            ask("13 00 01", "btn_GPIOB_Get",
                {"label_Gpio6Mode=OUTPUT", "label_Gpio7Mode=OUTPUT", "btn_GPIO6_Set:visible=1",
                 "btn_GPIO6_Get:visible=0", "cmb_GPIOB_ModeVal=MODE_1",
                 "lbl_GPIO_Status=green|GPIO GROUP CONFIG GET successful!"}) +
                ask("13 00 00", "btn_GPIOA_Get",
                    {"label_Gpio0Mode=DAI_TX", "label_Gpio4Mode=RING", "btn_GPIO4_Get:visible=0",
                     "btn_GPIO4_Set:visible=0", "label_Gpio5Mode=INPUT", "lbl_GPIO5_Read:visible=1",
                     "cmb_GPIO5_SetVal:visible=0"}) +
                QStringList{"press btn_GPIOD_Get", "expect label_Gpio10Mode=INPUT"} +
                ask("13 00 03", "btn_GPIOD_Get",
                    {"label_Gpio10Mode=Unknown", "btn_GPIO10_Get:visible=0"}));
        row("status codes",
            ask("12 00 01", "btn_GPIO5_Get",
                {"lbl_GPIO5_Read_Value=HIGH", "lbl_GPIO_Status=green|GPIO GET successful!"}) +
                ask("12 04", "btn_GPIO5_Get",
                    {"lbl_GPIO_Status=red|GPIO GET failed! Reboot required.",
                     "lbl_GPIO5_Read_Value=HIGH"}) +
                ask("11 02", "btn_GPIO9_Set", {"lbl_GPIO_Status=red|GPIO SET failed!"}) +
                ask("11 04", "btn_GPIO9_Set",
                    {"lbl_GPIO_Status=red|GPIO SET failed! Reboot required."}) +
                ask("10 04", "btn_GPIOC_Set",
                    {"lbl_GPIO_Status=green|GPIO GROUP CONFIG successful! REBOOT REQUIRED."}) +
                ask("11 00", "btn_GPIO9_Set", {"lbl_GPIO_Status=green|GPIO SET successful!"}) +
                QStringList{"nak 11", "press btn_GPIO9_Set",
                            "expect lbl_GPIO_Status=red|Refused by the module."});
        row("get all reads the input pins",
            ask("13 00 00", "btn_GPIOA_Get", {}) +
                QStringList{"press btn_GPIOB_Get", "press btn_GPIOC_Get", "press btn_GPIOD_Get",
                            "expect label_Gpio11Mode=INPUT", "press btn_GPIO_GetAll",
                            "expect sent 12=05 06 07 0A 0B"});
        // Each reply finds the group it answers: C was set to MODE_1, D is left in MODE_0.
        row("group reads answered in order",
            {"choose cmb_GPIOC_ModeVal=1", "press btn_GPIOC_Set",
             "expect lbl_GPIO_Status=green|GPIO GROUP CONFIG successful!", "press btn_GPIOC_Get",
             "press btn_GPIOD_Get", "expect label_Gpio10Mode=INPUT",
             "expect label_Gpio8Mode=OUTPUT",
             "expect lbl_GPIO_Status=green|GPIO GROUP CONFIG GET successful!"});
    }
    void gpioTab() { KOVA_RUN_TAB_SCRIPT(); }

    void i2cTab_data() {
        QTest::addColumn<QStringList>("steps");
        auto write = [](const char *tag, const QString &text, const QString &expected) {
            row(tag, {"type lineEdit_I2C_Addr=50", "type lineEdit_I2C_Reg=10",
                      "type plainTextEdit_I2C_Write=" + text, "press pushButton_I2C_Write",
                      "expect " + expected});
        };
        write("two bytes", "AA BB", "sent 21=D01002AABB");
        write("spaces around", "AA  BB ", "sent 21=D01002AABB");
        write("low byte of a long piece", "AABB", "sent 21=D01001BB");
        write("no digits", "zz", "sent 21=D0100100");
        write("with 0x", "0x1F", "sent 21=D010011F");
        write("a line break is no separator", "AA\\nBB", "sent 21=D01001AA");
        write("nothing", "   ",
              "box I2C Write Error|Invalid Data. Please specify at least one byte to write.");
        write("too many bytes", QStringLiteral("1 ").repeated(256),
              "box I2C Write Error|256 bytes to write; at most 255 can be written at once.");
        write("too many escaped bytes", QStringLiteral("7E ").repeated(250),
              "box I2C Write Error|These 250 bytes do not fit one frame: bytes 7E, 9E and CE "
              "take two places on the line, and at most 248 of them fit at once.");
        row("bad address", {"type lineEdit_I2C_Addr=G1", "press pushButton_I2C_Write",
                            "expect box I2C Write Error|Invalid I²C slave address."});
        row("read count",
            {"type edtI2cNumBytesRead=256", "press pushButton_I2C_Read",
             "type edtI2cNumBytesRead=255", "press pushButton_I2C_Read", "expect sent 21=0000FF"});
        row("status texts",
            ask("21 00 0301A0FF", "pushButton_I2C_Read",
                {"plainTextEdit_I2C_Read=01a0ff",
                 "label_I2cOperationStatus=green|Operation Successful"}) +
                ask("21 02", "pushButton_I2C_Read",
                    {"label_I2cOperationStatus=red|ERROR: Transmission Error (I²C NAK)",
                     "plainTextEdit_I2C_Read="}) +
                ask("21 01", "pushButton_I2C_Read",
                    {"label_I2cOperationStatus=red|ERROR: No Response from I²C subsystem"}) +
                ask("21 03", "pushButton_I2C_Read",
                    {"label_I2cOperationStatus=red|ERROR: Protocol Error"}));
    }
    void i2cTab() { KOVA_RUN_TAB_SCRIPT(); }

    void callsAndAudioTab_data() {
        QTest::addColumn<QStringList>("steps");
        auto dial = [](const char *tag, const QString &number, const QString &expected) {
            row(tag, {"type edt_CallHandling_DialoutPhoneNumber=" + number,
                      "press btn_CallHandling_Dial", "expect " + expected});
        };
        dial("dial", "*#06#", "sent 40=00052A23303623");
        dial("dial refused", "+1 555",
             "box Invalid phone number|Please enter a valid phone number.\r\nAllowed: 0-9, *, #, "
             "+, A, B, C, D and p");
        dial("dial too long", QString(255, QLatin1Char('1')),
             "box Invalid phone number|The number has 255 characters; at most 254 can be dialled.");
        // The line state a call event reports, and which of dial, answer and hang up it allows.
        const QList<QPair<const char *, const char *>> states = {
            {"000000", "Call Incoming (Voice)|0|1|1"},
            {"000007", "Call Incoming (Unhandled)|0|1|1"},
            {"000100", "Call Connected|0|0|0"},
            {"000200", "Call Active|0|0|1"},
            {"000300", "Call Dialing|0|0|1"},
            {"000400", "Call Alerting|0|0|1"},
            {"000502", "Call Disconnected (Reason: Remote station busy)|1|0|0"},
            {"00FF00", "Call Disconnected (Reason: Remote station busy)|0|0|0"},
        };
        QStringList lineStates;
        for (const auto &s : states) {
            const QStringList shown = QString::fromLatin1(s.second).split(QLatin1Char('|'));
            lineStates << QStringLiteral("event 43 %1").arg(QLatin1String(s.first))
                       << "expect lbl_CallHandling_CurrentStateValue=" + shown[0]
                       << "expect btn_CallHandling_Dial:enabled=" + shown[1]
                       << "expect btn_CallHandling_AnswerCall:enabled=" + shown[2]
                       << "expect btn_CallHandling_HangUp:enabled=" + shown[3];
        }
        row("line states", lineStates);
        // A disconnection without a reason shows the last one given, until a call is up again.
        // The RSSI round trip makes sure the window has shown the event before it.
        const QString busy = QStringLiteral(
            "expect lbl_CallHandling_CurrentStateValue=Call Disconnected (Reason: Remote station "
            "busy)");
        row("remembered reason",
            QStringList{"event 43 000502", busy, "event 43 0005FF"} +
                ask("A1 00 05", "pushButton_GetRSSI", {"EdtStatusRSSI=-103 dB"}) +
                QStringList{busy, "event 43 000200",
                            "expect lbl_CallHandling_CurrentStateValue=Call Active",
                            "event 43 0005FF",
                            "expect lbl_CallHandling_CurrentStateValue=Call Disconnected "
                            "(Reason: Unknown)"});
        row("dial status",
            ask("40 03", "btn_CallHandling_Dial",
                {"lbl_CallHandling_StatusValue=red|ERROR: Invalid command or call "
                 "already active."}) +
                QStringList{"event 43 000200", "expect btn_CallHandling_HangUp:enabled=1"} +
                ask("42 03", "btn_CallHandling_HangUp",
                    {"lbl_CallHandling_StatusValue=yellow|Request sent. Waiting "
                     "for reply..."}));
        // Reads fill the controls (each clamped to its range) once; the user's changes stand.
        row("audio",
            QStringList{"answer 48 00 01", "answer 4A 00 28", "answer 4C 00 4612",
                        "answer 4E 00 0004", "press btn_I2S_GetValuesFirst",
                        "expect lbl_I2S_StatusValue=green|Audio config retrieved "
                        "successfully.",
                        "expect frm_I2S_AudioSettings:visible=1", "expect chk_I2S_MicMute=1",
                        "expect sli_I2S_MicGain=40", "expect sli_I2S_SpkrGain=70",
                        "expect sli_I2S_SpkrSidetoneGain=18", "expect spin_I2S_RingTonePreset=1",
                        "expect sli_I2S_RingToneVolume=4", "choose sli_I2S_MicGain=10",
                        "event 43 000200", "expect lbl_CallHandling_CurrentStateValue=Call Active",
                        "expect sli_I2S_MicGain=10"} +
                ask("4B 01", "btn_I2S_MicGainSet",
                    {"sent 4B=0A",
                     "lbl_I2S_StatusValue=red|ERROR: Invalid value for audio setting."}) +
                QStringList{"press chk_I2S_MicMute", "expect sent 49=00"});
        row("audio read failed",
            ask("4A 01", "btn_I2S_GetValuesFirst",
                {"lbl_I2S_StatusValue=red|Failed to retrieve an audio parameter.",
                 "frm_I2S_AudioSettings:visible=0"}));
    }
    void callsAndAudioTab() { KOVA_RUN_TAB_SCRIPT(); }
};

QTEST_MAIN(TestDeviceTabs)
#include "tst_device_tabs.moc"
