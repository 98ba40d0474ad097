// A batch firmware update of 100 numbers through the whole window, against the virtual module
// paced at 115200-baud wire time: timed from the confirmation until the log says the update
// finished. `one_unanswered` leaves the send of one number unanswered; the counters say which
// outcome each number got, so a wrong attribution shows beside the time.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <functional>

#include "dlgfwupdate.h"
#include "firmware_list.h"
#include "gui_bench_main.h"
#include "main_window.h"
#include "update_server.h"
#include "virtual_module.h"

namespace {

constexpr int kNumbers = 100;
constexpr int kUnansweredIndex = 50;
// A batch with one unanswered number waits out the give-up on its reply; ten minutes is failure.
constexpr int kWaitMs = 600000;

bool waitUntil(const std::function<bool()> &done) {
    return waitForEvents(done, kWaitMs);
}

QString number(int index) {
    return QString::number(5550100 + index);
}

void BM_Batch(benchmark::State &state, bool oneUnanswered) {
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    UpdateServer server;
    if (!server.listen(kUpdateServerPort)) {
        state.SkipWithError(qPrintable("port 7776 is taken: " + server.errorString()));
        return;
    }
    server.setList(UpdateServer::demoList());
    VirtualModule module;
    module.setPaced(true);
    if (oneUnanswered) {
        module.setUnansweredSmsTo({number(kUnansweredIndex).toLatin1()});
    }
    if (!module.start()) {
        state.SkipWithError(qPrintable(module.errorString()));
        return;
    }
    MainWindow window;
    window.setUpdateServerHost(QStringLiteral("127.0.0.1"));
    window.openSerialPort(module.devicePath());
    child<QAction>(window, "mnuBatchFwUpdate")->trigger();
    auto *dialog = window.findChild<Dlgfwupdate *>();
    auto *log = child<QPlainTextEdit>(*dialog, "txtUpdateLog");
    auto *refresh = child<QPushButton>(*dialog, "btnRefreshFwSelection");
    refresh->click();
    if (!dialog->isVisible() || !waitUntil([&] { return refresh->isEnabled(); })) {
        state.SkipWithError("the batch dialog did not get the firmware list");
        return;
    }
    // Confirms the batch as the user does.
    QTimer confirm;
    QObject::connect(&confirm, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            box->button(QMessageBox::Ok)->click();
        }
    });
    confirm.start(5);
    QStringList numbers;
    for (int i = 0; i < kNumbers; ++i) {
        numbers << number(i);
    }
    int successes = 0;
    int unansweredSuccess = 0;
    double totalSeconds = 0;
    for (auto _ : state) {
        log->clear();
        child<QPlainTextEdit>(*dialog, "txtListMSISDN")->setPlainText(numbers.join(' '));
        QElapsedTimer timer;
        child<QPushButton>(*dialog, "btnStartUpdate")->click();
        timer.start();
        if (!waitUntil([&] { return log->toPlainText().contains("Update finished."); })) {
            state.SkipWithError("the batch did not finish");
            break;
        }
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        totalSeconds += timer.nsecsElapsed() / 1e9;
        const QString text = log->toPlainText();
        successes = text.count(QRegularExpression(" finished with status 0\\("));
        unansweredSuccess =
            text.contains("Update to " + number(kUnansweredIndex) + " finished with status 0(");
    }
    state.counters["success"] = successes;
    state.counters["unanswered_logged_success"] = unansweredSuccess;
    if (state.iterations() > 0) {
        state.counters["per_number_ms"] =
            totalSeconds * 1000 / double(state.iterations()) / kNumbers;
    }
}

void registerAll() {
    benchmark::RegisterBenchmark("batch_100/clean", BM_Batch, false)
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("batch_100/one_unanswered", BM_Batch, true)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char **argv) {
    return runGuiBenchmarks(argc, argv, registerAll);
}
