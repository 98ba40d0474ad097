#include "update_worker.h"

#include <QRegularExpression>
#include <utility>

#include "link_long_payload.h"
#include "link_transfers.h"
#include "module3g.h"

UpdateWorker::UpdateWorker() : replyTimer_(this), portAwayTimer_(this) {
    replyTimer_.setSingleShot(true);
    replyTimer_.setInterval(kReplyTimeoutMs);
    portAwayTimer_.setSingleShot(true);
    portAwayTimer_.setInterval(LINK_REPLY_LIFETIME_SECONDS * 1000);
    connect(&replyTimer_, &QTimer::timeout, this, &UpdateWorker::giveUpWaiting);
    connect(&portAwayTimer_, &QTimer::timeout, this, &UpdateWorker::onPortAwayTimeout);
    // Queued to the worker's thread once it is moved there, in the order the link emits them.
    connect(link_notifier(), &Module3G::transfer_committed, this,
            &UpdateWorker::onTransferCommitted);
    connect(link_notifier(), &Module3G::transfer_ended, this, &UpdateWorker::onTransferEnded);
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

UpdateWorker::Status UpdateWorker::statusOf(uchar transferStatus) {
    switch (transferStatus) {
        case 0:
            return Success;
        case CMD_STATUS_NAK:
            return RefusedByModule;
        case CMD_STATUS_NOT_SENT:
        case CMD_STATUS_CANCELLED:
            return NotSent;
        case CMD_STATUS_NO_REPLY:
        case CMD_STATUS_INTERRUPTED:
            return NoReply;
        default:
            return SmsNotSent;
    }
}

void UpdateWorker::performUpdate(QString msisdn) {
    static const QRegularExpression digits(QStringLiteral("\\A\\d*\\z"));
    if (!digits.match(msisdn).hasMatch()) {
        emit updateEnded(msisdn, InvalidMsisdn, -1);
        return;
    }
    current_ = Wait{Stage::AwaitingLink, msisdn, 0, false};
    if (portAway_) {
        portAwayTimer_.start();
    }
    trySend();
}

void UpdateWorker::trySend() {
    LinkTransferId transfer = 0;
    const int result =
        link_sms_send(current_.msisdn.toUtf8(), buildOtaMessage().toUtf8(), &transfer);
    if (result > 0) {
        current_.stage = Stage::Sending;
        current_.transfer = transfer;
    } else if (result != LINK_REFUSED_SMS_IN_PROGRESS) {
        finish(LinkRefused);
    }
    // Otherwise the end of the SMS in the link brings the worker back here.
}

void UpdateWorker::finish(Status status, int moduleCode) {
    replyTimer_.stop();
    portAwayTimer_.stop();
    const QString msisdn = std::exchange(current_, Wait{}).msisdn;
    emit updateEnded(msisdn, status, moduleCode);
}

void UpdateWorker::giveUpWaiting() {
    if (current_.stage != Stage::Waiting) {
        return;
    }
    late_ = Late{current_.msisdn, current_.transfer};
    finish(NoReply);
}

void UpdateWorker::onTransferCommitted(uint transferId) {
    if (current_.stage != Stage::Sending || transferId != current_.transfer) {
        return;
    }
    current_.stage = Stage::Waiting;
    portAwayTimer_.stop();
    replyTimer_.start();
    if (current_.stopping && portAway_) {
        giveUpWaiting();
    } else if (current_.stopping) {
        emit stopping(current_.msisdn, kReplyTimeoutMs / 1000);
    }
}

void UpdateWorker::onTransferEnded(uint transferId, uchar status) {
    const int code = status <= 127 ? status : -1;
    const bool current = current_.stage == Stage::Sending || current_.stage == Stage::Waiting;
    if (current && transferId == current_.transfer) {
        finish(statusOf(status), code);
    } else if (late_.transfer != 0 && transferId == late_.transfer) {
        const Late late = std::exchange(late_, Late{});
        if (status == CMD_STATUS_NO_REPLY) {
            emit replyGivenUp(late.msisdn);
        } else {
            emit lateReply(late.msisdn, statusOf(status), code);
        }
    }
    if (current_.stage == Stage::AwaitingLink) {
        trySend();
    }
}

void UpdateWorker::stopSoon() {
    switch (current_.stage) {
        case Stage::Idle:
            return;
        case Stage::AwaitingLink:
            finish(NotSent);
            return;
        case Stage::Sending:
            if (link_withdraw_transfer(current_.transfer)) {
                finish(NotSent);
                return;
            }
            current_.stopping = true;  // its send was just written: its wait is about to start
            return;
        case Stage::Waiting:
            current_.stopping = true;
            if (portAway_) {
                giveUpWaiting();
                return;
            }
            emit stopping(current_.msisdn, (replyTimer_.remainingTime() + 999) / 1000);
            return;
    }
}

void UpdateWorker::setPortAway(bool away) {
    portAway_ = away;
    if (!away) {
        portAwayTimer_.stop();
        return;
    }
    if (current_.stage == Stage::AwaitingLink || current_.stage == Stage::Sending) {
        portAwayTimer_.start();
    } else if (current_.stage == Stage::Waiting && current_.stopping) {
        giveUpWaiting();
    }
}

void UpdateWorker::onPortAwayTimeout() {
    if (current_.stage == Stage::AwaitingLink ||
        (current_.stage == Stage::Sending && link_withdraw_transfer(current_.transfer))) {
        finish(NotSent);
    }
}

void UpdateWorker::halt() {
    replyTimer_.stop();
    portAwayTimer_.stop();
}
