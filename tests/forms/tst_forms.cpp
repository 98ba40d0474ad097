// Builds each form on a bare widget and checks it against one table of the system's vocabulary:
// every object's name, type, parent and listed settings, and the connect-by-name slots that must
// find it. Further checks keep the layout readable: one font size, nothing clipped or overlapping.
#include <QtTest>
#include <QtWidgets>

#include "ui_dlgabout.h"
#include "ui_dlgfwupdate.h"
#include "ui_dlgserialport.h"
#include "ui_mainwindow.h"

namespace {

enum Form { MainForm, AboutForm, SerialForm, FwUpdateForm, FormCount };
const char *const formNames[FormCount] = {"main", "about", "serial", "fwupdate"};

// Keys starting with '@' are checks that no single property answers; the others are properties.
struct Row {
    Form form;
    QByteArray name;
    QByteArray type;  // empty: the form must have no object of this name
    QByteArray parent;
    QVariantMap props;
    QByteArray slot;  // a connect-by-name slot that must attach to this object
};

const int Selectable = int(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
const int Centred = int(Qt::AlignCenter);

QVariantMap with(QVariantMap props, const QString &key, const QVariant &value) {
    props.insert(key, value);
    return props;
}

class Table {
  public:
    QVector<Row> rows;
    Form form = MainForm;

    void add(const QByteArray &name, const QByteArray &type, const QByteArray &parent,
             const QVariantMap &props = {}, const QByteArray &slot = {}) {
        rows.append({form, name, type, parent, props, slot});
    }
    void absent(const QByteArray &name, const QByteArray &slot) {
        rows.append({form, name, {}, {}, {}, slot});
    }
    void label(const QByteArray &name, const QByteArray &parent, const QString &text,
               const QVariantMap &more = {}) {
        add(name, "QLabel", parent, with(more, "text", text));
    }
    void button(const QByteArray &name, const QByteArray &parent, const QString &text,
                const QByteArray &slot, const QVariantMap &more = {}) {
        add(name, "QPushButton", parent, with(more, "text", text), slot);
    }
    void edit(const QByteArray &name, const QByteArray &parent, const QVariantMap &props = {}) {
        add(name, "QLineEdit", parent, props);
    }
    void combo(const QByteArray &name, const QByteArray &parent, const QStringList &items,
               const QByteArray &slot = {}) {
        add(name, "QComboBox", parent, {{"@items", items}}, slot);
    }
    void group(const QByteArray &name, const QByteArray &parent, const QString &title,
               const QRect &geometry) {
        add(name, "QGroupBox", parent, {{"title", title}, {"geometry", geometry}});
    }
    // A status field: the label left of it, the raised styled panel and the label inside at 2, 0.
    void status(const QByteArray &label, const QString &labelText, const QByteArray &parent,
                const QByteArray &frame, const QRect &geometry, const QByteArray &value,
                const QString &valueText) {
        this->label(label, parent, labelText);
        add(frame, "QFrame", parent,
            {{"geometry", geometry},
             {"frameShape", QFrame::StyledPanel},
             {"frameShadow", QFrame::Raised}});
        this->label(value, frame, valueText, {{"pos", QPoint(2, 0)}});
    }
};

void mainWindowRows(Table &t) {
    t.form = MainForm;
    t.add("MainWindow", "QMainWindow", "",
          {{"size", QSize(808, 650)},
           {"windowTitle", "KOVA Test Tool"},
           {"@hasIcon", true},
           {"locale", QLocale(QLocale::English, QLocale::Canada)}});
    t.add("centralwidget", "QWidget", "MainWindow");
    t.add("tabWidget", "QTabWidget", "centralwidget",
          {{"geometry", QRect(2, 0, 804, 610)}, {"currentIndex", 1}, {"count", 9}});
    const char *const pages[] = {"tab_GPIO", "tab_CallHandlingI2S", "tab_I2C",    "tab_SMS",
                                 "tab_Mail", "tab_Socket",          "tab_Status", "tab_Engineering",
                                 "tab_Debug"};
    const char *const titles[] = {"GPIO",   "Call Handling / I2S", "I2C",  "SMS", "Mail", "Socket",
                                  "Status", "Engineering",         "Debug"};
    for (int i = 0; i < 9; ++i)
        t.add(pages[i], "QWidget", "tabWidget", {{"@tabIndex", i}, {"@tabTitle", titles[i]}});
    t.add("menuBar", "QMenuBar", "MainWindow",
          {{"layoutDirection", Qt::LeftToRight},
           {"width", 808},
           {"@actions", QStringList{"mnuSerialPort", "menuFirmware_Update", "mnuHelp"}}});
    t.add("mnuSerialPort", "QMenu", "menuBar",
          {{"title", "Serial Port"},
           {"@actions", QStringList{"-", "mnuSerialPortConnect", "mnuSerialPortDisconnect", "-"}}});
    t.add("menuFirmware_Update", "QMenu", "menuBar",
          {{"title", "Tools"}, {"@actions", QStringList{"mnuBatchFwUpdate"}}});
    t.add("mnuHelp", "QMenu", "menuBar",
          {{"title", "Help"}, {"@actions", QStringList{"mnuAbout"}}});
    t.add("mnuSerialPortConnect", "QAction", "MainWindow",
          {{"text", "Connect..."},
           {"toolTip", "Connect to module on serial port"},
           {"shortcut", "Ctrl+O"}});
    t.add("mnuSerialPortDisconnect", "QAction", "MainWindow",
          {{"text", "Disconnect"}, {"shortcut", "Ctrl+D"}});
    t.add("mnuBatchFwUpdate", "QAction", "MainWindow", {{"text", "Batch FW Update ..."}});
    t.add("mnuAbout", "QAction", "MainWindow", {{"text", "About..."}});
    t.add("statusBar", "QStatusBar", "MainWindow", {{"sizeGripEnabled", false}});
    t.add("frmSerialStatus", "QFrame", "centralwidget",
          {{"minimumSize", QSize(100, 20)},
           {"maximumSize", QSize(100, 20)},
           {"frameShape", QFrame::NoFrame},
           {"frameShadow", QFrame::Plain},
           {"lineWidth", 0}});
    t.label("lblSerialStatus", "frmSerialStatus", "Not Connected",
            {{"geometry", QRect(0, 0, 100, 20)}, {"lineWidth", 0}, {"alignment", Centred}});
    // Slots of the window that name no widget of this form: connect-by-name attaches nothing.
    t.absent("pushButton_ClearStatusBar", "on_pushButton_ClearStatusBar_clicked()");
    t.absent("buttonBox", "on_buttonBox_clicked(QAbstractButton*)");

    // GPIO: four groups of one header row and one row per pin, rows 23 px apart from y 50.
    struct Group {
        const char *box, *title, *letter, *modeLabel;
        QRect geometry;
        QStringList modes;
        int firstPin, pins;
    };
    const QStringList one{"MODE_0"}, two{"MODE_0", "MODE_1"};
    const Group groups[] = {
        {"groupBox_7", "I/O Group A", "A", "label_60", QRect(10, 10, 780, 190), one, 0, 6},
        {"groupBox_8", "I/O Group B", "B", "label_61", QRect(10, 206, 780, 100), two, 6, 2},
        {"groupBox_9", "I/O Group C", "C", "label_62", QRect(10, 312, 780, 100), two, 8, 2},
        {"groupBox_10", "I/O Group D", "D", "label_63", QRect(10, 418, 780, 100), two, 10, 2},
    };
    const char *const pinLabels[] = {"label_24", "label_29", "label_32", "label_35",
                                     "label_38", "label_41", "label_42", "label_47",
                                     "label_48", "label_53", "label_54", "label_59"};
    auto name = [](const QString &text) { return text.toLatin1(); };
    for (const Group &g : groups) {
        t.group(g.box, "tab_GPIO", g.title, g.geometry);
        t.label(g.modeLabel, g.box, "Group I/O Mode:");
        t.combo(name(QString("cmb_GPIO%1_ModeVal").arg(g.letter)), g.box, g.modes);
        for (const char *op : {"Set", "Get"}) {
            const QString button = QString("btn_GPIO%1_%2").arg(g.letter, op);
            t.button(name(button), g.box, op, ("on_" + button + "_clicked()").toLatin1());
        }
        for (int row = 0; row < g.pins; ++row) {
            const int pin = g.firstPin + row;
            const QVariantMap y{{"@y", 50 + 23 * row}};
            const QString p = QString::number(pin);
            t.label(pinLabels[pin], g.box, QString("I/O pin# %1:").arg(pin), y);
            t.label(name("label_Gpio" + p + "Mode"), g.box, "Unknown", y);
            t.label(name("lbl_GPIO" + p + "_Set"), g.box, "Set Value:", y);
            t.add(name("cmb_GPIO" + p + "_SetVal"), "QComboBox", g.box,
                  with(y, "@items", QStringList{"LOW", "HIGH"}));
            t.button(name("btn_GPIO" + p + "_Set"), g.box, "Set",
                     ("on_btn_GPIO" + p + "_Set_clicked()").toLatin1(), y);
            t.label(name("lbl_GPIO" + p + "_Read"), g.box, "Read:", y);
            t.label(name("lbl_GPIO" + p + "_Read_Value"), g.box, "HIGH", y);
            t.button(name("btn_GPIO" + p + "_Get"), g.box, "Get",
                     ("on_btn_GPIO" + p + "_Get_clicked()").toLatin1(), y);
        }
    }
    t.button("btn_GPIO_GetAll", "tab_GPIO", "Get All Input Values", "on_btn_GPIO_GetAll_clicked()",
             {{"geometry", QRect(10, 520, 200, 25)}, {"@bold", true}, {"@pointSize", 11}});
    t.status("label_103", "Status:", "tab_GPIO", "frame_GPIO_Status", QRect(50, 550, 280, 18),
             "lbl_GPIO_Status", "<GPIO Status>");

    const QVariantMap bold{{"@bold", true}};
    const char *page = "tab_CallHandlingI2S";
    t.group("grpCallHandling", page, "Call Handling", QRect(10, 10, 780, 110));
    t.label("lbl_CallHandling_CurrentState", "grpCallHandling", "Current Line Status:");
    t.label("lbl_CallHandling_CurrentStateValue", "grpCallHandling", "Idle",
            {{"styleSheet", "text-decoration: underline;"}});
    t.label("lbl_CallHandling_DialoutPhoneNumber", "grpCallHandling", "Dialout Phone Number:");
    t.edit("edt_CallHandling_DialoutPhoneNumber", "grpCallHandling");
    t.button("btn_CallHandling_Dial", "grpCallHandling", "Dial",
             "on_btn_CallHandling_Dial_clicked()");
    t.add("line_3", "QFrame", "grpCallHandling");
    t.button("btn_CallHandling_AnswerCall", "grpCallHandling", "Answer Call",
             "on_btn_CallHandling_AnswerCall_clicked()");
    t.button("btn_CallHandling_HangUp", "grpCallHandling", "Hang Up",
             "on_btn_CallHandling_HangUp_clicked()");
    t.status("lbl_CallHandling_Status", "Status:", "grpCallHandling", "frm_CallHandling_Status",
             QRect(50, 80, 221, 18), "lbl_CallHandling_StatusValue", "<Call Handling Status>");
    t.group("grp_I2S", page, "Audio Settings", QRect(10, 130, 780, 290));
    t.add("frm_I2S_AudioSettings", "QFrame", "grp_I2S", {{"geometry", QRect(0, 20, 780, 230)}});
    const char *audio = "frm_I2S_AudioSettings";
    t.label("lbl_I2S_Microphone", audio, "Microphone:");
    t.add("line_6", "QFrame", audio);
    t.add("chk_I2S_MicMute", "QCheckBox", audio,
          {{"text", "Mute:" + QString(15, ' ')}, {"layoutDirection", Qt::RightToLeft}},
          "on_chk_I2S_MicMute_clicked()");
    t.label("lbl_I2S_MicMuteNote", audio, "(Change only allowed during active call)");
    t.label("lbl_I2S_MicGain", audio, "Gain:");
    t.add("sli_I2S_MicGain", "QSlider", audio, {{"minimum", 0}, {"maximum", 100}, {"value", 0}});
    t.button("btn_I2S_MicGainSet", audio, "Set Microphone Gain", "on_btn_I2S_MicGainSet_clicked()");
    t.label("lbl_I2S_Speaker", audio, "Speaker:");
    t.add("line_4", "QFrame", audio);
    t.label("lbl_I2S_SpkrGain", audio, "Gain:");
    t.add("sli_I2S_SpkrGain", "QSlider", audio, {{"minimum", 0}, {"maximum", 100}, {"value", 0}});
    t.button("btn_I2S_SpkrGainSet", audio, "Set Speaker Config",
             "on_btn_I2S_SpkrGainSet_clicked()");
    t.label("lbl_I2S_SpkrSidetoneGain", audio, "Sidetone Gain:");
    t.add("sli_I2S_SpkrSidetoneGain", "QSlider", audio,
          {{"minimum", 0}, {"maximum", 175}, {"pageStep", 18}, {"value", 0}});
    t.label("lbl_I2S_RingTone", audio, "Ring Tone / Melody:");
    t.add("line_5", "QFrame", audio);
    t.label("lbl_I2S_RingTonePreset", audio, "Preset:");
    t.add("spin_I2S_RingTonePreset", "QSpinBox", audio, {{"minimum", 1}, {"maximum", 8}});
    t.button("btn_I2S_RingToneCgfSet", audio, "Set Ring Tone Config",
             "on_btn_I2S_RingToneCgfSet_clicked()");
    t.label("lbl_I2S_RingToneVolume", audio, "Volume:");
    t.add("sli_I2S_RingToneVolume", "QSlider", audio,
          {{"minimum", 0}, {"maximum", 4}, {"pageStep", 1}, {"value", 0}});
    t.status("lbl_I2S_Status", "Status:", "grp_I2S", "frm_I2S_Status", QRect(50, 260, 221, 18),
             "lbl_I2S_StatusValue", "<Audio Settings Status>");
    t.add("frm_I2S_GetValuesFirst", "QFrame", "grp_I2S", {{"geometry", QRect(0, 290, 779, 230)}});
    t.button("btn_I2S_GetValuesFirst", "frm_I2S_GetValuesFirst", "Read Current Settings",
             "on_btn_I2S_GetValuesFirst_clicked()");

    t.label("label_79", "tab_I2C", "I2C Address:   0x");
    t.edit("lineEdit_I2C_Addr", "tab_I2C", {{"text", "00"}});
    t.label("label_80", "tab_I2C", "I2C Register:   0x");
    t.edit("lineEdit_I2C_Reg", "tab_I2C", {{"text", "00"}});
    t.group("groupBox_13", "tab_I2C", "Payload to Write:", QRect(10, 38, 780, 130));
    t.label("label_81", "groupBox_13", "Values are in hexadecimal with no separator.");
    t.add("plainTextEdit_I2C_Write", "QPlainTextEdit", "groupBox_13");
    t.button("pushButton_I2C_Write", "groupBox_13", "Write", "on_pushButton_I2C_Write_clicked()",
             bold);
    t.group("groupBox_14", "tab_I2C", "I2C Read:", QRect(10, 180, 780, 140));
    t.label("label_104", "groupBox_14", "Number of bytes to read:");
    t.edit("edtI2cNumBytesRead", "groupBox_14", {{"inputMask", "999"}, {"text", "1"}});
    t.button("pushButton_I2C_Read", "groupBox_14", "Read", "on_pushButton_I2C_Read_clicked()",
             bold);
    t.add("plainTextEdit_I2C_Read", "QPlainTextEdit", "groupBox_14", {{"readOnly", true}});
    t.status("label_101", "Status:", "tab_I2C", "frame_I2cOperationStatus", QRect(50, 333, 221, 18),
             "label_I2cOperationStatus", "<I²C Operation Status>");

    t.group("groupBox_3", "tab_SMS", "SMS Message To Send", QRect(10, 10, 780, 220));
    t.label("label_20", "groupBox_3", "Destination Phone Number:");
    t.edit("lineEdit_SMSPhone", "groupBox_3");
    t.label("label_22", "groupBox_3", "Message To Send:");
    t.add("plainTextEdit_SMSMessage", "QPlainTextEdit", "groupBox_3");
    t.button("pushButton_SMSSend", "groupBox_3", "Send", "on_pushButton_SMSSend_clicked()", bold);
    t.status("label_99", "Status:", "groupBox_3", "frame_SmsSentStatus", QRect(50, 192, 220, 18),
             "label_SmsSentStatus", "<SMS send status>");
    t.add("line_2", "QFrame", "tab_SMS");
    t.label("label_89", "tab_SMS", "SMS Reception:");
    t.combo("cmbControlSmsReception", "tab_SMS", {"<Unknown>", "Enabled", "Disabled"});
    t.button("btnControlSmsReception", "tab_SMS", "Set", "on_btnControlSmsReception_clicked()");
    t.button("btnGetSmsReceptionEnabled", "tab_SMS", "Get",
             "on_btnGetSmsReceptionEnabled_clicked()");
    t.group("groupBox_11", "tab_SMS", "SMS Received", QRect(10, 280, 780, 210));
    const QVariantMap panelSelectable{{"frameShape", QFrame::StyledPanel},
                                      {"textInteractionFlags", Selectable}};
    t.label("label_31", "groupBox_11", "From:");
    t.label("lblSmsRecvFrom", "groupBox_11", "<From>", panelSelectable);
    t.label("label_33", "groupBox_11", "Date:");
    t.label("lblSmsRecvDate", "groupBox_11", "<Date>", panelSelectable);
    t.add("plainTextEdit_SmsReceived", "QPlainTextEdit", "groupBox_11");
    t.status("label_100", "Status:", "tab_SMS", "frame_SmsReceptionStatus", QRect(50, 500, 291, 18),
             "label_SmsReceptionStatus", "<SMS reception status>");

    const QVariantMap password{{"echoMode", QLineEdit::Password}};
    t.group("groupBox", "tab_Mail", "Message", QRect(10, 10, 780, 280));
    t.label("label_84", "groupBox", "From:");
    t.edit("lineEdit_MailFrom", "groupBox");
    t.label("label_11", "groupBox", "To:");
    t.edit("lineEdit_MailTo", "groupBox");
    t.edit("lineEdit_MailSubject", "groupBox");
    t.label("label_12", "groupBox", "Subject:");
    t.label("label_13", "groupBox", "Message:");
    t.add("plainTextEdit_MailMessage", "QPlainTextEdit", "groupBox");
    t.group("groupBox_2", "tab_Mail", "Send Mail via SMTP", QRect(10, 310, 780, 110));
    t.label("label_18", "groupBox_2", "Server:");
    t.edit("lineEdit_MailSMTPServer", "groupBox_2");
    t.label("label_19", "groupBox_2", "Port:");
    t.add("spinBox_MailSmtpPort", "QSpinBox", "groupBox_2",
          {{"minimum", 0}, {"maximum", 65535}, {"value", 0}});
    t.combo("comboBox_MailUseSsl", "groupBox_2", {"No Encryption", "Use SSL"});
    t.label("label_15", "groupBox_2", "Login:");
    t.edit("lineEdit_MailLogin", "groupBox_2");
    t.label("label_16", "groupBox_2", "Password:");
    t.edit("lineEdit_MailPassword", "groupBox_2", password);
    t.button("pushButton_MailSend", "groupBox_2", "Send", "on_pushButton_MailSend_clicked()", bold);
    t.status("label_91", "Send  Status:", "groupBox_2", "frame_MailSentStatus",
             QRect(590, 80, 180, 18), "label_MailSentStatus", "Mail NOT Sent");
    t.group("groupBox_15", "tab_Mail", "Send Mail via HTTP POST", QRect(10, 430, 780, 80));
    t.label("label_66", "groupBox_15", "URL:");
    t.edit("lineEdit_MailSendUrl", "groupBox_15");
    t.button("pushButton_MailSendUrl", "groupBox_15", "Post", "on_pushButton_MailSendUrl_clicked()",
             bold);
    t.status("label_90", "Send Status:", "groupBox_15", "frame_MailSentUrlStatus",
             QRect(590, 50, 180, 18), "label_MailSentUrlStatus", "Mail NOT Sent");

    t.group("groupBox_20", "tab_Socket", "Access Point Configuration (APN)",
            QRect(10, 10, 780, 130));
    t.label("lblSocketStaticApnInfo", "groupBox_20",
            "APN configuration is required before issuing Socket commands. An APN configured with "
            "empty name, "
            "login and password is valid for some cellular providers.");
    t.label("label_85", "groupBox_20", "Name:");
    t.edit("lineEdit_SocketApn_Name", "groupBox_20");
    t.label("label_86", "groupBox_20", "Login:");
    t.edit("lineEdit_SocketApn_Login", "groupBox_20");
    t.label("label_87", "groupBox_20", "Password:");
    t.edit("lineEdit_SocketApn_Password", "groupBox_20", password);
    t.status("label_96", "Status:", "groupBox_20", "frmSocketApnStatus", QRect(50, 100, 180, 18),
             "lblSocketApnStatus", "<APN Config Status>");
    t.button("pushButton_SocketConfigGetApn", "groupBox_20", "Get Configured APN",
             "on_pushButton_SocketConfigGetApn_clicked()", bold);
    t.button("pushButton_SocketConfigApn", "groupBox_20", "Configure APN",
             "on_pushButton_SocketConfigApn_clicked()", bold);
    t.add("groupBox_19", "QGroupBox", "tab_Socket",
          {{"title", "Destination Internet Host && Data Payload:"},
           {"geometry", QRect(10, 150, 780, 420)},
           {"@shownTitle", "Destination Internet Host & Data Payload:"}});
    t.label("label_23", "groupBox_19", "URL or IP:PORT :");
    t.edit("lineEdit_SocketUrl", "groupBox_19");
    t.label("label_98", "groupBox_19", "Protocol:");
    t.combo("comboBox_SocketProtocol", "groupBox_19", {"TCP", "HTTP GET", "HTTP POST"});
    t.label("label_21", "groupBox_19", "Payload:");
    t.add("plainTextEdit_SocketPayload", "QPlainTextEdit", "groupBox_19");
    t.label("label_95", "groupBox_19", "RX Timeout (ms):");
    t.add("spinBox_SocketRxTimeout", "QSpinBox", "groupBox_19",
          {{"minimum", 0}, {"maximum", 65535}, {"value", 5000}});
    t.button("pushButton_SocketSend", "groupBox_19", "Send", "on_pushButton_SocketSend_clicked()",
             bold);
    t.button("btnSocketCancelSend", "groupBox_19", "Cancel Send",
             "on_btnSocketCancelSend_clicked()", bold);
    t.add("line", "QFrame", "groupBox_19");
    t.label("label_88", "groupBox_19", "Response from Internet Host:");
    t.add("plainTextEdit_Socket_Response", "QPlainTextEdit", "groupBox_19",
          with(panelSelectable, "readOnly", true));
    t.status("label_92", "Status:", "groupBox_19", "frmSocketSendStatus", QRect(50, 390, 320, 18),
             "lblSocketSendStatus", "<Send Status>");
    t.label("lblSocketBufferSizeExceeded", "groupBox_19", "Response truncated! (>40K)",
            {{"styleSheet", "background-color: rgb(255, 85, 0);"}, {"alignment", Centred}});
    t.label("label_97", "groupBox_19", "Bytes Sent:");
    t.label("label_SocketRcvd_OpCompleteBytesSent", "groupBox_19", "0",
            {{"frameShape", QFrame::StyledPanel}});
    t.label("label_106", "groupBox_19", "Received:");
    t.label("lblSocketRecvPayloadSize", "groupBox_19", "0", {{"frameShape", QFrame::StyledPanel}});

    t.group("groupBox_4", "tab_Status", "Configuration", QRect(10, 10, 780, 50));
    t.label("label", "groupBox_4", "Configured Modem Speed:");
    t.combo("comboBox_ModemSpeed", "groupBox_4",
            {"Auto", "Dual - 2G Preferred", "Dual - 3G Preferred"});
    t.button("btnSetModemSpeed", "groupBox_4", "Set", "on_btnSetModemSpeed_clicked()");
    t.button("btnGetModemSpeed", "groupBox_4", "Get", "on_btnGetModemSpeed_clicked()");
    t.group("groupBox_16", "tab_Status", "Device Functionality Level", QRect(10, 70, 780, 50));
    t.label("label_82", "groupBox_16", "Set Functionality Level:");
    t.combo("comboBox_FuncLevel", "groupBox_16",
            {"Power Off", "Airplane Mode Enable", "Airplane Mode Disable", "Reboot"});
    t.button("pushButton_SetFuncLevel", "groupBox_16", "Set",
             "on_pushButton_SetFuncLevel_clicked()");
    t.group("groupBox_5", "tab_Status", "Status", QRect(10, 130, 780, 190));
    const QVariantMap unknown{{"text", "Unknown"}, {"readOnly", true}};
    t.label("label_2", "groupBox_5", "Network Registration Status:");
    t.edit("EdtStatusNetworkRegistrationConnected", "groupBox_5", unknown);
    t.button("pushButton_GetTowerConn", "groupBox_5", "Get",
             "on_pushButton_GetTowerConn_clicked()");
    t.label("label_30", "groupBox_5", "Radio Access Technology:");
    t.edit("EdtStatusNetworkRegistrationRAT", "groupBox_5", unknown);
    t.label("label_3", "groupBox_5", "RSSI:");
    t.edit("EdtStatusRSSI", "groupBox_5", unknown);
    t.button("pushButton_GetRSSI", "groupBox_5", "Get", "on_pushButton_GetRSSI_clicked()");
    t.label("label_4", "groupBox_5", "IMEI:");
    t.edit("EdtStatusIMEI", "groupBox_5", unknown);
    t.button("pushButton_GetIMEI", "groupBox_5", "Get", "on_pushButton_GetIMEI_clicked()");
    t.label("label_5", "groupBox_5", "SIM:");
    t.edit("EdtStatusSIM", "groupBox_5", unknown);
    t.button("pushButton_GetSIM", "groupBox_5", "Get", "on_pushButton_GetSIM_clicked()");
    t.label("label_6", "groupBox_5", "Input Voltage:");
    t.edit("EdtStatusVIN", "groupBox_5", unknown);
    t.button("pushButton_GetVin", "groupBox_5", "Get", "on_pushButton_GetVin_clicked()");
    t.group("groupBox_6", "tab_Status", "Revision", QRect(10, 330, 780, 141));
    t.label("label_7", "groupBox_6", "Tarn Firmware Version:");
    t.label("label_TarnFirm", "groupBox_6", "Unknown");
    t.button("pushButton_GetTarnFirm", "groupBox_6", "Get", "on_pushButton_GetTarnFirm_clicked()");
    t.label("label_8", "groupBox_6", "Tarn Hardware Version:");
    t.label("label_TarnHard", "groupBox_6", "Unknown");
    t.button("pushButton_GetTarnHard", "groupBox_6", "Get", "on_pushButton_GetTarnHard_clicked()");
    t.label("label_9", "groupBox_6", "Cinterion Firmware Version:");
    t.label("label_CinterionFirm", "groupBox_6", "Unknown");
    t.button("pushButton_GetCintFirm", "groupBox_6", "Get", "on_pushButton_GetCintFirm_clicked()");
    t.label("label_10", "groupBox_6", "Cinterion Hardware Version:");
    t.label("label_CinterionHard", "groupBox_6", "Unknown");
    t.button("pushButton_GetCintHard", "groupBox_6", "Get", "on_pushButton_GetCintHard_clicked()");
    t.status("label_105", "Status:", "tab_Status", "frame_StatusOperationStatus",
             QRect(50, 480, 221, 18), "label_statusOperationStatus", "<Status Operation Status>");

    t.group("groupBox_17", "tab_Engineering", "AT Command Backdoor", QRect(10, 10, 780, 300));
    t.button("pushButton_SendAtCommand", "groupBox_17", "SEND",
             "on_pushButton_SendAtCommand_clicked()", bold);
    t.label("label_83", "groupBox_17", "AT Command:");
    t.edit("lineEdit_SendAtCommand", "groupBox_17", {{"inputMask", ""}, {"maxLength", 32767}});
    t.group("groupBox_18", "groupBox_17", "AT Command Response", QRect(10, 54, 760, 240));
    t.add("plainTextEdit_AtCommandResponse", "QPlainTextEdit", "groupBox_18");
    t.status("label_102", "Status:", "groupBox_18", "frame_AtCommandStatus",
             QRect(50, 216, 221, 18), "label_AtCommandStatus", "<AT Command Status>");
    t.group("grpSetMaxMessageSize", "tab_Engineering", "Protocol Config", QRect(10, 320, 780, 60));
    t.label("label_34", "grpSetMaxMessageSize", "Set Max Message Size:");
    t.edit("txtSetMaxMessageSize", "grpSetMaxMessageSize",
           {{"inputMask", "999"}, {"text", "64"}, {"maxLength", 3}});
    t.button("btnSetMaxMessageSize", "grpSetMaxMessageSize", "Set",
             "on_btnSetMaxMessageSize_clicked()");

    t.group("groupBox_21", "tab_Debug", "UART Message Generation", QRect(10, 6, 780, 230));
    t.label("label_93", "groupBox_21",
            "Input command data in hexadecimal bytes separated by spaces:");
    t.edit("lineEdit_CrcCalc", "groupBox_21");
    t.button("btnDebugGenerateMessage", "groupBox_21", "Generate Message",
             "on_btnDebugGenerateMessage_clicked()");
    const QVariantMap value{{"text", ""}, {"@bold", true}, {"textInteractionFlags", Selectable}};
    const char *const fields[][2] = {{"label_17", "Command Id:"},
                                     {"label_25", "Seq. Nr.:"},
                                     {"label_26", "Status:"},
                                     {"label_27", "Payload:"},
                                     {"label_28", "CRC:"}};
    const char *const values[] = {"lblDebugGenMsgCmdId", "lblDebugGenMsgSeqNr",
                                  "lblDebugGenMsgStatus", "lblDebugGenMsgPayload",
                                  "lblDebugGenMsgCrc"};
    for (int i = 0; i < 5; ++i) {
        t.label(fields[i][0], "groupBox_21", fields[i][1]);
        t.add(values[i], "QLabel", "groupBox_21", value);
    }
    t.label("label_14", "groupBox_21", "Generated Message:");
    t.add("lblDebugGeneratedMessage", "QLabel", "groupBox_21",
          with(value, "frameShape", QFrame::StyledPanel));
    t.group("groupBox_12", "tab_Debug", "Last Messages Sent", QRect(10, 250, 780, 180));
    t.add("edtDebugLastMessages", "QPlainTextEdit", "groupBox_12",
          {{"readOnly", true},
           {"lineWrapMode", QPlainTextEdit::NoWrap},
           {"tabChangesFocus", true},
           {"@family", "Courier New"}});
}

void dialogRows(Table &t) {
    t.form = AboutForm;
    t.add("dlgAbout", "QDialog", "",
          {{"size", QSize(631, 345)},
           {"locale", QLocale(QLocale::English, QLocale::Canada)},
           {"modal", true},
           {"windowTitle", "About KOVA Test Tool"}});
    t.add("logo", "QLabel", "dlgAbout",
          {{"geometry", QRect(0, 0, 630, 150)},
           {"text", ""},
           {"scaledContents", true},
           {"@pixmapSize", QSize(630, 150)}});
    t.add(
        "ptedtAboutText", "QPlainTextEdit", "dlgAbout",
        {{"geometry", QRect(2, 150, 628, 160)},
         {"frameShape", QFrame::NoFrame},
         {"frameShadow", QFrame::Plain},
         {"lineWidth", 0},
         {"readOnly", true},
         {"tabChangesFocus", true},
         {"backgroundVisible", true},
         {"@aboutText",
          "KOVA Test Tool v{VERSION_STR}\n\nApplication limitations:\n"
          "  - Commands sent when serial is not connected will be sent when serial is connected.\n"
          "  - Textboxes do not have length or format validation. For proper functionnality, refer "
          "to "
          "documentation.\n"
          "  - Messages exceeding 255 characters are not currently handled.\n"
          "  - Reception of a Socket Payload overwrites the previously received Socket Payload. "
          "\t\n\n"}});
    t.add("buttonBox", "QDialogButtonBox", "dlgAbout",
          {{"geometry", QRect(540, 310, 81, 32)},
           {"orientation", Qt::Horizontal},
           {"standardButtons", int(QDialogButtonBox::Close)}});

    t.form = SerialForm;
    t.add("DlgSerialPort", "QDialog", "",
          {{"size", QSize(320, 80)},
           {"@fixedSizePolicy", true},
           {"modal", true},
           {"windowTitle", "Serial Port Connect"}});
    t.label("lblSerialPortSelection", "DlgSerialPort", "Connect to Serial Port:");
    t.add(
        "cmbSerialPort", "QComboBox", "DlgSerialPort",
        {{"maxVisibleItems", 12}, {"insertPolicy", QComboBox::InsertAlphabetically}, {"count", 0}});
    t.add("btnDialog", "QDialogButtonBox", "DlgSerialPort",
          {{"orientation", Qt::Horizontal},
           {"standardButtons", int(QDialogButtonBox::Ok | QDialogButtonBox::Cancel)}});

    t.form = FwUpdateForm;
    t.add("Dlgfwupdate", "QDialog", "",
          {{"size", QSize(642, 605)}, {"modal", true}, {"windowTitle", "Batch Firmware Update"}});
    t.add("lblHelp", "QLabel", "Dlgfwupdate",
          {{"wordWrap", true},
           {"@richText",
            "This dialog allows you to batch FW update your Cellular Modules.\n"
            "It uses the module currently connected to send SMS messages to the Cellular Modules "
            "to be updated.\n"
            "You can also use this dialog to update the connected Cellular Module."}});
    t.add("frmBody", "QFrame", "Dlgfwupdate");
    t.label("lblStaticMSISDN", "frmBody", "List of MSISDN:");
    t.add("txtListMSISDN", "QPlainTextEdit", "frmBody",
          {{"tabChangesFocus", true},
           {"toolTip",
            "List of mobile numbers that will be updated.\nList can be separated by any delimiter "
            "(e.g.: "
            "space, comma, semi-colon, carriage-return, etc.)"}});
    t.label("lblStaticFwSelection", "frmBody", "FW Selection:");
    t.combo("cmbFwSelection", "frmBody", {}, "on_cmbFwSelection_currentIndexChanged(int)");
    t.button("btnRefreshFwSelection", "frmBody", "Refresh", "on_btnRefreshFwSelection_clicked()");
    t.label("lblLoading", "frmBody", "");
    t.label(
        "lblFwSelectionWarning", "frmBody",
        "WARNING: Make sure to select a FW for the correct HW flavour of the module(s) to update.",
        {{"styleSheet", "font: 75 italic 8pt \"MS Shell Dlg 2\";"}, {"@italic", true}});
    t.label("label_85", "frmBody", "APN:");
    t.edit("edtApn", "frmBody");
    t.label("label_86", "frmBody", "User:");
    t.edit("edtUser", "frmBody");
    t.label("label_87", "frmBody", "Pass:");
    t.edit("edtPass", "frmBody", {{"echoMode", QLineEdit::Password}});
    t.button("btnStartUpdate", "frmBody", "Start", "on_btnStartUpdate_clicked()");
    t.button("btnStopUpdate", "frmBody", "Stop", "on_btnStopUpdate_clicked()");
    t.add("line", "QFrame", "frmBody");
    t.label("lblStaticCurrentOperation", "frmBody", "Current Operation:");
    t.label("lblCurrentOperation", "frmBody", "Idle", {{"textFormat", Qt::PlainText}});
    t.add("prgUpdate", "QProgressBar", "frmBody", {{"textVisible", true}});
    t.add("txtUpdateLog", "QPlainTextEdit", "frmBody", {{"readOnly", true}});
    t.add("dlgButtons", "QDialogButtonBox", "Dlgfwupdate",
          {{"standardButtons", int(QDialogButtonBox::Close)}});
}

const QVector<Row> &table() {
    static const QVector<Row> rows = [] {
        Table t;
        mainWindowRows(t);
        dialogRows(t);
        return t.rows;
    }();
    return rows;
}

// Qt's own helpers (tab bar, viewports, spin box editors) and what they hold. The tab widget's
// stack is one of them too, but it holds the pages.
bool isInternal(const QObject *object, const QObject *root) {
    for (const QObject *o = object; o && o != root; o = o->parent()) {
        if (o->objectName().startsWith("qt_") && !qobject_cast<const QStackedWidget *>(o))
            return true;
    }
    return false;
}

// The name that identifies a parent: Qt's own helpers (tab stacks, viewports) are skipped.
QByteArray parentName(const QObject *object) {
    for (const QObject *p = object->parent(); p; p = p->parent()) {
        if (!p->objectName().startsWith("qt_"))
            return p->objectName().toLatin1();
    }
    return {};
}

QStringList actionNames(const QList<QAction *> &actions) {
    QStringList names;
    for (const QAction *a : actions)
        names << (a->isSeparator() ? QString("-")
                  : a->menu()      ? a->menu()->objectName()
                                   : a->objectName());
    return names;
}

// Returns why the object does not show the expected value for key, or an empty string.
QString mismatch(QObject *object, const QString &key, const QVariant &expected) {
    QVariant actual;
    QWidget *widget = qobject_cast<QWidget *>(object);
    if (key == "@items") {
        auto *combo = qobject_cast<QComboBox *>(object);
        QStringList items;
        for (int i = 0; combo && i < combo->count(); ++i)
            items << combo->itemText(i);
        actual = items;
    } else if (key == "@actions") {
        actual = widget ? actionNames(widget->actions()) : QStringList();
    } else if (key == "@tabIndex" || key == "@tabTitle") {
        QWidget *stack = widget ? widget->parentWidget() : nullptr;
        auto *tabs = stack ? qobject_cast<QTabWidget *>(stack->parentWidget()) : nullptr;
        const int index = tabs ? tabs->indexOf(widget) : -1;
        actual = key == "@tabIndex" ? QVariant(index)
                                    : QVariant(tabs ? tabs->tabText(index) : QString());
    } else if (key == "@bold") {
        actual = widget->font().bold();
    } else if (key == "@italic") {
        actual = widget->font().italic();
    } else if (key == "@pointSize") {
        actual = widget->font().pointSize();
    } else if (key == "@family") {
        actual = widget->font().family();
    } else if (key == "@y") {
        actual = widget->y();
    } else if (key == "@hasIcon") {
        actual = !widget->windowIcon().pixmap(32, 32).isNull();
    } else if (key == "@pixmapSize") {
        actual = widget->property("pixmap").value<QPixmap>().size();
    } else if (key == "@fixedSizePolicy") {
        const QSizePolicy policy = widget->sizePolicy();
        actual = policy.horizontalPolicy() == QSizePolicy::Fixed &&
                 policy.verticalPolicy() == QSizePolicy::Fixed;
    } else if (key == "@shownTitle") {
        // "&&" in a title is a literal ampersand, not a mnemonic.
        QString shown = object->property("title").toString();
        actual = shown.replace("&&", "&");
    } else if (key == "@richText") {
        auto *label = qobject_cast<QLabel *>(object);
        if (!label || label->textFormat() != Qt::RichText)
            return "not rich text";
        QTextDocument document;
        document.setHtml(label->text());
        actual = document.toPlainText();
    } else if (key == "@aboutText") {
        // The listed text, then one line of our own ending in a line feed.
        const QString text = object->property("plainText").toString();
        const QString rest = text.mid(expected.toString().size());
        if (!text.startsWith(expected.toString()))
            return QString("text starts %1").arg(text.left(80));
        if (rest.count('\n') != 1 || !rest.endsWith('\n') || rest.size() < 2)
            return QString("after the listed text: \"%1\", not one line").arg(rest);
        return {};
    } else {
        actual = object->property(key.toLatin1());
        if (!actual.isValid())
            return "no such property";
        if (actual.userType() == QMetaType::QKeySequence)
            actual = actual.value<QKeySequence>().toString(QKeySequence::PortableText);
    }
    if (actual == expected)
        return {};
    QString shown;
    QDebug(&shown) << actual;
    return "is " + shown;
}

// What connect-by-name does for slot "on_<object>_<signal>(args)": find a signal of that name whose
// arguments the slot can take.
bool connectsByName(const QObject *object, const QByteArray &slot) {
    const QByteArray prefix = "on_" + object->objectName().toLatin1() + '_';
    if (!slot.startsWith(prefix))
        return false;
    const QByteArray normalized = QMetaObject::normalizedSignature(slot.constData());
    const QByteArray signal = slot.mid(prefix.size(), slot.indexOf('(') - prefix.size());
    const QMetaObject *meta = object->metaObject();
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() == QMetaMethod::Signal && method.name() == signal &&
            QMetaObject::checkConnectArgs(method.methodSignature().constData(),
                                          normalized.constData()))
            return true;
    }
    return false;
}

