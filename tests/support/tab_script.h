// Runs a tab test written as steps, against a window connected to a virtual module over a pty.
// clang-format off
//   answer ID CODE [PAYLOAD]  the module answers requests of ID so (hex) instead of carrying
//                             them out
//   nak ID                    the module refuses frames of ID
//   unanswered ID             the module acknowledges requests of ID and never replies
//   event ID PAYLOAD          the module starts a frame (hex)
//   reply ID CODE [PAYLOAD]   the module sends a reply unasked
//   response BYTES            the Internet host answers every socket transfer with this many
//   set NAME=VALUE            what the user enters or chooses in a widget
//   press NAME                a button or check box is clicked
//   fill                      the link's transmit table fills up, so requests are refused
//   expect NAME=VALUE         what a widget shows, or what the user could set (true for checked);
//                             a label or line edit too narrow for its text fails
//   expect NAME=COLOUR|TEXT   a status field: the label and the colour of the frame around it
//   expect NAME:visible=B, expect NAME:enabled=B, expect NAME:length=CHARACTERS
//   expect sent ID=PAYLOADS   the payloads of the frames of ID the module received, in order
//                             (- for an empty one)
//   expect box TITLE|TEXT     a message box that was shown (and closed)
//   expect titles=T1, T2      the titles of every box shown so far, in order
// clang-format on
// \n in a step is a line break. An expectation waits until it holds or the I/O time-out ends;
// failures name the step.
#pragma once

#include <QStringList>
#include <memory>

class MainWindow;
class ModalBoxWatcher;
class VirtualModule;

namespace testsupport {

class TabScript {
  public:
    TabScript();
    ~TabScript();

    // Starts the module and a window connected to it; false with the reason when it cannot.
    bool start(QString *whyNot);
    // Runs the steps; false with the failing step and what was seen instead.
    bool run(const QStringList &steps, QString *failure);

  private:
    bool step(const QString &written, QString *seen);
    QString actual(const QString &what) const;

    std::unique_ptr<ModalBoxWatcher> boxes_;
    std::unique_ptr<VirtualModule> module_;
    std::unique_ptr<MainWindow> window_;
    QList<QPair<int, QByteArray>> received_;
};

}  // namespace testsupport

// Runs a QtTest data row's "steps" column with a fresh module and window.
#define KOVA_RUN_TAB_SCRIPT()                               \
    do {                                                    \
        QFETCH(QStringList, steps);                         \
        testsupport::TabScript script;                      \
        QString why;                                        \
        if (!script.start(&why)) {                          \
            QSKIP(qPrintable(why));                         \
        }                                                   \
        QVERIFY2(script.run(steps, &why), qPrintable(why)); \
    } while (false)
