#include "ui/dialogs/summary_dlg.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "core/size_text.h"
#include "ui/shell.h"

namespace lumacore::ui {

namespace {

// A run may fail thousands of files: the box lists the first ones, the details pane all of them.
constexpr int kFailuresInText = 12;

}  // namespace

QString SummaryCaption(const RunSummary& summary) {
    if (!summary.caption.isEmpty()) return summary.caption;
    if (summary.cancelled) return summary.action + QStringLiteral(" cancelled");
    if (summary.written == 0 && (summary.failed > 0 || !summary.reason.isEmpty()))
        return summary.action + QStringLiteral(" failed");
    return summary.action + QStringLiteral(" finished");
}

QString NothingWrittenReason(const RunSummary& summary) {
    if (summary.written > 0) return {};
    if (!summary.reason.isEmpty()) return summary.reason;
    if (summary.cancelled) return QStringLiteral("It was cancelled before any file was written.");
    if (summary.failed > 0) return QStringLiteral("No file could be written: see the failures below.");
    if (summary.kept > 0)
        return QStringLiteral("Every file was already in the folder and was kept as it was.");
    return QStringLiteral("None of the ticked files could be found to write.");
}

QString SummaryText(const RunSummary& summary) {
    QStringList lines;
    // The run's own message comes first, exactly as it was always shown.
    if (!summary.headline.isEmpty()) lines << summary.headline << QString();
    const auto counted = [&summary](std::uint64_t count) {
        return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? summary.itemOne : summary.itemMany);
    };
    lines << QStringLiteral("Written: %1 (%2)")
                 .arg(counted(summary.written), QString::fromStdString(SizeText(summary.bytes)));
    if (summary.failed > 0) lines << QStringLiteral("Failed: %1").arg(counted(summary.failed));
    if (summary.kept > 0) lines << QStringLiteral("Kept (already there): %1").arg(counted(summary.kept));
    if (summary.cancelled) lines << QStringLiteral("Cancelled before the end.");
    if (!summary.folder.isEmpty()) lines << QStringLiteral("Folder: %1").arg(summary.folder);
    lines << summary.details;
    const QString why = NothingWrittenReason(summary);
    if (!why.isEmpty()) {
        lines << QString()
              << (summary.partial ? QStringLiteral("Some of it may have been written before it failed. ")
                                  : QStringLiteral("Nothing was written. ")) +
                     why;
    }
    if (!summary.failures.isEmpty()) {
        lines << QString() << QStringLiteral("Failures:");
        for (int i = 0; i < summary.failures.size() && i < kFailuresInText; ++i) lines << summary.failures[i];
        if (summary.failures.size() > kFailuresInText)
            lines << QStringLiteral("... and %1 more (see Show Details).")
                         .arg(summary.failures.size() - kFailuresInText);
    }
    return lines.join(QLatin1Char('\n'));
}

namespace {

bool Troubled(const RunSummary& summary) {
    return summary.failed > 0 || !NothingWrittenReason(summary).isEmpty();
}

// Shows the box; returns the standard button pressed (NoButton for Open Folder).
QMessageBox::StandardButton RunSummaryBox(QWidget* parent, const RunSummary& summary,
                                          QMessageBox::StandardButtons buttons) {
    const std::unique_ptr<QMessageBox> box = MakeRunSummaryBox(parent, summary, buttons);
    QAbstractButton* open = box->findChild<QPushButton*>(QStringLiteral("OpenFolder"));
    box->exec();
    if (open && box->clickedButton() == open) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(summary.folder));
        return QMessageBox::NoButton;
    }
    return box->standardButton(box->clickedButton());
}

}  // namespace

std::unique_ptr<QMessageBox> MakeRunSummaryBox(QWidget* parent, const RunSummary& summary,
                                               QMessageBox::StandardButtons buttons) {
    auto box = std::make_unique<QMessageBox>(Troubled(summary) ? QMessageBox::Warning : QMessageBox::Information,
                                             SummaryCaption(summary), SummaryText(summary), buttons, parent);
    box->setObjectName(QStringLiteral("RunSummary"));
    if (!summary.failures.isEmpty()) box->setDetailedText(summary.failures.join(QLatin1Char('\n')));
    if (!summary.folder.isEmpty() && summary.written > 0) {
        QPushButton* open = box->addButton(QStringLiteral("Open Folder"), QMessageBox::ActionRole);
        open->setObjectName(QStringLiteral("OpenFolder"));
    }
    return box;
}

void ShowRunSummary(QWidget* parent, const RunSummary& summary) {
    if (MessagesObserved()) {
        ShowMessage(parent, SummaryCaption(summary), SummaryText(summary),
                    Troubled(summary) ? MessageIcon::Warning : MessageIcon::Information);
        return;
    }
    RunSummaryBox(parent, summary, QMessageBox::Ok);
}

QMessageBox::StandardButton AskRunSummary(QWidget* parent, const RunSummary& summary,
                                          QMessageBox::StandardButtons buttons) {
    if (QuestionsObserved()) {
        return Ask(parent, Troubled(summary) ? QMessageBox::Warning : QMessageBox::Information,
                   SummaryCaption(summary), SummaryText(summary), buttons);
    }
    return RunSummaryBox(parent, summary, buttons);
}

}  // namespace lumacore::ui
