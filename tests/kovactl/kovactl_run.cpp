#include "kovactl_run.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QtTest>

#include "command_ids.h"

namespace {

constexpr int kRunLimitMs = 60000;

KovactlResult execute(const QStringList &args, const QByteArray &input,
                      const QProcessEnvironment &env, qint64 *pid = nullptr) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KOVACTL_PROGRAM), args);
    KovactlResult result;
    if (!process.waitForStarted()) {
        return result;
    }
    if (pid != nullptr) {
        *pid = process.processId();
    }
    process.write(input);
    process.closeWriteChannel();
    // The module's signals arrive on this thread: keep its events flowing while the program runs.
    QEventLoop loop;
    QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
                     &QEventLoop::quit);
    QTimer::singleShot(kRunLimitMs, &loop, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning) {
        loop.exec();
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
    QCoreApplication::processEvents();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

}  // namespace

QJsonObject KovactlResult::json() const {
    const QList<QJsonObject> lines = jsonLines();
    return lines.isEmpty() ? QJsonObject() : lines.last();
}

QList<QJsonObject> KovactlResult::jsonLines() const {
    QList<QJsonObject> lines;
    for (const QByteArray &line : out.split('\n')) {
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (doc.isObject()) {
            lines << doc.object();
        }
    }
    return lines;
}

void verifyFrameAndField(const KovactlResult &r, int frameId, const QByteArray &payload,
                         const QString &field, const QVariant &value) {
    if (frameId < 0) {
        QVERIFY(r.frames.isEmpty());
    } else {
        QVERIFY(!r.frames.isEmpty());
        QCOMPARE(int(r.frames.first().id), frameId);
        QCOMPARE(r.frames.first().payload, payload);
    }
    if (!field.isEmpty()) {
        QCOMPARE(r.json().value(QStringLiteral("result")).toObject().value(field).toVariant(),
                 value);
    }
}

KovactlRun::KovactlRun() : module_(std::make_unique<VirtualModule>()) {
    QObject::connect(module_.get(), &VirtualModule::frameReceived, module_.get(),
                     [this](quint8 id, quint8 seq, quint8 status, const QByteArray &payload) {
                         if (id != CMD_ACK) {
                             frames_.append({id, seq, status, payload});
                         }
                     });
    if (!module_->start()) {
        qFatal("the virtual module did not start: %s", qPrintable(module_->errorString()));
    }
}

KovactlRun::~KovactlRun() = default;

KovactlResult KovactlRun::run(const QStringList &args, const QByteArray &input,
                              const QProcessEnvironment &env) {
    frames_.clear();
    KovactlResult result =
        execute(QStringList{QStringLiteral("--port"), device()} + args, input, env, &pid_);
    pid_ = 0;
    result.frames = frames_;
    return result;
}

KovactlResult KovactlRun::runBare(const QStringList &args, const QByteArray &input) {
    return execute(args, input, QProcessEnvironment::systemEnvironment());
}
