// batch-update: the firmware update trigger SMS to many numbers, as the dialog sends them, with
// the same worker on a thread of its own and the same report.
#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QThread>
#include <csignal>
#include <cstdio>

#include "batch_report.h"
#include "command_ids.h"
#include "commands.h"
#include "firmware_list.h"
#include "link_long_payload.h"
#include "module3g.h"
#include "update_worker.h"

namespace {

QString tr(const char *text, int n = -1) {
    return QCoreApplication::translate("kovactl", text, nullptr, n);
}

void say(const QString &line, const char *end = "\n") {
    std::fprintf(stderr, "%s%s", line.toUtf8().constData(), end);
    std::fflush(stderr);
}

const QString kStdin = QStringLiteral("-");

struct BatchPlan {
    QString firmware;  // the update server's list line, as the report names it
    QString firmwarePath;
    QStringList numbers;
    QString apn;
    QString user;
    QString password;
    QString report;
};

bool readInput(const QString &name, QByteArray *out, Answer *refusal) {
    QFile file(name);
    const bool opened =
        name == kStdin ? file.open(stdin, QIODevice::ReadOnly) : file.open(QIODevice::ReadOnly);
    if (opened) {
        *out = file.readAll();
    }
    if (!opened || file.error() != QFileDevice::NoError) {
        *refusal = Answer::failure(
            ExitBadInput,
            tr("%1 could not be read: %2")
                .arg(name == kStdin ? tr("Standard input") : name, file.errorString()));
        return false;
    }
    return true;
}

bool readPlan(const QStringList &args, const Invocation &inv, const CommandEntry &entry,
              BatchPlan *plan, Answer *refusal) {
    if (!exactArguments(args, 0, entry, refusal)) {
        return false;
    }
    for (const char *needed : {"firmware", "numbers", "report"}) {
        if (!inv.has(QLatin1String(needed))) {
            *refusal =
                Answer::failure(ExitUsage, tr("batch-update needs --%1. Usage: kovactl %2")
                                               .arg(QLatin1String(needed), usageLine(entry)));
            return false;
        }
    }
    plan->firmware = inv.value(QStringLiteral("firmware"));
    const QList<FirmwareItem> items = parseFirmwareList(plan->firmware.toLatin1());
    if (items.size() != 1) {
        *refusal =
            Answer::failure(ExitUsage, tr("--firmware takes a line of the update server's list, "
                                          "DIRECTORY/DEVICE/FILE, not \"%1\".")
                                           .arg(plan->firmware));
        return false;
    }
    plan->firmwarePath = items.first().path;
    plan->apn = inv.value(QStringLiteral("apn"));
    plan->user = inv.value(QStringLiteral("user"));
    plan->report = inv.value(QStringLiteral("report"));
    const QString passwordFile = inv.value(QStringLiteral("password-file"));
    // The trigger carries a user only with an APN and a password only with a user.
    const char *without = nullptr;
    if (inv.has(QStringLiteral("user")) && plan->apn.isEmpty()) {
        without = QT_TRANSLATE_NOOP("kovactl", "--user needs --apn.");
    } else if (inv.has(QStringLiteral("password-file")) && plan->user.isEmpty()) {
        without = QT_TRANSLATE_NOOP("kovactl", "--password-file needs --user.");
    } else if (passwordFile == kStdin && inv.value(QStringLiteral("numbers")) == kStdin) {
        without = QT_TRANSLATE_NOOP(
            "kovactl", "--numbers and --password-file cannot both read standard input.");
    }
    if (without != nullptr) {
        *refusal = Answer::failure(ExitUsage, tr(without));
        return false;
    }
    if (inv.has(QStringLiteral("password-file"))) {
        QByteArray secret;
        if (!readInput(passwordFile, &secret, refusal)) {
            return false;
        }
        secret.chop(secret.endsWith("\r\n") ? 2 : secret.endsWith('\n') ? 1 : 0);
        plan->password = QString::fromUtf8(secret);
    } else if (!plan->user.isEmpty()) {
        plan->password = qEnvironmentVariable("KOVA_OTA_PASSWORD");
    }
    QByteArray numbers;
    if (!readInput(inv.value(QStringLiteral("numbers")), &numbers, refusal)) {
        return false;
    }
    plan->numbers = splitMsisdnList(QString::fromUtf8(numbers));
    if (plan->numbers.isEmpty()) {
        *refusal = Answer::failure(ExitBadInput, tr("You must enter at least one MSISDN."));
        return false;
    }
    return true;
}

// The trigger as a person may see it: passwords masked as the catalogue marks them.
QString maskedTrigger(const QByteArray &trigger) {
    QByteArray payload;
    catalogue_build(CMD_SMS_TEXT, PayloadWay::Request, {trigger}, &payload);
    return payloadFields(CMD_SMS_TEXT, PayloadWay::Request, payload)
        .value(QStringLiteral("sms.text"))
        .toString();
}

// Ctrl-C or a rig's SIGTERM stops the batch as the dialog's Stop does; a second one ends the
// program at once.
int interruptPipe[2] = {-1, -1};

void onInterrupt(int) {
    const char byte = 1;
    if (write(interruptPipe[1], &byte, 1) < 0) {
        return;  // nothing can be done about it inside a handler
    }
}

void catchInterrupts(bool on) {
    struct sigaction action {};
    action.sa_handler = on ? onInterrupt : SIG_DFL;
    action.sa_flags = on ? SA_RESETHAND : 0;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// One batch from its plan to its answer. Numbers go to the worker one at a time; the report
// is saved after each outcome, so an ended program leaves what it knew.
class BatchRun {
  public:
    BatchRun(BatchPlan plan, CommandContext &context, Finish finish)
        : plan_(std::move(plan)), link_(context.link), finish_(std::move(finish)) {
        worker_.setFirmwarePath(plan_.firmwarePath);
        worker_.setApnSettings(plan_.apn, plan_.user, plan_.password);
    }

    QByteArray trigger() const { return worker_.buildOtaMessage().toUtf8(); }
    void confirm();
    void start();

  private:
    void next();
    void ended(const QString &msisdn, int status, int moduleCode);
    void stop(const QString &why);
    void saveReport();
    void end();
    // Once the event that ends it has been handled.
    void dispose() {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [this] { delete this; }, Qt::QueuedConnection);
    }

    BatchPlan plan_;
    HeadlessLink &link_;
    Finish finish_;
    QThread thread_;
    UpdateWorker worker_;
    BatchReport report_;
    QStringList left_;
    bool numberOut_ = false;
    bool stopping_ = false;
    QString saveError_;
    // The number that ended without a reply the link still waits for; empty when none.
    QString replyOwedFor_;
    QSocketNotifier *interrupts_ = nullptr;
    QObject receiver_;  // the run's connections, on the main thread
};

void BatchRun::confirm() {
    say(tr("The update SMS for %1:").arg(plan_.firmware));
    const QString message = maskedTrigger(trigger());
    for (const QString &line : message.split(QStringLiteral("\r\n"))) {
        say(QStringLiteral("  ") + line);
    }
    say(tr("goes to %n number(s):", plan_.numbers.size()));
    for (const QString &number : qAsConst(plan_.numbers)) {
        say(QStringLiteral("  ") + number);
    }
    say(tr("Send it? [y/N] "), "");
    auto *answer = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &receiver_);
    QObject::connect(answer, &QSocketNotifier::activated, &receiver_, [this, answer] {
        answer->setEnabled(false);
        char line[64] = {};
        const ssize_t n = read(STDIN_FILENO, line, sizeof line - 1);
        const QString word = QString::fromLocal8Bit(line, n > 0 ? int(n) : 0).trimmed();
        if (word.compare(QLatin1String("y"), Qt::CaseInsensitive) == 0 ||
            word.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0) {
            start();
            return;
        }
        finish_(Answer::failure(ExitModuleFailure, tr("Nothing was sent.")));
        dispose();
    });
}

