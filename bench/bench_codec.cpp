// Encode and decode throughput of the frame codec for short, medium and full payloads, plain and
// escape-rich. Rates are in wire bytes (markers and escapes included) and frames per second;
// divide bytes_per_second by 11,520 (115200 baud, 8N1) for the multiple of the serial line.
#include <benchmark/benchmark.h>

#include <vector>

#include "frame_codec.h"

namespace {

// Large enough for an escape-rich 255-byte payload, which the send path's 512-byte buffer could
// not hold: the codec's speed is measured apart from that limit.
constexpr uint16_t ENCODE_CAPACITY = 1024;

// Plain bytes stay below every marker; escape-rich ones are all markers.
std::vector<uint8_t> make_payload(int64_t length, bool escapeRich) {
    static const uint8_t markers[] = {FRAME_START, FRAME_ESCAPE, FRAME_END};
    std::vector<uint8_t> payload(static_cast<size_t>(length));
    for (size_t i = 0; i < payload.size(); ++i) {
        payload[i] = escapeRich ? markers[i % 3] : static_cast<uint8_t>(0x20 + i % 64);
    }
    return payload;
}

// An escape-rich message has markers in its header too, so that even the empty payload differs.
LinkMessage make_message(std::vector<uint8_t> &payload, bool escapeRich) {
    LinkMessage message;
    message.cmdId = escapeRich ? FRAME_ESCAPE : 0x81;
    message.seq = escapeRich ? FRAME_START : 0x10;
    message.status = escapeRich ? FRAME_END : REPLY_FLAG;
    message.payload = payload.data();
    message.length = static_cast<uint16_t>(payload.size());
    return message;
}

void set_rates(benchmark::State &state, uint16_t wireSize) {
    const auto frames = static_cast<double>(state.iterations());
    state.SetBytesProcessed(state.iterations() * wireSize);
    state.counters["frames"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["wire_size"] = wireSize;
}

void BM_Encode(benchmark::State &state) {
    const bool escapeRich = state.range(1) != 0;
    std::vector<uint8_t> payload = make_payload(state.range(0), escapeRich);
    const LinkMessage message = make_message(payload, escapeRich);
    uint8_t out[ENCODE_CAPACITY];
    uint16_t length = 0;
    for (auto _ : state) {
        const int result = frame_encode(&message, out, sizeof out, &length);
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
    }
    set_rates(state, length);
}

void BM_Decode(benchmark::State &state) {
    const bool escapeRich = state.range(1) != 0;
    std::vector<uint8_t> payload = make_payload(state.range(0), escapeRich);
    const LinkMessage message = make_message(payload, escapeRich);
    uint8_t frame[ENCODE_CAPACITY];
    uint16_t length = 0;
    if (frame_encode(&message, frame, sizeof frame, &length) != FRAME_OK) {
        state.SkipWithError("the frame does not encode");
        return;
    }
    // The receive path's decoder, set up as the application does.
    uint8_t buffer[DECODER_BUFFER_SIZE];
    frame_decoder_init(buffer, sizeof buffer);
    LinkMessage taken;
    for (auto _ : state) {
        int result = FRAME_OK;
        for (uint16_t i = 0; i < length; ++i) {
            result = frame_decoder_put(frame[i]);
        }
        if (result != FRAME_COMPLETE || frame_decoder_take(&taken) != FRAME_OK) {
            state.SkipWithError("the frame does not decode");
            break;
        }
        benchmark::DoNotOptimize(taken);
    }
    set_rates(state, length);
}

void payload_cases(benchmark::internal::Benchmark *b) {
    b->ArgNames({"payload", "escapes"});
    for (int length : {0, 16, 255}) {
        for (int escapeRich : {0, 1}) {
            b->Args({length, escapeRich});
        }
    }
}

BENCHMARK(BM_Encode)->Apply(payload_cases);
BENCHMARK(BM_Decode)->Apply(payload_cases);

}  // namespace

BENCHMARK_MAIN();
