#include "sent_frames_log.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTime>

#include "copy_filtered_text_edit.h"
#include "traffic_secrets.h"

namespace {
const QString kTimeSeparator = QStringLiteral(": ");
}  // namespace

void SentFramesLog::attach(CopyFilteredTextEdit *view) {
    view_ = view;
    view_->copyText = [this](const QTextCursor &selection) { return maskedCopy(selection); };
}

QString SentFramesLog::entry(const QByteArray &frame, const QTime &time) {
    return time.toString(QStringLiteral("hh:mm:ss:zzz")) + kTimeSeparator +
           QString::fromLatin1(frame.toHex(' ').toUpper());
}

QString SentFramesLog::maskedEntry(const QString &entry) {
    const int separator = entry.indexOf(kTimeSeparator);
    if (separator < 0) {
        return entry;
    }
    const int bytesAt = separator + kTimeSeparator.size();
    const MaskedFrame frame = maskedWire(QByteArray::fromHex(entry.mid(bytesAt).toLatin1()));
    if (!frame.masked) {
        return entry;
    }
    return entry.left(bytesAt) + QString::fromLatin1(frame.wire.toHex(' ').toUpper());
}

// A masked entry can be shorter than the one shown (escapes gone): the same columns of it are
// taken, so a copy never holds more than the masked text.
QString SentFramesLog::maskedCopy(const QTextCursor &selection) const {
    const int start = selection.selectionStart();
    const int end = selection.selectionEnd();
    QStringList lines;
    for (QTextBlock block = view_->document()->findBlock(start);
         block.isValid() && block.position() <= end; block = block.next()) {
        const int from = std::max(start - block.position(), 0);
        const int to = std::min(end - block.position(), block.length() - 1);
        lines << maskedEntry(block.text()).mid(from, std::max(to - from, 0));
    }
    return lines.join(QLatin1Char('\n'));
}

void SentFramesLog::append(const QByteArray &frame, const QTime &time) {
    if (view_ == nullptr) {
        return;
    }
    const QString line = entry(frame, time);
    view_->appendPlainText(line);
    characters_ += (lineLengths_.empty() ? 0 : 1) + line.size();
    lineLengths_.push_back(line.size());

    int dropLines = 0;
    int remaining = characters_;
    for (auto it = lineLengths_.begin(); remaining > kMaxCharacters && it + 1 != lineLengths_.end();
         ++it) {
        remaining -= *it + 1;
        ++dropLines;
    }
    if (dropLines == 0) {
        return;
    }
    QTextCursor cursor(view_->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, dropLines);
    cursor.removeSelectedText();
    lineLengths_.erase(lineLengths_.begin(), lineLengths_.begin() + dropLines);
    characters_ = remaining;
}
