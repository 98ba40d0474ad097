#include "headless_link.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>

#include "comm_processor.h"
#include "command_catalogue.h"
#include "frame_codec.h"
#include "module3g.h"
#include "virtual_module.h"

namespace {

constexpr int kOpenWaitMs = 10000;
constexpr int kDeadlineCheckMs = 20;
// The line counts as quiet once no byte arrived for this long: longer than the gap between the
// frames of a burst, short beside a command's own round trip.
constexpr int kQuietMs = 15;
constexpr int kSettleRounds = 20;

void waitFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

HeadlessLink::HeadlessLink(QObject *parent) : QObject(parent) {
    link_init();
    link_traffic_record(true);
    clock_.start();
    connect(link_notifier(), &Module3G::command_received, this, &HeadlessLink::pump);
    connect(link_notifier(), &Module3G::transfer_committed, this,
            &HeadlessLink::onTransferCommitted);
    connect(link_notifier(), &Module3G::transfer_ended, this, &HeadlessLink::onTransferEnded);
    connect(&deadlineTimer_, &QTimer::timeout, this, &HeadlessLink::checkDeadlines);
    deadlineTimer_.start(kDeadlineCheckMs);
}

HeadlessLink::~HeadlessLink() {
    worker_.reset();  // closes the port before the module's side of it goes
    link_traffic_record(false);
}

bool HeadlessLink::openSimulated(QString *whyNot) {
    module_ = std::make_unique<VirtualModule>();
    if (!module_->start()) {
        *whyNot = tr("The virtual module could not start: %1").arg(module_->errorString());
        return false;
    }
    return startWorker(module_->devicePath(), whyNot);
}

bool HeadlessLink::open(const QString &port, QString *whyNot) {
    return startWorker(port, whyNot);
}

bool HeadlessLink::startWorker(const QString &port, QString *whyNot) {
    worker_ = std::make_unique<CommProcessor>();
    connect(worker_.get(), &CommProcessor::UartMessageSent, this, &HeadlessLink::pump);
    connect(worker_.get(), &CommProcessor::SerialPortLost, this, &HeadlessLink::onPortLost);
    bool opened = false;
    QEventLoop loop;
    connect(worker_.get(), &CommProcessor::OpenSerialPortDone, &loop, [&](bool success) {
        opened = success;
        loop.quit();
    });
    QTimer::singleShot(kOpenWaitMs, &loop, &QEventLoop::quit);
    emit worker_->OpenSerialPort(port);
    loop.exec();
    if (!opened) {
        *whyNot = worker_->portErrorText();
        if (whyNot->isEmpty()) {
            *whyNot =
                tr("Serial port %1 did not open within %2 s.").arg(port).arg(kOpenWaitMs / 1000);
        }
    }
    return opened;
}

QString HeadlessLink::lineDescription() const {
    return worker_ ? worker_->portLineDescription() : QString();
}

void HeadlessLink::settle() {
    if (module_ != nullptr) {
        settled_ = true;  // a virtual module of our own has nothing waiting
        return;
    }
    uint64_t before = link_snapshot().counters.bytesReceived;
    for (int round = 0; round < kSettleRounds; ++round) {
        waitFor(kQuietMs);
        const uint64_t now = link_snapshot().counters.bytesReceived;
        if (now == before) {
            break;
        }
        before = now;
    }
    pump();
    settled_ = true;
}

int HeadlessLink::request(uint8_t cmdId, const std::function<int()> &send, int timeoutMs,
                          OutcomeHandler done) {
    if (portLost_) {
        done(RequestOutcome{RequestOutcome::PortLost, 0, QByteArray()});
        return LINK_QUEUED;
    }
    const int result = send();
    if (result > 0) {
        Pending p;
        p.cmdId = cmdId;
        p.deadline = clock_.elapsed() + timeoutMs;
        p.done = std::move(done);
        pending_.push_back(std::move(p));
    }
    return result;
}

void HeadlessLink::awaitTransfer(LinkTransferId id, int timeoutMs, int afterCommitMs,
                                 TransferHandler done) {
    if (portLost_) {
        done(CMD_STATUS_INTERRUPTED);
        return;
    }
    transfers_.push_back({id, clock_.elapsed() + timeoutMs, afterCommitMs, std::move(done)});
}

void HeadlessLink::drain(int ms) {
    QElapsedTimer waited;
    waited.start();
    while (worker_ != nullptr && worker_->isPortOpen() && waited.elapsed() < ms) {
        if (LockedLinkState()->txIndex.waitingControl.count() == 0) {
            break;
        }
        waitFor(1);
    }
    pump();
}

void HeadlessLink::pump() {
    const QList<TrafficChange> changes = link_traffic_take();
    for (const TrafficChange &change : changes) {
        apply(change);
    }
}

void HeadlessLink::apply(const TrafficChange &change) {
    const TrafficRecord &r = change.record;
    if (change.isNew) {
        if (keepRecords_) {
            records_.push_back(r);
        }
        if (r.fromModule && r.decoded) {
            unhandled_.emplace(r.id, r);
        } else if (!r.fromModule) {
            ourFrame(r);
        }
        return;
    }
    if (keepRecords_) {
        const auto kept =
            std::lower_bound(records_.begin(), records_.end(), r.id,
                             [](const TrafficRecord &k, uint64_t id) { return k.id < id; });
        if (kept != records_.end() && kept->id == r.id) {
            kept->outcome = r.outcome;
        }
    }
    const auto module = unhandled_.find(r.id);
    if (module != unhandled_.end()) {
        const TrafficRecord frame = module->second;
        unhandled_.erase(module);
        if (r.outcome == TrafficOutcome::Acknowledged) {
            moduleFrameHandled(frame);
        }
        return;
    }
    if (r.outcome == TrafficOutcome::Refused) {
        const auto it = std::find_if(pending_.begin(), pending_.end(),
                                     [&](const Pending &p) { return p.written == r.id; });
        if (it != pending_.end()) {
            finish(it, RequestOutcome{RequestOutcome::Refused, 0, QByteArray()});
        }
    }
}

// A frame of ours on the line: the first of its command not written yet, or one written again.
void HeadlessLink::ourFrame(const TrafficRecord &r) {
    if (!r.decoded || r.cmdId < FIRST_STATUS_ID || (r.status & REPLY_FLAG) != 0) {
        return;
    }
    auto it = std::find_if(pending_.begin(), pending_.end(),
                           [&](const Pending &p) { return p.cmdId == r.cmdId && p.seq == r.seq; });
    if (it == pending_.end()) {
        it = std::find_if(pending_.begin(), pending_.end(),
                          [&](const Pending &p) { return p.cmdId == r.cmdId && p.seq < 0; });
    }
    if (it != pending_.end()) {
        it->seq = r.seq;
        it->written = r.id;
    }
}

// The module answers in the order it was asked, so a reply belongs to the oldest request of its
// command written before it.
void HeadlessLink::moduleFrameHandled(const TrafficRecord &r) {
    if (!settled_) {
        return;
    }
    if ((r.status & REPLY_FLAG) == 0) {
        emit moduleFrame(r.cmdId, r.payload);
        return;
    }
    const auto it = std::find_if(pending_.begin(), pending_.end(), [&](const Pending &p) {
        return p.cmdId == r.cmdId && p.written != 0 && p.written < r.id;
    });
    if (it != pending_.end()) {
        const auto code = static_cast<uint8_t>(r.status & ~REPLY_FLAG);
        finish(it, RequestOutcome{RequestOutcome::Replied, code, r.payload});
    }
}

void HeadlessLink::finish(std::vector<Pending>::iterator it, const RequestOutcome &outcome) {
    OutcomeHandler done = std::move(it->done);
    pending_.erase(it);
    if (done) {
        done(outcome);
    }
}

void HeadlessLink::checkDeadlines() {
    const qint64 now = clock_.elapsed();
    // A request given up on is kept for as long as the link waits for an owed reply, then
    // dropped: a module that never answers it must not leave every later request of its
    // command waiting for a reply that went to it.
    pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                  [now](const Pending &p) { return !p.done && now >= p.deadline; }),
                   pending_.end());
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if (it->done && now >= it->deadline) {
            // Kept without a handler: the link still writes it, and the reply the module owes
            // it must not be taken for the next request's of the same command.
            OutcomeHandler done = std::move(it->done);
            it->done = nullptr;
            it->deadline = now + qint64(LINK_REPLY_LIFETIME_SECONDS) * 1000;
            done(RequestOutcome{RequestOutcome::NoAnswer, 0, QByteArray()});
            return;  // the handler may have changed the list; the next tick looks again
        }
    }
    for (auto it = transfers_.begin(); it != transfers_.end(); ++it) {
        if (now >= it->deadline) {
            TransferHandler done = std::move(it->done);
            transfers_.erase(it);
            done(CMD_STATUS_PENDING);
            return;
        }
    }
}

void HeadlessLink::onPortLost(const QString &why) {
    portLost_ = true;
    std::vector<Pending> pending;
    pending.swap(pending_);
    std::vector<AwaitedTransfer> transfers;
    transfers.swap(transfers_);
    for (Pending &p : pending) {
        if (p.done) {
            p.done(RequestOutcome{RequestOutcome::PortLost, 0, QByteArray()});
        }
    }
    for (AwaitedTransfer &t : transfers) {
        t.done(CMD_STATUS_INTERRUPTED);
    }
    emit lost(why);
}

void HeadlessLink::onTransferCommitted(uint id) {
    for (AwaitedTransfer &t : transfers_) {
        if (t.id == id) {
            t.deadline = std::max(t.deadline, clock_.elapsed() + t.afterCommitMs);
        }
    }
}

void HeadlessLink::onTransferEnded(uint id, uchar status) {
    pump();  // the response and events before the end are taken first
    const auto it = std::find_if(transfers_.begin(), transfers_.end(),
                                 [&](const AwaitedTransfer &t) { return t.id == id; });
    if (it == transfers_.end()) {
        return;
    }
    TransferHandler done = std::move(it->done);
    transfers_.erase(it);
    done(status);
}
