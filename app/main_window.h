// The tool's one window: owns the serial worker and the dialogs, and presents the link record.
// The slots and refresh block of each tab live in app/<tab>_tab.cpp, the shell's own beside
// them.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QMainWindow>
#include <QSignalMapper>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <cstdint>

#include "comm_processor.h"
#include "control_sync.h"
#include "dlg_serial_port.h"
#include "dlgfwupdate.h"
#include "link_state.h"
#include "sent_frames_log.h"
#include "traffic_statistics.h"

class QAbstractButton;
class QLabel;
class TrafficCapture;

// A GPIO group's mode as the group mode combo boxes name it.
enum GPIO_Group_Mode_t { MODE_0 = 0, MODE_1 = 1 };

namespace Ui {
class MainWindow;
class dlgAbout;
}  // namespace Ui

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Offers a port the host does not enumerate (the virtual module) in the port dialog.
    void offerExtraPort(const QString &name);
    // The serial worker, for tests and tools that look at the line itself.
    CommProcessor &serialWorker() { return commProcessor; }
    // The update server the batch update asks for its firmware list, for this run.
    void setUpdateServerHost(const QString &host) { fwUpdateDialog.setUpdateServerHost(host); }
    // A note in the status bar for the whole run, beside the serial field: passing messages
    // neither hide nor replace it.
    void showStandingNote(const QString &text);

    static const char *const VersionString;

    // Slots that connect-by-name does not connect: they are connected by hand, or never.
    static QStringList slotsNotConnectedByName();

  public slots:
    // In the order of the meta-object's slot indexes; each tab's slots live in its file.
    void openSerialPort(QString comPortStr);
    void closeSerialPort();
    void updateLastCommandSent(QByteArray messageBytes);
    void on_pushButton_GetTowerConn_clicked();
    void on_pushButton_GetRSSI_clicked();
    void on_pushButton_GetIMEI_clicked();
    void on_pushButton_GetSIM_clicked();
    void on_pushButton_GetVin_clicked();
    void on_pushButton_GetTarnFirm_clicked();
    void on_pushButton_GetTarnHard_clicked();
    void on_pushButton_GetCintFirm_clicked();
    void on_pushButton_GetCintHard_clicked();
    void on_pushButton_SMSSend_clicked();
    void on_pushButton_MailSend_clicked();
    void on_pushButton_MailSendUrl_clicked();
    // Hands the whole mail but its send to the link; the buttons add the send.
    void send_Mail_Information();
    void update_UI(uchar cmdId, bool isReply);
    GPIO_Group_Mode_t get_gpio_group(QString groupStr);
    void on_pushButton_I2C_Read_clicked();
    void on_pushButton_I2C_Write_clicked();
    void on_pushButton_SetFuncLevel_clicked();
    void on_pushButton_SendAtCommand_clicked();
    void on_pushButton_ClearStatusBar_clicked();
    void on_pushButton_SocketConfigApn_clicked();
    void on_pushButton_SocketSend_clicked();
    void on_btnSocketCancelSend_clicked();
    void on_btn_GPIOA_Set_clicked();
    void on_btn_GPIO0_Set_clicked();
    void on_btn_GPIO1_Set_clicked();
    void on_btn_GPIO2_Set_clicked();
    void on_btn_GPIO3_Set_clicked();
    void on_btn_GPIO4_Set_clicked();
    void on_btn_GPIO5_Set_clicked();
    void on_btn_GPIO6_Set_clicked();
    void on_btn_GPIO7_Set_clicked();
    void on_btn_GPIO8_Set_clicked();
    void on_btn_GPIO9_Set_clicked();
    void on_btn_GPIO10_Set_clicked();
    void on_btn_GPIO11_Set_clicked();
    void on_btn_GPIO0_Get_clicked();
    void on_btn_GPIO1_Get_clicked();
    void on_btn_GPIO2_Get_clicked();
    void on_btn_GPIO3_Get_clicked();
    void on_btn_GPIO4_Get_clicked();
    void on_btn_GPIO5_Get_clicked();
    void on_btn_GPIO6_Get_clicked();
    void on_btn_GPIO7_Get_clicked();
    void on_btn_GPIO8_Get_clicked();
    void on_btn_GPIO9_Get_clicked();
    void on_btn_GPIO10_Get_clicked();
    void on_btn_GPIO11_Get_clicked();
    void on_btn_GPIO_GetAll_clicked();
    void on_buttonBox_clicked(QAbstractButton *button);
    void on_btn_GPIOA_Get_clicked();
    void on_btn_GPIOB_Set_clicked();
    void on_btn_GPIOB_Get_clicked();
    void on_btn_GPIOC_Set_clicked();
    void on_btn_GPIOC_Get_clicked();
    void on_btn_GPIOD_Set_clicked();
    void on_btn_GPIOD_Get_clicked();
    void on_btnGetSmsReceptionEnabled_clicked();
    void on_btnControlSmsReception_clicked();
    void on_pushButton_SocketConfigGetApn_clicked();
    void on_btnSetModemSpeed_clicked();
    void on_btnGetModemSpeed_clicked();
    void on_mnuFwUpdate_show();
    void on_mnuAbout_show();
    void on_dlgSerialPort_accepted();
    void updateSerialPortMenuLastUsed();
    void on_btnDebugGenerateMessage_clicked();
    void on_btnSetMaxMessageSize_clicked();
    void on_btn_CallHandling_Dial_clicked();
    void on_btn_CallHandling_AnswerCall_clicked();
    void on_btn_CallHandling_HangUp_clicked();
    void on_btn_I2S_GetValuesFirst_clicked();
    void on_chk_I2S_MicMute_clicked();
    void on_btn_I2S_MicGainSet_clicked();
    void on_btn_I2S_SpkrGainSet_clicked();
    void on_btn_I2S_RingToneCgfSet_clicked();
    void onSerialPortLost(QString errorText);

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    // Closes the port on the worker's thread; `userLeaves` ends a running batch too.
    void closePort(bool userLeaves);
    void closePortAndWait();
    void onSerialPortReconnected(const QString &port);
    // The serial field, the Disconnect entry and the batch, from the worker's port as it is.
    void showPortState();
    void showTrafficInspector();
    void refreshTrafficStatistics();
    void onReconnectFailed(const QString &reason);
    void collectGpioWidgets();
    // Whether the link queued a request (a request function's result); when it did not, the
    // user is told why in a box titled by the feature.
    bool queued(int result, const QString &feature);
    void setGpioGroup(int group);
    void getGpioGroup(int group);
    void setGpioPin(int pin);
    void getGpioPin(int pin);

    // Whether a mail's request may go: a refusal reason is shown in a box.
    bool mailRequestFits(const QString &reason);

    // The refresh blocks, in the order update_UI runs them.
    void refreshGpioPins(const LinkSnapshot &state);
    void refreshGpioStatus(const LinkSnapshot &state);
    void refreshCalls(const LinkSnapshot &state);
    void refreshAudio(const LinkSnapshot &state);
    void refreshRevisions(const LinkSnapshot &state);
    void refreshStatusOperation(const LinkSnapshot &state);
    void refreshNetworkData(const LinkSnapshot &state);
    void refreshSmsSending(const LinkSnapshot &state);
    static QString smsBusyReason();
    void refreshSmsReception(const LinkSnapshot &state);
    void refreshReceivedSms(const LinkSnapshot &state);
    void refreshMail(const LinkSnapshot &state);
    void refreshI2c(const LinkSnapshot &state);
    void refreshSocket(const LinkSnapshot &state);
    void refreshSocketResult(uint8_t status);
    void showSocketResponse(const LinkSnapshot &state);
    void refreshAtCommand(const LinkSnapshot &state);
    void reportRefusals(const LinkSnapshot &state);

    Ui::MainWindow *ui;
    Ui::dlgAbout *aboutUi;
    QDialog aboutDialog;
    DlgSerialPort serialPortDialog;
    Dlgfwupdate fwUpdateDialog;
    CommProcessor commProcessor;
    // Per GPIO group and pin row: the Get button, the "Read:" label, the read value, the
    // "Set Value:" label, the value combo box and the Set button; groups B to D use two rows.
    std::array<std::array<std::array<QWidget *, 6>, 6>, 4> gpioWidgets{};
    std::array<QLabel *, GPIO_PIN_COUNT> gpioModeLabels_{};
    signed char lastCallState;
    QSignalMapper serialPortMapper;

    SentFramesLog sentFramesLog_;
    ControlSync controlSync_;
    // Per command, the module's refusals already reported to the user.
    std::array<uint32_t, 256> refusalsShown_{};
    // The port an open request is on its way to the worker for; a second request meanwhile
    // would be lost.
    QString openingPort_;
    // The last open the user asked for failed, and nothing was opened or closed since.
    bool openFailed_ = false;
    // The SMS tab's own last SMS and its outcome: the batch's SMS never show on the tab.
    struct OwnSms {
        LinkTransferId transfer = 0;
        uint8_t status = CMD_STATUS_IDLE;
    };
    OwnSms ownSms_;
    bool batchRunning_ = false;
    // The mail transfer send_Mail_Information began; 0 when it queued nothing.
    LinkTransferId mailTransfer_ = 0;
    // The last socket transfer, which Cancel takes back while its start frame waits.
    LinkTransferId socketTransfer_ = 0;
    // How much of which response the response field shows.
    struct ResponseShown {
        uint32_t generation = 0;
        uint32_t length = 0;
        bool endedAtNul = false;
    };
    ResponseShown socketResponseShown_;
    // Every frame both ways since start, for the inspector windows opened now or later.
    TrafficCapture *trafficCapture_;
    // The Debug tab's statistics line, redrawn once a second with the frame rate since.
    QTimer trafficStatisticsTimer_;
    FrameRate frameRate_;
};
