// Acknowledgement, repeat and retransmission rules of the module side.
#include "module_link.h"

#include <algorithm>
#include <chrono>

namespace {

// Big enough for the largest module frame with every byte escaped.
constexpr uint16_t kEncodeCapacity = 1024;

}  // namespace

double monotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

ModuleLink::ModuleLink() : clock_(monotonicSeconds) {
    frame_decoder_init(&decoder_, decoderBuffer_.data(),
                       static_cast<uint16_t>(decoderBuffer_.size()));
}

void ModuleLink::setClock(ModuleClock clock) {
    clock_ = clock ? std::move(clock) : ModuleClock(monotonicSeconds);
}

void ModuleLink::setRequestHandler(RequestHandler handler) {
    handler_ = std::move(handler);
}

QList<DecodedFrame> ModuleLink::receive(const QByteArray &bytes) {
    QList<DecodedFrame> frames;
    frame_decoder_feed(&decoder_, bytes, [this, &frames](const LinkMessage &message) {
        frames.append(frame_decoded_copy(message));
        handle(message);
    });
    return frames;
}

void ModuleLink::handle(const LinkMessage &message) {
    ++counters_.receivedById[message.cmdId];
    switch (message.cmdId) {
        case CMD_ACK:
            settle(message.seq, true);
            return;
        case CMD_NAK:
            settle(message.seq, false);
            return;
        case CMD_MAX_MESSAGE_SIZE:
            // The size travels divided by 4; sizes too small to carry a piece are ignored.
            if (message.length >= 1 && message.payload[0] >= 2) {
                maxMessageSize_ = message.payload[0] * 4;
            }
            return;
        default:
            break;
    }
    if (message.cmdId < FIRST_STATUS_ID) {
        return;  // the other control ids mean nothing yet, and control frames are never answered
    }
    const double now = clock_();
    if (const HandledFrame *earlier = findRepeat(message, now)) {
        // The tool wrote the frame again: our answer was lost or late. Answer once more, but
        // the request was carried out already.
        ++counters_.repeatsSeen;
        answer(earlier->controlId, message.seq);
        return;
    }
    const bool rejected = nakIds_.contains(message.cmdId);
    const uint8_t controlId = rejected ? CMD_NAK : CMD_ACK;
    remember(message, controlId, now);
    answer(controlId, message.seq);
    if (rejected) {
        return;
    }
    if (message.status & REPLY_FLAG) {
        ++counters_.repliesFromTool;  // the tool confirming a frame the module started
        return;
    }
    if (handler_) {
        handler_(ModuleRequest{
            message.cmdId,
            QByteArray(reinterpret_cast<const char *>(message.payload), message.length)});
    }
}

// The tool rewrites a frame 10 s after it went unacknowledged, with other frames in between,
// so the last sequence number answered is not enough to know a repeat.
const ModuleLink::HandledFrame *ModuleLink::findRepeat(const LinkMessage &message,
                                                       double now) const {
    const QByteArray payload =
        QByteArray::fromRawData(reinterpret_cast<const char *>(message.payload), message.length);
    for (auto h = handled_.rbegin(); h != handled_.rend(); ++h) {
        if (now - h->handledAt <= kRepeatMemorySeconds && h->frame.seq == message.seq &&
            h->frame.cmdId == message.cmdId && h->frame.status == message.status &&
            h->frame.payload == payload) {
            return &*h;
        }
    }
    return nullptr;
}

void ModuleLink::remember(const LinkMessage &message, uint8_t controlId, double now) {
    handled_.push_back(HandledFrame{frame_decoded_copy(message), controlId, now});
    if (handled_.size() > static_cast<size_t>(kRepeatMemory)) {
        handled_.pop_front();
    }
}

void ModuleLink::answer(uint8_t controlId, uint8_t seq) {
    if (controlId == CMD_ACK && withholdAcks_) {
        ++counters_.acksWithheld;
        return;
    }
    ++(controlId == CMD_ACK ? counters_.acksSent : counters_.naksSent);
    lastAnswerSeq_ = seq;
    controlFrames_.push_back(encode(controlId, seq, 0, QByteArray()));
}

