// Rows are numbered the capture's way, so a paused view and the capture's front drops agree on
// which rows are gone without copying anything.
#include "traffic_model.h"

#include <QDateTime>
#include <algorithm>

#include "command_ids.h"
#include "frame_codec.h"
#include "payload_text.h"
#include "traffic_capture.h"
#include "traffic_secrets.h"

namespace {

QString hexByte(uint8_t byte) {
    return QStringLiteral("0x") +
           QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

QString commandText(uint8_t id) {
    const char *name = command_name(id);
    if (name == nullptr) {
        return hexByte(id);
    }
    QLatin1String shortName(name);
    if (shortName.startsWith(QLatin1String("CMD_"))) {
        shortName = shortName.mid(4);
    }
    return hexByte(id) + QLatin1Char(' ') + shortName;
}

}  // namespace

TrafficModel::TrafficModel(TrafficCapture *live, QObject *parent)
    : QAbstractTableModel(parent), live_(live) {
    first_ = live->firstNumber();
    rows_ = static_cast<int>(live->records().size());
    connect(live, &TrafficCapture::rowsAboutToBeDropped, this, &TrafficModel::aboutToDrop);
    connect(live, &TrafficCapture::rowsDropped, this, &TrafficModel::dropped);
    connect(live, &TrafficCapture::recordsChanged, this,
            [this](int firstChangedRow, int) { changed(firstChangedRow); });
}

TrafficModel::TrafficModel(std::deque<TrafficRecord> loaded, std::vector<bool> masked,
                           QObject *parent)
    : QAbstractTableModel(parent), loaded_(std::move(loaded)), loadedMasked_(std::move(masked)) {
    rows_ = static_cast<int>(loaded_.size());
    loadedMasked_.resize(loaded_.size());
}

const std::deque<TrafficRecord> &TrafficModel::source() const {
    return live_ != nullptr ? live_->records() : loaded_;
}

size_t TrafficModel::sourceIndex(int row) const {
    const quint64 sourceFirst = live_ != nullptr ? live_->firstNumber() : 0;
    return static_cast<size_t>(first_ + static_cast<quint64>(row) - sourceFirst);
}

const TrafficRecord &TrafficModel::record(int row) const {
    return source()[sourceIndex(row)];
}

bool TrafficModel::masked(int row) const {
    return live_ == nullptr && loadedMasked_[sourceIndex(row)];
}

int TrafficModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TrafficModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
        case Time:
            return delta_ ? tr("Δ ms") : tr("Time");
        case Direction:
            return tr("Direction");
        case Seq:
            return tr("Seq");
        case Command:
            return tr("Command");
        case Status:
            return tr("Status");
        case Length:
            return tr("Length");
        case Payload:
            return tr("Payload");
        case Outcome:
            return tr("Outcome");
        default:
            return QVariant();
    }
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= rows_) {
        return QVariant();
    }
    if (role == Qt::DisplayRole) {
        return text(index.row(), index.column());
    }
    if (role == Qt::ToolTipRole && index.column() == Payload) {
        const QString fields = linesText(recordLines(record(index.row()), false));
        return fields.isEmpty() ? QVariant() : fields;
    }
    if (role == Qt::TextAlignmentRole &&
        (index.column() == Time || index.column() == Seq || index.column() == Length)) {
        return int(Qt::AlignRight | Qt::AlignVCenter);
    }
    return QVariant();
}

QString TrafficModel::text(int row, int column) const {
    const size_t at = sourceIndex(row);
    const TrafficRecord &r = source()[at];
    switch (column) {
        case Time:
            if (!delta_) {
                return QDateTime::fromMSecsSinceEpoch(r.timeUs / 1000)
                    .toString(QStringLiteral("hh:mm:ss.zzz"));
            }
            // Against the frame before it on the line, shown or filtered out.
            return at == 0 ? QString()
                           : QString::number(double(r.timeUs - source()[at - 1].timeUs) / 1000.0,
                                             'f', 3);
        case Direction:
            return r.fromModule ? tr("Module → Tool") : tr("Tool → Module");
        case Seq:
            return r.decoded ? QString::number(r.seq) : QString();
        case Command:
            return r.decoded ? commandText(r.cmdId) : QString();
        case Status:
            if (!r.decoded || r.cmdId < FIRST_STATUS_ID) {
                return QString();
            }
            return (r.status & REPLY_FLAG) != 0 ? hexByte(r.status) + tr(" reply")
                                                : hexByte(r.status);
        // A frame that never decoded shows its bytes as they arrived, payload masked.
        case Length:
            return QString::number(r.decoded ? r.payload.size() : r.wire.size());
        case Payload:
            return QString::fromLatin1(shownBytes(r).toHex(' ').toUpper());
        case Outcome: {
            const QString name = QString::fromLatin1(traffic_outcome_name(r.outcome));
            if (!masked(row)) {
                return name;
            }
            return name.isEmpty() ? tr("masked") : tr("%1, masked").arg(name);
        }
        default:
            return QString();
    }
}

void TrafficModel::setDeltaTime(bool delta) {
    if (delta == delta_) {
        return;
    }
    delta_ = delta;
    emit headerDataChanged(Qt::Horizontal, Time, Time);
    if (rows_ > 0) {
        emit dataChanged(index(0, Time), index(rows_ - 1, Time), {Qt::DisplayRole});
    }
}

void TrafficModel::setPaused(bool paused) {
    paused_ = paused;
    if (!paused_) {
        catchUp();
    }
}

void TrafficModel::aboutToDrop(int count) {
    // The model always starts where the capture does; a paused one may end before the drop
    // does.
    removing_ = std::min(count, rows_);
    if (removing_ > 0) {
        beginRemoveRows(QModelIndex(), 0, removing_ - 1);
    }
}

void TrafficModel::dropped() {
    const quint64 end = first_ + static_cast<quint64>(rows_);
    first_ = live_->firstNumber();
    rows_ = static_cast<int>(end > first_ ? end - first_ : 0);
    if (removing_ > 0) {
        removing_ = 0;
        endRemoveRows();
    }
}

void TrafficModel::changed(int firstChangedRow) {
    if (firstChangedRow >= 0 && firstChangedRow < rows_) {
        emit dataChanged(index(firstChangedRow, Outcome), index(rows_ - 1, Outcome),
                         {Qt::DisplayRole});
    }
    if (!paused_) {
        catchUp();
    }
}

void TrafficModel::catchUp() {
    if (live_ == nullptr) {
        return;
    }
    const int end = static_cast<int>(live_->firstNumber() + live_->records().size() - first_);
    if (end > rows_) {
        beginInsertRows(QModelIndex(), rows_, end - 1);
        rows_ = end;
        endInsertRows();
    }
}
