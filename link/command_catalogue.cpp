#include "command_catalogue.h"

#include <QtGlobal>
#include <cstring>

#include "command_ids.h"
#include "frame_codec.h"

namespace {

// A request's counted texts share its payload's 255 bytes with everything else in it; the
// pieces of long payloads are the exception, a count byte and up to 255 data bytes.
constexpr uint16_t kRequestPayloadMax = 255;
constexpr uint16_t kPieceMax = 255;
constexpr uint16_t leaves(uint16_t otherBytes) {
    return kRequestPayloadMax - 1 - otherBytes;
}

using K = FieldKind;
using Sec = FieldSecret;

// Fields, by stable id; their labels are translated in the context "CatalogueField". A field that
// travels in several frames is one entry, so that it keeps one name and one type everywhere.
namespace f {
constexpr CatalogueField quarterSize{
    "link.size_quarter", QT_TRANSLATE_NOOP("CatalogueField", "size / 4"), K::Byte, 0, Sec::None};
constexpr CatalogueField gpioGroup{"gpio.group", QT_TRANSLATE_NOOP("CatalogueField", "group"),
                                   K::Byte, 0, Sec::None};
constexpr CatalogueField gpioPin{"gpio.pin", QT_TRANSLATE_NOOP("CatalogueField", "pin"), K::Byte, 0,
                                 Sec::None};
constexpr CatalogueField gpioValue{"gpio.value", QT_TRANSLATE_NOOP("CatalogueField", "value"),
                                   K::Byte, 0, Sec::None};
constexpr CatalogueField request32{"request32.value", QT_TRANSLATE_NOOP("CatalogueField", "value"),
                                   K::Byte, 0, Sec::None};
constexpr CatalogueField i2cAddress{"i2c.address",
                                    QT_TRANSLATE_NOOP("CatalogueField", "address (bit 7: write)"),
                                    K::Byte, 0, Sec::None};
constexpr CatalogueField i2cRegister{
    "i2c.register", QT_TRANSLATE_NOOP("CatalogueField", "register"), K::Byte, 0, Sec::None};
constexpr CatalogueField i2cCount{"i2c.count", QT_TRANSLATE_NOOP("CatalogueField", "count"),
                                  K::Byte, 0, Sec::None};
constexpr CatalogueField i2cData{
    "i2c.data", QT_TRANSLATE_NOOP("CatalogueField", "data"), K::Rest, 255, Sec::None, true};
constexpr CatalogueField i2cReadData{
    "i2c.read_data", QT_TRANSLATE_NOOP("CatalogueField", "data read"),
    K::Counted,      255,
    Sec::None,       true};
constexpr CatalogueField callMode{"call.mode", QT_TRANSLATE_NOOP("CatalogueField", "mode"), K::Byte,
                                  0, Sec::None};
constexpr CatalogueField callNumber{"call.number", QT_TRANSLATE_NOOP("CatalogueField", "number"),
                                    K::Counted, leaves(1), Sec::None};
constexpr CatalogueField hangupA{"call.hangup_a", QT_TRANSLATE_NOOP("CatalogueField", "first byte"),
                                 K::Byte, 0, Sec::None};
constexpr CatalogueField hangupB{
    "call.hangup_b", QT_TRANSLATE_NOOP("CatalogueField", "second byte"), K::Byte, 0, Sec::None};
constexpr CatalogueField callState{"call.state", QT_TRANSLATE_NOOP("CatalogueField", "state"),
                                   K::Byte, 0, Sec::None};
constexpr CatalogueField callValue{"call.value", QT_TRANSLATE_NOOP("CatalogueField", "value"),
                                   K::Byte, 0, Sec::None};
constexpr CatalogueField callExtra{"call.extra", QT_TRANSLATE_NOOP("CatalogueField", "extra"),
                                   K::Byte, 0, Sec::None};
constexpr CatalogueField micMute{"audio.mic_mute",
                                 QT_TRANSLATE_NOOP("CatalogueField", "microphone mute"), K::Byte, 0,
                                 Sec::None};
constexpr CatalogueField micGain{"audio.mic_gain",
                                 QT_TRANSLATE_NOOP("CatalogueField", "microphone gain"), K::Byte, 0,
                                 Sec::None};
constexpr CatalogueField speakerGain{"audio.speaker_gain",
                                     QT_TRANSLATE_NOOP("CatalogueField", "speaker gain"), K::Byte,
                                     0, Sec::None};
constexpr CatalogueField sidetoneGain{"audio.sidetone_gain",
                                      QT_TRANSLATE_NOOP("CatalogueField", "sidetone gain"), K::Byte,
                                      0, Sec::None};
constexpr CatalogueField ringPreset{"audio.ring_preset",
                                    QT_TRANSLATE_NOOP("CatalogueField", "ring tone preset"),
                                    K::Byte, 0, Sec::None};
constexpr CatalogueField ringVolume{"audio.ring_volume",
                                    QT_TRANSLATE_NOOP("CatalogueField", "ring tone volume"),
                                    K::Byte, 0, Sec::None};
constexpr CatalogueField smsNumber{"sms.number", QT_TRANSLATE_NOOP("CatalogueField", "number"),
                                   K::Counted, leaves(1), Sec::None};
constexpr CatalogueField smsNumberEnd{"sms.number_end", QT_TRANSLATE_NOOP("CatalogueField", "end"),
                                      K::Byte, 0, Sec::None};
constexpr CatalogueField smsSender{"sms.sender", QT_TRANSLATE_NOOP("CatalogueField", "sender"),
                                   K::Counted, 255, Sec::None};
constexpr CatalogueField smsDate{"sms.date", QT_TRANSLATE_NOOP("CatalogueField", "date"),
                                 K::Counted, 255, Sec::None};
// The tool sends a text whole; the module sends it in pieces of the same shape.
constexpr CatalogueField smsText{"sms.text", QT_TRANSLATE_NOOP("CatalogueField", "text"),
                                 K::Counted, leaves(0), Sec::TriggerValues};
constexpr CatalogueField smsTextPiece{"sms.text_piece",
                                      QT_TRANSLATE_NOOP("CatalogueField", "text piece"), K::Counted,
                                      kPieceMax, Sec::None};
constexpr CatalogueField smsReception{
    "sms.reception", QT_TRANSLATE_NOOP("CatalogueField", "reception"), K::Byte, 0, Sec::None};
constexpr CatalogueField mailServer{"mail.server", QT_TRANSLATE_NOOP("CatalogueField", "server"),
                                    K::Counted, leaves(0), Sec::None};
constexpr CatalogueField mailPort{"mail.port", QT_TRANSLATE_NOOP("CatalogueField", "port"), K::U16,
                                  0, Sec::None};
constexpr CatalogueField mailLogin{"mail.login", QT_TRANSLATE_NOOP("CatalogueField", "login"),
                                   K::Counted, leaves(0), Sec::None};
constexpr CatalogueField mailPassword{"mail.password",
                                      QT_TRANSLATE_NOOP("CatalogueField", "password"), K::Counted,
                                      leaves(0), Sec::Whole};
constexpr CatalogueField mailSender{"mail.sender", QT_TRANSLATE_NOOP("CatalogueField", "sender"),
                                    K::Counted, kPieceMax, Sec::None};
constexpr CatalogueField mailRecipient{"mail.recipient",
                                       QT_TRANSLATE_NOOP("CatalogueField", "recipient"), K::Counted,
                                       kPieceMax, Sec::None};
constexpr CatalogueField mailSubject{"mail.subject", QT_TRANSLATE_NOOP("CatalogueField", "subject"),
                                     K::Counted, kPieceMax, Sec::None};
constexpr CatalogueField mailBody{"mail.body_piece",
                                  QT_TRANSLATE_NOOP("CatalogueField", "body piece"), K::Counted,
                                  kPieceMax, Sec::None};
constexpr CatalogueField mailEncryption{"mail.encryption",
                                        QT_TRANSLATE_NOOP("CatalogueField", "encryption (1: SSL)"),
                                        K::Byte, 0, Sec::None};
constexpr CatalogueField mailUrl{"mail.url", QT_TRANSLATE_NOOP("CatalogueField", "URL"), K::Counted,
                                 leaves(0), Sec::None};
// Three texts share the payload: each alone may take what the two empty others leave.
constexpr CatalogueField apnName{"apn.name", QT_TRANSLATE_NOOP("CatalogueField", "name"),
                                 K::Counted, leaves(2), Sec::None};
constexpr CatalogueField apnLogin{"apn.login", QT_TRANSLATE_NOOP("CatalogueField", "login"),
                                  K::Counted, leaves(2), Sec::None};
constexpr CatalogueField apnPassword{"apn.password",
                                     QT_TRANSLATE_NOOP("CatalogueField", "password"), K::Counted,
                                     leaves(2), Sec::Whole};
constexpr CatalogueField socketPiece{
    "socket.payload_piece", "payload piece", K::Counted, kPieceMax, Sec::None, true};
constexpr CatalogueField socketResponse{
    "socket.response_piece", "response piece", K::Counted, kPieceMax, Sec::None, true};
constexpr CatalogueField socketProtocol{
    "socket.protocol", QT_TRANSLATE_NOOP("CatalogueField", "protocol"), K::Byte, 0, Sec::None};
constexpr CatalogueField socketTimeout{"socket.timeout_ms",
                                       QT_TRANSLATE_NOOP("CatalogueField", "receive time-out (ms)"),
                                       K::U16, 0, Sec::None};
constexpr CatalogueField socketDestination{"socket.destination",
                                           QT_TRANSLATE_NOOP("CatalogueField", "destination"),
                                           K::Counted, leaves(3), Sec::None};
constexpr CatalogueField socketBytesSent{
    "socket.bytes_sent", QT_TRANSLATE_NOOP("CatalogueField", "bytes sent"), K::U16, 0, Sec::None};
constexpr CatalogueField modemSpeed{"status.modem_speed",
                                    QT_TRANSLATE_NOOP("CatalogueField", "modem speed"), K::Byte, 0,
                                    Sec::None};
constexpr CatalogueField rssi{"status.rssi",
                              QT_TRANSLATE_NOOP("CatalogueField", "signal strength code"), K::Byte,
                              0, Sec::None};
constexpr CatalogueField imei{"status.imei", QT_TRANSLATE_NOOP("CatalogueField", "IMEI"), K::Fixed,
                              15, Sec::None};
constexpr CatalogueField sim{"status.sim", QT_TRANSLATE_NOOP("CatalogueField", "SIM id"), K::Fixed,
                             20, Sec::None};
constexpr CatalogueField vin{
    "status.vin", QT_TRANSLATE_NOOP("CatalogueField", "supply voltage (mV)"), K::U16, 0, Sec::None};
constexpr CatalogueField funcLevel{"status.func_level",
                                   QT_TRANSLATE_NOOP("CatalogueField", "functionality level"),
                                   K::Byte, 0, Sec::None};
constexpr CatalogueField registration{
    "status.registration", QT_TRANSLATE_NOOP("CatalogueField", "registration (1: registered)"),
    K::Byte, 0, Sec::None};
constexpr CatalogueField accessTech{"status.access_technology",
                                    QT_TRANSLATE_NOOP("CatalogueField", "radio access technology"),
                                    K::Byte, 0, Sec::None};
constexpr CatalogueField tarnFirmware{"version.module_firmware",
                                      QT_TRANSLATE_NOOP("CatalogueField", "module firmware"),
                                      K::Counted, 255, Sec::None};
constexpr CatalogueField tarnHardware{"version.module_hardware",
                                      QT_TRANSLATE_NOOP("CatalogueField", "module hardware"),
                                      K::Counted, 255, Sec::None};
constexpr CatalogueField cintFirmware{"version.modem_firmware",
                                      QT_TRANSLATE_NOOP("CatalogueField", "modem firmware"),
                                      K::Fixed, 6, Sec::None};
constexpr CatalogueField cintHardware{"version.modem_hardware",
                                      QT_TRANSLATE_NOOP("CatalogueField", "modem hardware"),
                                      K::Fixed, 7, Sec::None};
constexpr CatalogueField atCommand{"at.command", QT_TRANSLATE_NOOP("CatalogueField", "command"),
                                   K::Counted, leaves(0), Sec::None};
constexpr CatalogueField atResponse{"at.response", QT_TRANSLATE_NOOP("CatalogueField", "response"),
                                    K::Counted, 255, Sec::None};
}  // namespace f

constexpr CataloguePayload row(uint8_t id, PayloadWay way,
                               std::initializer_list<const CatalogueField *> fields) {
    CataloguePayload p{id, way, 0, {}, 0};
    for (const CatalogueField *field : fields) {
        p.fields[p.fieldCount++] = field;
    }
    p.sharedLimit = leaves(0) + 1;
    for (const CatalogueField *field : fields) {
        if (field->kind == K::Byte) {
            p.sharedLimit -= 1;
        } else if (field->kind == K::U16) {
            p.sharedLimit -= 2;
        } else if (field->kind == K::Counted) {
            p.sharedLimit -= 1;
        }
    }
    return p;
}

using W = PayloadWay;

// Frames with no payload have no row; every row's id and way is unique.
const CataloguePayload kPayloads[] = {
    row(CMD_MAX_MESSAGE_SIZE, W::Request, {&f::quarterSize}),
    row(CMD_GPIO_GROUP_SET, W::Request, {&f::gpioGroup, &f::gpioValue}),
    row(CMD_GPIO_PIN_SET, W::Request, {&f::gpioPin, &f::gpioValue}),
    row(CMD_GPIO_PIN_GET, W::Request, {&f::gpioPin}),
    row(CMD_GPIO_PIN_GET, W::Reply, {&f::gpioValue}),
    row(CMD_GPIO_GROUP_GET, W::Request, {&f::gpioGroup}),
    row(CMD_GPIO_GROUP_GET, W::Reply, {&f::gpioValue}),
    row(CMD_REQUEST_32, W::Request, {&f::request32}),
    row(CMD_I2C, W::Request, {&f::i2cAddress, &f::i2cRegister, &f::i2cCount, &f::i2cData}),
    row(CMD_I2C, W::Reply, {&f::i2cReadData}),
    row(CMD_CALL_DIAL, W::Request, {&f::callMode, &f::callNumber}),
    row(CMD_CALL_HANGUP, W::Request, {&f::hangupA, &f::hangupB}),
    row(CMD_CALL_EVENT, W::ModuleStarted, {&f::callState, &f::callValue, &f::callExtra}),
    row(CMD_AUDIO_GET_MIC_MUTE, W::Reply, {&f::micMute}),
    row(CMD_AUDIO_GET_MIC_MUTE, W::ModuleStarted, {&f::micMute}),
    row(CMD_AUDIO_SET_MIC_MUTE, W::Request, {&f::micMute}),
    row(CMD_AUDIO_GET_MIC_GAIN, W::Reply, {&f::micGain}),
    row(CMD_AUDIO_GET_MIC_GAIN, W::ModuleStarted, {&f::micGain}),
    row(CMD_AUDIO_SET_MIC_GAIN, W::Request, {&f::micGain}),
    row(CMD_AUDIO_GET_SPEAKER_GAIN, W::Reply, {&f::speakerGain, &f::sidetoneGain}),
    row(CMD_AUDIO_GET_SPEAKER_GAIN, W::ModuleStarted, {&f::speakerGain, &f::sidetoneGain}),
    row(CMD_AUDIO_SET_SPEAKER_GAIN, W::Request, {&f::speakerGain, &f::sidetoneGain}),
    row(CMD_AUDIO_GET_RING_TONE, W::Reply, {&f::ringPreset, &f::ringVolume}),
    row(CMD_AUDIO_GET_RING_TONE, W::ModuleStarted, {&f::ringPreset, &f::ringVolume}),
    row(CMD_AUDIO_SET_RING_TONE, W::Request, {&f::ringPreset, &f::ringVolume}),
    row(CMD_SMS_NUMBER, W::Request, {&f::smsNumber, &f::smsNumberEnd}),
    row(CMD_SMS_NUMBER, W::ModuleStarted, {&f::smsSender, &f::smsDate}),
    row(CMD_SMS_TEXT, W::Request, {&f::smsText}),
    row(CMD_SMS_TEXT, W::ModuleStarted, {&f::smsTextPiece}),
    row(CMD_SMS_SET_RECEPTION, W::Request, {&f::smsReception}),
    row(CMD_SMS_GET_RECEPTION, W::Reply, {&f::smsReception}),
    row(CMD_MAIL_SERVER, W::Request, {&f::mailServer}),
    row(CMD_MAIL_PORT, W::Request, {&f::mailPort}),
    row(CMD_MAIL_LOGIN, W::Request, {&f::mailLogin}),
    row(CMD_MAIL_PASSWORD, W::Request, {&f::mailPassword}),
    row(CMD_MAIL_SENDER, W::Request, {&f::mailSender}),
    row(CMD_MAIL_RECIPIENT, W::Request, {&f::mailRecipient}),
    row(CMD_MAIL_SUBJECT, W::Request, {&f::mailSubject}),
    row(CMD_MAIL_BODY, W::Request, {&f::mailBody}),
    row(CMD_MAIL_SEND_SMTP, W::Request, {&f::mailEncryption}),
    row(CMD_MAIL_SEND_HTTP_POST, W::Request, {&f::mailUrl}),
    row(CMD_APN_SET, W::Request, {&f::apnName, &f::apnLogin, &f::apnPassword}),
    row(CMD_SOCKET_PAYLOAD, W::Request, {&f::socketPiece}),
    row(CMD_SOCKET_PAYLOAD, W::ModuleStarted, {&f::socketResponse}),
    row(CMD_SOCKET_SEND, W::Request,
        {&f::socketProtocol, &f::socketTimeout, &f::socketDestination}),
    row(CMD_SOCKET_RESULT, W::ModuleStarted, {&f::socketBytesSent}),
    row(CMD_APN_GET, W::Reply, {&f::apnName, &f::apnLogin, &f::apnPassword}),
    row(CMD_SET_MODEM_SPEED, W::Request, {&f::modemSpeed}),
    row(CMD_GET_MODEM_SPEED, W::Reply, {&f::modemSpeed}),
    row(CMD_GET_RSSI, W::Reply, {&f::rssi}),
    row(CMD_GET_IMEI, W::Reply, {&f::imei}),
    row(CMD_GET_SIM, W::Reply, {&f::sim}),
    row(CMD_GET_VIN, W::Reply, {&f::vin}),
    row(CMD_SET_FUNC_LEVEL, W::Request, {&f::funcLevel}),
    row(CMD_GET_TOWER_CONN, W::Reply, {&f::registration, &f::accessTech}),
    row(CMD_GET_TARN_FIRMWARE, W::Reply, {&f::tarnFirmware}),
    row(CMD_GET_TARN_HARDWARE, W::Reply, {&f::tarnHardware}),
    row(CMD_GET_CINT_FIRMWARE, W::Reply, {&f::cintFirmware}),
    row(CMD_GET_CINT_HARDWARE, W::Reply, {&f::cintHardware}),
    row(CMD_AT_COMMAND, W::Request, {&f::atCommand}),
    row(CMD_AT_COMMAND, W::Reply, {&f::atResponse}),
};

constexpr int kWays = 4;

const std::array<const CataloguePayload *, 256 * kWays> &byIdAndWay() {
    static const auto table = [] {
        std::array<const CataloguePayload *, 256 * kWays> out{};
        for (const CataloguePayload &p : kPayloads) {
            out[p.cmdId * kWays + static_cast<int>(p.way)] = &p;
        }
        return out;
    }();
    return table;
}

int fixedSize(const CatalogueField &field) {
    switch (field.kind) {
        case K::Byte:
            return 1;
        case K::U16:
            return 2;
        case K::Fixed:
            return field.limit;
        case K::Counted:
        case K::Rest:
            return -1;
    }
    return -1;
}

thread_local LinkRefusal lastRefusal;

}  // namespace

