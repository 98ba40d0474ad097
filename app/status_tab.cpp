// Status tab: registration, signal strength, identities, input voltage and versions of the module
// and its modem, the modem speed and the functionality level.
#include "link_requests.h"
#include "link_state.h"
#include "main_window.h"
#include "status_field.h"
#include "ui_mainwindow.h"

namespace {

QString accessTechnologyText(uint8_t code) {
    switch (code) {
        case 0:
            return MainWindow::tr("GSM (2G)");
        case 2:
            return MainWindow::tr("UTRAN (3G)");
        case 3:
            return MainWindow::tr("GSM w/EGPRS (2.5G)");
        case 4:
            return MainWindow::tr("UTRAN w/HSDPA (3.5G)");
        case 5:
            return MainWindow::tr("UTRAN w/HSUPA (3.5G)");
        case 6:
            return MainWindow::tr("UTRAN w/HSDPA and w/HSUPA (3.5G)");
        default:
            return MainWindow::tr("Not available");
    }
}

// The module reports signal strength as a code: 0 for -113 dBm or less, 2 dB a step up to 31 for
// -51 dBm or more, 99 when unknown.
QString rssiText(uint32_t code) {
    QString bucket;
    if (code == 0) {
        bucket = QStringLiteral("< -111");
    } else if (code == 1) {
        bucket = QStringLiteral("-111");
    } else if (code <= 30) {
        bucket = QString::number(2 * int(code) - 113);
    } else if (code == 31) {
        bucket = QStringLiteral("> -53");
    } else {
        bucket = MainWindow::tr("UNKNOWN");
    }
    return MainWindow::tr("%1 dB").arg(bucket);
}

}  // namespace

void MainWindow::on_pushButton_GetTowerConn_clicked() {
    queued(link_get_tower_conn(), tr("Status"));
}
void MainWindow::on_pushButton_GetRSSI_clicked() {
    queued(link_get_rssi(), tr("Status"));
}
void MainWindow::on_pushButton_GetIMEI_clicked() {
    queued(link_get_imei(), tr("Status"));
}
void MainWindow::on_pushButton_GetSIM_clicked() {
    queued(link_get_sim(), tr("Status"));
}
void MainWindow::on_pushButton_GetVin_clicked() {
    queued(link_get_vin(), tr("Status"));
}
void MainWindow::on_pushButton_GetTarnFirm_clicked() {
    queued(link_get_tarn_firmware(), tr("Status"));
}
void MainWindow::on_pushButton_GetTarnHard_clicked() {
    queued(link_get_tarn_hardware(), tr("Status"));
}
void MainWindow::on_pushButton_GetCintFirm_clicked() {
    queued(link_get_cint_firmware(), tr("Status"));
}
void MainWindow::on_pushButton_GetCintHard_clicked() {
    queued(link_get_cint_hardware(), tr("Status"));
}
void MainWindow::on_pushButton_SetFuncLevel_clicked() {
    queued(link_set_func_level(uint8_t(ui->comboBox_FuncLevel->currentIndex())), tr("Status"));
}
void MainWindow::on_btnSetModemSpeed_clicked() {
    queued(link_set_modem_speed(uint8_t(ui->comboBox_ModemSpeed->currentIndex())), tr("Status"));
}
void MainWindow::on_btnGetModemSpeed_clicked() {
    queued(link_get_modem_speed(), tr("Status"));
}

void MainWindow::refreshRevisions(const LinkSnapshot &state) {
    ui->label_TarnFirm->setText(recordText(state.tarnFirmware));
    ui->label_TarnHard->setText(recordText(state.tarnHardware));
    ui->label_CinterionFirm->setText(recordText(state.cintFirmware));
    ui->label_CinterionHard->setText(recordText(state.cintHardware));
}

void MainWindow::refreshStatusOperation(const LinkSnapshot &state) {
    const uint8_t command = state.lastStatusCmd;
    if (command == 0) {
        return;
    }
    applyStandardStatus(ui->frame_StatusOperationStatus, ui->label_statusOperationStatus,
                        state.cmdStatus[command], tr("Command executed successfully."),
                        tr("ERROR: Command failed."));
    // The speed read back selects its item once per reply, so a choice the user makes
    // afterwards stands until the module is asked again. Speed 0 selects nothing.
    const bool readBack = command == CMD_GET_MODEM_SPEED && state.cmdStatus[command] == 0 &&
                          (state.modemSpeed == 1 || state.modemSpeed == 2);
    if (readBack) {
        controlSync_.write(ui->comboBox_ModemSpeed, state.replyCount[CMD_GET_MODEM_SPEED],
                           [this, &state](uint32_t) {
                               ui->comboBox_ModemSpeed->setCurrentIndex(state.modemSpeed);
                           });
    }
}

void MainWindow::refreshNetworkData(const LinkSnapshot &state) {
    if (state.cmdStatus[CMD_GET_TOWER_CONN] == 0) {
        showText(ui->EdtStatusNetworkRegistrationConnected,
                 state.towerConn[0] == 1 ? tr("Registered") : tr("Not registered"));
        showText(ui->EdtStatusNetworkRegistrationRAT, accessTechnologyText(state.towerConn[1]));
    } else {
        showText(ui->EdtStatusNetworkRegistrationConnected, tr("Unknown"));
        showText(ui->EdtStatusNetworkRegistrationRAT, tr("Unavailable"));
    }
    showText(ui->EdtStatusRSSI, rssiText(state.rssi));
    showText(ui->EdtStatusIMEI, recordText(state.imei));
    showText(ui->EdtStatusSIM, recordText(state.simId));
    showText(ui->EdtStatusVIN, tr("%1V").arg(double(float(state.vin) / 1000.0f), 0, 'g', 6));
}
