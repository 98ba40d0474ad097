// Socket transfers over a real pty, the virtual module paced at 115200-baud wire time: a
// 40,000-byte response and a 10,000-byte request payload sent in pieces through the serial
// worker alone, timed from queuing the request until the tool has handled the transfer's
// result; and the 40,000-byte response through the whole window, from the Send click until
// the window shows the result. `ratio` is the time taken over the least time the line allows.
// The ser2net cases reach the same pty through the real ser2net on loopback, raw and RFC 2217.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSemaphore>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "comm_processor.h"
#include "frame_codec.h"
#include "gui_bench_main.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "link_state.h"
#include "main_window.h"
#include "module3g.h"
#include "ser2net_server.h"
#include "socket_feature.h"
#include "virtual_module.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLongResponseBytes = 40000;
constexpr int kLongRequestBytes = 10000;
constexpr int kShortResponseBytes = 160;
constexpr double kLineBytesPerSecond = 11520.0;  // 115200 baud, ten bits a byte
// Set-up and settling only; a transfer that takes this long has failed.
constexpr int kWaitMs = 60000;

double wireSeconds(uint64_t bytes) {
    return static_cast<double>(bytes) / kLineBytesPerSecond;
}

bool waitUntil(const std::function<bool()> &done) {
    return waitForEvents(done, kWaitMs);
}

// The tool's side of the bench: the worker on the module's pty, and what it wrote. The counters
// are kept on the worker thread as the frames go out, so that the end of a transfer can take
// their value at the moment the result was handled.
class ToolSide {
  public:
    explicit ToolSide(bool oneFramePerWakeup) {
        link_init();
        comm_ = std::make_unique<CommProcessor>();
        comm_->setOneFramePerWakeup(oneFramePerWakeup);
        QObject::connect(
            comm_.get(), &CommProcessor::UartMessageSent, &probe_,
            [this](const QByteArray &bytes) { bytesSent_ += static_cast<uint64_t>(bytes.size()); },
            Qt::DirectConnection);
        QObject::connect(
            comm_.get(), &CommProcessor::OpenSerialPortDone, &probe_,
            [this](bool ok) { opened_ = ok ? 1 : -1; }, Qt::DirectConnection);
        QObject::connect(
            comm_.get(), &CommProcessor::RxUartDataReady, &probe_, [this] { ++reads_; },
            Qt::DirectConnection);
        QObject::connect(
            link_notifier(), &Module3G::command_received, &probe_,
            [this](uchar id, bool isReply) {
                if (id == CMD_SOCKET_RESULT && isReply && armed_.exchange(false)) {
                    endTime_ = Clock::now();
                    bytesSentAtEnd_ = bytesSent_.load();
                    resultHandled_.release();
                }
            },
            Qt::DirectConnection);
    }
    // The worker's thread ends before the probe goes, so no handler runs during its removal.
    ~ToolSide() { comm_.reset(); }

    bool watching() const { return comm_->isWatching(); }
    bool open(const QString &device) {
        emit comm_->OpenSerialPort(device);
        return waitUntil([this] { return opened_ != 0; }) && opened_ > 0;
    }

    // Arms the end of the next transfer: the first transfer result handled after this.
    void arm() {
        resultHandled_.tryAcquire(resultHandled_.available());
        armed_ = true;
    }
    bool waitForResult() { return resultHandled_.tryAcquire(1, kWaitMs); }
    Clock::time_point endTime() const { return endTime_; }
    uint64_t bytesSent() const { return bytesSent_.load(); }
    uint64_t bytesSentAtEnd() const { return bytesSentAtEnd_; }
    // Reads of the port, each of which wakes the worker.
    uint64_t reads() const { return reads_.load(); }

  private:
    QObject probe_;
    std::unique_ptr<CommProcessor> comm_;
    std::atomic<int> opened_{0};
    std::atomic<uint64_t> bytesSent_{0};
    std::atomic<uint64_t> reads_{0};
    std::atomic<bool> armed_{false};
    QSemaphore resultHandled_;
    // Written before the semaphore is released, read after it is acquired.
    Clock::time_point endTime_;
    uint64_t bytesSentAtEnd_ = 0;
};

// Every frame of the module's acknowledged and every frame of the tool's acknowledged or
// answered.
bool linkIdle(const VirtualModule &module) {
    const ModuleStats stats = module.stats();
    if (stats.unacknowledged != 0 || stats.queued != 0) {
        return false;
    }
    LockedLinkState s = link_get_state();
    for (const TxSlot &slot : s->txTable) {
        if (slot.occupied() && slot.state != TxState::Done) {
            return false;
        }
    }
    return true;
}

