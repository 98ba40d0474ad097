// Canned modem answers, built from the module's state where the command asks for it.
#include "at_feature.h"

#include "payload_fields.h"
#include "status_feature.h"

bool AtFeature::respond(const QByteArray &command, QList<QByteArray> &lines) const {
    const QByteArray c = command.trimmed().toUpper();
    if (c == "AT" || c == "ATE0" || c == "ATE1" || c == "AT&F") {
        return true;
    }
    if (c == "ATI") {
        lines << "KOVA"
              << "KV-M3G"
              << "REVISION " + status_.modemFirmware();
        return true;
    }
    if (c == "AT+CGMR") {
        lines << "REVISION " + status_.modemFirmware();
        return true;
    }
    if (c == "AT+CGSN") {
        lines << status_.imei();
        return true;
    }
    if (c == "AT+CCID") {
        lines << "+CCID: " + status_.simId();
        return true;
    }
    if (c == "AT+CSQ") {
        lines << "+CSQ: " + QByteArray::number(status_.rssi()) + ",99";
        return true;
    }
    if (c == "AT+CREG?") {
        lines << "+CREG: 0," + QByteArray(status_.networkAvailable() ? "1" : "0");
        return true;
    }
    if (c == "AT+CFUN?") {
        lines << "+CFUN: " + QByteArray(status_.radioOn() ? "1" : "4");
        return true;
    }
    return false;
}

bool AtFeature::handle(const ModuleRequest &request, ModuleOutbox &out) {
    if (request.id != CMD_AT_COMMAND) {
        return false;
    }
    PayloadReader reader(request.payload);
    QByteArray command;
    QList<QByteArray> lines;
    const bool accepted = reader.text(command) && respond(command, lines);
    lines << (accepted ? "OK" : "ERROR");
    // The modem frames every line with CR LF on both sides.
    for (int i = 0; i < lines.size(); ++i) {
        const bool last = i == lines.size() - 1;
        const QList<QByteArray> pieces = appendPieces("\r\n" + lines[i] + "\r\n", out.pieceSize());
        for (int p = 0; p < pieces.size(); ++p) {
            const bool closing = last && p == pieces.size() - 1;
            out.reply(request.id, closing && !accepted ? Error : Ok, pieces[p]);
        }
    }
    return true;
}
