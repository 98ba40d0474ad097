// The batch firmware update dialog: fetches the firmware list from the update server and has
// the connected module send one update trigger SMS to each number of a list, one after
// another, through its worker. It is not modal, so that the window stays usable and a batch
// can be reached whatever the port does.
#pragma once

#include <QDialog>
#include <QMovie>
#include <QNetworkAccessManager>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include "batch_report.h"
#include "update_worker.h"

class QNetworkReply;

namespace Ui {
class Dlgfwupdate;
}

class Dlgfwupdate : public QDialog {
    Q_OBJECT

  public:
    enum UiState { Idle = 0, Loading = 1, Updating = 2, Finished = 3 };
    // For the whole list request, however slowly the server sends it.
    static constexpr int kListTimeoutMs = 15000;

    explicit Dlgfwupdate(QWidget *parent = nullptr);
    ~Dlgfwupdate() override;

    // The update server's host: the setting UpdateServer/Host (default localhost) unless
    // this overrides it for the run.
    void setUpdateServerHost(const QString &host) { hostOverride_ = host; }
    QString updateServerHost() const;
    // Tests shorten the waits.
    void setListTimeoutMs(int ms) { listTimer_.setInterval(ms); }
    bool isBatchRunning() const { return uiState == Updating; }
    // Tests end a number's reply wait through it, as its time-out does.
    UpdateWorker &updateWorker() { return worker; }
    // The serial port went away (true) or is open again (false). No number starts while it
    // is away; the one under way waits for it as its worker allows.
    void setPortAway(bool away);
    // The user disconnected: the batch ends, as with Stop at once.
    void portClosedByUser();
    // The batch's report as CSV: number, firmware, outcome, module code, time; false with a
    // reason.
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
    void on_updateWorker_updateEnded(QString msisdn, int status, int moduleCode);
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
    void onLateReply(const QString &msisdn, int status, int moduleCode);
    void onReplyGivenUp(const QString &msisdn);
    void onReplyUnplaced(uchar cmdId, uchar status);
    void logCounts();
    void fitListPopup();

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
    // A number is with the worker: between updateModule and its updateEnded.
    bool numberOut_ = false;
    // The number that ended without a reply the link still waits for; empty when none.
    QString replyOwedFor_;
    QTimer listTimer_;
    QByteArray listBody_;
    bool listCut_ = false;
    bool listTimedOut_ = false;
    BatchReport report_;
};
