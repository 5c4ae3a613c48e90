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

QString Plural(std::uint64_t count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QString::fromLatin1(count == 1 ? one : many));
}

}  // namespace

QString SummaryCaption(const RunSummary& summary) {
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
    lines << QStringLiteral("Written: %1 (%2)")
                 .arg(Plural(summary.written, "file", "files"),
                      QString::fromStdString(SizeText(summary.bytes)));
    if (summary.failed > 0)
        lines << QStringLiteral("Failed: %1").arg(Plural(summary.failed, "file", "files"));
    if (summary.kept > 0)
        lines << QStringLiteral("Kept (already there): %1").arg(Plural(summary.kept, "file", "files"));
    if (summary.cancelled) lines << QStringLiteral("Cancelled before the end.");
    if (!summary.folder.isEmpty()) lines << QStringLiteral("Folder: %1").arg(summary.folder);
    const QString why = NothingWrittenReason(summary);
    if (!why.isEmpty()) lines << QString() << QStringLiteral("Nothing was written. ") + why;
    if (!summary.failures.isEmpty()) {
        lines << QString() << QStringLiteral("Failures:");
        for (int i = 0; i < summary.failures.size() && i < kFailuresInText; ++i) lines << summary.failures[i];
        if (summary.failures.size() > kFailuresInText)
            lines << QStringLiteral("... and %1 more (see Show Details).")
                         .arg(summary.failures.size() - kFailuresInText);
    }
    return lines.join(QLatin1Char('\n'));
}

void ShowRunSummary(QWidget* parent, const RunSummary& summary) {
    const QString caption = SummaryCaption(summary);
    const QString text = SummaryText(summary);
    const bool trouble = summary.failed > 0 || !NothingWrittenReason(summary).isEmpty();
    if (MessagesObserved()) {
        ShowMessage(parent, caption, text, trouble ? MessageIcon::Warning : MessageIcon::Information);
        return;
    }
    QMessageBox box(trouble ? QMessageBox::Warning : QMessageBox::Information, caption, text, QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("RunSummary"));
    if (!summary.failures.isEmpty()) box.setDetailedText(summary.failures.join(QLatin1Char('\n')));
    QPushButton* open = nullptr;
    if (!summary.folder.isEmpty() && summary.written > 0)
        open = box.addButton(QStringLiteral("Open Folder"), QMessageBox::ActionRole);
    box.exec();
    if (open && box.clickedButton() == open) QDesktopServices::openUrl(QUrl::fromLocalFile(summary.folder));
}

}  // namespace lumacore::ui
