// The window's refresh (MainWindow::update_UI) with every field of the link record full: the
// record is filled through the real receive path, then the refresh is timed with nothing
// changed since the last one, and with one status changed before each.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSignalBlocker>
#include <chrono>
#include <cstring>
#include <initializer_list>

#include "frame_codec.h"
#include "gui_bench_main.h"
#include "link_engine.h"
#include "link_long_payload.h"
#include "link_requests.h"
#include "link_state.h"
#include "main_window.h"
#include "module3g.h"

namespace {

using Clock = std::chrono::steady_clock;

// One more than the response field keeps, so that the fill proves the field full.
constexpr int kSocketBytesSent = SOCKET_RESPONSE_SIZE;
constexpr int kAtBytesSent = AT_RESPONSE_SIZE;
constexpr uint8_t kRssi = 20;

QByteArray counted(const QByteArray &text) {
    return QByteArray(1, static_cast<char>(text.size())) + text;
}

QByteArray bytes(std::initializer_list<uint8_t> values) {
    QByteArray out;
    for (uint8_t v : values) {
        out.append(static_cast<char>(v));
    }
    return out;
}

// Printable filler that needs no escapes on the line.
QByteArray filler(int size, char first) {
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i) {
        out[i] = static_cast<char>(first + i % 26);
    }
    return out;
}

// Runs the engine until it has nothing more to write. Frames of the tool's own are acknowledged
// as the module would, so that transfers and requests move on; the tool's ACKs go nowhere.
void drain() {
    for (QByteArray out = link_process(); !out.isEmpty(); out = link_process()) {
        uint8_t id = 0;
        uint8_t seq = 0;
        if (frame_read_header(reinterpret_cast<const uint8_t *>(out.constData()),
                              static_cast<uint16_t>(out.size()), &id, &seq) &&
            id > CMD_MAX_MESSAGE_SIZE) {
            link_receive(frame_encode_bytes(CMD_ACK, seq, 0, QByteArray()));
        }
    }
}

// The module's side of the fill: its frames numbered in turn, each handled at once.
class ModuleFrames {
  public:
    void start(uint8_t id, const QByteArray &payload = QByteArray()) { put(id, 0, payload); }
    void reply(uint8_t id, uint8_t code, const QByteArray &payload = QByteArray()) {
        put(id, REPLY_FLAG | code, payload);
    }

  private:
    void put(uint8_t id, uint8_t status, const QByteArray &payload) {
        seq_ = static_cast<uint8_t>(seq_ % 255 + 1);
        link_receive(frame_encode_bytes(id, seq_, status, payload));
        drain();
    }
    uint8_t seq_ = 0;
};

// A request the tool sends and the module answers with success. The request sets the feature's
// last command, which selects what its status field shows.
bool exchange(ModuleFrames &module, int queued, uint8_t id,
              const QByteArray &payload = QByteArray()) {
    if (queued <= 0) {
        return false;
    }
    drain();
    module.reply(id, 0, payload);
    return true;
}

bool fillGpio(ModuleFrames &module) {
    for (int group = 0; group < GPIO_GROUP_COUNT; ++group) {
        const auto mode = static_cast<uint8_t>(group % 2);
        if (!exchange(module, link_gpio_group_get(group), CMD_GPIO_GROUP_GET, bytes({mode}))) {
            return false;
        }
    }
    for (int pin = 0; pin < GPIO_PIN_COUNT; ++pin) {
        const auto level = static_cast<uint8_t>(pin % 2);
        if (!exchange(module, link_gpio_pin_get(pin), CMD_GPIO_PIN_GET, bytes({level}))) {
            return false;
        }
    }
    return true;
}