const CataloguePayload *catalogue_payload(uint8_t cmdId, PayloadWay way) {
    return byIdAndWay()[cmdId * kWays + static_cast<int>(way)];
}

const CataloguePayload *catalogue_begin() {
    return std::begin(kPayloads);
}
const CataloguePayload *catalogue_end() {
    return std::end(kPayloads);
}

const CatalogueField *catalogue_field(const char *fieldId) {
    for (const CataloguePayload &p : kPayloads) {
        for (int i = 0; i < p.fieldCount; ++i) {
            if (std::strcmp(p.fields[i]->id, fieldId) == 0) {
                return p.fields[i];
            }
        }
    }
    return nullptr;
}

PayloadWay payload_way(bool fromModule, uint8_t status) {
    const bool reply = (status & REPLY_FLAG) != 0;
    if (fromModule) {
        return reply ? PayloadWay::Reply : PayloadWay::ModuleStarted;
    }
    return reply ? PayloadWay::ToolReply : PayloadWay::Request;
}

const FieldValue *PayloadFields::find(const char *fieldId) const {
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(values[i].field->id, fieldId) == 0) {
            return &values[i];
        }
    }
    return nullptr;
}

QByteArray PayloadFields::bytes(const QByteArray &payload, const char *fieldId) const {
    const FieldValue *value = find(fieldId);
    return value != nullptr ? payload.mid(value->offset, value->length) : QByteArray();
}

