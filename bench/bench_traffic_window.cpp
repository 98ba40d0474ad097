// The traffic inspector at its limit: 100,000 frames taken from the link into a capture and an
// open inspector window, in the batches the capture takes, then filtered.
#include <benchmark/benchmark.h>

#include <QAbstractItemModel>
#include <chrono>

#include "frame_codec.h"
#include "gui_bench_main.h"
#include "link_engine.h"
#include "link_state.h"
#include "traffic_capture.h"
#include "traffic_window.h"

namespace {

constexpr int kFrames = TrafficCapture::kMaxRows;
// About what 100 ms of a busy line brings, and well under the link's backlog.
constexpr int kBatch = 2000;

// RSSI replies from the module, each with a sequence number of its own.
QByteArray moduleFrames(int count, int first) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        const auto seq = static_cast<uint8_t>(1 + (first + i) % 250);
        bytes += frame_encode_bytes(CMD_GET_RSSI, seq, REPLY_FLAG, QByteArray(1, char(i % 32)));
    }
    return bytes;
}

void BM_AppendAndFilter(benchmark::State &state) {
    for (auto _ : state) {
        state.PauseTiming();
        link_init();
        TrafficCapture capture;
        TrafficWindow inspector(&capture);
        QList<QByteArray> batches;
        for (int sent = 0; sent < kFrames; sent += kBatch) {
            batches << moduleFrames(kBatch, sent);
        }
        state.ResumeTiming();
        // The link's own work (decoding, answering) belongs to the link's benchmarks: only the
        // capture's takes and the view's updates are timed.
        double appendSeconds = 0;
        for (const QByteArray &batch : batches) {
            link_receive(batch);
            while (!link_process().isEmpty()) {
            }
            const auto start = std::chrono::steady_clock::now();
            capture.takeNow();
            appendSeconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        const auto start = std::chrono::steady_clock::now();
        inspector.setFilterText(QStringLiteral("in a1 1f"));
        const int shown = inspector.viewModel()->rowCount();
        const double filterSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["append_ms"] = appendSeconds * 1000;
        state.counters["filter_ms"] = filterSeconds * 1000;
        state.counters["rows"] = static_cast<double>(capture.records().size());
        state.counters["shown"] = shown;
    }
}

void registerAll() {
    benchmark::RegisterBenchmark("traffic_window/append_100k_then_filter", BM_AppendAndFilter)
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char **argv) {
    return runGuiBenchmarks(argc, argv, registerAll);
}
