// The module's thread and the calls that reach into it.
#include "virtual_module.h"

#include <QMetaObject>

VirtualModule::VirtualModule(QObject *parent)
    : QObject(parent), worker_(std::make_unique<ModuleWorker>()) {
    thread_.setObjectName(QStringLiteral("virtual module"));
    connect(worker_.get(), &ModuleWorker::frameReceived, this, &VirtualModule::frameReceived);
    connect(worker_.get(), &ModuleWorker::frameWritten, this, &VirtualModule::frameWritten);
    connect(worker_.get(), &ModuleWorker::smsSent, this, &VirtualModule::smsSent);
    connect(worker_.get(), &ModuleWorker::lineError, this, &VirtualModule::lineError);
}

VirtualModule::~VirtualModule() {
    stop();
}

bool VirtualModule::start() {
    if (running_) {
        return true;
    }
    if (!pty_.open()) {
        return false;
    }
    worker_->moveToThread(&thread_);
    thread_.start();
    running_ = true;
    const int fd = pty_.masterFd();
    run([this, fd] { worker_->begin(fd); });
    return true;
}

void VirtualModule::stop() {
    if (!running_) {
        return;
    }
    QThread *home = thread();
    run([this, home] { worker_->end(home); });
    thread_.quit();
    thread_.wait();
    running_ = false;
    pty_.close();
}

bool VirtualModule::createLink(const QString &path) {
    return pty_.createLink(path);
}

void VirtualModule::run(const std::function<void()> &work) const {
    if (!running_ || QThread::currentThread() == &thread_) {
        work();
        return;
    }
    QMetaObject::invokeMethod(worker_.get(), work, Qt::BlockingQueuedConnection);
}

void VirtualModule::changeFaults(const std::function<void(ModuleFaults &)> &change) {
    run([this, &change] {
        ModuleFaults faults = worker_->faults();
        change(faults);
        worker_->setFaults(faults);
    });
}

void VirtualModule::setFaults(const ModuleFaults &faults) {
    changeFaults([&faults](ModuleFaults &f) { f = faults; });
}

ModuleFaults VirtualModule::faults() const {
    ModuleFaults faults;
    run([this, &faults] { faults = worker_->faults(); });
    return faults;
}

void VirtualModule::setFlowMode(FlowMode mode) {
    changeFaults([mode](ModuleFaults &f) { f.flow = mode; });
}
void VirtualModule::setPaced(bool paced) {
    changeFaults([paced](ModuleFaults &f) { f.paced = paced; });
}
void VirtualModule::setNakIds(const QSet<quint8> &ids) {
    changeFaults([&ids](ModuleFaults &f) { f.nakIds = ids; });
}
void VirtualModule::setCannedReply(quint8 id, quint8 code, const QByteArray &payload) {
    changeFaults([&](ModuleFaults &f) { f.cannedReplies.insert(id, {code, payload}); });
}
void VirtualModule::clearCannedReplies() {
    changeFaults([](ModuleFaults &f) { f.cannedReplies.clear(); });
}
void VirtualModule::setUnansweredIds(const QSet<quint8> &ids) {
    changeFaults([&ids](ModuleFaults &f) { f.unansweredIds = ids; });
}

void VirtualModule::setUnansweredSmsTo(const QSet<QByteArray> &numbers) {
    changeFaults([&numbers](ModuleFaults &f) { f.unansweredSmsTo = numbers; });
}
void VirtualModule::setWithholdAcks(bool withhold) {
    changeFaults([withhold](ModuleFaults &f) { f.withholdAcks = withhold; });
}
void VirtualModule::setFlipBitEvery(int frames) {
    changeFaults([frames](ModuleFaults &f) { f.flipBitEvery = frames; });
}
void VirtualModule::setDropByteEvery(int frames) {
    changeFaults([frames](ModuleFaults &f) { f.dropByteEvery = frames; });
}
void VirtualModule::setRepeatFrameEvery(int frames) {
    changeFaults([frames](ModuleFaults &f) { f.repeatFrameEvery = frames; });
}
void VirtualModule::setFaultSeed(quint32 seed) {
    changeFaults([seed](ModuleFaults &f) { f.seed = seed; });
}

void VirtualModule::setNextSequence(quint8 seq) {
    run([this, seq] { worker_->setNextSequence(seq); });
}

void VirtualModule::setClock(ModuleClock clock) {
    run([this, &clock] { worker_->setClock(clock); });
}

void VirtualModule::pollTimers() {
    run([this] { worker_->pump(); });
}

bool VirtualModule::injectIncomingSms(const QByteArray &sender, const QByteArray &date,
                                      const QByteArray &text) {
    bool accepted = false;
    run([&] {
        accepted = worker_->behaviour().sms().receive(worker_->outbox(), sender, date, text);
        worker_->pump();
    });
    return accepted;
}

bool VirtualModule::injectIncomingCall(quint8 callType) {
    bool accepted = false;
    run([&] {
        accepted = worker_->behaviour().calls().ring(worker_->outbox(), callType);
        worker_->pump();
    });
    return accepted;
}

bool VirtualModule::injectRemoteHangUp(quint8 reason) {
    bool accepted = false;
    run([&] {
        accepted = worker_->behaviour().calls().remoteHangUp(worker_->outbox(), reason);
        worker_->pump();
    });
    return accepted;
}

void VirtualModule::sendModuleFrame(quint8 id, const QByteArray &payload) {
    run([&] {
        worker_->outbox().start(id, payload);
        worker_->pump();
    });
}

void VirtualModule::sendModuleReply(quint8 id, quint8 code, const QByteArray &payload) {
    run([&] {
        worker_->outbox().reply(id, code, payload);
        worker_->pump();
    });
}

void VirtualModule::setSmsSendFails(bool fails) {
    run([&] { worker_->behaviour().sms().setSendFails(fails); });
}

void VirtualModule::setSocketResponse(const QByteArray &response) {
    run([&] { worker_->behaviour().socket().setResponse(response); });
}

void VirtualModule::setSocketResponseSize(int bytes) {
    run([&] { worker_->behaviour().socket().setResponseSize(bytes); });
}

void VirtualModule::setApn(const Apn &apn) {
    run([&] { worker_->behaviour().socket().setApn(apn); });
}

bool VirtualModule::setInputLevel(int pin, quint8 level) {
    bool accepted = false;
    run([&] { accepted = worker_->behaviour().gpio().setInputLevel(pin, level); });
    return accepted;
}

void VirtualModule::setRssi(quint8 rssi) {
    run([&] { worker_->behaviour().status().setRssi(rssi); });
}

void VirtualModule::setRegistered(bool registered) {
    run([&] { worker_->behaviour().status().setRegistered(registered); });
}

ModuleStats VirtualModule::stats() const {
    ModuleStats s;
    run([&] { s = worker_->stats(); });
    return s;
}

ModuleSnapshot VirtualModule::snapshot() const {
    ModuleSnapshot s;
    run([&] { s = worker_->behaviour().snapshot(); });
    return s;
}
