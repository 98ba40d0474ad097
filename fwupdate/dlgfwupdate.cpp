#include "dlgfwupdate.h"

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QSettings>
#include <QTime>
#include <QUrl>

#include "firmware_list.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "module3g.h"
#include "setup_quietly.h"
#include "ui_dlgfwupdate.h"

namespace {

const char *statusText(int status) {
    switch (status) {
        case UpdateWorker::Success:
            return QT_TRANSLATE_NOOP("Dlgfwupdate", "Success");
        case UpdateWorker::InvalidMsisdn:
            return QT_TRANSLATE_NOOP("Dlgfwupdate", "Invalid MSISDN");
        case UpdateWorker::LinkRefused:
            return QT_TRANSLATE_NOOP("Dlgfwupdate", "Failed to communicate with Cellular Module");
        case UpdateWorker::SmsNotSent:
            return QT_TRANSLATE_NOOP("Dlgfwupdate", "Failed to send SMS on cellular network");
        default:
            return QT_TRANSLATE_NOOP("Dlgfwupdate", "Unknown");
    }
}

QString csvField(QString text) {
    if (text.contains(QRegularExpression(QStringLiteral("[\",\r\n]")))) {
        text = QLatin1Char('"') + text.replace(QLatin1Char('"'), QLatin1String("\"\"")) +
               QLatin1Char('"');
    }
    return text;
}

}  // namespace

Dlgfwupdate::Dlgfwupdate(QWidget *parent)
    : QDialog(parent),
      ui(new Ui::Dlgfwupdate),
      networkManager(new QNetworkAccessManager(this)),
      loadingMovie(QStringLiteral(":/Resources/load_animated.gif")) {
    setupUiQuietly(*ui, this,
                   {QStringLiteral("on_fwSelectionHttpRequest_finished()"),
                    QStringLiteral("on_module_transfer_ended(uint,uchar)"),
                    QStringLiteral("on_updateWorker_updateEnded(QString,int)")});
    worker.moveToThread(&workerThread);
    workerThread.start();
    connect(this, &Dlgfwupdate::updateModule, &worker, &UpdateWorker::performUpdate);
    connect(&worker, &UpdateWorker::updateEnded, this, &Dlgfwupdate::on_updateWorker_updateEnded);
    connect(&worker, &UpdateWorker::lateReply, this, [this](const QString &msisdn, int status) {
        appendLog(
            tr("Late reply for %1: %2(%3)").arg(msisdn).arg(status).arg(tr(statusText(status))));
        noteOutcome(msisdn, tr("%1 (late reply)").arg(tr(statusText(status))));
    });
    connect(&worker, &UpdateWorker::smsWithdrawn, this, [this](const QString &msisdn) {
        appendLog(
            tr("No report for %1 in time: its SMS was taken back before it was sent.").arg(msisdn));
    });
    if (loadingMovie.isValid()) {
        ui->lblLoading->setMovie(&loadingMovie);
    }
    setUiState(Idle);
}

Dlgfwupdate::~Dlgfwupdate() {
    stopRequested = true;
    disconnect(moduleConnection_);
    workerThread.quit();
    workerThread.wait();
    delete ui;
}

QString Dlgfwupdate::updateServerHost() const {
    if (!hostOverride_.isEmpty()) {
        return hostOverride_;
    }
    QSettings settings(QStringLiteral("Corvinta"), QStringLiteral("KOVA_TestTool"));
    return settings.value(QStringLiteral("UpdateServer/Host"), QStringLiteral("localhost"))
        .toString();
}

bool Dlgfwupdate::startAllowed() const {
    return uiState != Updating && !ui->cmbFwSelection->currentData().isNull();
}

void Dlgfwupdate::setUiState(int state) {
    if (state == Loading) {
        loadingMovie.start();
    } else {
        loadingMovie.stop();
    }
    uiState = state;
    ui->btnRefreshFwSelection->setEnabled(state == Idle || state == Finished);
    ui->btnStartUpdate->setEnabled(startAllowed());
    ui->btnStopUpdate->setEnabled(state == Updating);
    ui->prgUpdate->setVisible(state == Updating || state == Finished);
    ui->lblLoading->setVisible(state == Loading);
}

