// The Debug tab's log of frames written to the line: one line per frame, newest last, at most
// 20480 characters. Old entries leave whole, from the top, without the text being rebuilt, so
// the log keeps up with a frame every few milliseconds.
#pragma once

#include <QByteArray>
#include <QString>
#include <deque>

class QPlainTextEdit;
class QTime;

class SentFramesLog {
  public:
    static constexpr int kMaxCharacters = 20480;

    void attach(QPlainTextEdit *view) { view_ = view; }
    void append(const QByteArray &frame, const QTime &time);

    // "hh:mm:ss:zzz: 7E A1 01 00 75 01 CE"
    static QString entry(const QByteArray &frame, const QTime &time);

  private:
    QPlainTextEdit *view_ = nullptr;
    std::deque<int> lineLengths_;
    int characters_ = 0;  // the text's length, line feeds between entries included
};