void BatchRun::start() {
    report_.clear(plan_.firmware);
    // A report that cannot be written is known before any number is sent.
    QString why;
    if (!report_.save(plan_.report, &why)) {
        finish_(Answer::failure(ExitCannotCreate, why));
        dispose();
        return;
    }
    worker_.moveToThread(&thread_);
    // Its timers stop on its own thread, before the thread's end leaves them behind.
    QObject::connect(&thread_, &QThread::finished, &worker_, &UpdateWorker::halt,
                     Qt::DirectConnection);
    QObject::connect(&worker_, &UpdateWorker::updateEnded, &receiver_,
                     [this](const QString &msisdn, int status, int moduleCode) {
                         ended(msisdn, status, moduleCode);
                     });
    QObject::connect(&worker_, &UpdateWorker::lateReply, &receiver_,
                     [this](const QString &msisdn, int status, int moduleCode) {
                         const BatchOutcome outcome = BatchReport::outcomeOf(status);
                         say(tr("Late reply for %1: %2").arg(msisdn, BatchReport::text(outcome)));
                         report_.correct(msisdn, outcome, moduleCode);
                         replyOwedFor_.clear();
                         saveReport();
                     });
    QObject::connect(
        &worker_, &UpdateWorker::replyGivenUp, &receiver_, [this](const QString &msisdn) {
            say(tr("No reply for %1 within %2 s of its send: its outcome stays unknown.")
                    .arg(msisdn)
                    .arg(LINK_REPLY_LIFETIME_SECONDS));
            replyOwedFor_.clear();
        });
    QObject::connect(&worker_, &UpdateWorker::stopping, &receiver_,
                     [](const QString &msisdn, int seconds) {
                         say(tr("Stopping: waiting for the reply for %1, at most %2 s")
                                 .arg(msisdn)
                                 .arg(seconds));
                     });
    QObject::connect(link_notifier(), &Module3G::reply_unplaced, &receiver_,
                     [](uchar cmdId, uchar status) {
                         if (cmdId == CMD_SMS_SEND) {
                             say(tr("Unexpected reply to an SMS send: code %1. No SMS was waiting "
                                    "for one, so it "
                                    "is credited to no number.")
                                     .arg(status));
                         }
                     });
    QObject::connect(&link_, &HeadlessLink::lost, &receiver_, [this](const QString &why) {
        QMetaObject::invokeMethod(
            &worker_, [this] { worker_.setPortAway(true); }, Qt::QueuedConnection);
        stop(tr("%1 The batch ends.").arg(why));
    });
    if (pipe2(interruptPipe, O_CLOEXEC) == 0) {
        interrupts_ = new QSocketNotifier(interruptPipe[0], QSocketNotifier::Read, &receiver_);
        QObject::connect(interrupts_, &QSocketNotifier::activated, &receiver_, [this] {
            interrupts_->setEnabled(false);
            stop(tr("Interrupted: the batch stops; press Ctrl-C again to quit at once."));
        });
        catchInterrupts(true);
    }
    thread_.start();
    left_ = plan_.numbers;
    if (link_.portLost()) {
        stop(tr("The port was lost before the batch began."));
        return;
    }
    next();
}