// A batch goes on while the dialog is hidden; showing it again keeps the batch in view.
void Dlgfwupdate::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (uiState == Updating) {
        return;
    }
    ui->lblCurrentOperation->setText(tr("Idle"));
    ui->txtListMSISDN->clear();
    ui->txtUpdateLog->clear();
    setUiState(Idle);
}

void Dlgfwupdate::on_cmbFwSelection_currentIndexChanged(int) {
    ui->btnStartUpdate->setEnabled(startAllowed());
}

void Dlgfwupdate::on_btnRefreshFwSelection_clicked() {
    if (fwListReply != nullptr) {
        return;
    }
    ui->cmbFwSelection->clear();
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(updateServerHost());
    url.setPort(kUpdateServerPort);
    url.setPath(QLatin1String(kFirmwareListPath));
    QNetworkRequest request(url);
    request.setTransferTimeout(listTimeoutMs_);
    listBody_.clear();
    listCut_ = false;
    fwListReply = networkManager->get(request);
    if (fwListReply != nullptr) {
        connect(fwListReply, &QNetworkReply::readyRead, this, &Dlgfwupdate::readListBody);
        connect(fwListReply, &QNetworkReply::finished, this,
                &Dlgfwupdate::on_fwSelectionHttpRequest_finished);
        setUiState(Loading);
    }
}

// Reads no more than the list may hold; a server with more to say is cut off.
void Dlgfwupdate::readListBody() {
    if (fwListReply == nullptr || listCut_ || !fwListReply->isOpen()) {
        return;
    }
    listBody_ += fwListReply->read(kFirmwareListMaxBytes - listBody_.size());
    if (listBody_.size() >= kFirmwareListMaxBytes) {
        listCut_ = true;
        fwListReply->abort();
    }
}

void Dlgfwupdate::on_fwSelectionHttpRequest_finished() {
    QNetworkReply *reply = fwListReply;
    if (reply == nullptr) {
        return;
    }
    readListBody();
    if (reply->error() == QNetworkReply::NoError || listCut_) {
        for (const FirmwareItem &item : parseFirmwareList(listBody_, !listCut_)) {
            ui->cmbFwSelection->addItem(item.text, item.path);
        }
    } else {
        const QString why = reply->error() == QNetworkReply::OperationCanceledError
                                ? tr("no answer within %1 s").arg(listTimeoutMs_ / 1000.0)
                                : reply->errorString();
        appendLog(tr("The firmware list could not be fetched from %1, port %2: %3.")
                      .arg(reply->url().host())
                      .arg(kUpdateServerPort)
                      .arg(why));
    }
    disconnect(reply, nullptr, this, nullptr);
    reply->deleteLater();
    fwListReply = nullptr;
    listBody_.clear();
    if (ui->cmbFwSelection->count() == 0) {
        ui->cmbFwSelection->addItem(tr("No FW files found on update server."), QVariant());
    }
    setUiState(uiState == Updating ? Updating : Idle);
}

bool Dlgfwupdate::parseMsisdnList() {
    msisdnList = splitMsisdnList(ui->txtListMSISDN->toPlainText());
    if (msisdnList.isEmpty()) {
        QMessageBox::warning(this, tr("Empty MSISDN list"),
                             tr("You must enter at least one MSISDN."), QMessageBox::Ok);
        return false;
    }
    return true;
}

void Dlgfwupdate::on_btnStartUpdate_clicked() {
    const QVariant path = ui->cmbFwSelection->currentData();
    if (path.isNull() || uiState == Updating) {
        return;
    }
    worker.setFirmwarePath(path.toString());
    worker.setApnSettings(ui->edtApn->text(), ui->edtUser->text(), ui->edtPass->text());
    const QStringList parts = ui->cmbFwSelection->currentText().split(QStringLiteral(" \t- "));
    if (!parseMsisdnList()) {
        return;
    }
    const QByteArray trigger = worker.buildOtaMessage().toUtf8();
    if (!link_sms_text_fits(trigger)) {
        QMessageBox::warning(this, tr("Firmware Update"),
                             tr("The update SMS would be %1 bytes long; at most %2 bytes fit one "
                                "SMS. Shorten the APN, user or password.")
                                 .arg(trigger.size())
                                 .arg(LINK_MAX_TEXT_LENGTH),
                             QMessageBox::Ok);
        return;
    }
    const auto answer = QMessageBox::warning(
        this, tr("Firmware Update"),
        tr("Warning!\r\nYou are about to update %1 %2 device(s) with %3.\r\nAre you sure?")
            .arg(msisdnList.size())
            .arg(parts.value(0), parts.value(1)),
        QMessageBox::Ok | QMessageBox::Cancel);
    if (answer != QMessageBox::Ok || uiState == Updating) {
        return;
    }
    firmware_ = path.toString().section(QLatin1Char('/'), 2);
    report_.clear();
    ui->prgUpdate->setRange(0, msisdnList.size());
    ui->prgUpdate->setValue(0);
    stopRequested = false;
    disconnect(moduleConnection_);
    moduleConnection_ = connect(link_notifier(), &Module3G::transfer_ended, this,
                                &Dlgfwupdate::on_module_transfer_ended);
    setUiState(Updating);
    emit batchRunning(true);
    startNextUpdate();
}

