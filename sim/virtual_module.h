// A KOVA module on a pseudo-terminal: the tool opens devicePath() (or a symlink made with
// createLink()) like a serial port and talks to the module through the real serial path. The
// module runs on a thread of its own; while it runs, every call here is safe from any thread
// and has taken effect when it returns. Before start() (settings, a clock) and for start() and
// stop() themselves, call from the owning thread. The module's state lives as long as this
// object, across stop() and start(). Signals arrive on the thread that owns this object.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThread>
#include <functional>
#include <memory>

#include "module_behaviour.h"
#include "module_faults.h"
#include "module_link.h"
#include "module_worker.h"
#include "pseudo_terminal.h"

class VirtualModule : public QObject {
    Q_OBJECT

  public:
    explicit VirtualModule(QObject *parent = nullptr);
    ~VirtualModule() override;

    // Opens the pty pair and starts the module thread; false with errorString() on failure.
    bool start();
    // Stops the thread and closes the pty, which the tool sees as the line going away.
    void stop();
    bool isRunning() const { return running_; }
    QString devicePath() const { return pty_.slavePath(); }
    QString errorString() const { return pty_.errorString(); }
    // A symlink at `path` to the device, removed again by stop().
    bool createLink(const QString &path);

    // Line behaviour and faults (module_faults.h); all off by default.
    void setFaults(const ModuleFaults &faults);
    ModuleFaults faults() const;
    void setFlowMode(FlowMode mode);
    void setPaced(bool paced);
    void setNakIds(const QSet<quint8> &ids);
    // Answers requests of `id` with this status code and payload instead of carrying them out;
    // clearCannedReplies() returns to the module's own answers.
    void setCannedReply(quint8 id, quint8 code, const QByteArray &payload = QByteArray());
    void clearCannedReplies();
    void setUnansweredIds(const QSet<quint8> &ids);
    void setUnansweredSmsTo(const QSet<QByteArray> &numbers);
    void setWithholdAcks(bool withhold);
    void setFlipBitEvery(int frames);
    void setDropByteEvery(int frames);
    void setRepeatFrameEvery(int frames);
    void setFaultSeed(quint32 seed);

    // The sequence number of the module's next frame (ModuleLink::kFirstSequence at start; 0 and
    // the number of the ACK or NAK sent last are skipped).
    void setNextSequence(quint8 seq);
    // The clock of the 10-second retransmission; called on the module thread, so it must be
    // safe to call from there. An empty function restores the monotonic clock.
    void setClock(ModuleClock clock);
    // Looks at the retransmission clock now instead of at the next periodic check.
    void pollTimers();

    // Events from the outside world; false when the module's state does not allow them.
    bool injectIncomingSms(const QByteArray &sender, const QByteArray &date,
                           const QByteArray &text);
    bool injectIncomingCall(quint8 callType = CallFeature::kVoice);
    bool injectRemoteHangUp(quint8 reason = CallFeature::UnknownReason);
    // A frame the module starts, with any id and payload: events its features never send.
    void sendModuleFrame(quint8 id, const QByteArray &payload);
    // A reply the module sends unasked, such as a transfer's result with any code.
    void sendModuleReply(quint8 id, quint8 code, const QByteArray &payload = QByteArray());

    // Module state a test may want to preset.
    void setSmsSendFails(bool fails);
    void setSocketResponse(const QByteArray &response);
    void setSocketResponseSize(int bytes);
    void setApn(const Apn &apn);
    bool setInputLevel(int pin, quint8 level);
    void setRssi(quint8 rssi);
    void setRegistered(bool registered);

    ModuleStats stats() const;
    ModuleSnapshot snapshot() const;

  signals:
    // Every frame decoded from the line, the tool's ACKs included.
    void frameReceived(quint8 id, quint8 seq, quint8 status, const QByteArray &payload);
    // Every frame handed to the line, with the bytes as written (faults applied).
    void frameWritten(quint8 id, quint8 seq, bool retransmission, const QByteArray &wire);
    void smsSent(const QByteArray &number, const QByteArray &text);
    void lineError(const QString &reason);

  private:
    // Runs `work` on the module thread and waits for it.
    void run(const std::function<void()> &work) const;
    void changeFaults(const std::function<void(ModuleFaults &)> &change);

    PseudoTerminal pty_;
    QThread thread_;
    std::unique_ptr<ModuleWorker> worker_;
    bool running_ = false;
};