void BatchRun::next() {
    if (numberOut_) {
        return;
    }
    if (stopping_ || left_.isEmpty()) {
        for (const QString &msisdn : qAsConst(left_)) {
            say(tr("%1: %2").arg(msisdn, BatchReport::text(BatchOutcome::NotSent)));
            report_.record(msisdn, BatchOutcome::NotSent);
        }
        left_.clear();
        end();
        return;
    }
    const QString msisdn = left_.takeFirst();
    numberOut_ = true;
    QMetaObject::invokeMethod(
        &worker_, [this, msisdn] { worker_.performUpdate(msisdn); }, Qt::QueuedConnection);
}

void BatchRun::ended(const QString &msisdn, int status, int moduleCode) {
    numberOut_ = false;
    const BatchOutcome outcome = BatchReport::outcomeOf(status);
    report_.record(msisdn, outcome, moduleCode);
    QString line = tr("%1: %2").arg(msisdn, BatchReport::text(outcome));
    if (moduleCode >= 0 && outcome != BatchOutcome::Sent) {
        line += tr(" (module code %1)").arg(moduleCode);
    }
    say(line);
    if (status == UpdateWorker::NoReply) {
        replyOwedFor_ = msisdn;
    }
    saveReport();
    next();
}

// The number under way ends as soon as that is sound; the numbers after it are not sent.
void BatchRun::stop(const QString &why) {
    if (stopping_) {
        return;
    }
    stopping_ = true;
    say(why);
    QMetaObject::invokeMethod(&worker_, &UpdateWorker::stopSoon, Qt::QueuedConnection);
    next();
}