// Nothing in flight either way, and everything the tool wrote read by the module.
bool settled(const VirtualModule &module, const ToolSide &tool) {
    return module.stats().bytesReceived == tool.bytesSent() && linkIdle(module);
}

// What a run's transfers took, and the least time the line allows for the bytes they moved.
struct WireTally {
    FlowMode flow;
    double measured = 0;
    double least = 0;
    uint64_t moduleBytes = 0;
    uint64_t toolBytes = 0;
    uint64_t retransmissions = 0;

    void add(double seconds, uint64_t fromModule, uint64_t fromTool, uint64_t rewrites) {
        // Stop-and-wait leaves one direction idle while the other talks; pipelined runs both
        // at once, so only the busier one bounds the time.
        least += flow == FlowMode::StopAndWait
                     ? wireSeconds(fromModule + fromTool)
                     : std::max(wireSeconds(fromModule), wireSeconds(fromTool));
        measured += seconds;
        moduleBytes += fromModule;
        toolBytes += fromTool;
        retransmissions += rewrites;
    }

    void report(benchmark::State &state) const {
        using benchmark::Counter;
        state.counters["ratio"] = least > 0 ? measured / least : 0;
        state.counters["measured_s"] = Counter(measured, Counter::kAvgIterations);
        state.counters["least_s"] = Counter(least, Counter::kAvgIterations);
        state.counters["module_bytes"] = Counter(moduleBytes, Counter::kAvgIterations);
        state.counters["tool_bytes"] = Counter(toolBytes, Counter::kAvgIterations);
        state.counters["module_wire_s"] =
            Counter(wireSeconds(moduleBytes), Counter::kAvgIterations);
        state.counters["tool_wire_s"] = Counter(wireSeconds(toolBytes), Counter::kAvgIterations);
        state.counters["retransmissions"] = Counter(retransmissions, Counter::kAvgIterations);
        if (flow == FlowMode::StopAndWait && least > 0) {
            // The module paces only its own output: the tool's bytes cross the pty at once,
            // which lets `ratio` fall below 1. In this mode the module waits for each of them
            // before its next frame, so adding their wire time bounds what a paced line takes.
            state.counters["ratio_tool_paced"] = (measured + wireSeconds(toolBytes)) / least;
        }
    }
};

struct Transfer {
    int requestBytes;
    int responseBytes;
};

// How the tool reaches the module's pty.
enum class Via { Pty, Ser2netRaw, Ser2netRfc2217 };

void BM_Socket(benchmark::State &state, Transfer transfer, FlowMode flow, bool oneFramePerWakeup,
               Via via) {
    VirtualModule module;
    module.setPaced(true);
    module.setFlowMode(flow);
    module.setSocketResponseSize(transfer.responseBytes);
    QByteArray request = "GET / HTTP/1.0\r\n\r\n";
    if (transfer.requestBytes > request.size()) {
        request = QByteArray(transfer.requestBytes, 'q');
    }
    if (!module.start()) {
        state.SkipWithError(qPrintable(module.errorString()));
        return;
    }
    std::unique_ptr<Ser2netServer> ser2net;
    QString port = module.devicePath();
    if (via != Via::Pty) {
        if (!Ser2netServer::unavailableReason().isEmpty()) {
            state.SkipWithError(qPrintable(Ser2netServer::unavailableReason()));
            return;
        }
        ser2net = std::make_unique<Ser2netServer>(port);
        if (!ser2net->start()) {
            state.SkipWithError(qPrintable(ser2net->errorString()));
            return;
        }
        port = via == Via::Ser2netRaw ? ser2net->rawName() : ser2net->rfc2217Name();
    }
    // Made after ser2net so that it goes first: ser2net's close would be a lost port.
    ToolSide tool(oneFramePerWakeup);
    if (!tool.open(port)) {
        state.SkipWithError("the worker could not open the module's port");
        return;
    }
    // A transfer without an APN ends at once with "APN not set".
    const auto apnSet = [&] {
        const bool replied = link_snapshot().cmdStatus[CMD_APN_SET] == 0;
        return replied && settled(module, tool);
    };
    if (link_apn_set("internet", "", "") <= 0 || !waitUntil(apnSet)) {
        state.SkipWithError("the APN was not set");
        return;
    }

    WireTally tally{flow};
    uint64_t reads = 0;
    for (auto _ : state) {
        const ModuleStats before = module.stats();
        const uint64_t toolBefore = tool.bytesSent();
        const uint64_t readsBefore = tool.reads();
        tool.arm();
        const Clock::time_point start = Clock::now();
        if (link_socket_append_payload(request) <= 0 ||
            link_socket_send("example.org:80", 0, 5000) <= 0) {
            state.SkipWithError("the request was not queued");
            break;
        }
        if (!tool.waitForResult()) {
            state.SkipWithError("no result of the transfer");
            break;
        }
        const std::chrono::duration<double> elapsed = tool.endTime() - start;
        reads += tool.reads() - readsBefore;
        state.SetIterationTime(elapsed.count());

        // The module writes nothing after the result, so its count may be read now.
        const ModuleStats after = module.stats();
        {
            LockedLinkState s = link_get_state();
            if (s->cmdStatus[CMD_SOCKET_RESULT] != 0 ||
                s->socketResponseLength != static_cast<uint32_t>(transfer.responseBytes) ||
                module.snapshot().socketPayload != request) {
                state.SkipWithError("the transfer did not deliver the whole response");
                break;
            }
        }
        const uint64_t fromModule = after.bytesWritten - before.bytesWritten;
        tally.add(elapsed.count(), fromModule, tool.bytesSentAtEnd() - toolBefore,
                  after.link.retransmissions - before.link.retransmissions);

        if (!waitUntil([&] { return settled(module, tool); })) {
            state.SkipWithError("the link did not settle after the transfer");
            break;
        }
    }
    tally.report(state);
    state.counters["tool_reads"] = benchmark::Counter(reads, benchmark::Counter::kAvgIterations);
}

