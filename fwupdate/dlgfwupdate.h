// The batch firmware update dialog: fetches the firmware list from the update server and has
// the connected module send one update trigger SMS to each number of a list, one after
// another, through its worker.
#pragma once

#include <QDialog>
#include <QMetaObject>
#include <QMovie>
#include <QNetworkAccessManager>
#include <QStringList>
#include <QThread>

#include "update_worker.h"

class QNetworkReply;

namespace Ui {
class Dlgfwupdate;
}

class Dlgfwupdate : public QDialog {
    Q_OBJECT

  public:
    enum UiState { Idle = 0, Loading = 1, Updating = 2, Finished = 3 };
    static constexpr int kListTimeoutMs = 15000;

    explicit Dlgfwupdate(QWidget *parent = nullptr);
    ~Dlgfwupdate() override;

    // The update server's host: the setting UpdateServer/Host (default localhost) unless
    // this overrides it for the run.
    void setUpdateServerHost(const QString &host) { hostOverride_ = host; }
    QString updateServerHost() const;
    // Tests shorten the waits.
    void setListTimeoutMs(int ms) { listTimeoutMs_ = ms; }
    UpdateWorker &updateWorker() { return worker; }
    // The serial port went away (true) or is back, or the user gave up on it (false). A
    // running batch waits meanwhile: a number's time-out only counts while the port is there.
    void setPortAway(bool away);
    // The batch's report as CSV: number, firmware, outcome, time; false with a reason.
    bool saveReport(const QString &fileName, QString *whyNot) const;

  signals:
    void updateModule(QString msisdn);
    // A batch started or ended: the module's SMS path is taken meanwhile.
    void batchRunning(bool running);

  public slots:
    void on_btnRefreshFwSelection_clicked();
    void on_fwSelectionHttpRequest_finished();
    void on_btnStartUpdate_clicked();
    void on_btnStopUpdate_clicked();
    void on_module_transfer_ended(uint transferId, uchar status);
    void on_updateWorker_updateEnded(QString msisdn, int status);
    void on_cmbFwSelection_currentIndexChanged(int index);
    void on_btnSaveLog_clicked();

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void setUiState(int state);
    void appendLog(const QString &text);
    bool parseMsisdnList();
    void startNextUpdate();
    void readListBody();
    bool startAllowed() const;
    void noteOutcome(const QString &msisdn, const QString &outcome);

    Ui::Dlgfwupdate *ui;
    int uiState = Idle;
    QStringList msisdnList;
    bool stopRequested = false;
    QThread workerThread;
    UpdateWorker worker;
    QNetworkAccessManager *networkManager;
    QNetworkReply *fwListReply = nullptr;
    QMovie loadingMovie;

    QString hostOverride_;
    bool portAway_ = false;
    int listTimeoutMs_ = kListTimeoutMs;
    QByteArray listBody_;
    bool listCut_ = false;
    QMetaObject::Connection moduleConnection_;
    QString firmware_;
    struct ReportRow {
        QString msisdn;
        QString outcome;
        QString time;
    };
    QList<ReportRow> report_;
};
