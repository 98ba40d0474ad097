// The tool's one window: owns the serial worker and the dialogs, and presents the link record.
// Slots of each feature live in features/<feature>.cpp, the shell's own in app/.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QMainWindow>
#include <QSet>
#include <QSignalMapper>
#include <QString>

#include "comm_processor.h"
#include "dlg_serial_port.h"
#include "sent_frames_log.h"

class QAbstractButton;
struct LinkState;

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
    void refreshAtCommand(const LinkState &state);
    void reportNaks(const QList<uint8_t> &rejected);

    Ui::MainWindow *ui;
    Ui::dlgAbout *aboutUi;
    QDialog aboutDialog;
    DlgSerialPort serialPortDialog;
    CommProcessor commProcessor;
    signed char lastCallState;
    QSignalMapper serialPortMapper;

    SentFramesLog sentFramesLog_;
    // NAK warnings on screen: a refresh in their nested event loop must not show them again.
    QSet<uint8_t> nakBoxesOpen_;
};
