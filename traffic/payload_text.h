// A frame's payload for people, field by field, as the inspector's detail pane and tool tip
// show it. QtCore only, so that any front end can show the same lines.
#pragma once

#include <QString>
#include <QVector>
#include <cstdint>

#include "command_catalogue.h"
#include "link_traffic.h"

struct PayloadLine {
    QString label;
    QString value;
};

// The fields of a payload read by its catalogue description, secrets masked: one line per
// field read, then one naming the fields the payload ends before, then one for bytes past the
// description (every byte, when there is no description).
QVector<PayloadLine> payloadLines(uint8_t cmdId, PayloadWay way, const QByteArray &payload);
// A record's payload lines, or a note that it never decoded; then its bytes as the inspector
// shows them, when asked.
QVector<PayloadLine> recordLines(const TrafficRecord &r, bool withBytes);
// "label: value", a line each.
QString linesText(const QVector<PayloadLine> &lines);
