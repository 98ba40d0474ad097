// The module's side of the link protocol: answers each frame of the tool with an ACK or a NAK,
// recognises repeats, numbers its own frames, writes them again until they are acknowledged,
// and decides which frame goes on the line next. No I/O: bytes come in through receive() and
// frames go out through takeNextFrame().
#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <array>
#include <deque>
#include <functional>
#include <optional>

#include "command_ids.h"
#include "frame_codec.h"
#include "module_outbox.h"

// Seconds on a monotonic clock; tests replace it to move time without sleeping.
using ModuleClock = std::function<double()>;
double monotonicSeconds();

enum class FlowMode {
    Pipelined,    // frames go out back to back, without waiting for acknowledgements
    StopAndWait,  // one unacknowledged module frame at a time
};

struct ModuleLinkCounters {
    std::array<quint32, 256> receivedById{};
    quint32 acksSent = 0;
    quint32 naksSent = 0;
    quint32 acksWithheld = 0;
    quint32 repeatsSeen = 0;
    quint32 acksReceived = 0;
    quint32 naksReceived = 0;
    quint32 unmatchedAcks = 0;
    quint32 repliesFromTool = 0;
    quint32 framesTaken = 0;
    quint32 retransmissions = 0;
    quint32 encodeFailures = 0;
};

struct LineFrame {
    QByteArray bytes;
    uint8_t id;
    uint8_t seq;
    bool retransmission;
};

class ModuleLink : public ModuleOutbox {
  public:
    using RequestHandler = std::function<void(const ModuleRequest &)>;

    static constexpr double kRetransmitSeconds = 10.0;
    // How many tool frames, handled within how many seconds, the repeat filter remembers. Fewer
    // than the 255 sequence numbers, so a tool that numbers its frames in turn never repeats a
    // remembered one by chance.
    static constexpr int kRepeatMemory = 64;
    static constexpr double kRepeatMemorySeconds = 60.0;
    // Fewer than the 255 sequence numbers, so that an acknowledgement names one frame only and a
    // number is left beside the one of the ACK sent last.
    static constexpr int kPipelineWindow = 254;
    static constexpr uint8_t kFirstSequence = 0x10;
    static constexpr int kDefaultMaxMessageSize = 256;

    ModuleLink();
    ModuleLink(const ModuleLink &) = delete;
    ModuleLink &operator=(const ModuleLink &) = delete;

    void setClock(ModuleClock clock);
    void setRequestHandler(RequestHandler handler);
    void setFlowMode(FlowMode mode) { flowMode_ = mode; }
    void setNakIds(const QSet<quint8> &ids) { nakIds_ = ids; }
    void setWithholdAcks(bool withhold) { withholdAcks_ = withhold; }
    void setNextSequence(uint8_t seq) { nextSeq_ = seq; }

    // Decodes the bytes, answers every complete frame and hands new requests to the handler.
    // Returns the frames decoded, in order.
    QList<DecodedFrame> receive(const QByteArray &bytes);
    // The frame to write now: acknowledgements first, then frames due again, then new frames as
    // far as the flow mode allows, those of no stream before those of a stream.
    std::optional<LineFrame> takeNextFrame();

    int maxMessageSize() const { return maxMessageSize_; }
    int unacknowledged() const { return static_cast<int>(unacked_.size()); }
    int queued() const { return static_cast<int>(waiting_.size() + streaming_.size()); }
    const ModuleLinkCounters &counters() const { return counters_; }
    const FrameDecoder &decoder() const { return decoder_; }

    void send(uint8_t id, uint8_t status, const QByteArray &payload, int stream) override;
    int dropUnsent(int stream) override;
    bool hasUnsent(int stream) const override;
    int pieceSize() const override;

  private:
    struct OwnFrame {
        uint8_t id = 0;
        uint8_t status = 0;
        QByteArray payload;
        int stream = kNoStream;
        uint8_t seq = 0;
        QByteArray wire;
        double lastSent = 0;
    };
    // A tool frame as handled, and how it was answered.
    struct HandledFrame {
        DecodedFrame frame;
        uint8_t controlId = CMD_ACK;
        double handledAt = 0;
    };

    void handle(const LinkMessage &message);
    const HandledFrame *findRepeat(const LinkMessage &message, double now) const;
    void remember(const LinkMessage &message, uint8_t controlId, double now);
    void answer(uint8_t controlId, uint8_t seq);
    void settle(uint8_t seq, bool acknowledged);
    uint8_t allocateSequence();
    QByteArray encode(uint8_t id, uint8_t seq, uint8_t status, const QByteArray &payload);

    std::array<uint8_t, 512> decoderBuffer_{};
    FrameDecoder decoder_;
    ModuleClock clock_;
    RequestHandler handler_;
    FlowMode flowMode_ = FlowMode::Pipelined;
    QSet<quint8> nakIds_;
    bool withholdAcks_ = false;
    uint8_t nextSeq_ = kFirstSequence;
    int maxMessageSize_ = kDefaultMaxMessageSize;
    // Newest last; repeats are answered as these were.
    std::deque<HandledFrame> handled_;
    std::optional<uint8_t> lastAnswerSeq_;
    std::deque<QByteArray> controlFrames_;
    std::deque<OwnFrame> waiting_;    // frames of no stream, not written yet
    std::deque<OwnFrame> streaming_;  // frames of streams, not written yet
    std::deque<OwnFrame> unacked_;
    ModuleLinkCounters counters_;
};
