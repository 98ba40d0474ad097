// The window presents the capture and the link's counters; the masking, the filter and the
// table live in their own files.
#include "traffic_window.h"

#include <QSignalBlocker>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "capture_file.h"
#include "payload_text.h"
#include "pcapng.h"
#include "traffic_capture.h"
#include "traffic_filter.h"
#include "traffic_model.h"
#include "traffic_secrets.h"

namespace {

// Long enough to cover a keystroke, short enough to feel immediate.
constexpr int kFilterDelayMs = 150;

constexpr int kStatisticsIntervalMs = 1000;
// Large enough for any frame either side sends, whatever the receive path allows.
constexpr uint16_t kOpenDecoderCapacity = 2 * FRAME_BUFFER_SIZE;

QString csvField(const QString &text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n'))) {
        return text;
    }
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

// Eliding a payload of up to 280 bytes shapes all of its hex text at every paint of every row,
// which held up the window for tens of milliseconds while a transfer scrolled the view. Cut to
// more characters than the cell can show, the text elides to the same picture.
class PayloadDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        int narrowest = option->fontMetrics.horizontalAdvance(QLatin1Char(' '));
        for (const QChar c : QStringLiteral("0123456789ABCDEF")) {
            narrowest = std::min(narrowest, option->fontMetrics.horizontalAdvance(c));
        }
        const int fits = option->rect.width() / std::max(narrowest, 1) + 2;
        if (option->text.size() > fits) {
            option->text.truncate(fits);
        }
    }
};

std::deque<TrafficRecord> recordsOf(const QList<CapturedFrame> &frames, std::vector<bool> *masked) {
    std::deque<TrafficRecord> records;
    std::vector<uint8_t> buffer(kOpenDecoderCapacity);
    for (const CapturedFrame &f : frames) {
        TrafficRecord r;
        r.id = records.size() + 1;
        r.timeUs = f.timeUs;
        r.fromModule = f.fromModule;
        r.wire = f.wire;
        bool wasMasked = false;
        r.outcome = outcomeNamed(f.comment, &wasMasked);
        masked->push_back(wasMasked);
        FrameDecoder decoder;
        frame_decoder_init(&decoder, buffer.data(), kOpenDecoderCapacity);
        const QList<DecodedFrame> decoded = frame_decode_all(&decoder, f.wire);
        // A spoiled frame stays as it arrived, like in the live view.
        if (decoded.size() == 1) {
            r.decoded = true;
            r.cmdId = decoded[0].cmdId;
            r.seq = decoded[0].seq;
            r.status = decoded[0].status;
            r.payload = decoded[0].payload;
        }
        records.push_back(std::move(r));
    }
    return records;
}

}  // namespace

TrafficWindow::TrafficWindow(TrafficCapture *live, QWidget *parent)
    : TrafficWindow(live, {}, {}, parent) {}

