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
#include <array>
#include <cstdint>

#include "comm_processor.h"
#include "control_sync.h"
#include "dlg_serial_port.h"
#include "sent_frames_log.h"

class QAbstractButton;
struct LinkSnapshot;

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

    static const char *const VersionString;

    // Slots that connect-by-name does not connect: they are connected by hand, or never.
    static QStringList slotsNotConnectedByName();

  public slots:
    void openSerialPort(QString comPortStr);
    void closeSerialPort();
    void updateLastCommandSent(QByteArray messageBytes);
    void update_UI(uchar cmdId, bool isReply);
    void on_pushButton_SendAtCommand_clicked();
    void on_pushButton_ClearStatusBar_clicked();
    void on_buttonBox_clicked(QAbstractButton *button);
    void on_mnuFwUpdate_show();
    void on_mnuAbout_show();
    void on_dlgSerialPort_accepted();
    void updateSerialPortMenuLastUsed();
    void on_btnDebugGenerateMessage_clicked();
    void on_btnSetMaxMessageSize_clicked();
    void onSerialPortLost(QString errorText);

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void closePortAndWait();
    void refreshAtCommand(const LinkSnapshot &state);
    void reportRefusals(const LinkSnapshot &state);

    Ui::MainWindow *ui;
    Ui::dlgAbout *aboutUi;
    QDialog aboutDialog;
    DlgSerialPort serialPortDialog;
    CommProcessor commProcessor;
    signed char lastCallState;
    QSignalMapper serialPortMapper;

    SentFramesLog sentFramesLog_;
    ControlSync controlSync_;
    // Per command, the module's refusals already reported to the user.
    std::array<uint32_t, 256> refusalsShown_{};
    // The port an open request is on its way to the worker for; a second request meanwhile
    // would be lost.
    QString openingPort_;
};
