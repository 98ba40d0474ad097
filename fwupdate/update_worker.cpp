#include "update_worker.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>

#include "link_long_payload.h"
#include "link_transfers.h"

UpdateWorker::UpdateWorker() {
    connect(this, &UpdateWorker::smsSendStatusAvailable, this, &UpdateWorker::onSmsSendStatus,
            Qt::QueuedConnection);
}

void UpdateWorker::setApnSettings(const QString &apn, const QString &user,
                                  const QString &password) {
    apnSettingsBlock.clear();
    if (apn.isEmpty()) {
        return;
    }
    apnSettingsBlock = QStringLiteral("!APN=%1!\r\n").arg(apn);
    if (user.isEmpty()) {
        return;
    }
    apnSettingsBlock += QStringLiteral("!USER=%1!\r\n").arg(user);
    if (!password.isEmpty()) {
        apnSettingsBlock += QStringLiteral("!PASS=%1!\r\n").arg(password);
    }
}

QString UpdateWorker::buildOtaMessage() const {
    // Each value in turn, so a "%" in the path cannot take the block's place.
    return QStringLiteral("OTA5183-417\r\n!JAD=RavozuvoRedazUdo!\r\n!PATH=%1!\r\n%2OTA-START")
        .arg(firmwarePath, apnSettingsBlock);
}

void UpdateWorker::performUpdate(QString msisdn) {
    static const QRegularExpression digits(QStringLiteral("\\A\\d*\\z"));
    if (!digits.match(msisdn).hasMatch()) {
        emit updateEnded(msisdn, InvalidMsisdn);
        return;
    }
    smsSendOk = false;
    current_ = msisdn;
    if (!sendCurrent()) {
        emit updateEnded(msisdn, LinkRefused);
        return;
    }

    // The report is a queued call to this thread: it can only arrive inside the loop.
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    timeout.setInterval(kReplyTimeoutMs);
    connect(&timeout, &QTimer::timeout, this, &UpdateWorker::giveUpWaiting);
    if (!paused_) {
        timeout.start();
    }
    waitLoop_ = &loop;
    waitTimer_ = &timeout;
    loop.exec();
    waitLoop_ = nullptr;
    waitTimer_ = nullptr;
    resend_ = false;

    if (waitingFor_ != 0) {
        // Given up on: a number logged as failed must not be sent after all.
        if (link_withdraw_transfer(waitingFor_)) {
            owed_.remove(waitingFor_);
            emit smsWithdrawn(msisdn);
        }
        waitingFor_ = 0;
    }
    emit updateEnded(msisdn, smsSendOk ? Success : SmsNotSent);
}

bool UpdateWorker::sendCurrent() {
    LinkTransferId transfer = 0;
    if (!link_sms_send(current_.toUtf8(), buildOtaMessage().toUtf8(), &transfer)) {
        return false;
    }
    forgetExpired();
    Owed &owed = owed_[transfer];
    owed.msisdn = current_;
    owed.since.start();
    waitingFor_ = transfer;
    return true;
}

void UpdateWorker::pause() {
    paused_ = true;
    if (waitTimer_ != nullptr) {
        waitTimer_->stop();
    }
}

void UpdateWorker::resume() {
    paused_ = false;
    if (waitTimer_ == nullptr) {
        return;  // not waiting for a number
    }
    if (resend_) {
        resend_ = false;
        if (!sendCurrent()) {
            giveUpWaiting();
            return;
        }
    }
    waitTimer_->start();
}

void UpdateWorker::giveUpWaiting() {
    if (waitLoop_ != nullptr) {
        waitLoop_->quit();
    }
}

void UpdateWorker::onSmsSendStatus(uint transferId, uchar status) {
    const auto found = owed_.constFind(transferId);
    if (found == owed_.constEnd()) {
        return;  // not one of ours, or expired
    }
    const QString msisdn = found->msisdn;
    owed_.erase(found);
    if (status == CMD_STATUS_INTERRUPTED) {
        // The module may have restarted and forgotten it: the current number's SMS goes again
        // once the port is back; an earlier number's outcome stays unknown.
        if (transferId == waitingFor_) {
            waitingFor_ = 0;
            resend_ = true;
            pause();
        }
        return;
    }
    if (transferId == waitingFor_) {
        smsSendOk = status == 0;
        waitingFor_ = 0;
        if (waitLoop_ != nullptr) {
            waitLoop_->quit();
        }
    } else {
        emit lateReply(msisdn, status == 0 ? Success : SmsNotSent);
    }
}

void UpdateWorker::forgetExpired() {
    for (auto it = owed_.begin(); it != owed_.end();) {
        it = it->since.hasExpired(kOwedReplyLifetimeMs) ? owed_.erase(it) : std::next(it);
    }
}
