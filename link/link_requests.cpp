// Request functions of the command catalogue, all built on one pattern: mark the command
// pending, note it as its feature's last command, queue the frame.
#include "link_requests.h"

#include "link_internal.h"

using namespace link_detail;

namespace {

using Selector = uint8_t LinkState::*;

bool text_fits(const QByteArray &text) {
    return text.size() <= LINK_MAX_TEXT_LENGTH;
}

// A frame that could never be encoded is refused before any state changes; a full table
// leaves the command pending, as the window expects.
int request(uint8_t id, Selector selector, const QByteArray &payload = QByteArray()) {
    const auto length = static_cast<uint16_t>(payload.size());
    if (!frame_always_fits(id, payload)) {
        return 0;
    }
    Transaction t;
    if (selector != nullptr) {
        t.state.*selector = id;
    }
    t.state.cmdStatus[id] = CMD_STATUS_PENDING;
    return send(t, id, bytes_of(payload), length, 0);
}

QByteArray bytes(std::initializer_list<uint8_t> values) {
    QByteArray out;
    for (uint8_t v : values) {
        out.append(static_cast<char>(v));
    }
    return out;
}

// Frames whose command status the tool does not track.
int queue_untracked(Transaction &t, uint8_t id, const QByteArray &payload) {
    return send(t, id, bytes_of(payload), static_cast<uint16_t>(payload.size()), 0);
}

// Group requests keep a FIFO of the groups (or pins) they asked about, so that each reply
// finds its own; an entry whose frame was not queued is taken back.
int fifo_request(Transaction &t, uint8_t id, std::deque<int> LinkState::*queue, int entry,
                 const QByteArray &payload) {
    LinkState &s = t.state;
    (s.*queue).push_back(entry);
    s.cmdStatus[id] = CMD_STATUS_PENDING;
    s.lastGpioCmd = id;
    const int queued = send(t, id, bytes_of(payload), static_cast<uint16_t>(payload.size()), 0);
    if (!queued) {
        (s.*queue).pop_back();
    }
    return queued;
}

bool valid_group(int group) {
    return group >= 0 && group < GPIO_GROUP_COUNT;
}
bool valid_pin(int pin) {
    return pin >= 0 && pin < GPIO_PIN_COUNT;
}

}  // namespace

int link_set_max_message_size(int size) {
    if (size < LINK_MIN_MESSAGE_SIZE || size > LINK_MAX_MESSAGE_SIZE) {
        return 0;
    }
    const uint8_t quarter = static_cast<uint8_t>(size / 4);
    return link_send(CMD_MAX_MESSAGE_SIZE, &quarter, 1, 0);
}

int link_gpio_group_set(int group, uint8_t value) {
    if (!valid_group(group)) {
        return 0;
    }
    Transaction t;
    const int queued = fifo_request(t, 16, &LinkState::gpioGroupQueue, group,
                                    bytes({static_cast<uint8_t>(group), value}));
    if (queued) {
        t.state.gpioGroupValue[group] = value;
    }
    return queued;
}

int link_gpio_pin_set(int pin, uint8_t value) {
    if (!valid_pin(pin)) {
        return 0;
    }
    return request(17, &LinkState::lastGpioCmd, bytes({static_cast<uint8_t>(pin), value}));
}

int link_gpio_pin_get(int pin) {
    if (!valid_pin(pin)) {
        return 0;
    }
    Transaction t;
    return fifo_request(t, 18, &LinkState::gpioPinQueue, pin, bytes({static_cast<uint8_t>(pin)}));
}

int link_gpio_group_get(int group) {
    if (!valid_group(group)) {
        return 0;
    }
    Transaction t;
    return fifo_request(t, 19, &LinkState::gpioGroupQueue, group,
                        bytes({static_cast<uint8_t>(group)}));
}

int link_request_32(uint8_t value) {
    return request(32, nullptr, bytes({value}));
}

// Reads and writes share id 33; each forgets the data of the previous reply.
static int i2c_request(const QByteArray &payload) {
    if (!frame_always_fits(33, payload)) {
        return 0;
    }
    Transaction t;
    t.state.i2cReadLength = 0;
    t.state.cmdStatus[33] = CMD_STATUS_PENDING;
    return queue_untracked(t, 33, payload);
}

int link_i2c_read(uint8_t address, uint8_t reg, uint8_t count) {
    return i2c_request(bytes({address, reg, count}));
}

int link_i2c_write(uint8_t address, uint8_t reg, uint8_t count, const QByteArray &data) {
    if (data.size() < count) {
        return 0;
    }
    return i2c_request(bytes({static_cast<uint8_t>(address | 0x80), reg, count}) +
                       data.left(count));
}

int link_call_dial(const QByteArray &number) {
    if (!text_fits(number)) {
        return 0;
    }
    return request(64, &LinkState::lastCallCmd, QByteArray(1, '\0') + counted(number));
}

int link_call_answer() {
    return request(65, &LinkState::lastCallCmd);
}