TrafficWindow::TrafficWindow(TrafficCapture *live, std::deque<TrafficRecord> loaded,
                             std::vector<bool> masked, QWidget *parent)
    : QWidget(parent, Qt::Window), live_(live) {
    setWindowTitle(tr("Traffic Inspector"));
    model_ = live != nullptr ? new TrafficModel(live, this)
                             : new TrafficModel(std::move(loaded), std::move(masked), this);
    filter_ = new TrafficFilter(model_, this);

    filterEdit_ = new QLineEdit(this);
    filterEdit_->setPlaceholderText(tr("Filter: command, id (a1), in/out, payload text or hex"));
    filterEdit_->setClearButtonEnabled(true);
    filterDelay_.setSingleShot(true);
    filterDelay_.setInterval(kFilterDelayMs);
    connect(filterEdit_, &QLineEdit::textChanged, &filterDelay_, qOverload<>(&QTimer::start));
    connect(&filterDelay_, &QTimer::timeout, this,
            [this] { filter_->setFilterText(filterEdit_->text()); });

    pauseButton_ = new QPushButton(tr("Pause"), this);
    pauseButton_->setCheckable(true);
    pauseButton_->setEnabled(live != nullptr);
    connect(pauseButton_, &QPushButton::toggled, this, [this](bool paused) {
        model_->setPaused(paused);
        pauseButton_->setText(paused ? tr("Resume") : tr("Pause"));
    });

    timeChoice_ = new QComboBox(this);
    timeChoice_->addItems({tr("Time of day"), tr("Δ ms to previous frame")});
    connect(timeChoice_, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int choice) { model_->setDeltaTime(choice == 1); });

    auto *copy = new QPushButton(tr("Copy"), this);
    connect(copy, &QPushButton::clicked, this, &TrafficWindow::copySelection);
    auto *save = new QPushButton(tr("Save Capture..."), this);
    connect(save, &QPushButton::clicked, this, &TrafficWindow::saveWithDialog);
    includePasswords_ = new QCheckBox(tr("Include passwords"), this);
    auto *open = new QPushButton(tr("Open Capture..."), this);
    connect(open, &QPushButton::clicked, this, &TrafficWindow::openWithDialog);

    // The filter has a row of its own, so its placeholder is never cut short by the buttons.
    auto *tools = new QHBoxLayout;
    for (QWidget *w : std::initializer_list<QWidget *>{pauseButton_, timeChoice_, copy, save,
                                                       includePasswords_, open}) {
        tools->addWidget(w);
    }
    tools->addStretch(1);

    table_ = new QTableView(this);
    table_->setModel(filter_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setWordWrap(false);
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->horizontalHeader()->setSectionResizeMode(TrafficModel::Payload, QHeaderView::Stretch);
    table_->setItemDelegateForColumn(TrafficModel::Payload, new PayloadDelegate(table_));
    const QFontMetrics metrics = fontMetrics();
    const auto fit = [this, &metrics](int column, const QString &widest) {
        table_->setColumnWidth(column, metrics.horizontalAdvance(widest) + 16);
    };
    fit(TrafficModel::Time, QStringLiteral("00:00:00.000"));
    fit(TrafficModel::Direction, tr("Module → Tool"));
    fit(TrafficModel::Seq, QStringLiteral("Seq 000"));
    fit(TrafficModel::Command, QStringLiteral("0xA1 AUDIO_SET_SPEAKER_GAIN"));
    fit(TrafficModel::Status, QStringLiteral("0x80 reply"));
    fit(TrafficModel::Length, QStringLiteral("Length"));
    fit(TrafficModel::Outcome, QString::fromLatin1(traffic_outcome_name(TrafficOutcome::NoRoom)));
    // Newest at the bottom: follow it while the user has not scrolled away.
    connect(filter_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        followBottom_ =
            table_->verticalScrollBar()->value() == table_->verticalScrollBar()->maximum();
    });
    connect(filter_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (followBottom_) {
            table_->scrollToBottom();
        }
    });

    // The selected frame's fields under the table; the splitter lets the table take the room.
    detail_ = new QPlainTextEdit(this);
    detail_->setReadOnly(true);
    detail_->setLineWrapMode(QPlainTextEdit::NoWrap);
    detail_->setPlaceholderText(tr("Select a frame to see its fields."));
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TrafficWindow::showDetail);
    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(table_);
    split->addWidget(detail_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);

    droppedLabel_ = new QLabel(this);
    droppedLabel_->setVisible(false);

    statistics_ = new QLabel(this);
    statistics_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Wrapped, so a count gaining a digit cannot widen the window (and draw all of it again).
    statistics_->setWordWrap(true);
    auto *reset = new QPushButton(tr("Reset"), this);
    connect(reset, &QPushButton::clicked, this, [this] {
        link_reset_statistics();
        framesPerSecond_ = 0;
        refreshStatistics();
    });
    auto *statisticsRow = new QHBoxLayout;
    statisticsRow->addWidget(statistics_, 1);
    statisticsRow->addWidget(reset);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(filterEdit_);
    layout->addLayout(tools);
    layout->addWidget(split, 1);
    layout->addWidget(droppedLabel_);
    layout->addLayout(statisticsRow);

    if (live != nullptr) {
        // The statistics follow the timer, not every batch: their line changing width lays out
        // the window again.
        connect(live, &TrafficCapture::recordsChanged, this, &TrafficWindow::refreshDropped);
        connect(&statisticsTimer_, &QTimer::timeout, this, [this] {
            framesPerSecond_ = frameRate_.sample(link_snapshot().counters);
            refreshStatistics();
        });
        statisticsTimer_.start(kStatisticsIntervalMs);
        refreshStatistics();
        refreshDropped();
    } else {
        // What the file holds, which no reset changes.
        statistics_->setText(captureStatisticsLine(model_->loadedRecords()));
        reset->setVisible(false);
    }
    resize(1000, 600);
}

TrafficWindow *TrafficWindow::openCapture(const QString &path, QWidget *parent, QString *whyNot) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (whyNot != nullptr) {
            *whyNot = file.errorString();
        }
        return nullptr;
    }
    QList<CapturedFrame> frames;
    if (!readPcapng(file, &frames, whyNot)) {
        return nullptr;
    }
    std::vector<bool> masked;
    std::deque<TrafficRecord> records = recordsOf(frames, &masked);
    auto *window = new TrafficWindow(nullptr, std::move(records), std::move(masked), parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(tr("Traffic Inspector — %1").arg(QFileInfo(path).fileName()));
    return window;
}

