#include "transfer_support.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "link_transfers.h"
#include "module3g.h"
#include "update_worker.h"

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("kovactl", text);
}

constexpr int kProgressEveryMs = 200;

// A line on the terminal that each step overwrites; cleared when the transfer ends.
class ProgressLine {
  public:
    explicit ProgressLine(std::function<QString()> text) : text_(std::move(text)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            shown_ = true;
            show(text_());
        });
        timer_.start(kProgressEveryMs);
    }
    ~ProgressLine() {
        if (shown_) {
            show(QString());
        }
    }
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

  private:
    static void show(const QString &line) {
        std::fprintf(stderr, "\r%s\x1b[K", line.toUtf8().constData());
        std::fflush(stderr);
    }
    std::function<QString()> text_;
    QTimer timer_;
    bool shown_ = false;
};

struct Followed {
    TransferFollow follow;
    Finish finish;
    bool committed = false;
    QObject guard;  // ends the connection to the link's notifier with this wait
    std::unique_ptr<ProgressLine> progress;
};

// Known not to have gone out: a script may send it again without sending it twice.
Answer notSent(const QString &why) {
    return Answer::failure(ExitNoAnswer, why, {{QStringLiteral("transfer.sent"), false}});
}

Answer endAnswer(Followed &f, uint8_t status) {
    if (status == CMD_STATUS_PENDING) {
        // Still the tool's own to take back, the transfer is known not to have gone out.
        if (link_withdraw_transfer(f.follow.id)) {
            return notSent(
                tr("Not sent: the module took none of it in time, and nothing more "
                   "of it will go out."));
        }
        return Answer::failure(ExitNoAnswer, tr("No reply in time: outcome unknown."));
    }
    if (status == CMD_STATUS_INTERRUPTED) {
        return Answer::failure(ExitPortUnavailable, tr("The port was lost: outcome unknown."));
    }
    switch (UpdateWorker::statusOf(status)) {
        case UpdateWorker::Success:
            return Answer();
        case UpdateWorker::RefusedByModule:
            return Answer::failure(ExitModuleRefused, tr("Refused by the module (NAK)."));
        case UpdateWorker::NotSent:
            return notSent(tr("Not sent: the module acknowledged none of its frames."));
        case UpdateWorker::NoReply:
            return Answer::failure(ExitNoAnswer, tr("No reply in time: outcome unknown."));
        default: {
            const QString reason = f.follow.failure ? f.follow.failure(status) : QString();
            Answer a = Answer::failure(
                ExitModuleFailure, tr("The module answered with failure code %1.").arg(status) +
                                       (reason.isEmpty() ? QString() : QLatin1Char(' ') + reason));
            a.result.insert(QStringLiteral("module.code"), status);
            return a;
        }
    }
}

void await(CommandContext &context, const std::shared_ptr<Followed> &f) {
    context.link.awaitTransfer(
        f->follow.id, context.timeoutMs, f->follow.afterCommitMs, [&context, f](uint8_t status) {
            if (status == CMD_STATUS_PENDING && f->follow.movedOn && f->follow.movedOn()) {
                await(context, f);
                return;
            }
            f->progress.reset();
            Answer a = endAnswer(*f, status);
            const bool known = status != CMD_STATUS_PENDING && status != CMD_STATUS_INTERRUPTED;
            if (f->follow.collect && (known || f->committed)) {
                f->follow.collect(&a);
            }
            f->finish(a);
        });
}

}  // namespace

bool readInputFile(const QString &path, const QString &what, int limit, QByteArray *out,
                   Answer *refusal) {
    QFile file;
    const bool opened = path == QLatin1String("-")
                            ? file.open(stdin, QIODevice::ReadOnly)
                            : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        *refusal = Answer::failure(
            ExitBadInput,
            tr("The %1 cannot be read from %2: %3").arg(what, path, file.errorString()));
        return false;
    }
    // One byte past the limit is enough to refuse, however much more there is.
    QByteArray data;
    while (data.size() <= limit) {
        const QByteArray more = file.read(qint64(limit) + 1 - data.size());
        if (more.isEmpty()) {
            break;
        }
        data += more;
    }
    if (data.size() > limit) {
        *refusal = Answer::failure(
            ExitBadInput,
            tr("The %1 is longer than the module takes: at most %2 bytes.").arg(what).arg(limit));
        return false;
    }
    *out = data;
    return true;
}

bool readSecret(const Invocation &invocation, const char *envName, QByteArray *out,
                Answer *refusal) {
    const QString path = invocation.value(QStringLiteral("password-file"));
    if (!invocation.has(QStringLiteral("password-file"))) {
        *out = qgetenv(envName);
        return true;
    }
    // Far beyond any password field; only a mistaken file is that long.
    constexpr int kSecretLimit = 4096;
    if (!readInputFile(path, tr("password"), kSecretLimit, out, refusal)) {
        return false;
    }
    if (out->endsWith('\n')) {
        out->chop(out->endsWith("\r\n") ? 2 : 1);
    }
    return true;
}

void followTransfer(CommandContext &context, const TransferFollow &follow, const Finish &finish) {
    const auto f = std::make_shared<Followed>();
    f->follow = follow;
    f->finish = finish;
    const LinkTransferId id = follow.id;
    Followed *raw = f.get();
    QObject::connect(link_notifier(), &Module3G::transfer_committed, &f->guard,
                     [raw, id](uint committed) {
                         if (committed == id) {
                             raw->committed = true;
                         }
                     });
    if (context.showProgress && follow.progress) {
        f->progress = std::make_unique<ProgressLine>([raw] {
            return QStringLiteral("kovactl: %1").arg(raw->follow.progress(raw->committed));
        });
    }
    await(context, f);
}
