// One function per request the tool sends, all built on one pattern: queue the frame, then
// mark the command pending and note it as its feature's last command. A request the link
// refuses changes nothing.
#include "link_requests.h"

#include "link_internal.h"

using namespace link_detail;

namespace {

using Selector = uint8_t LinkState::*;

bool text_fits(const QByteArray &text) {
    return text.size() <= LINK_MAX_TEXT_LENGTH;
}

// A frame that could never be encoded is refused whatever sequence number it would get.
// `also` changes what else the request changes, in the same transaction.
template <typename Also>
int request(uint8_t id, Selector selector, const QByteArray &payload, Also also) {
    if (!frame_always_fits(id, payload)) {
        return 0;
    }
    Transaction t;
    if (!send(t, id, bytes_of(payload), static_cast<uint16_t>(payload.size()), 0)) {
        return 0;
    }
    if (selector != nullptr) {
        t.state.*selector = id;
    }
    t.state.cmdStatus[id] = CMD_STATUS_PENDING;
    also(t.state);
    return 1;
}

int request(uint8_t id, Selector selector, const QByteArray &payload = QByteArray()) {
    return request(id, selector, payload, [](LinkState &) {});
}

QByteArray bytes(std::initializer_list<uint8_t> values) {
    QByteArray out;
    for (uint8_t v : values) {
        out.append(static_cast<char>(v));
    }
    return out;
}

QByteArray big_endian(uint16_t value) {
    return bytes({static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)});
}

