// Construction and destruction of the window: the order matters, see the comments.
#include "main_window.h"

#include <QLabel>
#include <QStatusBar>

#include "frame_codec.h"
#include "kova_version.h"
#include "link_state.h"
#include "module3g.h"
#include "setup_quietly.h"
#include "traffic_capture.h"
#include "ui_dlgabout.h"
#include "ui_mainwindow.h"

const char *const MainWindow::VersionString = KOVA_VERSION;

namespace {

// Connect-by-name says at every start that it found no signal for these; any other slot it
// cannot connect is a misspelt name and is reported.
const char *const kSlotsNotConnectedByName[] = {
    "on_mnuFwUpdate_show()",
    "on_mnuAbout_show()",
    "on_dlgSerialPort_accepted()",
    "on_pushButton_ClearStatusBar_clicked()",
    "on_buttonBox_clicked(QAbstractButton*)",
};

}  // namespace

QStringList MainWindow::slotsNotConnectedByName() {
    QStringList names;
    for (const char *slot : kSlotsNotConnectedByName) {
        names << QLatin1String(slot);
    }
    return names;
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent),
      ui(new Ui::MainWindow),
      aboutUi(new Ui::dlgAbout),
      aboutDialog(this),
      serialPortDialog(this),
      fwUpdateDialog(this),
      lastCallState(-1),
      serialPortMapper(this),
      trafficCapture_(new TrafficCapture(this)) {
    setupUiQuietly(*ui, this, slotsNotConnectedByName());
    aboutUi->setupUi(&aboutDialog);  // the form connects its own button box
    collectGpioWidgets();

    const int engineeringPage = ui->tabWidget->indexOf(ui->tab_Engineering);
    if (engineeringPage != -1) {
        ui->tabWidget->removeTab(engineeringPage);
    }

    link_init();

    connect(&commProcessor, &CommProcessor::UartMessageSent, this,
            &MainWindow::updateLastCommandSent);
    connect(link_notifier(), &Module3G::command_received, this, &MainWindow::update_UI);
    connect(ui->lineEdit_CrcCalc, &QLineEdit::returnPressed, this,
            &MainWindow::on_btnDebugGenerateMessage_clicked);
    connect(ui->mnuSerialPortConnect, &QAction::triggered, &serialPortDialog, &QDialog::show);
    connect(ui->mnuSerialPortDisconnect, &QAction::triggered, this, &MainWindow::closeSerialPort);
    connect(&serialPortDialog, &QDialog::accepted, this, &MainWindow::on_dlgSerialPort_accepted);
    connect(ui->mnuBatchFwUpdate, &QAction::triggered, this, &MainWindow::on_mnuFwUpdate_show);
    connect(ui->mnuAbout, &QAction::triggered, this, &MainWindow::on_mnuAbout_show);
    connect(ui->menuFirmware_Update->addAction(tr("Traffic Inspector...")), &QAction::triggered,
            this, &MainWindow::showTrafficInspector);
    connect(&trafficStatisticsTimer_, &QTimer::timeout, this,
            &MainWindow::refreshTrafficStatistics);
    trafficStatisticsTimer_.start(1000);
    connect(&commProcessor, &CommProcessor::SerialPortLost, this, &MainWindow::onSerialPortLost);
    connect(&commProcessor, &CommProcessor::SerialPortReconnected, this,
            &MainWindow::onSerialPortReconnected);
    connect(&commProcessor, &CommProcessor::ReconnectFailed, this, &MainWindow::onReconnectFailed);
    connect(&commProcessor, &CommProcessor::SerialPortClosed, this, &MainWindow::showPortState);
    // A batch sends its SMS through the module one after another; another would come between.
    connect(&fwUpdateDialog, &Dlgfwupdate::batchRunning, this, [this](bool running) {
        batchRunning_ = running;
        update_UI(0, false);
    });
    // A transfer can end without a frame (the link gave up on its reply): that is shown too.
    connect(link_notifier(), &Module3G::transfer_ended, this, [this](uint transfer, uchar status) {
        if (transfer == ownSms_.transfer) {
            ownSms_.status = status;
        }
        update_UI(0, false);
    });
    connect(link_notifier(), &Module3G::module_silent, this, [this] {
        const QString port = commProcessor.isPortOpen() ? commProcessor.portName() : QString();
        statusBar()->showMessage(
            port.isEmpty()
                ? tr("No answer from the module yet: no serial port is open.")
                : tr("No answer from the module on %1 yet: is it switched on, and is this its "
                     "port?")
                      .arg(port));
        update_UI(0, false);
    });

    statusBar()->addPermanentWidget(ui->frmSerialStatus, 0);
    showPortState();  // none open yet

    updateSerialPortMenuLastUsed();

    // The call tab asks for the audio settings to be read before it shows them.
    ui->frm_I2S_GetValuesFirst->move(0, 20);
    ui->frm_I2S_AudioSettings->hide();

    sentFramesLog_.attach(ui->edtDebugLastMessages);
    ui->tabWidget->setCurrentIndex(0);
    update_UI(0, false);
}

MainWindow::~MainWindow() {
    delete ui;
    delete aboutUi;
    // The members go next, in reverse order: the mapper, then the serial worker (which ends
    // its thread and closes the port), then the batch update dialog (which ends its worker's
    // thread) and the other dialogs.
}

void MainWindow::showEvent(QShowEvent *) {}

void MainWindow::showStandingNote(const QString &text) {
    statusBar()->insertPermanentWidget(0, new QLabel(text));
}
