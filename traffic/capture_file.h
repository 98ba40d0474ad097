// The traffic as a capture file leaves the tool: each record's bytes (masked unless passwords
// are asked for) and a comment with its outcome that says when the bytes were masked. QtCore
// only, for the inspector and for front ends without a window.
#pragma once

#include <QList>
#include <QString>

#include "link_traffic.h"
#include "pcapng.h"

// `maskedBefore`: the record was masked already when it was read from a file.
CapturedFrame capturedFrame(const TrafficRecord &r, bool includePasswords, bool maskedBefore);
QString packetComment(TrafficOutcome outcome, bool masked);
// The outcome a comment names, and whether it says the packet was masked.
TrafficOutcome outcomeNamed(QString name, bool *masked);
// Written whole or not at all: false with the reason when the file cannot be.
bool saveCaptureFile(const QString &path, const QList<CapturedFrame> &frames, QString *whyNot);
