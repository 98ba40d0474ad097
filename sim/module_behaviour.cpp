// Dispatch of requests to the features.
#include "module_behaviour.h"

ModuleBehaviour::ModuleBehaviour() = default;

bool ModuleBehaviour::handle(const ModuleRequest &request, ModuleOutbox &out) {
    if (request.id == CMD_SET_FUNC_LEVEL) {
        const int boots = status_.bootCount();
        status_.handle(request, out);
        if (!status_.radioOn() || status_.bootCount() != boots) {
            calls_.dropCall(out);
        }
        return true;
    }
    // An id the module has no use for, answered with success and nothing else.
    if (request.id == CMD_REQUEST_32) {
        out.reply(request.id, 0);
        return true;
    }
    if (status_.handle(request, out) || gpio_.handle(request, out) || i2c_.handle(request, out) ||
        calls_.handle(request, out) || audio_.handle(request, out) || sms_.handle(request, out) ||
        mail_.handle(request, out) || socket_.handle(request, out) || at_.handle(request, out)) {
        return true;
    }
    ++unknownRequests_;
    return false;
}

ModuleSnapshot ModuleBehaviour::snapshot() const {
    ModuleSnapshot s;
    s.rssi = status_.rssi();
    s.networkAvailable = status_.networkAvailable();
    s.functionality = status_.functionality();
    s.modemSpeed = status_.modemSpeed();
    for (int g = 0; g < GpioFeature::kGroupCount; ++g) {
        s.gpioModes[static_cast<size_t>(g)] = gpio_.groupMode(g);
    }
    for (int p = 0; p < GpioFeature::kPinCount; ++p) {
        s.gpioLevels[static_cast<size_t>(p)] = gpio_.pinLevel(p);
    }
    s.callState = calls_.state();
    s.audio = audio_.settings();
    s.smsReception = sms_.receptionEnabled();
    s.sentSms = sms_.sent();
    s.mailDraft = mail_.draft();
    s.lastMail = mail_.lastSent();
    s.mailsSent = mail_.sentCount();
    s.socketPayload = socket_.payload();
    s.apnSet = socket_.apnSet();
    s.apn = socket_.apn();
    s.unknownRequests = unknownRequests_;
    return s;
}