int link_call_hangup(uint8_t a, uint8_t b) {
    return request(66, &LinkState::lastCallCmd, bytes({a, b}));
}

int link_audio_get_mic_mute() {
    return request(72, nullptr);
}
int link_audio_set_mic_mute(uint8_t value) {
    return request(73, &LinkState::lastAudioCmd, bytes({value}));
}
int link_audio_get_mic_gain() {
    return request(74, nullptr);
}
int link_audio_set_mic_gain(uint8_t value) {
    return request(75, &LinkState::lastAudioCmd, bytes({value}));
}
int link_audio_get_speaker_gain() {
    return request(76, nullptr);
}
int link_audio_set_speaker_gain(uint8_t a, uint8_t b) {
    return request(77, &LinkState::lastAudioCmd, bytes({a, b}));
}
int link_audio_get_ring_tone() {
    return request(78, nullptr);
}
int link_audio_set_ring_tone(uint8_t a, uint8_t b) {
    return request(79, &LinkState::lastAudioCmd, bytes({a, b}));
}

int link_sms_set_reception(uint8_t enable) {
    return request(99, &LinkState::lastSmsCmd, bytes({enable}));
}
int link_sms_get_reception_enabled() {
    return request(100, &LinkState::lastSmsCmd);
}

// The two frames of a mail setting go together or not at all.
int link_mail_set_server(const QByteArray &server, uint16_t port) {
    if (!text_fits(server) || !frame_always_fits(112, counted(server))) {
        return 0;
    }
    Transaction t;
    queue_untracked(t, 112, counted(server));
    return queue_untracked(
        t, 113, bytes({static_cast<uint8_t>(port >> 8), static_cast<uint8_t>(port & 0xFF)}));
}

int link_mail_set_credentials(const QByteArray &login, const QByteArray &password) {
    if (!text_fits(login) || !text_fits(password) || !frame_always_fits(114, counted(login)) ||
        !frame_always_fits(115, counted(password))) {
        return 0;
    }
    Transaction t;
    queue_untracked(t, 114, counted(login));
    return queue_untracked(t, 115, counted(password));
}

int link_mail_send_smtp(uint8_t encryption) {
    return request(120, nullptr, bytes({encryption}));
}

int link_mail_send_http_post(const QByteArray &url) {
    if (!text_fits(url)) {
        return 0;
    }
    return request(121, nullptr, counted(url));
}

int link_apn_set(const QByteArray &name, const QByteArray &login, const QByteArray &password) {
    if (!text_fits(name) || !text_fits(login) || !text_fits(password)) {
        return 0;
    }
    return request(128, &LinkState::lastSocketCmd,
                   counted(name) + counted(login) + counted(password));
}

int link_socket_send(const QByteArray &destination, uint8_t protocol, uint16_t timeoutMs) {
    if (!text_fits(destination)) {
        return 0;
    }
    const QByteArray payload = bytes({protocol, static_cast<uint8_t>(timeoutMs >> 8),
                                      static_cast<uint8_t>(timeoutMs & 0xFF)}) +
                               counted(destination);
    if (!frame_always_fits(130, payload)) {
        return 0;
    }
    Transaction t;
    LinkState &s = t.state;
    // The transfer's outcome comes back as a reply of id 131, so that is what waits.
    s.cmdStatus[131] = CMD_STATUS_PENDING;
    s.lastSocketCmd = 131;
    s.socketResponse[0] = 0;
    s.socketResponseLength = 0;
    s.socketResponseDropped = 0;
    s.socketBytesSent = 0;
    return queue_untracked(t, 130, payload);
}

int link_socket_cancel_send() {
    return request(132, &LinkState::lastSocketCmd);
}
int link_apn_get() {
    return request(133, &LinkState::lastSocketCmd);
}

int link_set_modem_speed(uint8_t value) {
    return request(144, &LinkState::lastStatusCmd, bytes({value}));
}
int link_get_modem_speed() {
    return request(145, &LinkState::lastStatusCmd);
}
int link_get_160() {
    return request(160, &LinkState::lastStatusCmd);
}
int link_get_rssi() {
    return request(161, &LinkState::lastStatusCmd);
}
int link_get_imei() {
    return request(162, &LinkState::lastStatusCmd);
}
int link_get_sim() {
    return request(163, &LinkState::lastStatusCmd);
}
int link_get_vin() {
    return request(164, &LinkState::lastStatusCmd);
}
int link_set_func_level(uint8_t value) {
    return request(165, &LinkState::lastStatusCmd, bytes({value}));
}
int link_get_tower_conn() {
    return request(166, &LinkState::lastStatusCmd);
}
int link_get_tarn_firmware() {
    return request(192, &LinkState::lastStatusCmd);
}
int link_get_tarn_hardware() {
    return request(193, &LinkState::lastStatusCmd);
}
int link_get_cint_firmware() {
    return request(194, &LinkState::lastStatusCmd);
}
int link_get_cint_hardware() {
    return request(195, &LinkState::lastStatusCmd);
}