void Dlgfwupdate::startNextUpdate() {
    if (stopRequested || msisdnList.isEmpty()) {
        ui->lblCurrentOperation->setText(tr("Done."));
        appendLog(tr("Update finished."));
        disconnect(moduleConnection_);
        setUiState(Finished);
        emit batchRunning(false);
        return;
    }
    const QString msisdn = msisdnList.takeFirst();
    ui->lblCurrentOperation->setText(tr("Sending update to %1 ...").arg(msisdn));
    appendLog(tr("Sending update to %1.").arg(msisdn));
    emit updateModule(msisdn);
}

void Dlgfwupdate::on_module_transfer_ended(uint transferId, uchar status) {
    emit worker.smsSendStatusAvailable(transferId, status);
}

void Dlgfwupdate::on_updateWorker_updateEnded(QString msisdn, int status) {
    ui->prgUpdate->setValue(ui->prgUpdate->maximum() - msisdnList.size());
    appendLog(tr("Update to %1 finished with status %2(%3)")
                  .arg(msisdn)
                  .arg(status)
                  .arg(tr(statusText(status))));
    report_.append(
        {msisdn, tr(statusText(status)), QDateTime::currentDateTime().toString(Qt::ISODateWithMs)});
    startNextUpdate();
}

void Dlgfwupdate::noteOutcome(const QString &msisdn, const QString &outcome) {
    for (auto it = report_.rbegin(); it != report_.rend(); ++it) {
        if (it->msisdn == msisdn) {
            it->outcome = outcome;
            return;
        }
    }
}

void Dlgfwupdate::setPortAway(bool away) {
    if (away == portAway_) {
        return;
    }
    portAway_ = away;
    QMetaObject::invokeMethod(&worker, away ? &UpdateWorker::pause : &UpdateWorker::resume,
                              Qt::QueuedConnection);
    if (uiState == Updating) {
        appendLog(away ? tr("The serial port is gone: the batch waits for it to return.")
                       : tr("The batch goes on."));
    }
}

void Dlgfwupdate::on_btnStopUpdate_clicked() {
    stopRequested = true;
}

void Dlgfwupdate::appendLog(const QString &text) {
    ui->txtUpdateLog->appendPlainText(
        QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz: ")) + text);
}

void Dlgfwupdate::on_btnSaveLog_clicked() {
    const QString fileName = QFileDialog::getSaveFileName(this, tr("Save Log"), QString(),
                                                          tr("CSV files (*.csv);;All files (*)"));
    QString why;
    if (!fileName.isEmpty() && !saveReport(fileName, &why)) {
        QMessageBox::warning(this, tr("Save Log"), why, QMessageBox::Ok);
    }
}

bool Dlgfwupdate::saveReport(const QString &fileName, QString *whyNot) const {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        *whyNot = tr("%1 could not be written: %2").arg(fileName, file.errorString());
        return false;
    }
    QString csv = QStringLiteral("number,firmware,outcome,time\n");
    for (const ReportRow &row : report_) {
        csv +=
            QStringList{csvField(row.msisdn), csvField(firmware_), csvField(row.outcome), row.time}
                .join(QLatin1Char(',')) +
            QLatin1Char('\n');
    }
    file.write(csv.toUtf8());
    if (!file.commit()) {
        *whyNot = tr("%1 could not be written: %2").arg(fileName, file.errorString());
        return false;
    }
    return true;
}
