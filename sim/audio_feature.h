// Audio path settings: microphone mute and gain, speaker and sidetone gain, ring tone preset
// and volume. Muting is a matter of a call, so it is refused outside an active one.
#pragma once

#include <cstdint>

#include "module_outbox.h"

class CallFeature;

class AudioFeature {
  public:
    enum Code : uint8_t { Ok = 0, InvalidValue = 1, Failed = 2 };

    struct Settings {
        uint8_t micMute = 0;
        uint8_t micGain = 40;
        uint8_t speakerGain = 70;
        uint8_t sidetoneGain = 18;
        uint8_t ringTonePreset = 1;
        uint8_t ringToneVolume = 4;
    };

    explicit AudioFeature(const CallFeature &calls) : calls_(calls) {}
    bool handle(const ModuleRequest &request, ModuleOutbox &out);
    const Settings &settings() const { return settings_; }

  private:
    const CallFeature &calls_;
    Settings settings_;
};
