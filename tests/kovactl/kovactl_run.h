// Runs the real kovactl program against a virtual module on a pty, and keeps what the module
// read from the line and what the program printed.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QVariant>
#include <memory>

#include "virtual_module.h"

struct ModuleFrame {
    quint8 id;
    quint8 seq;
    quint8 status;
    QByteArray payload;
};

struct KovactlResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    // Frames of the tool that the module read, its ACKs left out.
    QList<ModuleFrame> frames;

    // The last line of standard output as JSON (an empty object when it is not).
    QJsonObject json() const;
    QList<QJsonObject> jsonLines() const;
};

// QtTest checks of a --json run: the first frame the tool wrote (frameId -1: none at all) and,
// unless `field` is empty, that field of the answer's result.
void verifyFrameAndField(const KovactlResult &r, int frameId, const QByteArray &payload,
                         const QString &field, const QVariant &value);

class KovactlRun {
  public:
    KovactlRun();
    ~KovactlRun();

    VirtualModule &module() { return *module_; }
    // The program run() runs, while it runs (0 otherwise): for a test that signals it.
    qint64 processId() const { return pid_; }
    QString device() const { return module_->devicePath(); }

    // kovactl --port DEVICE ARGS..., with `input` on standard input; waits for it to end.
    KovactlResult run(const QStringList &args, const QByteArray &input = QByteArray(),
                      const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());
    // The same without the --port: for --simulate, a missing port, usage errors.
    static KovactlResult runBare(const QStringList &args, const QByteArray &input = QByteArray());

  private:
    std::unique_ptr<VirtualModule> module_;
    QList<ModuleFrame> frames_;
    qint64 pid_ = 0;
};
