// One function per command the tool sends. Each queues its frame, marks its command pending
// and returns LINK_QUEUED (1); or it changes nothing and returns LINK_TABLE_FULL (0) when the
// transmit table or the transfer queue is full, or a negative LinkRequestResult for an argument
// its payload's field does not take (command_catalogue.h: the field, its limit and what was
// given are in link_last_refusal()). Test a result with `> 0`, never as a bool. Mail settings
// and sends are frames of a mail transfer, the socket send ends a payload's transfer
// (link_transfers.h); a send can hand back its transfer's id.
#pragma once

#include <QByteArray>
#include <cstdint>

#include "command_catalogue.h"
#include "link_state.h"

constexpr int LINK_MIN_MESSAGE_SIZE = 32;
constexpr int LINK_MAX_MESSAGE_SIZE = 256;

int link_set_max_message_size(int size);

int link_gpio_group_set(int group, uint8_t value);
int link_gpio_pin_set(int pin, uint8_t value);
int link_gpio_pin_get(int pin);
int link_gpio_group_get(int group);

int link_request_32(uint8_t value);

int link_i2c_read(uint8_t address, uint8_t reg, uint8_t count);
// Sends the first `count` bytes of data; refused (out of range) when data holds fewer.
int link_i2c_write(uint8_t address, uint8_t reg, uint8_t count, const QByteArray &data);

int link_call_dial(const QByteArray &number);
int link_call_answer();
int link_call_hangup(uint8_t a, uint8_t b);

int link_audio_get_mic_mute();
int link_audio_set_mic_mute(uint8_t value);
int link_audio_get_mic_gain();
int link_audio_set_mic_gain(uint8_t value);
int link_audio_get_speaker_gain();
int link_audio_set_speaker_gain(uint8_t a, uint8_t b);
int link_audio_get_ring_tone();
int link_audio_set_ring_tone(uint8_t a, uint8_t b);

int link_sms_set_reception(uint8_t enable);
int link_sms_get_reception_enabled();

// Begins a mail transfer; its id lets a caller withdraw it when a later part is refused.
int link_mail_set_server(const QByteArray &server, uint16_t port,
                         LinkTransferId *transfer = nullptr);
int link_mail_set_credentials(const QByteArray &login, const QByteArray &password);
int link_mail_send_smtp(uint8_t encryption, LinkTransferId *transfer = nullptr);
int link_mail_send_http_post(const QByteArray &url, LinkTransferId *transfer = nullptr);

int link_apn_set(const QByteArray &name, const QByteArray &login, const QByteArray &password);
int link_socket_send(const QByteArray &destination, uint8_t protocol, uint16_t timeoutMs,
                     LinkTransferId *transfer = nullptr);
int link_socket_cancel_send();
int link_apn_get();

int link_set_modem_speed(uint8_t value);
int link_get_modem_speed();
int link_get_160();
int link_get_rssi();
int link_get_imei();
int link_get_sim();
int link_get_vin();
int link_set_func_level(uint8_t value);
int link_get_tower_conn();
int link_get_tarn_firmware();
int link_get_tarn_hardware();
int link_get_cint_firmware();
int link_get_cint_hardware();
