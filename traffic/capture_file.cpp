#include "capture_file.h"

#include <QSaveFile>
#include <algorithm>

#include "traffic_secrets.h"

namespace {

const QString kMaskedNote = QStringLiteral("masked");

}  // namespace

CapturedFrame capturedFrame(const TrafficRecord &r, bool includePasswords, bool maskedBefore) {
    const MaskedFrame shown = includePasswords ? MaskedFrame{r.wire, false} : maskedWire(r);
    return {r.timeUs, r.fromModule, shown.wire,
            packetComment(r.outcome, shown.masked || maskedBefore)};
}

QString packetComment(TrafficOutcome outcome, bool masked) {
    const QString name = QString::fromLatin1(traffic_outcome_name(outcome));
    if (!masked) {
        return name;
    }
    return name.isEmpty() ? kMaskedNote : name + QStringLiteral(", ") + kMaskedNote;
}

TrafficOutcome outcomeNamed(QString name, bool *masked) {
    *masked = name == kMaskedNote || name.endsWith(QStringLiteral(", ") + kMaskedNote);
    if (*masked) {
        name.chop(std::min(name.size(), kMaskedNote.size() + 2));
    }
    for (int o = 0; o <= static_cast<int>(TrafficOutcome::NoRoom); ++o) {
        const auto outcome = static_cast<TrafficOutcome>(o);
        if (name == QLatin1String(traffic_outcome_name(outcome))) {
            return outcome;
        }
    }
    return TrafficOutcome::None;
}

bool saveCaptureFile(const QString &path, const QList<CapturedFrame> &frames, QString *whyNot) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (whyNot != nullptr) {
            *whyNot = file.errorString();
        }
        return false;
    }
    if (!writePcapng(file, frames, whyNot)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (whyNot != nullptr) {
            *whyNot = file.errorString();
        }
        return false;
    }
    return true;
}
