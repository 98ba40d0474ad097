// Received frames handled per second by link_process while a number of transmit slots hold
// frames that wait for an acknowledgement but are not due. Only link_process is timed; storing
// the received frame is set-up. `line` is the handling rate as a multiple of the frames per
// second the serial line can carry at that frame's wire size.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>

#include "frame_codec.h"
#include "link_clock.h"
#include "link_engine.h"
#include "link_internal.h"
#include "link_state.h"

namespace {

constexpr double LINE_BYTES_PER_SECOND = 11520.0;
// The clock stands still, so the occupied slots never come due during a run.
constexpr int64_t NOW = 1000;

uint16_t wire_size(const LinkMessage &message) {
    uint8_t frame[FRAME_BUFFER_SIZE];
    uint16_t length = 0;
    frame_encode(&message, frame, sizeof frame, &length);
    return length;
}

// Fills `count` transmit slots with written request frames that are not due yet.
bool occupy(int count) {
    link_set_clock([] { return NOW; });
    link_init();
    for (int i = 0; i < count; ++i) {
        if (!link_send(CMD_GET_RSSI, nullptr, 0, 0)) {
            return false;
        }
    }
    link_detail::Transaction t;
    for (int i = 0; i < LINK_SLOT_COUNT; ++i) {
        link_detail::tx_written(t.state, i, NOW);
    }
    return true;
}

// Times link_process for one received message per pass, the message made by `next`.
template <typename Next>
void run(benchmark::State &state, Next next) {
    if (!occupy(static_cast<int>(state.range(0)))) {
        state.SkipWithError("the transmit table did not take the frames");
        return;
    }
    uint8_t payload[1] = {0x1F};
    LinkMessage message;
    message.payload = payload;
    double seconds = 0;
    for (auto _ : state) {
        next(&message);
        link_store_received(&message);
        const auto start = std::chrono::steady_clock::now();
        const QByteArray written = link_process();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        benchmark::DoNotOptimize(written);
        state.SetIterationTime(elapsed.count());
        seconds += elapsed.count();
    }
    const double framesPerSecond = seconds > 0 ? state.iterations() / seconds : 0;
    const uint16_t wireSize = wire_size(message);
    state.counters["frames_per_s"] = framesPerSecond;
    state.counters["wire_size"] = wireSize;
    state.counters["line"] = framesPerSecond * wireSize / LINE_BYTES_PER_SECOND;
    link_set_clock(LinkClock());
}

// The module's reply to an RSSI query, each with a fresh sequence number so that none is taken
// for a repeat. The engine acknowledges it, which takes a free slot when there is one.
void BM_ProcessReply(benchmark::State &state) {
    uint8_t seq = 0;
    run(state, [&seq](LinkMessage *m) {
        seq = static_cast<uint8_t>(seq % 255 + 1);
        m->cmdId = CMD_GET_RSSI;
        m->seq = seq;
        m->status = REPLY_FLAG;
        m->length = 1;
    });
}

// An acknowledgement that matches no slot: the whole table is searched for it.
void BM_ProcessUnmatchedAck(benchmark::State &state) {
    run(state, [](LinkMessage *m) {
        m->cmdId = CMD_ACK;
        m->seq = 0;
        m->status = 0;
        m->length = 0;
    });
}

BENCHMARK(BM_ProcessReply)
    ->ArgName("occupied")
    ->Arg(0)
    ->Arg(1000)
    ->Arg(LINK_SLOT_COUNT)
    ->UseManualTime();
BENCHMARK(BM_ProcessUnmatchedAck)
    ->ArgName("occupied")
    ->Arg(0)
    ->Arg(1000)
    ->Arg(LINK_SLOT_COUNT)
    ->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
