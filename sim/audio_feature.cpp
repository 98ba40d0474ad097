// Audio reads and range-checked writes.
#include "audio_feature.h"

#include "call_feature.h"
#include "payload_fields.h"

namespace {

constexpr uint8_t kMaxGain = 100;
constexpr uint8_t kMaxSidetone = 175;
constexpr uint8_t kFirstPreset = 1;
constexpr uint8_t kLastPreset = 8;
constexpr uint8_t kMaxRingVolume = 4;

QByteArray bytes(uint8_t a) {
    return QByteArray(1, char(a));
}
QByteArray bytes(uint8_t a, uint8_t b) {
    return bytes(a) + char(b);
}

}  // namespace

bool AudioFeature::handle(const ModuleRequest &request, ModuleOutbox &out) {
    PayloadReader reader(request.payload);
    uint8_t a = 0;
    uint8_t b = 0;
    const bool one = reader.byte(a);
    const bool two = one && reader.byte(b);
    switch (request.id) {
        case CMD_AUDIO_GET_MIC_MUTE:
            out.reply(request.id, Ok, bytes(settings_.micMute));
            return true;
        case CMD_AUDIO_GET_MIC_GAIN:
            out.reply(request.id, Ok, bytes(settings_.micGain));
            return true;
        case CMD_AUDIO_GET_SPEAKER_GAIN:
            out.reply(request.id, Ok, bytes(settings_.speakerGain, settings_.sidetoneGain));
            return true;
        case CMD_AUDIO_GET_RING_TONE:
            out.reply(request.id, Ok, bytes(settings_.ringTonePreset, settings_.ringToneVolume));
            return true;
        case CMD_AUDIO_SET_MIC_MUTE:
            if (!one || a > 1) {
                out.reply(request.id, InvalidValue);
            } else if (calls_.state() != CallFeature::Active) {
                out.reply(request.id, Failed);
            } else {
                settings_.micMute = a;
                out.reply(request.id, Ok);
            }
            return true;
        case CMD_AUDIO_SET_MIC_GAIN:
            if (!one || a > kMaxGain) {
                out.reply(request.id, InvalidValue);
                return true;
            }
            settings_.micGain = a;
            out.reply(request.id, Ok);
            return true;
        case CMD_AUDIO_SET_SPEAKER_GAIN:
            if (!two || a > kMaxGain || b > kMaxSidetone) {
                out.reply(request.id, InvalidValue);
                return true;
            }
            settings_.speakerGain = a;
            settings_.sidetoneGain = b;
            out.reply(request.id, Ok);
            return true;
        case CMD_AUDIO_SET_RING_TONE:
            if (!two || a < kFirstPreset || a > kLastPreset || b > kMaxRingVolume) {
                out.reply(request.id, InvalidValue);
                return true;
            }
            settings_.ringTonePreset = a;
            settings_.ringToneVolume = b;
            out.reply(request.id, Ok);
            return true;
        default:
            return false;
    }
}
