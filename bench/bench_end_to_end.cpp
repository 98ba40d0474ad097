// Socket transfers through the serial worker over a real pty, the virtual module paced at
// 115200-baud wire time: a 40,000-byte response, and a 10,000-byte request payload sent in
// pieces. Each is timed from queuing the request until the tool has handled the transfer's
// result; `ratio` is the time taken over the least time the line allows.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "comm_processor.h"
#include "frame_codec.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "link_state.h"
#include "module3g.h"
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

// Runs the main thread's events (the module's queued signals) until `done` holds.
bool waitUntil(const std::function<bool()> &done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.hasExpired(kWaitMs)) {
            return false;
        }
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return true;
}

// The tool's side of the bench: the worker on the module's pty, and what it wrote. The counters
// are kept on the worker thread as the frames go out, so that the end of a transfer can take
// their value at the moment the result was handled.
class ToolSide {
  public:
    explicit ToolSide(bool oneFramePerWakeup) {
        static uint8_t decoderBuffer[DECODER_BUFFER_SIZE];
        link_init();
        frame_decoder_init(decoderBuffer, sizeof decoderBuffer);
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

// Nothing in flight either way: every frame of both sides acknowledged, and everything the tool
// wrote read by the module.
bool settled(const VirtualModule &module, const ToolSide &tool) {
    const ModuleStats stats = module.stats();
    if (stats.unacknowledged != 0 || stats.queued != 0 || stats.bytesReceived != tool.bytesSent()) {
        return false;
    }
    LockedLinkState s = link_get_state();
    for (const TxSlot &slot : s->txTable) {
        if (slot.occupied() && !slot.done) {
            return false;
        }
    }
    return true;
}

struct Transfer {
    int requestBytes;
    int responseBytes;
};

void BM_Socket(benchmark::State &state, Transfer transfer, FlowMode flow, bool oneFramePerWakeup) {
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
    ToolSide tool(oneFramePerWakeup);
    if (!tool.open(module.devicePath())) {
        state.SkipWithError("the worker could not open the module's pty");
        return;
    }
    // A transfer without an APN ends at once with "APN not set".
    const auto apnSet = [&] {
        const bool replied = link_snapshot().cmdStatus[CMD_APN_SET] == 0;
        return replied && settled(module, tool);
    };
    if (!link_apn_set("internet", "", "") || !waitUntil(apnSet)) {
        state.SkipWithError("the APN was not set");
        return;
    }

    double measured = 0;
    double least = 0;
    uint64_t moduleBytes = 0;
    uint64_t toolBytes = 0;
    uint64_t retransmissions = 0;
    uint64_t reads = 0;
    for (auto _ : state) {
        const ModuleStats before = module.stats();
        const uint64_t toolBefore = tool.bytesSent();
        const uint64_t readsBefore = tool.reads();
        tool.arm();
        const Clock::time_point start = Clock::now();
        if (!link_socket_append_payload(request) || !link_socket_send("example.org:80", 0, 5000)) {
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
        const uint64_t fromTool = tool.bytesSentAtEnd() - toolBefore;
        // Stop-and-wait leaves one direction idle while the other talks; pipelined runs both
        // at once, so only the busier one bounds the time.
        least += flow == FlowMode::StopAndWait
                     ? wireSeconds(fromModule + fromTool)
                     : std::max(wireSeconds(fromModule), wireSeconds(fromTool));
        measured += elapsed.count();
        moduleBytes += fromModule;
        toolBytes += fromTool;
        retransmissions += after.link.retransmissions - before.link.retransmissions;

        if (!waitUntil([&] { return settled(module, tool); })) {
            state.SkipWithError("the link did not settle after the transfer");
            break;
        }
    }
    using benchmark::Counter;
    state.counters["ratio"] = least > 0 ? measured / least : 0;
    state.counters["measured_s"] = Counter(measured, Counter::kAvgIterations);
    state.counters["least_s"] = Counter(least, Counter::kAvgIterations);
    state.counters["module_bytes"] = Counter(moduleBytes, Counter::kAvgIterations);
    state.counters["tool_bytes"] = Counter(toolBytes, Counter::kAvgIterations);
    state.counters["module_wire_s"] = Counter(wireSeconds(moduleBytes), Counter::kAvgIterations);
    state.counters["tool_wire_s"] = Counter(wireSeconds(toolBytes), Counter::kAvgIterations);
    state.counters["retransmissions"] = Counter(retransmissions, Counter::kAvgIterations);
    state.counters["tool_reads"] = Counter(reads, Counter::kAvgIterations);
    if (flow == FlowMode::StopAndWait && least > 0) {
        // The module paces only its own output: the tool's bytes cross the pty at once, which
        // lets `ratio` fall below 1. In this mode the module waits for each of them before its
        // next frame, so adding their wire time bounds what a paced line would take.
        state.counters["ratio_tool_paced"] = (measured + wireSeconds(toolBytes)) / least;
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
    } cases[] = {
        {"socket_40k/stop_and_wait/every_ready_frame", download, FlowMode::StopAndWait, false},
        {"socket_40k/stop_and_wait/one_frame_per_wakeup", download, FlowMode::StopAndWait, true},
        {"socket_40k/pipelined/every_ready_frame", download, FlowMode::Pipelined, false},
        {"socket_40k/pipelined/one_frame_per_wakeup", download, FlowMode::Pipelined, true},
        {"upload_10k/pipelined/every_ready_frame", upload, FlowMode::Pipelined, false},
    };
    for (const auto &c : cases) {
        benchmark::RegisterBenchmark(c.name, BM_Socket, c.transfer, c.flow, c.oneFramePerWakeup)
            ->UseManualTime()
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char **argv) {
    // The module and the worker run threads of their own; the main thread only waits, but the
    // module's signals need an application to be delivered to.
    QCoreApplication app(argc, argv);
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