constexpr int kStallTickMs = 5;
constexpr qint64 kNsPerMs = 1000000;

// The socket tab's widgets the user touches and reads.
struct SocketTab {
    QLineEdit *apnName;
    QPushButton *configApn;
    QLabel *apnStatus;
    QLineEdit *url;
    QPlainTextEdit *payload;
    QPushButton *send;
    QLabel *sendStatus;
    QPlainTextEdit *response;
    QLabel *responseSize;

    explicit SocketTab(const QWidget &window)
        : apnName(child<QLineEdit>(window, "lineEdit_SocketApn_Name")),
          configApn(child<QPushButton>(window, "pushButton_SocketConfigApn")),
          apnStatus(child<QLabel>(window, "lblSocketApnStatus")),
          url(child<QLineEdit>(window, "lineEdit_SocketUrl")),
          payload(child<QPlainTextEdit>(window, "plainTextEdit_SocketPayload")),
          send(child<QPushButton>(window, "pushButton_SocketSend")),
          sendStatus(child<QLabel>(window, "lblSocketSendStatus")),
          response(child<QPlainTextEdit>(window, "plainTextEdit_Socket_Response")),
          responseSize(child<QLabel>(window, "lblSocketRecvPayloadSize")) {}

    bool complete() const {
        return apnName && configApn && apnStatus && url && payload && send && sendStatus &&
               response && responseSize;
    }
};

// The end of a transfer as the user sees it. Connected to the notifier after the window, so
// that for each notification it runs right after the window's refresh and reads what that
// refresh wrote.
class TransferWatch {
  public:
    TransferWatch(const VirtualModule &module, const QLabel *sendStatus)
        : module_(module), sendStatus_(sendStatus) {
        QObject::connect(link_notifier(), &Module3G::command_received, &probe_,
                         [this](uchar, bool) { heard(); });
    }

    // Runs the GUI thread's events from `start()` (the click) until the window shows the
    // result; false when it did not within kWaitMs.
    bool run(const std::function<void()> &start) {
        QEventLoop loop;
        loop_ = &loop;
        armed_ = true;
        sawOther_ = false;
        refreshes_ = 0;
        worstLateNs_ = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(kStallTickMs);
        QObject::connect(&tick, &QTimer::timeout, &loop, [this] {
            worstLateNs_ =
                std::max(worstLateNs_, sinceTick_.nsecsElapsed() - kStallTickMs * kNsPerMs);
            sinceTick_.start();
        });
        QTimer::singleShot(kWaitMs, &loop, [&loop] { loop.exit(1); });
        tick.start();
        sinceTick_.start();
        startTime_ = Clock::now();
        start();
        const bool shown = loop.exec() == 0;
        armed_ = false;
        loop_ = nullptr;
        return shown;
    }

    Clock::time_point startTime() const { return startTime_; }
    Clock::time_point endTime() const { return endTime_; }
    ModuleStats statsAtEnd() const { return statsAtEnd_; }
    int refreshes() const { return refreshes_; }
    double worstStallMs() const { return static_cast<double>(worstLateNs_) / kNsPerMs; }

