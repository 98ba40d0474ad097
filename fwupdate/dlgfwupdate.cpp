#include "dlgfwupdate.h"

#include <QAbstractItemView>
#include <QFileDialog>
#include <QMessageBox>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QStyle>
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
        case UpdateWorker::RefusedByModule:
            return QT_TRANSLATE_NOOP("Dlgfwupdate", "Refused by the module (NAK)");
        case UpdateWorker::NoReply:
            return QT_TRANSLATE_NOOP("Dlgfwupdate", "No reply in time: outcome unknown");
        case UpdateWorker::NotSent:
            return QT_TRANSLATE_NOOP("Dlgfwupdate", "Not sent");
        default:
            return QT_TRANSLATE_NOOP("Dlgfwupdate", "Unknown");
    }
}

}  // namespace

Dlgfwupdate::Dlgfwupdate(QWidget *parent)
    : QDialog(parent),
      ui(new Ui::Dlgfwupdate),
      networkManager(new QNetworkAccessManager(this)),
      loadingMovie(QStringLiteral(":/Resources/load_animated.gif")) {
    setupUiQuietly(*ui, this,
                   {QStringLiteral("on_fwSelectionHttpRequest_finished()"),
                    QStringLiteral("on_updateWorker_updateEnded(QString,int,int)")});
    worker.moveToThread(&workerThread);
    // Its timers stop on its own thread, before the thread's end leaves them behind.
    connect(&workerThread, &QThread::finished, &worker, &UpdateWorker::halt, Qt::DirectConnection);
    workerThread.start();
    connect(this, &Dlgfwupdate::updateModule, &worker, &UpdateWorker::performUpdate);
    connect(&worker, &UpdateWorker::updateEnded, this, &Dlgfwupdate::on_updateWorker_updateEnded);
    connect(&worker, &UpdateWorker::lateReply, this, &Dlgfwupdate::onLateReply);
    connect(&worker, &UpdateWorker::replyGivenUp, this, &Dlgfwupdate::onReplyGivenUp);
    connect(&worker, &UpdateWorker::stopping, this, [this](const QString &msisdn, int seconds) {
        appendLog(
            tr("Stopping: waiting for the reply for %1, at most %2 s").arg(msisdn).arg(seconds));
    });
    connect(link_notifier(), &Module3G::reply_unplaced, this, &Dlgfwupdate::onReplyUnplaced);
    listTimer_.setSingleShot(true);
    listTimer_.setInterval(kListTimeoutMs);
    connect(&listTimer_, &QTimer::timeout, this, [this] {
        if (fwListReply != nullptr) {
            listTimedOut_ = true;
            fwListReply->abort();
        }
    });
    if (loadingMovie.isValid()) {
        ui->lblLoading->setMovie(&loadingMovie);
    }
    setUiState(Idle);
}

