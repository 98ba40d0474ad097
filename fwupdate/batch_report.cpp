#include "batch_report.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>

#include "update_worker.h"

namespace {

constexpr BatchOutcome kOutcomes[] = {BatchOutcome::Sent,          BatchOutcome::Failed,
                                      BatchOutcome::Refused,       BatchOutcome::NoReply,
                                      BatchOutcome::InvalidNumber, BatchOutcome::NotSent};

QString csvField(QString text) {
    if (text.contains(QRegularExpression(QStringLiteral("[\",\r\n]")))) {
        text = QLatin1Char('"') + text.replace(QLatin1Char('"'), QLatin1String("\"\"")) +
               QLatin1Char('"');
    }
    return text;
}

QString now() {
    return QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
}

}  // namespace

BatchOutcome BatchReport::outcomeOf(int workerStatus) {
    switch (workerStatus) {
        case UpdateWorker::Success:
            return BatchOutcome::Sent;
        case UpdateWorker::InvalidMsisdn:
            return BatchOutcome::InvalidNumber;
        case UpdateWorker::SmsNotSent:
            return BatchOutcome::Failed;
        case UpdateWorker::RefusedByModule:
            return BatchOutcome::Refused;
        case UpdateWorker::NoReply:
            return BatchOutcome::NoReply;
        default:
            return BatchOutcome::NotSent;  // the link refused it, or it was given up on unsent
    }
}

QString BatchReport::text(BatchOutcome outcome) {
    switch (outcome) {
        case BatchOutcome::Sent:
            return QCoreApplication::translate("BatchReport", "sent");
        case BatchOutcome::Failed:
            return QCoreApplication::translate("BatchReport", "failed");
        case BatchOutcome::Refused:
            return QCoreApplication::translate("BatchReport", "refused by the module");
        case BatchOutcome::NoReply:
            return QCoreApplication::translate("BatchReport", "no reply (outcome unknown)");
        case BatchOutcome::InvalidNumber:
            return QCoreApplication::translate("BatchReport", "invalid number");
        case BatchOutcome::NotSent:
            break;
    }
    return QCoreApplication::translate("BatchReport", "not sent");
}

void BatchReport::clear(const QString &firmware) {
    firmware_ = firmware;
    rows_.clear();
}

void BatchReport::record(const QString &msisdn, BatchOutcome outcome, int moduleCode) {
    rows_.append(Row{msisdn, outcome, moduleCode, now()});
}

void BatchReport::correct(const QString &msisdn, BatchOutcome outcome, int moduleCode) {
    for (auto it = rows_.rbegin(); it != rows_.rend(); ++it) {
        if (it->msisdn == msisdn) {
            *it = Row{msisdn, outcome, moduleCode, now()};
            return;
        }
    }
}

int BatchReport::count(BatchOutcome outcome) const {
    return static_cast<int>(std::count_if(
        rows_.begin(), rows_.end(), [outcome](const Row &row) { return row.outcome == outcome; }));
}

QString BatchReport::counts() const {
    QStringList parts;
    for (const BatchOutcome outcome : kOutcomes) {
        parts << QStringLiteral("%1 %2").arg(count(outcome)).arg(text(outcome));
    }
    return parts.join(QStringLiteral(", "));
}

QString BatchReport::csv() const {
    QString out = QStringLiteral("number,firmware,outcome,module code,time\n");
    for (const Row &row : rows_) {
        out +=
            QStringList{csvField(row.msisdn), csvField(firmware_), text(row.outcome),
                        row.moduleCode < 0 ? QString() : QString::number(row.moduleCode), row.time}
                .join(QLatin1Char(',')) +
            QLatin1Char('\n');
    }
    return out;
}

bool BatchReport::save(const QString &fileName, QString *whyNot) const {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(csv().toUtf8()) < 0 ||
        !file.commit()) {
        *whyNot = QCoreApplication::translate("BatchReport", "%1 could not be written: %2")
                      .arg(fileName, file.errorString());
        return false;
    }
    return true;
}
