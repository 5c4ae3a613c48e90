#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "core/progress.h"

namespace lumacore::ui {

class CProgressDlg;

// What a job running on a worker thread may touch: its stop flag, the progress fields, and the user
// interface only through the UI thread (never a widget call from the worker).
class JobContext {
public:
    JobContext(const StopToken& stop, ProgressFields& progress, QObject& uiContext)
        : stop_(stop), progress_(progress), ui_(uiContext) {}

    bool StopRequested() const { return stop_.StopRequested(); }
    ProgressFields& progress() { return progress_; }

    // Runs `change` on the UI thread and waits for it (for a change the job's next step depends on).
    void RunOnUi(const std::function<void()>& change);
    // Queues `change` for the UI thread and goes on.
    void PostToUi(std::function<void()> change);

private:
    const StopToken& stop_;
    ProgressFields& progress_;
    QObject& ui_;
};

// Runs `job` on a worker thread behind `dialog`, shown modally: the worker starts once the dialog is
// open (so the dialog's reset of the progress fields comes first), Cancel sets `stop`, and the dialog
// closes when the job returns. Returns when the worker has ended; true when it ran to the end without a
// stop request. One job at a time per dialog.
bool RunWithProgress(CProgressDlg& dialog, StopToken& stop, const std::function<void(JobContext&)>& job);

}  // namespace lumacore::ui