void ModuleLink::settle(uint8_t seq, bool acknowledged) {
    const auto match = std::find_if(unacked_.begin(), unacked_.end(),
                                    [seq](const OwnFrame &f) { return f.seq == seq; });
    if (match == unacked_.end()) {
        ++counters_.unmatchedAcks;
        return;
    }
    ++(acknowledged ? counters_.acksReceived : counters_.naksReceived);
    unacked_.erase(match);
}

std::optional<LineFrame> ModuleLink::takeNextFrame() {
    if (!controlFrames_.empty()) {
        LineFrame frame{controlFrames_.front(), 0, 0, false};
        controlFrames_.pop_front();
        frame_read_header(reinterpret_cast<const uint8_t *>(frame.bytes.constData()),
                          static_cast<uint16_t>(frame.bytes.size()), &frame.id, &frame.seq);
        ++counters_.framesTaken;
        return frame;
    }
    const double now = clock_();
    for (OwnFrame &f : unacked_) {
        if (now - f.lastSent > kRetransmitSeconds) {
            f.lastSent = now;
            ++counters_.retransmissions;
            ++counters_.framesTaken;
            return LineFrame{f.wire, f.id, f.seq, true};
        }
    }
    const size_t window = flowMode_ == FlowMode::StopAndWait ? 1 : kPipelineWindow;
    while (unacked_.size() < window && (!waiting_.empty() || !streaming_.empty())) {
        // A stream gives way to every other frame, so that requests get their answers while a
        // long response is on its way.
        std::deque<OwnFrame> &queue = waiting_.empty() ? streaming_ : waiting_;
        OwnFrame f = std::move(queue.front());
        queue.pop_front();
        f.seq = allocateSequence();
        f.wire = encode(f.id, f.seq, f.status, f.payload);
        if (f.wire.isEmpty()) {
            ++counters_.encodeFailures;
            continue;
        }
        f.lastSent = now;
        unacked_.push_back(std::move(f));
        ++counters_.framesTaken;
        const OwnFrame &taken = unacked_.back();
        return LineFrame{taken.wire, taken.id, taken.seq, false};
    }
    return std::nullopt;
}

uint8_t ModuleLink::allocateSequence() {
    // 1..255, skipping 0, any number a frame still waiting for its ACK carries, and the number
    // of the ACK or NAK sent last: a tool that counts that number as the last one it heard
    // would take our frame for a repeat and drop it, and every retransmission with it.
    for (int tries = 0; tries < 256; ++tries) {
        const uint8_t seq = nextSeq_;
        nextSeq_ = static_cast<uint8_t>(nextSeq_ + 1);
        const bool inUse = std::any_of(unacked_.begin(), unacked_.end(),
                                       [seq](const OwnFrame &f) { return f.seq == seq; });
        if (seq != 0 && !inUse && seq != lastAnswerSeq_) {
            return seq;
        }
    }
    return 1;  // unreachable while the window stays below 255
}

QByteArray ModuleLink::encode(uint8_t id, uint8_t seq, uint8_t status, const QByteArray &payload) {
    return frame_encode_bytes(id, seq, status, payload, kEncodeCapacity);
}

void ModuleLink::send(uint8_t id, uint8_t status, const QByteArray &payload, int stream) {
    OwnFrame frame;
    frame.id = id;
    frame.status = status;
    frame.payload = payload;
    frame.stream = stream;
    (stream == kNoStream ? waiting_ : streaming_).push_back(std::move(frame));
}

int ModuleLink::dropUnsent(int stream) {
    const auto before = streaming_.size();
    streaming_.erase(std::remove_if(streaming_.begin(), streaming_.end(),
                                    [stream](const OwnFrame &f) { return f.stream == stream; }),
                     streaming_.end());
    return static_cast<int>(before - streaming_.size());
}

bool ModuleLink::hasUnsent(int stream) const {
    return std::any_of(streaming_.begin(), streaming_.end(),
                       [stream](const OwnFrame &f) { return f.stream == stream; });
}

int ModuleLink::pieceSize() const {
    return std::min(255, maxMessageSize_ - 1);
}