QAbstractItemModel *TrafficWindow::viewModel() const {
    return filter_;
}

void TrafficWindow::setFilterText(const QString &text) {
    const QSignalBlocker quiet(filterEdit_);
    filterEdit_->setText(text);
    filterDelay_.stop();
    filter_->setFilterText(text);
}

void TrafficWindow::setPaused(bool paused) {
    pauseButton_->setChecked(paused);
}

void TrafficWindow::setDeltaTime(bool delta) {
    timeChoice_->setCurrentIndex(delta ? 1 : 0);
}

QString TrafficWindow::csvOfRows(const QList<int> &rows) const {
    QStringList lines;
    QStringList fields;
    for (int c = 0; c < TrafficModel::ColumnCount; ++c) {
        fields << csvField(model_->headerData(c, Qt::Horizontal).toString());
    }
    lines << fields.join(QLatin1Char(','));
    for (int row : rows) {
        const int sourceRow = filter_->mapToSource(filter_->index(row, 0)).row();
        if (sourceRow < 0) {
            continue;
        }
        fields.clear();
        for (int c = 0; c < TrafficModel::ColumnCount; ++c) {
            fields << csvField(model_->text(sourceRow, c));
        }
        lines << fields.join(QLatin1Char(','));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool TrafficWindow::saveCapture(const QString &path, bool includePasswords, QString *whyNot) const {
    QList<CapturedFrame> frames;
    frames.reserve(model_->rowCount());
    for (int row = 0; row < model_->rowCount(); ++row) {
        frames.append(capturedFrame(model_->record(row), includePasswords, model_->masked(row)));
    }
    return saveCaptureFile(path, frames, whyNot);
}

QString TrafficWindow::droppedNote() const {
    if (live_ == nullptr || (live_->droppedRows() == 0 && live_->lostChanges() == 0)) {
        return QString();
    }
    QString note =
        tr("Oldest %1 rows dropped: the view keeps %2.")
            .arg(locale().toString(live_->droppedRows()), locale().toString(live_->maxRows()));
    if (live_->lostChanges() > 0) {
        note += QLatin1Char(' ') + tr("%1 frames or outcomes were lost before the capture "
                                      "took them.")
                                       .arg(locale().toString(live_->lostChanges()));
    }
    return note;
}

QString TrafficWindow::statisticsText() const {
    return statistics_->text();
}

void TrafficWindow::refreshDropped() {
    const QString note = droppedNote();
    droppedLabel_->setText(note);
    droppedLabel_->setVisible(!note.isEmpty());
}

void TrafficWindow::refreshStatistics() {
    const LinkCounters counters = link_snapshot().counters;
    statistics_->setText(trafficStatisticsLine(counters, framesPerSecond_));
    statistics_->setToolTip(trafficStatisticsToolTip(counters));
}

void TrafficWindow::showDetail(const QModelIndex &current) {
    const int row = filter_->mapToSource(current).row();
    detail_->setPlainText(row < 0 ? QString() : linesText(recordLines(model_->record(row), true)));
}

QString TrafficWindow::detailText() const {
    return detail_->toPlainText();
}

void TrafficWindow::copySelection() {
    QList<int> rows;
    for (const QModelIndex &index : table_->selectionModel()->selectedRows()) {
        rows << index.row();
    }
    std::sort(rows.begin(), rows.end());
    QApplication::clipboard()->setText(csvOfRows(rows));
}

void TrafficWindow::saveWithDialog() {
    QFileDialog dialog(this, tr("Save Capture"), QString(),
                       tr("Capture files (*.pcapng);;All files (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // "capture1" becomes capture1.pcapng, which Open Capture's filter then shows.
    dialog.setDefaultSuffix(QStringLiteral("pcapng"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString path = dialog.selectedFiles().constFirst();
    QString why;
    if (!saveCapture(path, includePasswords_->isChecked(), &why)) {
        QMessageBox::warning(this, tr("Save Capture"),
                             tr("The capture could not be saved to %1: %2").arg(path, why));
    }
}

void TrafficWindow::openWithDialog() {
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Open Capture"), QString(), tr("Capture files (*.pcapng);;All files (*)"));
    if (path.isEmpty()) {
        return;
    }
    QString why;
    TrafficWindow *window = openCapture(path, parentWidget(), &why);
    if (window == nullptr) {
        QMessageBox::warning(this, tr("Open Capture"),
                             tr("%1 could not be opened: %2").arg(path, why));
        return;
    }
    window->show();
}
