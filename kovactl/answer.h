// What a command answers: an exit code, its result by the catalogue's stable field ids, and the
// reason when it failed; printed for people or as one JSON object.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "command_catalogue.h"
#include "exit_codes.h"

struct Answer {
    int code = ExitOk;
    QJsonObject result;
    QString error;
    // Lines for people; when empty, the result's fields are shown by their labels.
    QStringList text;

    static Answer failure(int code, const QString &error, const QJsonObject &result = {});
};

// The payload's fields by stable id, read by its catalogue description with secrets masked:
// numbers as numbers, texts as strings, binary fields in base64.
QJsonObject payloadFields(uint8_t cmdId, PayloadWay way, const QByteArray &payload);

// A frame the module started, as an event line: {"event": "call_event", "call.state": 2, ...}.
QJsonObject eventJson(uint8_t cmdId, const QByteArray &payload);

// {"code": ..., "result": {...}} or with "error" beside it; a session adds its request's id.
QJsonObject answerJson(const Answer &answer);
// The answer for people: the result's lines, or the error.
QString answerText(const Answer &answer);
