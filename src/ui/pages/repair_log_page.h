#pragma once

#include <QString>
#include <atomic>
#include <thread>

#include "recovery/recovered_file_writer.h"
#include "ui/pages/page.h"

class QPlainTextEdit;

class QLabel;

namespace lumacore::ui {

// The repair log page: 300 ms after it opens, the repair worker repairs the chosen files into the output
// folder (asking before it overwrites a file there) and the log grows as it goes. Back returns to the
// selection page of the repaired kind, with the same files; Next ends the repair.
class CRepairLogPage final : public CPage {
    Q_OBJECT
  public:
    QString helpSection() const override { return QStringLiteral("repair"); }
    static constexpr int kStartDelayMs = 300;

    CRepairLogPage(const PageContext& context, QWidget* parent);
    ~CRepairLogPage() override;

    // The page kind Back returns to: the selection page of the kind being repaired.
    int returnCode() const { return returnCode_; }
    QPlainTextEdit* logEdit() const { return log_; }
    // The log as the worker wrote it (lines end with CR LF).
    const QString& logText() const { return logText_; }
    bool running() const { return worker_.joinable() && !finished_; }
    bool finished() const { return finished_; }
    // The line that sums the run up once it has ended.
    const QString& summaryText() const { return summary_; }
    CSkinButton* propertiesButton() const { return properties_; }
    CSkinButton* backButton() const { return back_; }
    CSkinButton* nextButton() const { return next_; }

    // Who answers the overwrite question (the overwrite dialog unless a test puts its own answer in).
    void SetOverwriteQuestion(AskOverwrite ask) { ask_ = std::move(ask); }

  Q_SIGNALS:
    void repairFinished();

  private:
    void StartWorker();
    void SetLog(const QString& log);
    void OnWorkerFinished();
    OverwriteAnswer AskFromWorker(const std::string& fileName);
    void SetNavigationEnabled(bool enabled);

    int returnCode_;
    AskOverwrite ask_;
    QString logText_;
    QString summary_;
    QLabel* where_ = nullptr;
    std::thread worker_;
    std::atomic<bool> closing_{false};
    bool finished_ = false;
    QPlainTextEdit* log_ = nullptr;
    CSkinButton* properties_ = nullptr;
    CSkinButton* back_ = nullptr;
    CSkinButton* next_ = nullptr;
};

// "Repair finished: R of N repaired into FOLDER[, F failed][, S not written (kept or cancelled)]." from
// the run's log and the number of files it was given.
QString RepairSummaryText(const QString& log, int files, const QString& folder);

}  // namespace lumacore::ui
