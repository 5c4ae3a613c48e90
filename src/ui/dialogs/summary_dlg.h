#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

class QWidget;

namespace lumacore::ui {

// What one run that writes files did (a recovery, a partition backup, a restore, its undo, a mail
// repair), told to the user when it ends, whatever the end: finished, failed, cancelled, or nothing
// written at all.
struct RunSummary {
    QString action;  // "Recovery", "Backup", ... : the caption says "<action> finished" or "... cancelled"
    QString caption;   // replaces the caption made from the action when set
    QString headline;  // the run's own message ("Backup has done!", ...), shown first
    // What the counts count: files unless told otherwise ("sector", "sectors").
    QString itemOne = QStringLiteral("file");
    QString itemMany = QStringLiteral("files");
    std::uint64_t written = 0;
    std::uint64_t bytes = 0;
    std::uint64_t failed = 0;
    std::uint64_t kept = 0;  // existing files left as they were
    bool cancelled = false;
    QStringList failures;  // one line per file or step that failed
    QString folder;        // where the files went: the "Open Folder" button opens it; empty for none
    QString reason;        // why the run could not write at all (an error before the first file)
    QStringList details;   // what was written where, one line each, after the counts
    // The run failed part-way and may have written some of its work before it could tell (the text then
    // does not claim that nothing was written).
    bool partial = false;
};

// The caption: "<action> finished", "<action> cancelled" or "<action> failed".
QString SummaryCaption(const RunSummary& summary);
// The counts, the destination, why nothing was written when so, and the failures (as many as fit).
QString SummaryText(const RunSummary& summary);
// The sentence that says why a run wrote nothing; empty when it wrote something.
QString NothingWrittenReason(const RunSummary& summary);

// The summary box itself, not yet shown (the screenshots).
std::unique_ptr<QMessageBox> MakeRunSummaryBox(QWidget* parent, const RunSummary& summary,
                                               QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// Shows the summary with an "Open Folder" button when there is a folder; goes to the message observer
// instead when one is set (tests), as the caption and the text.
void ShowRunSummary(QWidget* parent, const RunSummary& summary);
// The same box with the buttons of a question (a restore's restart question, Yes and No); returns the
// button pressed. Goes to the question observer instead when one is set (Ask's rules).
QMessageBox::StandardButton AskRunSummary(QWidget* parent, const RunSummary& summary,
                                          QMessageBox::StandardButtons buttons);

}  // namespace lumacore::ui
