// Has the connected module send one over-the-air update trigger SMS to one number at a time,
// on a thread of its own, and reports each number's outcome.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include "link_state.h"

class UpdateWorker : public QObject {
    Q_OBJECT

  public:
    // Outcomes of one number.
    enum Status { Success = 0, InvalidMsisdn = 1, LinkRefused = 2, SmsNotSent = 3 };
    static constexpr int kReplyTimeoutMs = 10000;
    // A reply this late is taken for lost: it can no longer pair with its number.
    static constexpr int kOwedReplyLifetimeMs = 60000;

    UpdateWorker();

    // Both are written by the dialog before a batch starts, while the worker is idle.
    void setFirmwarePath(const QString &path) { firmwarePath = path; }
    void setApnSettings(const QString &apn, const QString &user, const QString &password);
    QString buildOtaMessage() const;

  signals:
    void updateEnded(QString msisdn, int status);
    // The module's report on a transfer (an SMS) ending, handed over with it.
    void smsSendStatusAvailable(uint transferId, uchar status);
    // A reply for a number that was given up on earlier.
    void lateReply(QString msisdn, int status);
    // A number given up on whose SMS had not gone out yet, and now never will.
    void smsWithdrawn(QString msisdn);

  public slots:
    void performUpdate(QString msisdn);
    // Ends the wait for the current number's report, as its time-out does.
    void giveUpWaiting();
    // The port went away: the current number's wait stops until resume(), and an SMS the
    // loss interrupted is sent again then.
    void pause();
    void resume();

  private slots:
    void onSmsSendStatus(uint transferId, uchar status);

  private:
    void forgetExpired();
    // Hands the current number's SMS to the link; false when it refused it.
    bool sendCurrent();

    bool smsSendOk = false;
    QString firmwarePath;
    QString apnSettingsBlock;

    struct Owed {
        QString msisdn;
        QElapsedTimer since;
    };
    // SMS sent and not reported on yet, by transfer.
    QHash<LinkTransferId, Owed> owed_;
    LinkTransferId waitingFor_ = 0;
    QString current_;
    QEventLoop *waitLoop_ = nullptr;
    QTimer *waitTimer_ = nullptr;
    bool paused_ = false;
    bool resend_ = false;
};