// Group requests keep a FIFO of the groups (or pins) they asked about, so that each reply
// finds its own; an entry whose frame was not queued is taken back.
int fifo_request(Transaction &t, uint8_t id, std::deque<int> LinkState::*queue, int entry,
                 const QByteArray &payload) {
    LinkState &s = t.state;
    if (!send(t, id, bytes_of(payload), static_cast<uint16_t>(payload.size()), 0)) {
        return 0;
    }
    (s.*queue).push_back(entry);
    s.cmdStatus[id] = CMD_STATUS_PENDING;
    s.lastGpioCmd = id;
    return 1;
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
    const int queued = fifo_request(t, CMD_GPIO_GROUP_SET, &LinkState::gpioGroupQueue, group,
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
    return request(CMD_GPIO_PIN_SET, &LinkState::lastGpioCmd,
                   bytes({static_cast<uint8_t>(pin), value}));
}

int link_gpio_pin_get(int pin) {
    if (!valid_pin(pin)) {
        return 0;
    }
    Transaction t;
    return fifo_request(t, CMD_GPIO_PIN_GET, &LinkState::gpioPinQueue, pin,
                        bytes({static_cast<uint8_t>(pin)}));
}

int link_gpio_group_get(int group) {
    if (!valid_group(group)) {
        return 0;
    }
    Transaction t;
    return fifo_request(t, CMD_GPIO_GROUP_GET, &LinkState::gpioGroupQueue, group,
                        bytes({static_cast<uint8_t>(group)}));
}

int link_request_32(uint8_t value) {
    return request(CMD_REQUEST_32, nullptr, bytes({value}));
}

// Reads and writes share one id; each forgets the data of the previous reply.
static int i2c_request(const QByteArray &payload) {
    return request(CMD_I2C, nullptr, payload, [](LinkState &s) { s.i2cReadLength = 0; });
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
    return request(CMD_CALL_DIAL, &LinkState::lastCallCmd, QByteArray(1, '\0') + counted(number));
}

int link_call_answer() {
    return request(CMD_CALL_ANSWER, &LinkState::lastCallCmd);
}

int link_call_hangup(uint8_t a, uint8_t b) {
    return request(CMD_CALL_HANGUP, &LinkState::lastCallCmd, bytes({a, b}));
}

int link_audio_get_mic_mute() {
    return request(CMD_AUDIO_GET_MIC_MUTE, nullptr);
}
int link_audio_set_mic_mute(uint8_t value) {
    return request(CMD_AUDIO_SET_MIC_MUTE, &LinkState::lastAudioCmd, bytes({value}));
}
int link_audio_get_mic_gain() {
    return request(CMD_AUDIO_GET_MIC_GAIN, nullptr);
}
int link_audio_set_mic_gain(uint8_t value) {
    return request(CMD_AUDIO_SET_MIC_GAIN, &LinkState::lastAudioCmd, bytes({value}));
}
int link_audio_get_speaker_gain() {
    return request(CMD_AUDIO_GET_SPEAKER_GAIN, nullptr);
}
int link_audio_set_speaker_gain(uint8_t a, uint8_t b) {
    return request(CMD_AUDIO_SET_SPEAKER_GAIN, &LinkState::lastAudioCmd, bytes({a, b}));
}
int link_audio_get_ring_tone() {
    return request(CMD_AUDIO_GET_RING_TONE, nullptr);
}
int link_audio_set_ring_tone(uint8_t a, uint8_t b) {
    return request(CMD_AUDIO_SET_RING_TONE, &LinkState::lastAudioCmd, bytes({a, b}));
}

int link_sms_set_reception(uint8_t enable) {
    return request(CMD_SMS_SET_RECEPTION, &LinkState::lastSmsCmd, bytes({enable}));
}
int link_sms_get_reception_enabled() {
    return request(CMD_SMS_GET_RECEPTION, &LinkState::lastSmsCmd);
}

// A mail travels as one transfer: its server, login and content, then the send.
int link_mail_set_server(const QByteArray &server, uint16_t port, LinkTransferId *transfer) {
    if (!text_fits(server) || !frame_always_fits(CMD_MAIL_SERVER, counted(server))) {
        return 0;
    }
    Transaction t;
    if (!transfer_has_room(t.state, 2)) {
        return 0;
    }
    const LinkTransferId id =
        transfer_add(t, TransferKind::Mail, CMD_MAIL_SERVER, counted(server), true);
    transfer_add(t, TransferKind::Mail, CMD_MAIL_PORT, big_endian(port));
    if (transfer != nullptr) {
        *transfer = id;
    }
    return 1;
}

int link_mail_set_credentials(const QByteArray &login, const QByteArray &password) {
    if (!text_fits(login) || !text_fits(password) ||
        !frame_always_fits(CMD_MAIL_LOGIN, counted(login)) ||
        !frame_always_fits(CMD_MAIL_PASSWORD, counted(password))) {
        return 0;
    }
    Transaction t;
    if (!transfer_has_room(t.state, 2)) {
        return 0;
    }
    transfer_add(t, TransferKind::Mail, CMD_MAIL_LOGIN, counted(login));
    transfer_add(t, TransferKind::Mail, CMD_MAIL_PASSWORD, counted(password));
    return 1;
}

// A send ends its transfer; the status of statusId reports the whole transfer.
static int commit(Transaction &t, TransferKind kind, uint8_t id, const QByteArray &payload,
                  uint8_t statusId, LinkTransferId *transfer) {
    if (!frame_always_fits(id, payload) || !transfer_has_room(t.state, 1)) {
        return 0;
    }
    t.state.cmdStatus[statusId] = CMD_STATUS_PENDING;
    const LinkTransferId committed = transfer_commit(t, kind, id, payload, statusId);
    if (transfer != nullptr) {
        *transfer = committed;
    }
    return 1;
}

int link_mail_send_smtp(uint8_t encryption, LinkTransferId *transfer) {
    Transaction t;
    return commit(t, TransferKind::Mail, CMD_MAIL_SEND_SMTP, bytes({encryption}),
                  CMD_MAIL_SEND_SMTP, transfer);
}

int link_mail_send_http_post(const QByteArray &url, LinkTransferId *transfer) {
    if (!text_fits(url)) {
        return 0;
    }
    Transaction t;
    return commit(t, TransferKind::Mail, CMD_MAIL_SEND_HTTP_POST, counted(url),
                  CMD_MAIL_SEND_HTTP_POST, transfer);
}

int link_apn_set(const QByteArray &name, const QByteArray &login, const QByteArray &password) {
    if (!text_fits(name) || !text_fits(login) || !text_fits(password)) {
        return 0;
    }
    return request(CMD_APN_SET, &LinkState::lastSocketCmd,
                   counted(name) + counted(login) + counted(password));
}

// The send ends the transfer that the payload's pieces began. Its outcome comes back as a
// reply of the socket result, so that is what waits.
int link_socket_send(const QByteArray &destination, uint8_t protocol, uint16_t timeoutMs,
                     LinkTransferId *transfer) {
    if (!text_fits(destination)) {
        return 0;
    }
    const QByteArray payload = bytes({protocol}) + big_endian(timeoutMs) + counted(destination);
    if (!frame_always_fits(CMD_SOCKET_SEND, payload)) {
        return 0;
    }
    Transaction t;
    if (!transfer_has_room(t.state, 1)) {
        return 0;
    }
    LinkState &s = t.state;
    s.lastSocketCmd = CMD_SOCKET_RESULT;
    s.socketResponse[0] = 0;
    s.socketResponseLength = 0;
    s.socketResponseDropped = 0;
    s.socketBytesSent = 0;
    ++s.socketResponseGeneration;
    return commit(t, TransferKind::Socket, CMD_SOCKET_SEND, payload, CMD_SOCKET_RESULT, transfer);
}

int link_socket_cancel_send() {
    return request(CMD_SOCKET_CANCEL, &LinkState::lastSocketCmd);
}
int link_apn_get() {
    return request(CMD_APN_GET, &LinkState::lastSocketCmd);
}

int link_set_modem_speed(uint8_t value) {
    return request(CMD_SET_MODEM_SPEED, &LinkState::lastStatusCmd, bytes({value}));
}
int link_get_modem_speed() {
    return request(CMD_GET_MODEM_SPEED, &LinkState::lastStatusCmd);
}
int link_get_160() {
    return request(CMD_GET_160, &LinkState::lastStatusCmd);
}
int link_get_rssi() {
    return request(CMD_GET_RSSI, &LinkState::lastStatusCmd);
}
int link_get_imei() {
    return request(CMD_GET_IMEI, &LinkState::lastStatusCmd);
}
int link_get_sim() {
    return request(CMD_GET_SIM, &LinkState::lastStatusCmd);
}
int link_get_vin() {
    return request(CMD_GET_VIN, &LinkState::lastStatusCmd);
}
int link_set_func_level(uint8_t value) {
    return request(CMD_SET_FUNC_LEVEL, &LinkState::lastStatusCmd, bytes({value}));
}
int link_get_tower_conn() {
    return request(CMD_GET_TOWER_CONN, &LinkState::lastStatusCmd);
}
int link_get_tarn_firmware() {
    return request(CMD_GET_TARN_FIRMWARE, &LinkState::lastStatusCmd);
}
int link_get_tarn_hardware() {
    return request(CMD_GET_TARN_HARDWARE, &LinkState::lastStatusCmd);
}
int link_get_cint_firmware() {
    return request(CMD_GET_CINT_FIRMWARE, &LinkState::lastStatusCmd);
}
int link_get_cint_hardware() {
    return request(CMD_GET_CINT_HARDWARE, &LinkState::lastStatusCmd);
}
