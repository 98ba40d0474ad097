// Records arrive with rising ids, so an outcome finds its record by binary search.
#include "traffic_capture.h"

#include <algorithm>

TrafficCapture::TrafficCapture(QObject *parent) : QObject(parent) {
    link_traffic_record(true);
    timer_.setInterval(kTakeIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &TrafficCapture::takeNow);
    timer_.start();
}

TrafficCapture::~TrafficCapture() {
    link_traffic_record(false);
}

void TrafficCapture::setMaxRows(int rows) {
    maxRows_ = std::max(rows, 1);
    const int excess = static_cast<int>(records_.size()) - maxRows_;
    if (excess > 0) {
        dropped_ += static_cast<quint64>(excess);
        dropFront(excess);
        emit recordsChanged(-1, 0);
    }
}

void TrafficCapture::clear() {
    dropped_ = 0;
    lost_ = 0;
    dropFront(static_cast<int>(records_.size()));
    emit recordsChanged(-1, 0);
}

void TrafficCapture::dropFront(int count) {
    if (count <= 0) {
        return;
    }
    emit rowsAboutToBeDropped(count);
    records_.erase(records_.begin(), records_.begin() + count);
    firstNumber_ += static_cast<quint64>(count);
    emit rowsDropped(count);
}

void TrafficCapture::takeNow() {
    uint64_t lost = 0;
    const QList<TrafficChange> changes = link_traffic_take(&lost);
    lost_ += lost;
    if (changes.isEmpty()) {
        return;
    }
    const size_t before = records_.size();
    size_t firstChanged = before;
    for (const TrafficChange &change : changes) {
        if (change.isNew) {
            records_.push_back(change.record);
            continue;
        }
        const auto found =
            std::lower_bound(records_.begin(), records_.end(), change.record.id,
                             [](const TrafficRecord &r, uint64_t id) { return r.id < id; });
        // An outcome of a record dropped or cleared already changes nothing.
        if (found != records_.end() && found->id == change.record.id) {
            found->outcome = change.record.outcome;
            firstChanged = std::min(firstChanged, static_cast<size_t>(found - records_.begin()));
        }
    }
    const int appended = static_cast<int>(records_.size() - before);
    const int excess = static_cast<int>(records_.size()) - maxRows_;
    if (excess > 0) {
        dropped_ += static_cast<quint64>(excess);
        dropFront(excess);
    }
    const int shift = std::max(excess, 0);
    const int kept = static_cast<int>(before) - shift;
    int firstChangedRow = -1;
    if (firstChanged < before && kept > 0) {
        firstChangedRow = std::max(static_cast<int>(firstChanged) - shift, 0);
    }
    emit recordsChanged(firstChangedRow, std::min(appended, static_cast<int>(records_.size())));
}