QList<QWidget *> namedChildren(QWidget *parent) {
    QList<QWidget *> children;
    for (QObject *o : parent->children()) {
        auto *w = qobject_cast<QWidget *>(o);
        if (w && !w->isWindow() && !w->objectName().isEmpty() && !w->objectName().startsWith("qt_"))
            children << w;
    }
    return children;
}

// Brackets every text of the main window's context, so that a text not passed through tr(), or
// passed in another context, stands out.
class MarkingTranslator : public QTranslator {
  public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *, int) const override {
        if (qstrcmp(context, "MainWindow") != 0)
            return {};
        return '[' + QString::fromUtf8(source) + ']';
    }
};

int textWidth(const QWidget *w, const QString &text) {
    return w->fontMetrics().horizontalAdvance(text);
}

// Why a widget's own text does not fit into it, or an empty string.
QString clipped(QWidget *w) {
    if (auto *label = qobject_cast<QLabel *>(w)) {
        if (label->text().isEmpty() || label->hasScaledContents())
            return {};
        const QSize hint = label->sizeHint();
        if (label->wordWrap()
                ? label->heightForWidth(label->width()) > label->height()
                : hint.width() > label->width() || label->fontMetrics().height() > label->height())
            return QString("needs %1x%2").arg(hint.width()).arg(hint.height());
    } else if (auto *button = qobject_cast<QPushButton *>(w)) {
        const int margin = w->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w);
        if (textWidth(w, button->text()) + 2 * margin > button->width())
            return "text too wide";
    } else if (auto *check = qobject_cast<QCheckBox *>(w)) {
        if (check->sizeHint().width() > check->width())
            return "text too wide";
    } else if (auto *group = qobject_cast<QGroupBox *>(w)) {
        if (textWidth(w, group->title()) + 16 > group->width())
            return "title too wide";
    } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
        if (combo->count() && combo->sizeHint().width() > combo->width())
            return QString("items need %1").arg(combo->sizeHint().width());
    } else if (auto *spin = qobject_cast<QAbstractSpinBox *>(w)) {
        if (spin->sizeHint().width() > spin->width())
            return QString("needs %1").arg(spin->sizeHint().width());
    } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        if (textWidth(w, edit->displayText()) + 8 > edit->width())
            return "text too wide";
    } else if (auto *text = qobject_cast<QPlainTextEdit *>(w)) {
        if (text->verticalScrollBar()->maximum() > 0 || text->horizontalScrollBar()->maximum() > 0)
            return "text scrolls";
    } else if (auto *tabs = qobject_cast<QTabWidget *>(w)) {
        if (tabs->tabBar()->sizeHint().width() > tabs->width())
            return "tab titles too wide";
    }
    return {};
}

}  // namespace

