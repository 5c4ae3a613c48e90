#include "ui/pages/repair_log_page.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <future>
#include <memory>

#include "core/recovery_settings.h"
#include "repair/repair_run.h"
#include "ui/dialogs/overwrite_dlg.h"
#include "ui/skin/skin_button.h"
#include "ui/widgets/card.h"

namespace lumacore::ui {

namespace {

const QRect kCard(20, 84, 745, 288);

}  // namespace

CRepairLogPage::CRepairLogPage(const PageContext& context, QWidget* parent)
    : CPage(context, parent),
      returnCode_(app().recoverySettings().RepairKind == kRepairPersonalFolder ? PAGE_REPAIR_PERSONAL_FOLDER
                                                                     : PAGE_REPAIR_MAIL_FOLDER),
      ask_([](const std::string& name) {
          // Without a parent: the page may go while the question is open, and the dialog must not go with it.
          return COverwriteDlg::Ask(nullptr, name);
      }) {
    setObjectName(QStringLiteral("RepairLogPage"));
    SetHeading(QStringLiteral("Mail Repair"), returnCode_ == PAGE_REPAIR_PERSONAL_FOLDER
                                                  ? QStringLiteral("File Repair  \u2022  repair log")
                                                  : QStringLiteral("Email Repair  \u2022  repair log"));
    auto* card = new CCard(kCard, this);
    log_ = new QPlainTextEdit(card);
    log_->setObjectName(QStringLiteral("RepairLog"));
    log_->setReadOnly(true);
    log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log_->setGeometry(QRect(QPoint(0, 0), kCard.size()).adjusted(10, 36, -10, -10));
    where_ = new QLabel(card);
    QLabel* where = where_;
    where->setGeometry(16, 8, kCard.width() - 32, 22);
    where->setTextFormat(Qt::PlainText);
    card->Anchor(log_, Follow::Width | Follow::Height);
    card->Anchor(where, Follow::Width);
    Anchor(card, Follow::Width | Follow::Height);
    where->setText(QStringLiteral("Repaired copies are written to %1")
                       .arg(QString::fromStdString(app().recoverySettings().RepairOutputFolder)));

    const skin::ButtonLook propertiesLook{
        skin::ButtonStyle::Secondary, QStringLiteral("Properties"), {}, QStringLiteral("option")};
    properties_ =
        new CSkinButton(QStringLiteral("Properties"), propertiesLook, QRect(128, 386, 120, 36), 0, this);
    properties_->setEnabled(false);
    back_ = AddCommandButton(QStringLiteral("Back"), QStringLiteral("back"), QRect(20, 386, 100, 36));
    const skin::ButtonLook finishLook{
        skin::ButtonStyle::Primary, QStringLiteral("Finish"), {}, QStringLiteral("next")};
    next_ = new CSkinButton(QStringLiteral("Next"), finishLook, QRect(661, 386, 104, 36), 0, this);
    Anchor(properties_, Follow::Bottom);
    Anchor(next_, Follow::Right | Follow::Bottom);
    connect(back_, &QAbstractButton::clicked, this, [this] { host().PostNavigate(returnCode_, 0); });
    connect(next_, &QAbstractButton::clicked, this, [this] { host().PostNavigate(PAGE_HOME, 1); });

    // The page is on screen before the first file is opened.
    SetNavigationEnabled(false);
    QTimer::singleShot(kStartDelayMs, this, &CRepairLogPage::StartWorker);
}

CRepairLogPage::~CRepairLogPage() {
    // A question the worker waits for is answered Cancel, which ends the run.
    closing_ = true;
    if (worker_.joinable()) worker_.join();
}

void CRepairLogPage::SetNavigationEnabled(bool enabled) {
    // Leaving the page while the worker writes would take its log and questions away from it.
    for (CSkinButton* button : {homeButton(), back_, next_}) button->setEnabled(enabled);
}

void CRepairLogPage::StartWorker() {
    const RecoverySettings& settings = app().recoverySettings();
    std::vector<std::filesystem::path> files(settings.RepairFiles.begin(), settings.RepairFiles.end());
    const std::filesystem::path folder = settings.RepairOutputFolder;
    const auto kind =
        settings.RepairKind == kRepairPersonalFolder ? kRepairPersonalFolder : kRepairMailFolder;
    worker_ = std::thread([this, files = std::move(files), folder, kind] {
        RunMailRepair(
            files, folder, kind, OverwritePolicy::Ask,
            [this](const std::string& name) { return AskFromWorker(name); },
            [this](const std::string& log) {
                QMetaObject::invokeMethod(
                    this, [this, text = QString::fromStdString(log)] { SetLog(text); }, Qt::QueuedConnection);
            });
        QMetaObject::invokeMethod(this, &CRepairLogPage::OnWorkerFinished, Qt::QueuedConnection);
    });
}

OverwriteAnswer CRepairLogPage::AskFromWorker(const std::string& fileName) {
    // The question is asked on the UI thread; the worker waits for the answer, or for the page to go.
    auto answer = std::make_shared<std::promise<OverwriteAnswer>>();
    std::future<OverwriteAnswer> future = answer->get_future();
    QMetaObject::invokeMethod(
        this, [ask = ask_, answer, fileName] { answer->set_value(ask(fileName)); }, Qt::QueuedConnection);
    while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (closing_) return OverwriteAnswer::Cancel;
    }
    return future.get();
}

void CRepairLogPage::SetLog(const QString& log) {
    logText_ = log;
    QString shown = log;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    log_->setPlainText(shown);
    log_->moveCursor(QTextCursor::End);
}

QString RepairSummaryText(const QString& log, int files, const QString& folder) {
    int repaired = 0, failed = 0;
    for (const QString& line : log.split(QStringLiteral("\r\n"))) {
        if (line == QLatin1String(kRepairLogRepaired)) ++repaired;
        if (line == QLatin1String(kRepairLogFailed) || line == QLatin1String(kRepairLogUnsupported)) ++failed;
    }
    const int skipped = std::max(0, files - repaired - failed);
    QString text =
        QStringLiteral("Repair finished: %1 of %2 repaired into %3").arg(repaired).arg(files).arg(folder);
    if (failed > 0) text += QStringLiteral(", %1 failed").arg(failed);
    // Files answered No, or left when the run was cancelled, have no entry in the log.
    if (skipped > 0) text += QStringLiteral(", %1 not written (kept or cancelled)").arg(skipped);
    return text + QLatin1Char('.');
}

void CRepairLogPage::OnWorkerFinished() {
    if (worker_.joinable()) worker_.join();
    finished_ = true;
    // The run's summary takes the place of where it was going, above the log it sums up.
    summary_ = RepairSummaryText(logText_, static_cast<int>(app().recoverySettings().RepairFiles.size()),
                                 QString::fromStdString(app().recoverySettings().RepairOutputFolder));
    where_->setText(summary_);
    where_->setStyleSheet(QStringLiteral("font-weight: 600;"));
    SetNavigationEnabled(true);
    Q_EMIT repairFinished();
}

}  // namespace lumacore::ui
