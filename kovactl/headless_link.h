// The link as a program without a window drives it: the serial worker on a port (or on a virtual
// module of its own), every request followed to its answer through the traffic record, and the
// module's own frames handed on as events. Lives on the main thread; the link's notifications
// and the traffic record tell it everything, so it never reads the module's fields under a race.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "link_state.h"
#include "link_traffic.h"

class CommProcessor;
class VirtualModule;

struct RequestOutcome {
    enum Kind {
        Replied,   // the module answered: `code` and `payload` are its reply's
        Refused,   // the module refused the request with a NAK
        NoAnswer,  // nothing within the time-out
        PortLost,  // the port went before the answer came
    };
    Kind kind = NoAnswer;
    uint8_t code = 0;
    QByteArray payload;
};
using OutcomeHandler = std::function<void(const RequestOutcome &)>;
// A transfer's end as the link reports it (module3g.h): the module's code or one of the link's
// CMD_STATUS_ values; CMD_STATUS_PENDING when the time-out ended the wait.
using TransferHandler = std::function<void(uint8_t status)>;

class HeadlessLink : public QObject {
    Q_OBJECT

  public:
    explicit HeadlessLink(QObject *parent = nullptr);
    ~HeadlessLink() override;

    // Starts a virtual module in this process, on a pty of its own.
    bool openSimulated(QString *whyNot);
    bool open(const QString &port, QString *whyNot);
    VirtualModule *virtualModule() const { return module_.get(); }
    bool portLost() const { return portLost_; }
    // What the user should know about the open line, such as a serial server's settings.
    QString lineDescription() const;

    // Acknowledges what the module had waiting when the port opened, until the line is quiet,
    // and takes none of it for an answer or an event.
    void settle();

    // Queues a request with `send` (a link request function) and follows it: `done` is called
    // once with its outcome, unless `send` did not queue it. Returns what `send` returned.
    int request(uint8_t cmdId, const std::function<int()> &send, int timeoutMs,
                OutcomeHandler done);
    // Follows a transfer a send handed back until the link reports its end. The wait runs
    // `timeoutMs` from now, or `afterCommitMs` from its commit frame's first write when that
    // comes later.
    void awaitTransfer(LinkTransferId id, int timeoutMs, int afterCommitMs, TransferHandler done);

    // Every record of the line since the port opened, outcomes applied: for --capture.
    void setKeepRecords(bool keep) { keepRecords_ = keep; }
    const std::deque<TrafficRecord> &records() const { return records_; }

    // Waits until every frame the link has for the line was written (the last ACK above all),
    // for at most `ms`.
    void drain(int ms);

  signals:
    // A frame the module started, acknowledged and handled by the link (repeats are not).
    void moduleFrame(uint8_t cmdId, const QByteArray &payload);
    void lost(const QString &why);

  private:
    struct Pending {
        uint8_t cmdId = 0;
        int seq = -1;          // once written
        uint64_t written = 0;  // its last record
        qint64 deadline = 0;
        OutcomeHandler done;
    };
    struct AwaitedTransfer {
        LinkTransferId id = 0;
        qint64 deadline = 0;
        int afterCommitMs = 0;
        TransferHandler done;
    };

    bool startWorker(const QString &port, QString *whyNot);
    void pump();
    void apply(const TrafficChange &change);
    void ourFrame(const TrafficRecord &r);
    void moduleFrameHandled(const TrafficRecord &r);
    void finish(std::vector<Pending>::iterator it, const RequestOutcome &outcome);
    void checkDeadlines();
    void onPortLost(const QString &why);
    void onTransferCommitted(uint id);
    void onTransferEnded(uint id, uchar status);

    std::unique_ptr<VirtualModule> module_;
    std::unique_ptr<CommProcessor> worker_;
    QElapsedTimer clock_;
    QTimer deadlineTimer_;
    bool settled_ = false;
    bool portLost_ = false;
    bool keepRecords_ = false;
    std::vector<Pending> pending_;
    std::vector<AwaitedTransfer> transfers_;
    // Module frames not yet handled, by record id: their outcome says whether they count.
    std::map<uint64_t, TrafficRecord> unhandled_;
    std::deque<TrafficRecord> records_;
};
