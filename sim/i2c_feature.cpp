// I2C register reads and writes; addresses auto-increment and wrap within a device.
#include "i2c_feature.h"

#include "payload_fields.h"

namespace {

constexpr uint8_t kWriteBit = 0x80;
constexpr uint8_t kEeprom = 0x50;
constexpr uint8_t kTemperatureSensor = 0x48;
constexpr uint8_t kAudioCodec = 0x1A;

}  // namespace

I2cFeature::I2cFeature() {
    Registers erased;
    erased.fill(0xFF);
    devices_[kEeprom] = erased;
    Registers sensor{};
    sensor[0] = 0x19;  // 25 degrees
    sensor[2] = 0x4B;  // hysteresis 75
    sensor[3] = 0x50;  // over-temperature 80
    devices_[kTemperatureSensor] = sensor;
    Registers codec{};
    codec[0] = 0x97;  // a device id
    devices_[kAudioCodec] = codec;
}

const I2cFeature::Registers *I2cFeature::device(uint8_t address) const {
    const auto found = devices_.find(address);
    return found == devices_.end() ? nullptr : &found->second;
}

bool I2cFeature::handle(const ModuleRequest &request, ModuleOutbox &out) {
    if (request.id != CMD_I2C) {
        return false;
    }
    const QByteArray noData(1, '\0');
    PayloadReader reader(request.payload);
    uint8_t address = 0;
    uint8_t reg = 0;
    uint8_t count = 0;
    if (!reader.byte(address) || !reader.byte(reg) || !reader.byte(count)) {
        out.reply(request.id, ProtocolError, noData);
        return true;
    }
    const bool write = address & kWriteBit;
    const auto found = devices_.find(static_cast<uint8_t>(address & ~kWriteBit));
    if (found == devices_.end()) {
        out.reply(request.id, AddressNak, noData);
        return true;
    }
    Registers &registers = found->second;
    if (write) {
        QByteArray data;
        if (!reader.bytes(count, data)) {
            out.reply(request.id, ProtocolError, noData);  // fewer data bytes than the count says
            return true;
        }
        for (int i = 0; i < count; ++i) {
            registers[static_cast<uint8_t>(reg + i)] = static_cast<uint8_t>(data[i]);
        }
        out.reply(request.id, Ok, noData);
        return true;
    }
    QByteArray payload(1, char(count));
    for (int i = 0; i < count; ++i) {
        payload += char(registers[static_cast<uint8_t>(reg + i)]);
    }
    out.reply(request.id, Ok, payload);
    return true;
}
