// One function per request the tool sends, all built on one pattern: build the payload from
// the catalogue, queue the frame, then mark the command pending and note it as its feature's
// last command. A request the link refuses changes nothing and notes why.
#include "link_requests.h"

#include "command_catalogue.h"
#include "link_internal.h"

using namespace link_detail;

namespace {

using Selector = uint8_t LinkState::*;

// `also` changes what else the request changes, in the same transaction.
template <typename Also>
int request(uint8_t id, Selector selector, std::initializer_list<FieldInput> values, Also also) {
    QByteArray payload;
    if (!catalogue_build_request(id, values, &payload)) {
        return link_last_refusal().result;
    }
    Transaction t;
    if (!send(t, id, bytes_of(payload), static_cast<uint16_t>(payload.size()), 0)) {
        return link_note_refusal(LINK_TABLE_FULL);
    }
    if (selector != nullptr) {
        t.state.*selector = id;
    }
    t.state.cmdStatus[id] = CMD_STATUS_PENDING;
    also(t.state);
    return link_note_refusal(LINK_QUEUED);
}

int request(uint8_t id, Selector selector, std::initializer_list<FieldInput> values = {}) {
    return request(id, selector, values, [](LinkState &) {});
}

// A number the catalogue's byte would take but the module has no use for.
int out_of_range(const char *fieldId, int highest, int given) {
    return link_note_refusal({LINK_REFUSED_OUT_OF_RANGE, catalogue_field(fieldId), highest, given});
}

// Group requests keep a FIFO of the groups (or pins) they asked about, so that each reply
// finds its own; an entry whose frame was not queued is taken back.
int fifo_request(uint8_t id, std::deque<int> LinkState::*queue, int entry,
                 std::initializer_list<FieldInput> values, uint32_t *groupValue = nullptr) {
    QByteArray payload;
    if (!catalogue_build_request(id, values, &payload)) {
        return link_last_refusal().result;
    }
    Transaction t;
    LinkState &s = t.state;
    if (!send(t, id, bytes_of(payload), static_cast<uint16_t>(payload.size()), 0)) {
        return link_note_refusal(LINK_TABLE_FULL);
    }
    (s.*queue).push_back(entry);
    s.cmdStatus[id] = CMD_STATUS_PENDING;
    s.lastGpioCmd = id;
    if (groupValue != nullptr) {
        s.gpioGroupValue[entry] = *groupValue;
    }
    return link_note_refusal(LINK_QUEUED);
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
        return out_of_range("link.size_quarter", LINK_MAX_MESSAGE_SIZE, size);
    }
    QByteArray payload;
    catalogue_build(CMD_MAX_MESSAGE_SIZE, PayloadWay::Request, {size / 4}, &payload);
    // A control frame: sequence number 0, nothing waits for a reply.
    return link_note_refusal(
        link_send(CMD_MAX_MESSAGE_SIZE, bytes_of(payload), 1, 0) ? LINK_QUEUED : LINK_TABLE_FULL);
}

int link_gpio_group_set(int group, uint8_t value) {
    if (!valid_group(group)) {
        return out_of_range("gpio.group", GPIO_GROUP_COUNT - 1, group);
    }
    uint32_t stored = value;
    return fifo_request(CMD_GPIO_GROUP_SET, &LinkState::gpioGroupQueue, group, {group, value},
                        &stored);
}

int link_gpio_pin_set(int pin, uint8_t value) {
    if (!valid_pin(pin)) {
        return out_of_range("gpio.pin", GPIO_PIN_COUNT - 1, pin);
    }
    return request(CMD_GPIO_PIN_SET, &LinkState::lastGpioCmd, {pin, value});
}

int link_gpio_pin_get(int pin) {
    if (!valid_pin(pin)) {
        return out_of_range("gpio.pin", GPIO_PIN_COUNT - 1, pin);
    }
    return fifo_request(CMD_GPIO_PIN_GET, &LinkState::gpioPinQueue, pin, {pin});
}