void BatchRun::saveReport() {
    if (!report_.save(plan_.report, &saveError_)) {
        say(saveError_);
    } else {
        saveError_.clear();
    }
}

void BatchRun::end() {
    stopping_ = true;  // a loss or an interrupt from now on has nothing to stop
    if (interrupts_ != nullptr) {
        catchInterrupts(false);
        delete interrupts_;
        interrupts_ = nullptr;
        close(interruptPipe[0]);
        close(interruptPipe[1]);
    }
    thread_.quit();
    thread_.wait();
    saveReport();
    const int sent = report_.count(BatchOutcome::Sent);
    const int total = plan_.numbers.size();
    Answer a;
    a.result.insert(QStringLiteral("batch.numbers"), total);
    a.result.insert(QStringLiteral("batch.sent"), sent);
    a.result.insert(QStringLiteral("batch.report"), plan_.report);
    a.text << tr("Outcomes: %1.").arg(report_.counts()) << tr("Report: %1").arg(plan_.report);
    if (!replyOwedFor_.isEmpty()) {
        a.text << tr("No reply came for %1 in time: its outcome is unknown.").arg(replyOwedFor_);
    }
    if (!saveError_.isEmpty()) {
        a.code = ExitCannotCreate;
        a.error = saveError_;
    } else if (link_.portLost()) {
        a.code = ExitPortUnavailable;
        a.error = tr("The port was lost: %n number(s) not sent.", total - sent);
    } else if (sent < total) {
        a.code = ExitModuleFailure;
        a.error = tr("%1 of %2 numbers were not sent.").arg(total - sent).arg(total);
    }
    finish_(a);
    dispose();
}

}  // namespace

void addBatchCommands(std::vector<CommandEntry> *entries) {
    CommandEntry entry;
    entry.path = QStringList{QStringLiteral("batch-update")};
    entry.arguments = QStringLiteral(
        "--firmware LINE --numbers FILE|- [--apn A [--user U [--password-file F]]] "
        "--report FILE.csv [--yes]");
    entry.summary =
        tr("Sends the firmware update trigger SMS to each number, one at a time, and saves the "
           "report. The password comes from --password-file or KOVA_OTA_PASSWORD. Without --yes it "
           "shows what it would send and asks. Exits 0 only when every number was sent, 1 when one "
           "was not, 69 when the port was lost, 73 when the report cannot be written.");
    entry.run = [entry](const QStringList &args, const Invocation &inv, CommandContext &context,
                        const Finish &finish) {
        BatchPlan plan;
        Answer refusal;
        if (!readPlan(args, inv, entry, &plan, &refusal)) {
            finish(refusal);
            return;
        }
        auto *run = new BatchRun(plan, context, finish);
        const QByteArray trigger = run->trigger();
        if (!link_sms_text_fits(trigger)) {
            delete run;
            finish(Answer::failure(
                ExitBadInput, tr("The update SMS would be %1 bytes long; at most %2 bytes fit one "
                                 "SMS. Shorten the APN, user or password.")
                                  .arg(trigger.size())
                                  .arg(catalogue_limit(*catalogue_field("sms.text")))));
            return;
        }
        if (inv.has(QStringLiteral("yes"))) {
            run->start();
            return;
        }
        const bool stdinTaken = inv.value(QStringLiteral("numbers")) == kStdin ||
                                inv.value(QStringLiteral("password-file")) == kStdin;
        if (isatty(STDIN_FILENO) != 1 || stdinTaken) {
            delete run;
            finish(Answer::failure(
                ExitUsage, tr("batch-update asks on the terminal before it sends; pass --yes "
                              "to send without asking.")));
            return;
        }
        run->confirm();
    };
    entries->push_back(entry);
}