Dlgfwupdate::~Dlgfwupdate() {
    stopRequested = true;
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
    listBody_.clear();
    listCut_ = false;
    listTimedOut_ = false;
    fwListReply = networkManager->get(QNetworkRequest(url));
    if (fwListReply != nullptr) {
        connect(fwListReply, &QNetworkReply::readyRead, this, &Dlgfwupdate::readListBody);
        connect(fwListReply, &QNetworkReply::finished, this,
                &Dlgfwupdate::on_fwSelectionHttpRequest_finished);
        listTimer_.start();
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
    listTimer_.stop();
    readListBody();
    if (reply->error() == QNetworkReply::NoError || listCut_) {
        for (const FirmwareItem &item : parseFirmwareList(listBody_, !listCut_)) {
            ui->cmbFwSelection->addItem(item.text, item.path);
        }
    } else {
        const QString why =
            listTimedOut_
                ? tr("the whole list did not come within %1 s").arg(listTimer_.interval() / 1000.0)
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
    fitListPopup();
    setUiState(uiState == Updating ? Updating : Idle);
}

// Two versions for one device differ at the end of their text: the list shows it whole.
void Dlgfwupdate::fitListPopup() {
    QAbstractItemView *view = ui->cmbFwSelection->view();
    const QFontMetrics metrics(view->font());
    int widest = 0;
    for (int i = 0; i < ui->cmbFwSelection->count(); ++i) {
        widest = qMax(widest, metrics.horizontalAdvance(ui->cmbFwSelection->itemText(i)));
    }
    const int margins =
        4 * metrics.averageCharWidth() + view->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    view->setMinimumWidth(widest + margins);
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
                                 .arg(catalogue_limit(*catalogue_field("sms.text"))),
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
    report_.clear(path.toString().section(QLatin1Char('/'), 2));
    ui->prgUpdate->setRange(0, msisdnList.size());
    ui->prgUpdate->setValue(0);
    stopRequested = false;
    setUiState(Updating);
    emit batchRunning(true);
    startNextUpdate();
}

void Dlgfwupdate::startNextUpdate() {
    if (numberOut_) {
        return;
    }
    if (stopRequested || msisdnList.isEmpty()) {
        for (const QString &msisdn : qAsConst(msisdnList)) {
            appendLog(tr("Not sent: %1").arg(msisdn));
            report_.record(msisdn, BatchOutcome::NotSent);
        }
        msisdnList.clear();
        ui->lblCurrentOperation->setText(tr("Done."));
        appendLog(tr("Update finished."));
        setUiState(Finished);
        logCounts();
        emit batchRunning(false);
        return;
    }
    if (portAway_) {
        return;  // the port's return, Stop or Disconnect goes on
    }
    const QString msisdn = msisdnList.takeFirst();
    ui->lblCurrentOperation->setText(tr("Sending update to %1 ...").arg(msisdn));
    appendLog(tr("Sending update to %1.").arg(msisdn));
    numberOut_ = true;
    emit updateModule(msisdn);
}

void Dlgfwupdate::on_updateWorker_updateEnded(QString msisdn, int status, int moduleCode) {
    numberOut_ = false;
    ui->prgUpdate->setValue(ui->prgUpdate->maximum() - msisdnList.size());
    appendLog(tr("Update to %1 finished with status %2(%3)")
                  .arg(msisdn)
                  .arg(status)
                  .arg(tr(statusText(status))));
    report_.record(msisdn, BatchReport::outcomeOf(status), moduleCode);
    if (status == UpdateWorker::NoReply) {
        replyOwedFor_ = msisdn;
    }
    startNextUpdate();
}

void Dlgfwupdate::onLateReply(const QString &msisdn, int status, int moduleCode) {
    appendLog(tr("Late reply for %1: %2(%3)").arg(msisdn).arg(status).arg(tr(statusText(status))));
    report_.correct(msisdn, BatchReport::outcomeOf(status), moduleCode);
    replyOwedFor_.clear();
    if (uiState == Finished) {
        logCounts();
    }
}

void Dlgfwupdate::onReplyGivenUp(const QString &msisdn) {
    appendLog(tr("No reply for %1 within %2 s of its send: its outcome stays unknown.")
                  .arg(msisdn)
                  .arg(LINK_REPLY_LIFETIME_SECONDS));
    replyOwedFor_.clear();
    if (uiState == Finished) {
        logCounts();
    }
}

void Dlgfwupdate::onReplyUnplaced(uchar cmdId, uchar status) {
    if (cmdId != CMD_SMS_SEND || (uiState != Updating && uiState != Finished)) {
        return;
    }
    appendLog(tr("Unexpected reply to an SMS send: %1(%2). No SMS was waiting for one, so it is "
                 "credited to no number.")
                  .arg(status)
                  .arg(tr(statusText(UpdateWorker::statusOf(status)))));
}

void Dlgfwupdate::logCounts() {
    if (replyOwedFor_.isEmpty()) {
        appendLog(tr("Outcomes: %1.").arg(report_.counts()));
        return;
    }
    appendLog(tr("Outcomes so far: %1. Not final: the reply for %2 may still come, up to %3 s "
                 "after its send.")
                  .arg(report_.counts(), replyOwedFor_)
                  .arg(LINK_REPLY_LIFETIME_SECONDS));
}

void Dlgfwupdate::setPortAway(bool away) {
    if (away == portAway_) {
        return;
    }
    portAway_ = away;
    QMetaObject::invokeMethod(
        &worker, [this, away] { worker.setPortAway(away); }, Qt::QueuedConnection);
    if (uiState != Updating) {
        return;
    }
    appendLog(away ? tr("The serial port is gone: the batch waits for it to return.")
                   : tr("The batch goes on."));
    if (!away) {
        startNextUpdate();
    }
}

void Dlgfwupdate::portClosedByUser() {
    setPortAway(true);
    if (uiState == Updating) {
        appendLog(tr("Disconnected: the batch ends."));
        on_btnStopUpdate_clicked();
    }
}

void Dlgfwupdate::on_btnStopUpdate_clicked() {
    stopRequested = true;
    QMetaObject::invokeMethod(&worker, &UpdateWorker::stopSoon, Qt::QueuedConnection);
    startNextUpdate();  // ends the batch now when no number is under way
}

void Dlgfwupdate::appendLog(const QString &text) {
    ui->txtUpdateLog->appendPlainText(
        QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz: ")) + text);
}

void Dlgfwupdate::on_btnSaveLog_clicked() {
    QFileDialog dialog(this, tr("Save Log"), QString(), tr("CSV files (*.csv);;All files (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    QString why;
    if (!saveReport(dialog.selectedFiles().constFirst(), &why)) {
        QMessageBox::warning(this, tr("Save Log"), why, QMessageBox::Ok);
    }
}

bool Dlgfwupdate::saveReport(const QString &fileName, QString *whyNot) const {
    return report_.save(fileName, whyNot);
}