PayloadFields catalogue_read(const CataloguePayload &description, const uint8_t *payload,
                             uint16_t length) {
    PayloadFields out;
    uint32_t at = 0;
    for (int i = 0; i < description.fieldCount; ++i) {
        const CatalogueField &field = *description.fields[i];
        FieldValue value;
        value.field = &field;
        uint32_t size = 0;
        uint32_t start = at;
        switch (field.kind) {
            case K::Byte:
            case K::U16:
            case K::Fixed:
                size = static_cast<uint32_t>(fixedSize(field));
                break;
            case K::Counted:
                if (at >= length) {
                    return out;
                }
                size = payload[at];
                start = at + 1;
                break;
            case K::Rest:
                size = length > at ? length - at : 0;
                break;
        }
        if (start + size > length) {
            return out;
        }
        value.offset = static_cast<uint16_t>(start);
        value.length = static_cast<uint16_t>(size);
        if (field.kind == K::Byte) {
            value.number = payload[start];
        } else if (field.kind == K::U16) {
            value.number = static_cast<uint32_t>(payload[start] << 8 | payload[start + 1]);
        }
        out.values[out.count++] = value;
        at = start + size;
    }
    out.complete = true;
    out.extra = static_cast<uint16_t>(length - at);
    return out;
}

LinkRefusal link_last_refusal() {
    return lastRefusal;
}

