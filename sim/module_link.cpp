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

QList<ReceivedFrame> ModuleLink::receive(const char *data, int length) {
    QList<ReceivedFrame> frames;
    for (int i = 0; i < length; ++i) {
        if (frame_decoder_put(&decoder_, static_cast<uint8_t>(data[i])) != FRAME_COMPLETE) {
            continue;
        }
        LinkMessage message;
        if (frame_decoder_take(&decoder_, &message) != FRAME_OK) {
            continue;
        }
        // The payload points into the decoder's buffer: copy it before the next byte.
        frames.append(
            {message.cmdId, message.seq, message.status,
             QByteArray(reinterpret_cast<const char *>(message.payload), message.length)});
        handle(message);
    }
    return frames;
}

void ModuleLink::handle(const LinkMessage &message) {
    ++counters_.receivedById[message.cmdId];
    switch (message.cmdId) {
        case kAck:
            settle(message.seq, true);
            return;
        case kNak:
            settle(message.seq, false);
            return;
        case kMaxMessageSize:
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
    if (lastAnswer_ && lastAnswer_->seq == message.seq) {
        // The tool wrote the frame again: our answer was lost or late. Answer once more, but
        // the request was carried out already.
        ++counters_.repeatsSeen;
        answer(lastAnswer_->controlId, message.seq);
        return;
    }
    const bool rejected = nakIds_.contains(message.cmdId);
    lastAnswer_ = Answer{message.seq, rejected ? kNak : kAck};
    answer(lastAnswer_->controlId, message.seq);
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

void ModuleLink::answer(uint8_t controlId, uint8_t seq) {
    if (controlId == kAck && withholdAcks_) {
        ++counters_.acksWithheld;
        return;
    }
    ++(controlId == kAck ? counters_.acksSent : counters_.naksSent);
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
    // 1..255, skipping 0 and any number a frame still waiting for its ACK carries.
    for (int tries = 0; tries < 256; ++tries) {
        const uint8_t seq = nextSeq_;
        nextSeq_ = static_cast<uint8_t>(nextSeq_ + 1);
        const bool inUse = std::any_of(unacked_.begin(), unacked_.end(),
                                       [seq](const OwnFrame &f) { return f.seq == seq; });
        if (seq != 0 && !inUse) {
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
