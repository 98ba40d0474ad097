// Every command id of the protocol, named once. Code says CMD_GET_RSSI, never 161; tools that
// show traffic take the names from command_name().
#pragma once

#include <cstdint>

// X(name, id): the list the enum and the name table are both made from.
#define KOVA_COMMAND_IDS(X)             \
    X(CMD_ACK, 0x00)                    \
    X(CMD_NAK, 0x01)                    \
    X(CMD_MAX_MESSAGE_SIZE, 0x02)       \
    X(CMD_GPIO_GROUP_SET, 0x10)         \
    X(CMD_GPIO_PIN_SET, 0x11)           \
    X(CMD_GPIO_PIN_GET, 0x12)           \
    X(CMD_GPIO_GROUP_GET, 0x13)         \
    X(CMD_REQUEST_32, 0x20)             \
    X(CMD_I2C, 0x21)                    \
    X(CMD_CALL_DIAL, 0x40)              \
    X(CMD_CALL_ANSWER, 0x41)            \
    X(CMD_CALL_HANGUP, 0x42)            \
    X(CMD_CALL_EVENT, 0x43)             \
    X(CMD_AUDIO_GET_MIC_MUTE, 0x48)     \
    X(CMD_AUDIO_SET_MIC_MUTE, 0x49)     \
    X(CMD_AUDIO_GET_MIC_GAIN, 0x4A)     \
    X(CMD_AUDIO_SET_MIC_GAIN, 0x4B)     \
    X(CMD_AUDIO_GET_SPEAKER_GAIN, 0x4C) \
    X(CMD_AUDIO_SET_SPEAKER_GAIN, 0x4D) \
    X(CMD_AUDIO_GET_RING_TONE, 0x4E)    \
    X(CMD_AUDIO_SET_RING_TONE, 0x4F)    \
    X(CMD_SMS_NUMBER, 0x60)             \
    X(CMD_SMS_TEXT, 0x61)               \
    X(CMD_SMS_SEND, 0x62)               \
    X(CMD_SMS_SET_RECEPTION, 0x63)      \
    X(CMD_SMS_GET_RECEPTION, 0x64)      \
    X(CMD_MAIL_SERVER, 0x70)            \
    X(CMD_MAIL_PORT, 0x71)              \
    X(CMD_MAIL_LOGIN, 0x72)             \
    X(CMD_MAIL_PASSWORD, 0x73)          \
    X(CMD_MAIL_SENDER, 0x74)            \
    X(CMD_MAIL_RECIPIENT, 0x75)         \
    X(CMD_MAIL_SUBJECT, 0x76)           \
    X(CMD_MAIL_BODY, 0x77)              \
    X(CMD_MAIL_SEND_SMTP, 0x78)         \
    X(CMD_MAIL_SEND_HTTP_POST, 0x79)    \
    X(CMD_APN_SET, 0x80)                \
    X(CMD_SOCKET_PAYLOAD, 0x81)         \
    X(CMD_SOCKET_SEND, 0x82)            \
    X(CMD_SOCKET_RESULT, 0x83)          \
    X(CMD_SOCKET_CANCEL, 0x84)          \
    X(CMD_APN_GET, 0x85)                \
    X(CMD_SET_MODEM_SPEED, 0x90)        \
    X(CMD_GET_MODEM_SPEED, 0x91)        \
    X(CMD_GET_160, 0xA0)                \
    X(CMD_GET_RSSI, 0xA1)               \
    X(CMD_GET_IMEI, 0xA2)               \
    X(CMD_GET_SIM, 0xA3)                \
    X(CMD_GET_VIN, 0xA4)                \
    X(CMD_SET_FUNC_LEVEL, 0xA5)         \
    X(CMD_GET_TOWER_CONN, 0xA6)         \
    X(CMD_GET_TARN_FIRMWARE, 0xC0)      \
    X(CMD_GET_TARN_HARDWARE, 0xC1)      \
    X(CMD_GET_CINT_FIRMWARE, 0xC2)      \
    X(CMD_GET_CINT_HARDWARE, 0xC3)      \
    X(CMD_AT_COMMAND, 0xF0)

// Unscoped, so that an id indexes cmdStatus and compares with a received byte as it is.
enum CommandId : uint8_t {
#define KOVA_COMMAND_ENUM(name, id) name = id,
    KOVA_COMMAND_IDS(KOVA_COMMAND_ENUM)
#undef KOVA_COMMAND_ENUM
};

// "CMD_GET_RSSI" for 0xA1; null for an id without a name.
const char *command_name(uint8_t id);
