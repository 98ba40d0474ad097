// audio: the microphone, the speaker and the ring tone, read or set one group at a time. The
// values take the ranges of the window's controls.
#include <QCoreApplication>
#include <vector>

#include "commands.h"
#include "link_requests.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

struct Value {
    const char *name;
    const char *fieldId;
    int lowest;
    int highest;
};

CommandEntry audioCommand(const char *verb, const char *word, const char *summary, uint8_t cmdId,
                          const std::vector<Value> &values,
                          const std::function<int(uint8_t, uint8_t)> &send,
                          const char *usage = nullptr) {
    CommandEntry entry;
    entry.path = QStringList{QStringLiteral("audio"), QLatin1String(verb), QLatin1String(word)};
    QStringList names;
    for (const Value &v : values) {
        names << QLatin1String(v.name);
    }
    entry.arguments = usage != nullptr ? QString::fromLatin1(usage) : names.join(QLatin1Char(' '));
    entry.summary = tr(summary);
    entry.run = [=](const QStringList &args, const Invocation &, CommandContext &context,
                    const Finish &finish) {
        Answer refusal;
        int read[2] = {0, 0};
        bool ok = exactArguments(args, int(values.size()), entry, &refusal);
        for (size_t i = 0; ok && i < values.size(); ++i) {
            const Value &v = values[i];
            ok = numberArgument(args, int(i), QLatin1String(v.name), v.fieldId, v.lowest, v.highest,
                                &read[i], &refusal);
        }
        if (!ok) {
            finish(refusal);
            return;
        }
        runRequest(
            context, cmdId, [=] { return send(uint8_t(read[0]), uint8_t(read[1])); }, finish);
    };
    return entry;
}

CommandEntry getter(const char *word, const char *summary, uint8_t cmdId, int (*send)()) {
    return audioCommand("get", word, summary, cmdId, {},
                        [send](uint8_t, uint8_t) { return send(); });
}

}  // namespace

void addAudioCommands(std::vector<CommandEntry> *entries) {
    entries->push_back(getter("mic-mute", "Whether the microphone is muted.",
                              CMD_AUDIO_GET_MIC_MUTE, link_audio_get_mic_mute));
    entries->push_back(getter("mic-gain", "The microphone's gain.", CMD_AUDIO_GET_MIC_GAIN,
                              link_audio_get_mic_gain));
    entries->push_back(getter("speaker-gain", "The speaker's gain and the sidetone gain.",
                              CMD_AUDIO_GET_SPEAKER_GAIN, link_audio_get_speaker_gain));
    entries->push_back(getter("ring-tone", "The ring tone's preset and volume.",
                              CMD_AUDIO_GET_RING_TONE, link_audio_get_ring_tone));

    entries->push_back(audioCommand(
        "set", "mic-mute", "Mutes (1) or unmutes (0) the microphone, during a call only.",
        CMD_AUDIO_SET_MIC_MUTE, {{"MUTE", "audio.mic_mute", 0, 1}},
        [](uint8_t mute, uint8_t) { return link_audio_set_mic_mute(mute); }, "0|1"));
    entries->push_back(
        audioCommand("set", "mic-gain", "Sets the microphone's gain (0-100).",
                     CMD_AUDIO_SET_MIC_GAIN, {{"N", "audio.mic_gain", 0, 100}},
                     [](uint8_t gain, uint8_t) { return link_audio_set_mic_gain(gain); }));
    entries->push_back(audioCommand(
        "set", "speaker-gain", "Sets the speaker's gain (0-100) and the sidetone gain (0-175).",
        CMD_AUDIO_SET_SPEAKER_GAIN,
        {{"GAIN", "audio.speaker_gain", 0, 100}, {"SIDETONE", "audio.sidetone_gain", 0, 175}},
        link_audio_set_speaker_gain));
    entries->push_back(
        audioCommand("set", "ring-tone", "Sets the ring tone's preset (1-8) and volume (0-4).",
                     CMD_AUDIO_SET_RING_TONE,
                     {{"PRESET", "audio.ring_preset", 1, 8}, {"VOLUME", "audio.ring_volume", 0, 4}},
                     link_audio_set_ring_tone));
}