int link_gpio_group_get(int group) {
    if (!valid_group(group)) {
        return out_of_range("gpio.group", GPIO_GROUP_COUNT - 1, group);
    }
    return fifo_request(CMD_GPIO_GROUP_GET, &LinkState::gpioGroupQueue, group, {group});
}

int link_request_32(uint8_t value) {
    return request(CMD_REQUEST_32, nullptr, {value});
}

// Reads and writes share one id; each forgets the data of the previous reply.
static int i2c_request(std::initializer_list<FieldInput> values) {
    return request(CMD_I2C, nullptr, values, [](LinkState &s) { s.i2cReadLength = 0; });
}

int link_i2c_read(uint8_t address, uint8_t reg, uint8_t count) {
    return i2c_request({address, reg, count, QByteArray()});
}

int link_i2c_write(uint8_t address, uint8_t reg, uint8_t count, const QByteArray &data) {
    if (data.size() < count) {
        return out_of_range("i2c.count", data.size(), count);
    }
    return i2c_request({address | 0x80, reg, count, data.left(count)});
}

int link_call_dial(const QByteArray &number) {
    return request(CMD_CALL_DIAL, &LinkState::lastCallCmd, {0, number});
}

int link_call_answer() {
    return request(CMD_CALL_ANSWER, &LinkState::lastCallCmd);
}

int link_call_hangup(uint8_t a, uint8_t b) {
    return request(CMD_CALL_HANGUP, &LinkState::lastCallCmd, {a, b});
}

int link_audio_get_mic_mute() {
    return request(CMD_AUDIO_GET_MIC_MUTE, nullptr);
}
int link_audio_set_mic_mute(uint8_t value) {
    return request(CMD_AUDIO_SET_MIC_MUTE, &LinkState::lastAudioCmd, {value});
}
int link_audio_get_mic_gain() {
    return request(CMD_AUDIO_GET_MIC_GAIN, nullptr);
}
int link_audio_set_mic_gain(uint8_t value) {
    return request(CMD_AUDIO_SET_MIC_GAIN, &LinkState::lastAudioCmd, {value});
}
int link_audio_get_speaker_gain() {
    return request(CMD_AUDIO_GET_SPEAKER_GAIN, nullptr);
}
int link_audio_set_speaker_gain(uint8_t a, uint8_t b) {
    return request(CMD_AUDIO_SET_SPEAKER_GAIN, &LinkState::lastAudioCmd, {a, b});
}
int link_audio_get_ring_tone() {
    return request(CMD_AUDIO_GET_RING_TONE, nullptr);
}
int link_audio_set_ring_tone(uint8_t a, uint8_t b) {
    return request(CMD_AUDIO_SET_RING_TONE, &LinkState::lastAudioCmd, {a, b});
}

int link_sms_set_reception(uint8_t enable) {
    return request(CMD_SMS_SET_RECEPTION, &LinkState::lastSmsCmd, {enable});
}
int link_sms_get_reception_enabled() {
    return request(CMD_SMS_GET_RECEPTION, &LinkState::lastSmsCmd);
}

// A mail travels as one transfer: its server, login and content, then the send.
int link_mail_set_server(const QByteArray &server, uint16_t port, LinkTransferId *transfer) {
    QByteArray serverPayload;
    QByteArray portPayload;
    if (!catalogue_build_request(CMD_MAIL_SERVER, {server}, &serverPayload) ||
        !catalogue_build_request(CMD_MAIL_PORT, {port}, &portPayload)) {
        return link_last_refusal().result;
    }
    Transaction t;
    if (!transfer_has_room(t.state, 2)) {
        return link_note_refusal(LINK_TABLE_FULL);
    }
    const LinkTransferId id =
        transfer_add(t, TransferKind::Mail, CMD_MAIL_SERVER, serverPayload, true);
    transfer_add(t, TransferKind::Mail, CMD_MAIL_PORT, portPayload);
    if (transfer != nullptr) {
        *transfer = id;
    }
    return link_note_refusal(LINK_QUEUED);
}