  private:
    // The label still reads the last transfer's result until the first refresh after the
    // click: the end counts only once it read something else.
    void heard() {
        if (!armed_) {
            return;
        }
        ++refreshes_;
        if (sendStatus_->text() != QLatin1String("Operation Complete OK")) {
            sawOther_ = true;
            return;
        }
        if (!sawOther_) {
            return;
        }
        endTime_ = Clock::now();
        // The module writes nothing after the result; the tool's ACK of it may be in.
        statsAtEnd_ = module_.stats();
        armed_ = false;
        loop_->quit();
    }

    const VirtualModule &module_;
    const QLabel *sendStatus_;
    QObject probe_;
    QEventLoop *loop_ = nullptr;
    bool armed_ = false;
    bool sawOther_ = false;
    int refreshes_ = 0;
    QElapsedTimer sinceTick_;
    qint64 worstLateNs_ = 0;
    Clock::time_point startTime_;
    Clock::time_point endTime_;
    ModuleStats statsAtEnd_;
};

void BM_WindowSocket(benchmark::State &state, FlowMode flow, bool inspectorOpen) {
    // Made before the window so that it outlives it, as in the program: the window's worker
    // closes its side of the line first.
    VirtualModule module;
    module.setPaced(true);
    module.setFlowMode(flow);
    module.setSocketResponseSize(kLongResponseBytes);
    if (!module.start()) {
        state.SkipWithError(qPrintable(module.errorString()));
        return;
    }
    MainWindow window;
    const SocketTab tab(window);
    auto *tabs = child<QTabWidget>(window, "tabWidget");
    auto *socketPage = child<QWidget>(window, "tab_Socket");
    auto *serialStatus = child<QLabel>(window, "lblSerialStatus");
    if (!tab.complete() || tabs == nullptr || socketPage == nullptr || serialStatus == nullptr) {
        state.SkipWithError("the window lacks a widget of the socket tab");
        return;
    }
    // The user watches the transfer: the response field is on screen and drawn as it grows.
    tabs->setCurrentWidget(socketPage);
    window.show();
    if (inspectorOpen) {
        // As the user opens it: from the Tools menu, a window of its own beside the main one.
        for (QAction *action : window.findChildren<QAction *>()) {
            if (action->text() == QLatin1String("Traffic Inspector...")) {
                action->trigger();
            }
        }
    }
    TransferWatch watch(module, tab.sendStatus);

    window.openSerialPort(module.devicePath());
    if (serialStatus->text() != module.devicePath()) {
        state.SkipWithError("the window did not connect to the module's pty");
        return;
    }
    tab.apnName->setText(QStringLiteral("internet"));
    tab.configApn->click();
    const auto apnSet = [&] {
        return tab.apnStatus->text() == QLatin1String("APN configured successfully.") &&
               linkIdle(module);
    };
    if (!waitUntil(apnSet)) {
        state.SkipWithError("the APN was not set");
        return;
    }
    tab.url->setText(QStringLiteral("example.org:80"));
    tab.payload->setPlainText(QStringLiteral("GET / HTTP/1.0\r\n\r\n"));

    const QString expectedSize = QString::number(kLongResponseBytes);
    // The field shows each CRLF of the response as one line break.
    const QString shownResponse = QString::fromLatin1(cannedHttpResponse(kLongResponseBytes))
                                      .replace(QLatin1String("\r\n"), QLatin1String("\n"));
    WireTally tally{flow};
    int refreshes = 0;
    double worstStallMs = 0;
    for (auto _ : state) {
        const ModuleStats before = module.stats();
        if (!watch.run([&] { tab.send->click(); })) {
            state.SkipWithError("the window did not show the transfer's result");
            break;
        }
        const std::chrono::duration<double> elapsed = watch.endTime() - watch.startTime();
        state.SetIterationTime(elapsed.count());
        if (tab.response->toPlainText() != shownResponse ||
            tab.responseSize->text() != expectedSize) {
            state.SkipWithError("the window does not show the whole response");
            break;
        }
        const ModuleStats after = watch.statsAtEnd();
        tally.add(elapsed.count(), after.bytesWritten - before.bytesWritten,
                  after.bytesReceived - before.bytesReceived,
                  after.link.retransmissions - before.link.retransmissions);
        refreshes += watch.refreshes();
        worstStallMs = std::max(worstStallMs, watch.worstStallMs());

        if (!waitUntil([&] { return linkIdle(module); })) {
            state.SkipWithError("the link did not settle after the transfer");
            break;
        }
    }
    tally.report(state);
    state.counters["refreshes"] = benchmark::Counter(refreshes, benchmark::Counter::kAvgIterations);
    state.counters["max_stall_ms"] = worstStallMs;
}

