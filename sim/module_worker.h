// The module's life on its own thread: reads the pty master, runs the link and the features,
// writes what the link hands out, and checks its retransmission timer.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "line_faults.h"
#include "module_behaviour.h"
#include "module_faults.h"
#include "module_link.h"

class QSocketNotifier;
class QThread;
class QTimer;
class WireWriter;

struct ModuleStats {
    ModuleLinkCounters link;
    LineFaultCounters line;
    quint32 badCrc = 0;
    quint32 overflows = 0;
    quint32 tooShort = 0;
    quint64 bytesReceived = 0;
    quint64 bytesWritten = 0;
    int unacknowledged = 0;
    int queued = 0;
    int maxMessageSize = 0;
};

class ModuleWorker : public QObject {
    Q_OBJECT

  public:
    ModuleWorker();
    ~ModuleWorker() override;

    // On the module thread: start and stop reading and writing the pty master and checking the
    // timer. end() also hands the object back to `home`, where it lives while stopped.
    void begin(int masterFd);
    void end(QThread *home);

    // All of these on the module thread.
    void setFaults(const ModuleFaults &faults);
    const ModuleFaults &faults() const { return faults_; }
    void setClock(ModuleClock clock) { link_.setClock(std::move(clock)); }
    void setNextSequence(quint8 seq) { link_.setNextSequence(seq); }
    ModuleBehaviour &behaviour() { return behaviour_; }
    ModuleOutbox &outbox() { return link_; }
    ModuleStats stats() const;
    // Writes whatever the link has for the line now: after new frames were queued, an
    // acknowledgement came in, or the clock moved.
    void pump();

  signals:
    void frameReceived(quint8 id, quint8 seq, quint8 status, const QByteArray &payload);
    void frameWritten(quint8 id, quint8 seq, bool retransmission, const QByteArray &wire);
    void smsSent(const QByteArray &number, const QByteArray &text);
    void lineError(const QString &reason);

  private:
    void readAvailable();

    int fd_ = -1;
    quint64 bytesWrittenBefore_ = 0;
    ModuleLink link_;
    ModuleBehaviour behaviour_;
    LineFaults lineFaults_;
    ModuleFaults faults_;
    // The number of the SMS being assembled, for the faults that pick one.
    QByteArray smsNumber_;
    quint64 bytesReceived_ = 0;
    QSocketNotifier *readable_ = nullptr;
    QTimer *retransmitTimer_ = nullptr;
    WireWriter *writer_ = nullptr;
};
