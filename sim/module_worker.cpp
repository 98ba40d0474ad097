// The module thread's event handling.
#include "module_worker.h"

#include <unistd.h>

#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <cstring>

#include "payload_fields.h"
#include "wire_writer.h"

namespace {
// How often the retransmission clock is looked at; the 10 seconds are the clock's business.
constexpr int kTimerCheckMs = 250;
}  // namespace

ModuleWorker::ModuleWorker() {
    link_.setRequestHandler([this](const ModuleRequest &request) {
        if (request.id == CMD_SMS_NUMBER) {
            PayloadReader(request.payload).text(smsNumber_);
        }
        if (faults_.unansweredIds.contains(request.id) ||
            (request.id == CMD_SMS_SEND && faults_.unansweredSmsTo.contains(smsNumber_))) {
            return;
        }
        const auto canned = faults_.cannedReplies.constFind(request.id);
        if (canned != faults_.cannedReplies.constEnd()) {
            link_.reply(request.id, canned->code, canned->payload);
            return;
        }
        behaviour_.handle(request, link_);
    });
    behaviour_.sms().setOnSent([this](const SentSms &sms) { emit smsSent(sms.number, sms.text); });
}

ModuleWorker::~ModuleWorker() = default;

void ModuleWorker::begin(int masterFd) {
    fd_ = masterFd;
    writer_ = new WireWriter(fd_, this);
    connect(writer_, &WireWriter::drained, this, &ModuleWorker::pump);
    connect(writer_, &WireWriter::failed, this, &ModuleWorker::lineError);
    writer_->setPaced(faults_.paced);
    readable_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(readable_, &QSocketNotifier::activated, this, &ModuleWorker::readAvailable);
    retransmitTimer_ = new QTimer(this);
    connect(retransmitTimer_, &QTimer::timeout, this, &ModuleWorker::pump);
    retransmitTimer_->start(kTimerCheckMs);
}

void ModuleWorker::end(QThread *home) {
    if (writer_ != nullptr) {
        bytesWrittenBefore_ += writer_->bytesWritten();
    }
    delete readable_;
    delete retransmitTimer_;
    delete writer_;
    readable_ = nullptr;
    retransmitTimer_ = nullptr;
    writer_ = nullptr;
    fd_ = -1;
    moveToThread(home);
}

void ModuleWorker::setFaults(const ModuleFaults &faults) {
    link_.setNakIds(faults.nakIds);
    link_.setWithholdAcks(faults.withholdAcks);
    link_.setFlowMode(faults.flow);
    if (faults.seed != faults_.seed) {
        lineFaults_.setSeed(faults.seed);
    }
    // Only a changed fault starts counting frames again.
    if (faults.flipBitEvery != faults_.flipBitEvery) {
        lineFaults_.setFlipBitEvery(faults.flipBitEvery);
    }
    if (faults.dropByteEvery != faults_.dropByteEvery) {
        lineFaults_.setDropByteEvery(faults.dropByteEvery);
    }
    if (faults.repeatFrameEvery != faults_.repeatFrameEvery) {
        lineFaults_.setRepeatFrameEvery(faults.repeatFrameEvery);
    }
    faults_ = faults;
    if (writer_ != nullptr) {
        writer_->setPaced(faults.paced);
        pump();
    }
}

void ModuleWorker::readAvailable() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            bytesReceived_ += static_cast<quint64>(n);
            const QList<DecodedFrame> frames =
                link_.receive(QByteArray::fromRawData(buffer, static_cast<int>(n)));
            for (const DecodedFrame &f : frames) {
                emit frameReceived(f.cmdId, f.seq, f.status, f.payload);
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            // Cannot happen while the module holds the slave open; stop rather than spin.
            readable_->setEnabled(false);
            emit lineError(n == 0 ? QStringLiteral("the line was closed")
                                  : QString::fromLocal8Bit(std::strerror(errno)));
        }
        break;
    }
    pump();
}

void ModuleWorker::pump() {
    while (writer_ != nullptr && writer_->idle()) {
        const std::optional<LineFrame> frame = link_.takeNextFrame();
        if (!frame) {
            return;
        }
        const QByteArray wire = lineFaults_.apply(frame->bytes);
        writer_->write(wire);
        emit frameWritten(frame->id, frame->seq, frame->retransmission, wire);
    }
}

ModuleStats ModuleWorker::stats() const {
    ModuleStats s;
    s.link = link_.counters();
    s.line = lineFaults_.counters();
    s.badCrc = link_.decoder().badCrcCount;
    s.overflows = link_.decoder().overflowCount;
    s.tooShort = link_.decoder().tooShortCount;
    s.bytesReceived = bytesReceived_;
    s.bytesWritten = bytesWrittenBefore_ + (writer_ != nullptr ? writer_->bytesWritten() : 0);
    s.unacknowledged = link_.unacknowledged();
    s.queued = link_.queued();
    s.maxMessageSize = link_.maxMessageSize();
    return s;
}
