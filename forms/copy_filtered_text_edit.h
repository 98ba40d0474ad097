// A plain text view whose copies (clipboard, mouse selection, drag) carry a text its owner
// makes from the selection rather than the text shown: the Debug tab's log shows the frames as
// written and copies them masked.
#pragma once

#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <functional>

class CopyFilteredTextEdit : public QPlainTextEdit {
  public:
    using QPlainTextEdit::QPlainTextEdit;

    // Unset, a copy is the selected text.
    std::function<QString(const QTextCursor &selection)> copyText;

  protected:
    QMimeData *createMimeDataFromSelection() const override {
        if (!copyText) {
            return QPlainTextEdit::createMimeDataFromSelection();
        }
        auto *data = new QMimeData;
        data->setText(copyText(textCursor()));
        return data;
    }
};
