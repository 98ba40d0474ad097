// The Debug tab's log of frames written to the line: one line per frame, newest last, at most
// 20480 characters. Old entries leave whole, from the top, without the text being rebuilt, so
// the log keeps up with a frame every few milliseconds. It shows what was written, passwords
// too, since the screen is all it reaches; a copy of it has them masked.
#pragma once

#include <QByteArray>
#include <QString>
#include <deque>

class CopyFilteredTextEdit;
class QTextCursor;
class QTime;

class SentFramesLog {
  public:
    static constexpr int kMaxCharacters = 20480;

    void attach(CopyFilteredTextEdit *view);
    void append(const QByteArray &frame, const QTime &time);

    // "hh:mm:ss:zzz: 7E A1 01 00 75 01 CE"
    static QString entry(const QByteArray &frame, const QTime &time);
    // The entry with the frame's passwords masked.
    static QString maskedEntry(const QString &entry);

  private:
    // The selected part of the log, each entry in it masked.
    QString maskedCopy(const QTextCursor &selection) const;

    CopyFilteredTextEdit *view_ = nullptr;
    std::deque<int> lineLengths_;
    int characters_ = 0;  // the text's length, line feeds between entries included
};