// A port lost and back at the same path: from the device's return until the request queued
// meanwhile was written, the worker watching the device's folder (and looking every 500 ms).
void BM_Reconnect(benchmark::State &state) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("kova"));
    VirtualModule module;
    std::atomic<bool> written{false};
    QObject::connect(
        &module, &VirtualModule::frameReceived, &module,
        [&](quint8 id) { written = written || id == CMD_GET_RSSI; }, Qt::DirectConnection);
    if (!module.start() || !module.createLink(path)) {
        state.SkipWithError("the module did not start");
        return;
    }
    ToolSide tool(false);
    if (!tool.open(path)) {
        state.SkipWithError("the worker could not open the module's pty");
        return;
    }
    int returns = 0;
    for (auto _ : state) {
        module.stop();
        if (!waitUntil([&] { return tool.watching(); })) {
            state.SkipWithError("the loss was not noticed");
            break;
        }
        written = false;
        link_get_rssi();
        // Devices come back at any moment of the worker's look: spread the returns over it.
        QThread::msleep(static_cast<unsigned long>(++returns * 53 % 500));
        if (!module.start()) {
            state.SkipWithError("the module did not start again");
            break;
        }
        const Clock::time_point back = Clock::now();
        module.createLink(path);
        if (!waitUntil([&] { return written.load(); })) {
            state.SkipWithError("the queued request was not written");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - back).count());
    }
}

void registerAll() {
    const Transfer download{0, kLongResponseBytes};
    const Transfer upload{kLongRequestBytes, kShortResponseBytes};
    const struct {
        const char *name;
        Transfer transfer;
        FlowMode flow;
        bool oneFramePerWakeup;
        Via via = Via::Pty;
    } cases[] = {
        {"socket_40k/stop_and_wait/every_ready_frame", download, FlowMode::StopAndWait, false},
        {"socket_40k/stop_and_wait/one_frame_per_wakeup", download, FlowMode::StopAndWait, true},
        {"socket_40k/pipelined/every_ready_frame", download, FlowMode::Pipelined, false},
        {"socket_40k/pipelined/one_frame_per_wakeup", download, FlowMode::Pipelined, true},
        {"upload_10k/pipelined/every_ready_frame", upload, FlowMode::Pipelined, false},
        {"ser2net_40k/raw/stop_and_wait", download, FlowMode::StopAndWait, false, Via::Ser2netRaw},
        {"ser2net_40k/raw/pipelined", download, FlowMode::Pipelined, false, Via::Ser2netRaw},
        {"ser2net_40k/rfc2217/stop_and_wait", download, FlowMode::StopAndWait, false,
         Via::Ser2netRfc2217},
        {"ser2net_40k/rfc2217/pipelined", download, FlowMode::Pipelined, false,
         Via::Ser2netRfc2217},
    };
    for (const auto &c : cases) {
        benchmark::RegisterBenchmark(c.name, BM_Socket, c.transfer, c.flow, c.oneFramePerWakeup,
                                     c.via)
            ->UseManualTime()
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
    }
    const struct {
        const char *name;
        FlowMode flow;
        bool inspectorOpen;
    } windowCases[] = {
        {"window_socket_40k/stop_and_wait", FlowMode::StopAndWait, false},
        {"window_socket_40k/pipelined", FlowMode::Pipelined, false},
        {"window_socket_40k/stop_and_wait/inspector_open", FlowMode::StopAndWait, true},
        {"window_socket_40k/pipelined/inspector_open", FlowMode::Pipelined, true},
    };
    benchmark::RegisterBenchmark("reconnect/device_back_to_first_frame", BM_Reconnect)
        ->UseManualTime()
        ->Iterations(10)
        ->Unit(benchmark::kMillisecond);
    for (const auto &c : windowCases) {
        benchmark::RegisterBenchmark(c.name, BM_WindowSocket, c.flow, c.inspectorOpen)
            ->UseManualTime()
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

// The module and the worker run threads of their own. In the worker cases the main thread only
// waits, but the module's signals need an application to be delivered to; in the window cases
// it is the GUI thread.
int main(int argc, char **argv) {
    return runGuiBenchmarks(argc, argv, registerAll);
}