class TestForms : public QObject {
    Q_OBJECT

    QMainWindow mainWindow;
    QDialog about, serial, fwUpdate;
    Ui::MainWindow mainUi;
    Ui::dlgAbout aboutUi;
    Ui::DlgSerialPort serialUi;
    Ui::Dlgfwupdate fwUpdateUi;

    QWidget *root(Form form) {
        QWidget *const roots[FormCount] = {&mainWindow, &about, &serial, &fwUpdate};
        return roots[form];
    }

  private slots:
    void initTestCase() {
        mainUi.setupUi(&mainWindow);
        aboutUi.setupUi(&about);
        serialUi.setupUi(&serial);
        fwUpdateUi.setupUi(&fwUpdate);
        // Shown, so that style sheets, fonts and scroll bars are resolved as a user sees them.
        for (int f = 0; f < FormCount; ++f)
            root(Form(f))->show();
        QApplication::processEvents();
    }

    void vocabulary_data() {
        QTest::addColumn<int>("form");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("parent");
        QTest::addColumn<QVariantMap>("props");
        QTest::addColumn<QByteArray>("slot");
        for (const Row &r : table()) {
            QTest::newRow(QByteArray(formNames[r.form]) + '/' + r.name)
                << int(r.form) << r.type << r.name << r.parent << r.props << r.slot;
        }
    }

