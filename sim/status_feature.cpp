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
        case SetModemSpeed:
            if (!reader.byte(value) || value >= kModemSpeedCount) {
                out.reply(request.id, Failed);
                return true;
            }
            modemSpeed_ = value;
            out.reply(request.id, Ok);
            return true;
        case GetModemSpeed:
            out.reply(request.id, Ok, QByteArray(1, char(modemSpeed_)));
            return true;
        case Get160:
            out.reply(request.id, Ok);
            return true;
        case GetRssi:
            out.reply(request.id, Ok, QByteArray(1, char(rssi())));
            return true;
        case GetImei:
            out.reply(request.id, Ok, imei_);
            return true;
        case GetSim:
            out.reply(request.id, Ok, simId_);
            return true;
        case GetInputVoltage:
            out.reply(request.id, Ok, u16Field(inputMillivolts_));
            return true;
        case SetFunctionality:
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
        case GetRegistration: {
            QByteArray payload(2, '\0');
            payload[0] = char(networkAvailable() ? 1 : 0);
            payload[1] = char(accessTechnology());
            out.reply(request.id, Ok, payload);
            return true;
        }
        case GetFirmware:
            out.reply(request.id, Ok, textField(firmware_));
            return true;
        case GetHardware:
            out.reply(request.id, Ok, textField(hardware_));
            return true;
        case GetModemFirmware:
            out.reply(request.id, Ok, modemFirmware_);
            return true;
        case GetModemHardware:
            out.reply(request.id, Ok, modemHardware_);
            return true;
        default:
            return false;
    }
}
