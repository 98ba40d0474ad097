// Answers of the Status tab's commands.
#include "status_feature.h"

#include "payload_fields.h"

namespace {

enum Code : uint8_t { Ok = 0, Failed = 1 };

// Modem speed indices: automatic, dual mode preferring 2G, dual mode preferring 3G.
constexpr uint8_t kPrefer2G = 1;
constexpr uint8_t kModemSpeedCount = 3;

constexpr uint8_t kRatEgprs = 3;
constexpr uint8_t kRatHspa = 6;
constexpr uint8_t kRatNone = 255;

}  // namespace

uint8_t StatusFeature::accessTechnology() const {
    if (!networkAvailable()) {
        return kRatNone;
    }
    return modemSpeed_ == kPrefer2G ? kRatEgprs : kRatHspa;
}

bool StatusFeature::handle(const ModuleRequest &request, ModuleOutbox &out) {
    PayloadReader reader(request.payload);
    uint8_t value = 0;
    switch (request.id) {
        case CMD_SET_MODEM_SPEED:
            if (!reader.byte(value) || value >= kModemSpeedCount) {
                out.reply(request.id, Failed);
                return true;
            }
            modemSpeed_ = value;
            out.reply(request.id, Ok);
            return true;
        case CMD_GET_MODEM_SPEED:
            out.reply(request.id, Ok, QByteArray(1, char(modemSpeed_)));
            return true;
        case CMD_GET_160:
            out.reply(request.id, Ok);
            return true;
        case CMD_GET_RSSI:
            out.reply(request.id, Ok, QByteArray(1, char(rssi())));
            return true;
        case CMD_GET_IMEI:
            out.reply(request.id, Ok, imei_);
            return true;
        case CMD_GET_SIM:
            out.reply(request.id, Ok, simId_);
            return true;
        case CMD_GET_VIN:
            out.reply(request.id, Ok, u16Field(inputMillivolts_));
            return true;
        case CMD_SET_FUNC_LEVEL:
            if (!reader.byte(value) || value > Reboot) {
                out.reply(request.id, Failed);
                return true;
            }
            // Power off and airplane mode silence the radio; a reboot comes back with it on.
            functionality_ = value == Reboot ? uint8_t(AirplaneOff) : value;
            radioOn_ = functionality_ == AirplaneOff;
            if (value == Reboot) {
                ++bootCount_;
            }
            out.reply(request.id, Ok);
            return true;
        case CMD_GET_TOWER_CONN: {
            QByteArray payload(2, '\0');
            payload[0] = char(networkAvailable() ? 1 : 0);
            payload[1] = char(accessTechnology());
            out.reply(request.id, Ok, payload);
            return true;
        }
        case CMD_GET_TARN_FIRMWARE:
            out.reply(request.id, Ok, textField(firmware_));
            return true;
        case CMD_GET_TARN_HARDWARE:
            out.reply(request.id, Ok, textField(hardware_));
            return true;
        case CMD_GET_CINT_FIRMWARE:
            out.reply(request.id, Ok, modemFirmware_);
            return true;
        case CMD_GET_CINT_HARDWARE:
            out.reply(request.id, Ok, modemHardware_);
            return true;
        default:
            return false;
    }
}
