// Status and identity of the module: signal strength, IMEI, SIM, input voltage, registration
// and access technology, modem speed, functionality level and the four version texts.
#pragma once

#include <QByteArray>
#include <cstdint>

#include "module_outbox.h"

class StatusFeature {
  public:
    enum Functionality : uint8_t { PowerOff = 0, AirplaneOn = 1, AirplaneOff = 2, Reboot = 3 };

    bool handle(const ModuleRequest &request, ModuleOutbox &out);

    // The network is reachable: radio on and registered.
    bool networkAvailable() const { return radioOn_ && registered_; }
    bool radioOn() const { return radioOn_; }
    // 99 (unknown) while the radio is off.
    uint8_t rssi() const { return radioOn_ ? rssi_ : 99; }
    // 3GPP access technology code of the serving cell.
    uint8_t accessTechnology() const;
    uint8_t modemSpeed() const { return modemSpeed_; }
    uint8_t functionality() const { return functionality_; }
    int bootCount() const { return bootCount_; }
    QByteArray imei() const { return imei_; }
    QByteArray simId() const { return simId_; }
    QByteArray firmware() const { return firmware_; }
    QByteArray modemFirmware() const { return modemFirmware_; }

    void setRssi(uint8_t rssi) { rssi_ = rssi; }
    void setRegistered(bool registered) { registered_ = registered; }
    void setInputVoltage(uint16_t millivolts) { inputMillivolts_ = millivolts; }

  private:
    uint8_t rssi_ = 31;
    bool registered_ = true;
    bool radioOn_ = true;
    uint16_t inputMillivolts_ = 12060;
    uint8_t modemSpeed_ = 0;
    uint8_t functionality_ = AirplaneOff;
    int bootCount_ = 0;
    QByteArray imei_ = "353840110926179";
    QByteArray simId_ = "89490220519033487521";
    QByteArray firmware_ = "02.14.07";
    QByteArray hardware_ = "KV3G-B2-L07";
    QByteArray modemFirmware_ = "03.001";   // six characters
    QByteArray modemHardware_ = "0207-03";  // seven characters
};