bool fillCallsAndAudio(ModuleFrames &module) {
    if (!exchange(module, link_call_dial("+491701234567"), CMD_CALL_DIAL)) {
        return false;
    }
    module.start(CMD_CALL_EVENT, bytes({0, 2, 0}));  // the call is active
    return exchange(module, link_audio_get_mic_mute(), CMD_AUDIO_GET_MIC_MUTE, bytes({1})) &&
           exchange(module, link_audio_get_mic_gain(), CMD_AUDIO_GET_MIC_GAIN, bytes({5})) &&
           exchange(module, link_audio_get_speaker_gain(), CMD_AUDIO_GET_SPEAKER_GAIN,
                    bytes({7, 3})) &&
           exchange(module, link_audio_get_ring_tone(), CMD_AUDIO_GET_RING_TONE, bytes({2, 4}));
}

// The RSSI read goes last, so that the Status tab's field shows its status.
bool fillStatusTab(ModuleFrames &module) {
    return exchange(module, link_get_160(), CMD_GET_160) &&
           exchange(module, link_get_imei(), CMD_GET_IMEI, "356938035643809") &&
           exchange(module, link_get_sim(), CMD_GET_SIM, "89490200001234567890") &&
           exchange(module, link_get_vin(), CMD_GET_VIN, bytes({0x30, 0x39})) &&
           exchange(module, link_get_tower_conn(), CMD_GET_TOWER_CONN, bytes({1, 6})) &&
           exchange(module, link_get_modem_speed(), CMD_GET_MODEM_SPEED, bytes({1})) &&
           exchange(module, link_get_tarn_firmware(), CMD_GET_TARN_FIRMWARE,
                    counted(filler(TARN_VERSION_SIZE - 1, 'a'))) &&
           exchange(module, link_get_tarn_hardware(), CMD_GET_TARN_HARDWARE,
                    counted(filler(TARN_VERSION_SIZE - 1, 'A'))) &&
           exchange(module, link_get_cint_firmware(), CMD_GET_CINT_FIRMWARE, "01.002") &&
           exchange(module, link_get_cint_hardware(), CMD_GET_CINT_HARDWARE, "0123-04") &&
           exchange(module, link_get_rssi(), CMD_GET_RSSI, bytes({kRssi}));
}

bool fillI2c(ModuleFrames &module) {
    return exchange(module, link_i2c_read(0x50, 0x00, 255), CMD_I2C, counted(filler(255, 'a')));
}

// The result of an SMS sent, the reception setting read, and a whole SMS received with every
// field at its longest.
bool fillSms(ModuleFrames &module) {
    module.reply(CMD_SMS_SEND, 0);
    if (!exchange(module, link_sms_get_reception_enabled(), CMD_SMS_GET_RECEPTION, bytes({1}))) {
        return false;
    }
    const QByteArray sender = "+491701234567890123";
    const QByteArray date = "26/12/06,17:31:58+04 CET 2026";
    static_assert(sizeof "+491701234567890123" == SMS_SENDER_SIZE, "the sender fills its field");
    static_assert(sizeof "26/12/06,17:31:58+04 CET 2026" == SMS_DATE_SIZE,
                  "the date fills its field");
    module.start(CMD_SMS_NUMBER, counted(sender) + counted(date));
    module.start(CMD_SMS_TEXT, counted(QByteArray()));
    const QByteArray text = filler(SMS_TEXT_SIZE - 1, 'A');
    module.start(CMD_SMS_TEXT, counted(text.left(128)));
    module.start(CMD_SMS_TEXT, counted(text.mid(128)));
    module.start(CMD_SMS_SEND);
    return true;
}

// The APN read back, then a socket transfer as the module carries it out: the bytes it sent,
// the response in pieces (one byte more than the field keeps) and the result.
bool fillSocket(ModuleFrames &module) {
    if (!exchange(module, link_apn_get(), CMD_APN_GET,
                  counted("internet.example") + counted("user") + counted("secret"))) {
        return false;
    }
    if (link_socket_send("example.org:80", 0, 5000) <= 0) {
        return false;
    }
    drain();
    module.start(CMD_SOCKET_RESULT, bytes({0, 18}));
    module.start(CMD_SOCKET_PAYLOAD, counted(QByteArray()));
    const QByteArray response = filler(kSocketBytesSent, 'a');
    for (int offset = 0; offset < response.size(); offset += LINK_PIECE_MAX_DATA) {
        module.start(CMD_SOCKET_PAYLOAD, counted(response.mid(offset, LINK_PIECE_MAX_DATA)));
    }
    module.reply(CMD_SOCKET_RESULT, 0);
    return true;
}

