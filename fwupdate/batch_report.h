// What a batch did to each number: one outcome each, saved as CSV and counted in the log.
#pragma once

#include <QList>
#include <QString>

enum class BatchOutcome { Sent, Failed, Refused, NoReply, InvalidNumber, NotSent };

class BatchReport {
  public:
    // The outcome a worker status gives a number.
    static BatchOutcome outcomeOf(int workerStatus);
    static QString text(BatchOutcome outcome);

    void clear(const QString &firmware);
    // `moduleCode` is the module's reply status, or -1 when it gave none.
    void record(const QString &msisdn, BatchOutcome outcome, int moduleCode = -1);
    // A late reply: the number's last row takes the outcome it brings.
    void correct(const QString &msisdn, BatchOutcome outcome, int moduleCode);
    int count(BatchOutcome outcome) const;
    // "2 sent, 1 failed, ..." over every outcome, in the order of BatchOutcome.
    QString counts() const;
    QString csv() const;
    bool save(const QString &fileName, QString *whyNot) const;

  private:
    struct Row {
        QString msisdn;
        BatchOutcome outcome;
        int moduleCode;
        QString time;
    };
    QString firmware_;
    QList<Row> rows_;
};
