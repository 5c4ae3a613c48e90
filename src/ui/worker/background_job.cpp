#include "ui/worker/background_job.h"

#include <QMetaObject>
#include <QThread>
#include <memory>
#include <thread>

#include "ui/dialogs/progress_dlg.h"

namespace lumacore::ui {

void JobContext::RunOnUi(const std::function<void()>& change) {
    if (QThread::currentThread() == ui_.thread()) {
        change();
        return;
    }
    QMetaObject::invokeMethod(&ui_, [&change] { change(); }, Qt::BlockingQueuedConnection);
}

void JobContext::PostToUi(std::function<void()> change) {
    QMetaObject::invokeMethod(&ui_, std::move(change), Qt::QueuedConnection);
}

bool RunWithProgress(CProgressDlg& dialog, StopToken& stop, const std::function<void(JobContext&)>& job) {
    stop.Reset();
    JobContext context(stop, dialog.progress(), dialog);
    std::thread worker;
    const auto onStop =
        QObject::connect(&dialog, &CProgressDlg::stopRequested, &dialog, [&stop] { stop.RequestStop(); });
    const auto onOpen = QObject::connect(&dialog, &CProgressDlg::opened, &dialog, [&] {
        if (worker.joinable()) return;
        worker = std::thread([&] {
            // The dialog must close whatever happens in the job, or the UI thread would wait for ever.
            try {
                job(context);
            } catch (...) {
                stop.RequestStop();
            }
            QMetaObject::invokeMethod(&dialog, &CProgressDlg::Finish, Qt::QueuedConnection);
        });
    });
    dialog.exec();
    // Finish() is the only way out of the dialog, and the worker posts it as its very last act.
    if (worker.joinable()) worker.join();
    QObject::disconnect(onStop);
    QObject::disconnect(onOpen);
    return !stop.StopRequested();
}

}  // namespace lumacore::ui