    void vocabulary() {
        QFETCH(int, form);
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, parent);
        QFETCH(QVariantMap, props);
        QFETCH(QByteArray, slot);

        QWidget *top = root(Form(form));
        QList<QObject *> found = top->findChildren<QObject *>(QString(name));
        if (top->objectName() == name)
            found.prepend(top);
        if (type.isEmpty()) {
            QVERIFY2(found.isEmpty(), "the form has an object of this name");
            return;
        }
        QCOMPARE(found.size(), 1);
        QObject *object = found.first();
        QCOMPARE(QByteArray(object->metaObject()->className()), type);
        QCOMPARE(parentName(object), parent);
        for (auto it = props.cbegin(); it != props.cend(); ++it) {
            const QString why = mismatch(object, it.key(), it.value());
            QVERIFY2(why.isEmpty(), qPrintable(it.key() + ": " + why));
        }
        if (!slot.isEmpty())
            QVERIFY2(connectsByName(object, slot), slot.constData());
    }

    // The table is the whole vocabulary: a form holds no named object that it does not list.
    void everyObjectIsListed() {
        for (int f = 0; f < FormCount; ++f) {
            QSet<QString> listed;
            for (const Row &r : table()) {
                if (r.form == f && !r.type.isEmpty())
                    listed.insert(QString(r.name));
            }
            QStringList unlisted;
            QList<QObject *> objects = root(Form(f))->findChildren<QObject *>();
            for (QObject *o : objects) {
                const QString name = o->objectName();
                if ((o->isWidgetType() || qobject_cast<QAction *>(o)) && !name.isEmpty() &&
                    !name.startsWith("qt_") && !isInternal(o, root(Form(f))) &&
                    !listed.contains(name))
                    unlisted << name;
            }
            QVERIFY2(unlisted.isEmpty(),
                     qPrintable(QString(formNames[f]) + ": " + unlisted.join(", ")));
        }
    }

    // Fixed positions need one known text size; the only larger text is the one the forms list.
    void oneFontSize() {
        QStringList wrong;
        for (int f = 0; f < FormCount; ++f) {
            const QList<QWidget *> widgets = root(Form(f))->findChildren<QWidget *>();
            for (QWidget *w : widgets) {
                if (w->isWindow())
                    continue;
                const int expected = w == mainUi.btn_GPIO_GetAll ? 11 : 8;
                if (w->font().pointSize() != expected)
                    wrong << QString("%1 (%2 pt)").arg(w->objectName()).arg(w->font().pointSize());
            }
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(", ")));
    }

    void layoutIsTidy_data() {
        QTest::addColumn<int>("form");
        for (int f = 0; f < FormCount; ++f)
            QTest::newRow(formNames[f]) << f;
    }

    // Every text fits its widget; siblings do not overlap; what the forms place themselves lies
    // inside its parent (the geometries the table lists are checked as they are, and the serial
    // field waits out of sight until the window moves it into the status bar).
    void layoutIsTidy() {
        QFETCH(int, form);
        QSet<QString> given{"frmSerialStatus"};
        for (const Row &r : table()) {
            if (r.form == form && r.props.contains("geometry"))
                given.insert(QString(r.name));
        }
        if (form == MainForm) {
            // A tab page takes its size when it is first shown.
            for (int i = 0; i < mainUi.tabWidget->count(); ++i) {
                mainUi.tabWidget->setCurrentIndex(i);
                QApplication::processEvents();
            }
        }
        QStringList faults;
        QList<QWidget *> containers = root(Form(form))->findChildren<QWidget *>();
        containers.prepend(root(Form(form)));
        for (QWidget *container : containers) {
            if (qobject_cast<QStackedWidget *>(container) ||
                isInternal(container, root(Form(form))))
                continue;  // tab pages share their area by design; Qt places its own helpers
            const QList<QWidget *> children = namedChildren(container);
            for (int i = 0; i < children.size(); ++i) {
                QWidget *w = children[i];
                const QString why = clipped(w);
                if (!why.isEmpty())
                    faults << w->objectName() + ": " + why;
                if (!given.contains(w->objectName()) && !container->rect().contains(w->geometry()))
                    faults << w->objectName() + ": outside " + container->objectName();
                for (int j = i + 1; j < children.size(); ++j) {
                    if (w->geometry().intersects(children[j]->geometry()))
                        faults << w->objectName() + " overlaps " + children[j]->objectName();
                }
            }
            // Buttons that a button box makes have no names; their texts must fit all the same.
            if (auto *box = qobject_cast<QDialogButtonBox *>(container)) {
                for (QAbstractButton *b : box->buttons()) {
                    const QString why = clipped(b);
                    if (!why.isEmpty())
                        faults << box->objectName() + "/" + b->text() + ": " + why;
                }
            }
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("\n")));
    }

    void dialogButtons_data() {
        QTest::addColumn<int>("form");
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("result");
        QTest::newRow("about/Close")
            << int(AboutForm) << int(QDialogButtonBox::Close) << int(QDialog::Rejected);
        QTest::newRow("serial/Ok")
            << int(SerialForm) << int(QDialogButtonBox::Ok) << int(QDialog::Accepted);
        QTest::newRow("serial/Cancel")
            << int(SerialForm) << int(QDialogButtonBox::Cancel) << int(QDialog::Rejected);
        QTest::newRow("fwupdate/Close")
            << int(FwUpdateForm) << int(QDialogButtonBox::Close) << int(QDialog::Rejected);
    }

    // The dialog forms wire their own button boxes: a press closes the dialog with its result.
    void dialogButtons() {
        QFETCH(int, form);
        QFETCH(int, button);
        QFETCH(int, result);
        QDialog dialog;
        Ui::dlgAbout aboutForm;
        Ui::DlgSerialPort serialForm;
        Ui::Dlgfwupdate fwUpdateForm;
        if (form == AboutForm)
            aboutForm.setupUi(&dialog);
        else if (form == SerialForm)
            serialForm.setupUi(&dialog);
        else
            fwUpdateForm.setupUi(&dialog);
        dialog.setResult(-1);
        dialog.show();
        auto *box = dialog.findChild<QDialogButtonBox *>();
        QVERIFY(box);
        QPushButton *pressed = box->button(QDialogButtonBox::StandardButton(button));
        QVERIFY(pressed);
        pressed->click();
        QCOMPARE(dialog.result(), result);
        QVERIFY(!dialog.isVisible());
    }

    void mainTextsAreTranslatable() {
        MarkingTranslator marker;
        QCoreApplication::installTranslator(&marker);
        QMainWindow window;
        Ui::MainWindow form;
        form.setupUi(&window);
        QCoreApplication::removeTranslator(&marker);

        QStringList untranslated;
        auto check = [&](const QObject *o, const QString &text) {
            if (!text.isEmpty() && !(text.startsWith('[') && text.endsWith(']')))
                untranslated << o->objectName() + ": " + text;
        };
        check(&window, window.windowTitle());
        const QList<QWidget *> widgets = window.findChildren<QWidget *>();
        for (QWidget *w : widgets) {
            if (isInternal(w, &window))
                continue;
            if (w->styleSheet().startsWith('['))
                untranslated << w->objectName() + ": style sheet went through tr()";
            if (auto *label = qobject_cast<QLabel *>(w))
                check(w, label->text());
            else if (auto *button = qobject_cast<QAbstractButton *>(w))
                check(w, button->text());
            else if (auto *group = qobject_cast<QGroupBox *>(w))
                check(w, group->title());
            else if (auto *menu = qobject_cast<QMenu *>(w))
                check(w, menu->title());
            else if (auto *edit = qobject_cast<QLineEdit *>(w); edit && edit->inputMask().isEmpty())
                check(w, edit->text());  // a mask would strip the brackets
            else if (auto *combo = qobject_cast<QComboBox *>(w)) {
                for (int i = 0; i < combo->count(); ++i)
                    check(w, combo->itemText(i));
            } else if (auto *tabs = qobject_cast<QTabWidget *>(w)) {
                for (int i = 0; i < tabs->count(); ++i)
                    check(tabs->widget(i), tabs->tabText(i));
            }
        }
        const QList<QAction *> actions = window.findChildren<QAction *>();
        for (QAction *a : actions) {
            if (!a->objectName().isEmpty())
                check(a, a->text());
        }
        check(form.mnuSerialPortConnect, form.mnuSerialPortConnect->toolTip());
        QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join("\n")));
    }

    void icon() {
        const QPixmap icon(":/Resources/tarnIcon.png");
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.width(), icon.height());
        QVERIFY(icon.hasAlphaChannel());
    }

    // The logo is drawn at the size the about box shows it, so it is never stretched.
    void logo() {
        const QPixmap logo(":/Resources/logo_tarn_wireless.png");
        QCOMPARE(logo.size(), QSize(630, 150));
    }

    void loadingAnimationPlays() {
        QMovie movie(":/Resources/load_animated.gif");
        QVERIFY(movie.isValid());
        QCOMPARE(movie.loopCount(), -1);
        QVERIFY(movie.frameCount() > 1);
        QVector<QImage> frames;
        for (int i = 0; i < movie.frameCount(); ++i) {
            QVERIFY(movie.jumpToFrame(i));
            QVERIFY(movie.nextFrameDelay() > 0);
            frames << movie.currentImage();
        }
        QCOMPARE(frames.first().size(), QSize(22, 22));
        QVERIFY(frames.first().hasAlphaChannel());
        QCOMPARE(frames.first().pixelColor(0, 0).alpha(), 0);
        for (int i = 1; i < frames.size(); ++i)
            QVERIFY2(frames[i] != frames[i - 1], qPrintable(QString("frame %1 repeats").arg(i)));
    }
};

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
