// Has the connected module send one over-the-air update trigger SMS to one number at a time,
// on a thread of its own, and reports each number's outcome. The link sends one SMS at a time
// and places a reply only with the send owed it, so a reply that comes after a number's wait
// is that number's late reply, never the next number's outcome.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "link_state.h"

class UpdateWorker : public QObject {
    Q_OBJECT

  public:
    // Outcomes of one number.
    enum Status {
        Success = 0,
        InvalidMsisdn = 1,
        LinkRefused = 2,
        SmsNotSent = 3,       // the module answered with a failure code
        RefusedByModule = 4,  // a NAK of one of the SMS's frames
        NoReply = 5,          // no reply within the wait: the outcome is not known
        NotSent = 6,          // given up on before its send went out
    };
    static constexpr int kReplyTimeoutMs = 10000;

    UpdateWorker();

    // Both are written by the dialog before a batch starts, while the worker is idle.
    void setFirmwarePath(const QString &path) { firmwarePath = path; }
    void setApnSettings(const QString &apn, const QString &user, const QString &password);
    QString buildOtaMessage() const;

    // What the end of a number's SMS, as the link reports it, makes of the number.
    static Status statusOf(uchar transferStatus);

  signals:
    // `moduleCode` is the module's reply status, or -1 when it gave none.
    void updateEnded(QString msisdn, int status, int moduleCode);
    // The reply for a number that ended with NoReply came before the link gave up on it.
    void lateReply(QString msisdn, int status, int moduleCode);
    // The link gave up on the reply for a number that ended with NoReply: it stays unknown.
    void replyGivenUp(QString msisdn);
    // Stop came while the current number waits for its reply, for this long at most.
    void stopping(QString msisdn, int secondsLeft);

  public slots:
    void performUpdate(QString msisdn);
    // Ends the current number as soon as that is sound: one whose send has not gone out at
    // once, one owed its reply when its wait ends, or at once while the port is away.
    void stopSoon();
    // While the port is away a number whose send has not gone out waits for it, for no longer
    // than the link waits for a reply.
    void setPortAway(bool away);
    // Stops the timers; called on the worker's thread as it ends.
    void halt();
    // Ends the current number's reply wait as its time-out does; the reply may still come late.
    void giveUpWaiting();

  private:
    enum class Stage {
        Idle,
        AwaitingLink,  // another SMS is in the link; this one follows once it has its outcome
        Sending,       // handed to the link, its send frame not written yet
        Waiting,       // its send frame written: the reply wait runs
    };
    struct Wait {
        Stage stage = Stage::Idle;
        QString msisdn;
        LinkTransferId transfer = 0;
        bool stopping = false;
    };
    // A number that ended without a reply while the link still owes it one.
    struct Late {
        QString msisdn;
        LinkTransferId transfer = 0;
    };

    void trySend();
    void finish(Status status, int moduleCode = -1);
    void onTransferCommitted(uint transferId);
    void onTransferEnded(uint transferId, uchar status);
    void onPortAwayTimeout();

    QString firmwarePath;
    QString apnSettingsBlock;
    Wait current_;
    Late late_;
    bool portAway_ = false;
    QTimer replyTimer_;
    QTimer portAwayTimer_;
};