int link_mail_set_credentials(const QByteArray &login, const QByteArray &password) {
    QByteArray loginPayload;
    QByteArray passwordPayload;
    if (!catalogue_build_request(CMD_MAIL_LOGIN, {login}, &loginPayload) ||
        !catalogue_build_request(CMD_MAIL_PASSWORD, {password}, &passwordPayload)) {
        return link_last_refusal().result;
    }
    Transaction t;
    if (!transfer_has_room(t.state, 2)) {
        return link_note_refusal(LINK_TABLE_FULL);
    }
    transfer_add(t, TransferKind::Mail, CMD_MAIL_LOGIN, loginPayload);
    transfer_add(t, TransferKind::Mail, CMD_MAIL_PASSWORD, passwordPayload);
    return link_note_refusal(LINK_QUEUED);
}

// A send ends its transfer; the status of statusId reports the whole transfer. `before`
// clears what the send's outcome will fill, once the send is sure to go.
template <typename Before>
static int commit(TransferKind kind, uint8_t id, std::initializer_list<FieldInput> values,
                  uint8_t statusId, LinkTransferId *transfer, Before before) {
    QByteArray payload;
    if (!catalogue_build_request(id, values, &payload)) {
        return link_last_refusal().result;
    }
    Transaction t;
    if (!transfer_has_room(t.state, 1)) {
        return link_note_refusal(LINK_TABLE_FULL);
    }
    before(t.state);
    t.state.cmdStatus[statusId] = CMD_STATUS_PENDING;
    const LinkTransferId committed = transfer_commit(t, kind, id, payload, statusId);
    if (transfer != nullptr) {
        *transfer = committed;
    }
    return link_note_refusal(LINK_QUEUED);
}

int link_mail_send_smtp(uint8_t encryption, LinkTransferId *transfer) {
    return commit(TransferKind::Mail, CMD_MAIL_SEND_SMTP, {encryption}, CMD_MAIL_SEND_SMTP,
                  transfer, [](LinkState &) {});
}

int link_mail_send_http_post(const QByteArray &url, LinkTransferId *transfer) {
    return commit(TransferKind::Mail, CMD_MAIL_SEND_HTTP_POST, {url}, CMD_MAIL_SEND_HTTP_POST,
                  transfer, [](LinkState &) {});
}

int link_apn_set(const QByteArray &name, const QByteArray &login, const QByteArray &password) {
    return request(CMD_APN_SET, &LinkState::lastSocketCmd, {name, login, password});
}

// The send ends the transfer that the payload's pieces began. Its outcome comes back as a
// reply of the socket result, so that is what waits.
int link_socket_send(const QByteArray &destination, uint8_t protocol, uint16_t timeoutMs,
                     LinkTransferId *transfer) {
    return commit(TransferKind::Socket, CMD_SOCKET_SEND, {protocol, timeoutMs, destination},
                  CMD_SOCKET_RESULT, transfer, [](LinkState &s) {
                      s.lastSocketCmd = CMD_SOCKET_RESULT;
                      s.socketResponse[0] = 0;
                      s.socketResponseLength = 0;
                      s.socketResponseDropped = 0;
                      s.socketBytesSent = 0;
                      ++s.socketResponseGeneration;
                  });
}

int link_socket_cancel_send() {
    return request(CMD_SOCKET_CANCEL, &LinkState::lastSocketCmd);
}
int link_apn_get() {
    return request(CMD_APN_GET, &LinkState::lastSocketCmd);
}

int link_set_modem_speed(uint8_t value) {
    return request(CMD_SET_MODEM_SPEED, &LinkState::lastStatusCmd, {value});
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
    return request(CMD_SET_FUNC_LEVEL, &LinkState::lastStatusCmd, {value});
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
