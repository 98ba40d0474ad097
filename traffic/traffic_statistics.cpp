#include "traffic_statistics.h"

#include <QCoreApplication>
#include <QStringList>

#include "command_ids.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("TrafficStatistics", text);
}

// What the link dropped, refused or could not place, besides what the line shows first.
// Without `all`, leaves out the counts that are still 0.
QStringList dropCounts(const LinkCounters &c, bool all) {
    const std::pair<uint32_t, const char *> counts[] = {
        {c.tooShort, QT_TRANSLATE_NOOP("TrafficStatistics", "too short %1")},
        {c.cutOff, QT_TRANSLATE_NOOP("TrafficStatistics", "cut off %1")},
        {c.malformed, QT_TRANSLATE_NOOP("TrafficStatistics", "malformed %1")},
        {c.rxTableFull, QT_TRANSLATE_NOOP("TrafficStatistics", "receive table full %1")},
        {c.txTableFull, QT_TRANSLATE_NOOP("TrafficStatistics", "transmit table full %1")},
        {c.transferFramesDropped,
         QT_TRANSLATE_NOOP("TrafficStatistics", "transfer frames dropped %1")},
        {c.encodeFailures, QT_TRANSLATE_NOOP("TrafficStatistics", "encode failures %1")},
    };
    QStringList out;
    for (const auto &count : counts) {
        if (all || count.first != 0) {
            out << tr(count.second).arg(count.first);
        }
    }
    return out;
}

QStringList firstParts(const LinkCounters &c) {
    return {
        tr("Sent %1 frames (%2 bytes)").arg(c.framesSent).arg(c.bytesSent),
        tr("received %1 frames (%2 bytes)").arg(c.framesReceived).arg(c.bytesReceived),
        tr("rewrites %1").arg(c.rewrites),
        tr("NAKs received %1").arg(c.naksReceived),
        tr("repeats dropped %1").arg(c.repeatsDropped),
        tr("CRC errors %1").arg(c.crcErrors),
        tr("overflows %1").arg(c.overflows),
    };
}

QString line(const LinkCounters &c, double framesPerSecond, bool withTextsCut) {
    QStringList parts = firstParts(c);
    if (withTextsCut) {
        parts << tr("texts cut %1").arg(c.textsCut);
    }
    // The rest only once it happened, so the line keeps to one row while nothing goes wrong.
    parts << dropCounts(c, false);
    parts << tr("%1 frames/s").arg(framesPerSecond, 0, 'f', 1);
    return parts.join(QStringLiteral(" · "));
}

}  // namespace

double FrameRate::sample(const LinkCounters &c) {
    const quint64 frames = c.framesSent + c.framesReceived;
    const quint64 counted = frames >= frames_ ? frames - frames_ : frames;
    const double seconds = since_.restart() / 1000.0;
    frames_ = frames;
    return seconds > 0 ? double(counted) / seconds : 0;
}

QString trafficStatisticsLine(const LinkCounters &c, double framesPerSecond) {
    return line(c, framesPerSecond, true);
}

QString trafficStatisticsToolTip(const LinkCounters &c) {
    QStringList all = firstParts(c);
    all << tr("texts cut %1").arg(c.textsCut) << dropCounts(c, true);
    return all.join(QLatin1Char('\n'));
}

// As the link counts: a received frame is one that decoded, a received byte any that arrived.
QString captureStatisticsLine(const std::deque<TrafficRecord> &records) {
    LinkCounters c;
    for (const TrafficRecord &r : records) {
        const auto bytes = static_cast<uint64_t>(r.wire.size());
        if (!r.fromModule) {
            ++c.framesSent;
            c.bytesSent += bytes;
            c.rewrites += r.outcome == TrafficOutcome::Rewritten;
            continue;
        }
        c.bytesReceived += bytes;
        c.framesReceived += r.decoded;
        c.naksReceived += r.decoded && r.cmdId == CMD_NAK;
        c.repeatsDropped += r.outcome == TrafficOutcome::RepeatDropped;
        c.crcErrors += r.outcome == TrafficOutcome::BadCrc;
        c.overflows += r.outcome == TrafficOutcome::Overflow;
        c.cutOff += r.outcome == TrafficOutcome::CutOff;
        c.rxTableFull += r.outcome == TrafficOutcome::NoRoom;
    }
    double perSecond = 0;
    if (records.size() > 1 && records.back().timeUs > records.front().timeUs) {
        perSecond = double(records.size() - 1) * 1e6 /
                    double(records.back().timeUs - records.front().timeUs);
    }
    return line(c, perSecond, false);
}