int link_note_refusal(const LinkRefusal &refusal) {
    lastRefusal = refusal;
    return refusal.result;
}

int link_note_refusal(LinkRequestResult result) {
    return link_note_refusal(LinkRefusal{result, nullptr, 0, 0});
}

int catalogue_limit(const CatalogueField &field) {
    switch (field.kind) {
        case K::Byte:
            return 0xFF;
        case K::U16:
            return 0xFFFF;
        case K::Counted:
        case K::Fixed:
        case K::Rest:
            return field.limit;
    }
    return 0;
}

LinkRefusal catalogue_build(uint8_t cmdId, PayloadWay way, std::initializer_list<FieldInput> values,
                            QByteArray *out) {
    const CataloguePayload *description = catalogue_payload(cmdId, way);
    const int fieldCount = description != nullptr ? description->fieldCount : 0;
    if (static_cast<int>(values.size()) != fieldCount) {
        return {LINK_REFUSED_OUT_OF_RANGE, nullptr, fieldCount, static_cast<int>(values.size())};
    }
    QByteArray payload;
    int shared = 0;
    int i = 0;
    for (const FieldInput &value : values) {
        const CatalogueField &field = *description->fields[i++];
        const int limit = catalogue_limit(field);
        if (field.kind == K::Byte || field.kind == K::U16) {
            if (value.isBytes || value.number < 0 || value.number > limit) {
                return {LINK_REFUSED_OUT_OF_RANGE, &field, limit, value.number};
            }
            if (field.kind == K::U16) {
                payload.append(static_cast<char>(value.number >> 8));
            }
            payload.append(static_cast<char>(value.number & 0xFF));
            continue;
        }
        const int size = value.bytes.size();
        if (!value.isBytes || size > limit || (field.kind == K::Fixed && size != limit)) {
            return {LINK_REFUSED_TOO_LONG, &field, limit, size};
        }
        if (field.kind == K::Counted) {
            shared += size;
            if (way == PayloadWay::Request && field.limit <= leaves(0) &&
                shared > description->sharedLimit) {
                return {LINK_REFUSED_TOO_LONG, &field, description->sharedLimit - (shared - size),
                        size};
            }
            payload.append(static_cast<char>(size));
        }
        payload.append(value.bytes);
    }
    const auto *bytes = reinterpret_cast<const uint8_t *>(payload.constData());
    if (frame_worst_case_size(cmdId, 0, bytes, static_cast<uint32_t>(payload.size())) >
        FRAME_BUFFER_SIZE) {
        const CatalogueField *last = fieldCount > 0 ? description->fields[fieldCount - 1] : nullptr;
        return {LINK_REFUSED_NEVER_FITS, last, FRAME_BUFFER_SIZE, payload.size()};
    }
    *out = payload;
    return {LINK_QUEUED, nullptr, 0, 0};
}

bool catalogue_build_request(uint8_t cmdId, std::initializer_list<FieldInput> values,
                             QByteArray *out) {
    const LinkRefusal refusal = catalogue_build(cmdId, PayloadWay::Request, values, out);
    if (refusal.result != LINK_QUEUED) {
        link_note_refusal(refusal);
        return false;
    }
    return true;
}
