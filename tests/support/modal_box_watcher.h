// Closes every message box that opens while it lives and records what it said, so that tests
// of the window never hang on a modal box.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>

class ModalBoxWatcher : public QObject {
  public:
    struct Box {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };

    ModalBoxWatcher() {
        connect(&timer_, &QTimer::timeout, this, &ModalBoxWatcher::poll);
        timer_.start(5);
    }

    // Runs while a box is open, before it is closed: to see what happens in its nested loop.
    std::function<void(const Box &)> whileOpen;
    // The button pressed to close a box that has it; others are accepted.
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    QList<Box> boxes;

    QStringList titles() const {
        QStringList out;
        for (const Box &box : boxes) {
            out << box.title;
        }
        return out;
    }

  private:
    void poll() {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr || box->property("seenByWatcher").toBool()) {
            return;
        }
        box->setProperty("seenByWatcher", true);
        const Box seen{box->icon(), box->windowTitle(), box->text()};
        boxes.append(seen);
        // Off the polling timer, which Qt does not fire again while its slot runs: a box that
        // whileOpen causes must still be closed by it.
        QPointer<QMessageBox> open(box);
        QTimer::singleShot(0, this, [this, open, seen] {
            if (whileOpen) {
                whileOpen(seen);
            }
            if (open && open->button(answer) != nullptr) {
                open->button(answer)->click();
            } else if (open) {
                open->accept();
            }
        });
    }

    QTimer timer_;
};