bool fillAtCommand(ModuleFrames &module) {
    if (link_send_at_command("AT+CGMR") <= 0) {
        return false;
    }
    drain();
    const QByteArray response = filler(kAtBytesSent, 'a');
    for (int offset = 0; offset < response.size(); offset += LINK_PIECE_MAX_DATA) {
        module.reply(CMD_AT_COMMAND, 0, counted(response.mid(offset, LINK_PIECE_MAX_DATA)));
    }
    return true;
}

// Fills the record the window shows; an empty result, or what did not fill. The window hears
// nothing meanwhile: its refresh would run on this thread at every frame.
QString fillRecord(ModuleFrames &module) {
    const QSignalBlocker quiet(link_notifier());
    const bool queued = fillGpio(module) && fillCallsAndAudio(module) && fillStatusTab(module) &&
                        fillI2c(module) && fillSms(module) && fillSocket(module) &&
                        fillAtCommand(module);
    if (!queued) {
        return QStringLiteral("the link refused a request of the fill");
    }
    module.reply(CMD_MAIL_SEND_SMTP, 0);
    module.reply(CMD_MAIL_SEND_HTTP_POST, 0);

    const LinkSnapshot s = link_snapshot();
    if (s.socketResponseLength != static_cast<uint32_t>(SOCKET_RESPONSE_SIZE - 1)) {
        return QStringLiteral("the socket response holds %1 bytes").arg(s.socketResponseLength);
    }
    const size_t atLength = strnlen(s.atResponse.data(), AT_RESPONSE_SIZE);
    if (atLength != static_cast<size_t>(AT_RESPONSE_SIZE - 1)) {
        return QStringLiteral("the AT response holds %1 bytes").arg(atLength);
    }
    return QString();
}

// A shown window over a full record, drawn once.
struct FilledWindow {
    MainWindow window;
    ModuleFrames module;
    QString failure;

    FilledWindow() {
        window.show();
        failure = fillRecord(module);
        window.update_UI(0, false);
        QCoreApplication::processEvents();
    }
};

void BM_RefreshUnchanged(benchmark::State &state) {
    FilledWindow filled;
    if (!filled.failure.isEmpty()) {
        state.SkipWithError(qPrintable(filled.failure));
        return;
    }
    for (auto _ : state) {
        filled.window.update_UI(0, false);
    }
}

// The Status tab's field turns from success to failure and back: a new text and a new style
// sheet. Only the refresh is timed; the frame and the drawing of the last change are not.
void BM_RefreshOneStatusChanged(benchmark::State &state) {
    FilledWindow filled;
    if (!filled.failure.isEmpty()) {
        state.SkipWithError(qPrintable(filled.failure));
        return;
    }
    uint8_t code = 0;
    for (auto _ : state) {
        code ^= 1;
        {
            const QSignalBlocker quiet(link_notifier());
            filled.module.reply(CMD_GET_RSSI, code, bytes({kRssi}));
        }
        QCoreApplication::processEvents();
        const Clock::time_point start = Clock::now();
        filled.window.update_UI(CMD_GET_RSSI, true);
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        state.SetIterationTime(elapsed.count());
    }
}

void registerAll() {
    benchmark::RegisterBenchmark("refresh/unchanged", BM_RefreshUnchanged)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("refresh/one_status_changed", BM_RefreshOneStatusChanged)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
}

}  // namespace

int main(int argc, char **argv) {
    return runGuiBenchmarks(argc, argv, registerAll);
}
