#include "sent_frames_log.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTime>

QString SentFramesLog::entry(const QByteArray &frame, const QTime &time) {
    return time.toString(QStringLiteral("hh:mm:ss:zzz")) + QStringLiteral(": ") +
           QString::fromLatin1(frame.toHex(' ').toUpper());
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
