// The mail-repair pages driven as a user would: the way in from the home page, the selection pages, the
// log page with its worker, the overwrite question, and the default output folder. (The repairs' own
// byte-level cases are the unit tests'.)
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "app/home_view.h"
#include "app/main_frame.h"
#include "app/recovery_app.h"
#include "gui/gui_test_support.h"
#include "ui/dialogs/overwrite_dlg.h"
#include "ui/pages/repair_log_page.h"
#include "ui/pages/repair_selection_page.h"
#include "ui/skin/skin_button.h"

namespace lumacore {

using ui::CRepairLogPage;

namespace {

const QString kSeparator = QStringLiteral("-------------------------------------------");

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// A folder file that passes the format check, with `result` at 0xC4.
QByteArray MailFolder(int size, quint32 result) {
    QByteArray bytes(size, '\x11');
    bytes.replace(9409, 11, QByteArray("LocalStore\0", 11));
    for (int i = 0; i < 4; ++i) bytes[0xC4 + i] = static_cast<char>((result >> (8 * i)) & 0xFF);
    return bytes;
}

QString Entry(const QString& file, const QString& result) {
    return QStringLiteral("Selected file: %1\r\n%2\r\n%3\r\n").arg(file, result, kSeparator);
}

}  // namespace

class RepairPagesTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<CRecoveryApp> app_;
    testing::RecordingHost host_;
    QTemporaryDir dir_;
    QString in_;
    QString out_;

    // Runs the log page over the files until its worker is done.
    std::unique_ptr<CRepairLogPage> RunLog(int kind, const QStringList& files, AskOverwrite ask = {}) {
        RecoverySettings& s = app_->settings;
        s.RepairKind = kind;
        s.RepairOutputFolder = out_.toStdString();
        s.RepairFiles.clear();
        for (const QString& f : files) s.RepairFiles.push_back(f.toStdString());
        auto page =
            std::make_unique<CRepairLogPage>(ui::PageContext{*app_, host_, ui::kRepairLogMode}, nullptr);
        if (ask) page->SetOverwriteQuestion(std::move(ask));
        QSignalSpy done(page.get(), &CRepairLogPage::repairFinished);
        // Nothing may leave the page before the worker is done.
        if (!page->backButton()->isEnabled() && !page->nextButton()->isEnabled() &&
            !page->homeButton()->isEnabled()) {
            done.wait(20000);
        }
        return page;
    }

  private Q_SLOTS:
    void init() {
        app_ = std::make_unique<CRecoveryApp>();
        host_.requests.clear();
        in_ = dir_.path() + QStringLiteral("/in");
        out_ = dir_.path() + QStringLiteral("/out");
        QDir(in_).removeRecursively();
        QDir(out_).removeRecursively();
        QDir().mkpath(in_);
        QDir().mkpath(out_);
    }
    void cleanup() { app_.reset(); }

    void theRepairMenuOpensTheSelectionPagesFromTheHomePageOnly() {
        CMainFrame frame(*app_);
        frame.show();
        QApplication::setActiveWindow(&frame);
        CHomeView* view = frame.view();
        QVERIFY(view->repairButton()->isVisible());
        const QList<QAction*> actions = view->repairMenu()->actions();
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions[0]->text(), QStringLiteral("Email Repair"));
        QCOMPARE(actions[1]->text(), QStringLiteral("File Repair"));
        app_->settings.RepairFiles = {"/left/over.dbx"};
        actions[0]->trigger();
        QVERIFY(qobject_cast<ui::CDbxSelectionPage*>(view->currentPage()));
        QCOMPARE(view->pageKind(), int{ui::PAGE_REPAIR_MAIL_FOLDER});
        // A fresh start: no files from an earlier visit, and the home page's buttons are gone.
        auto* dbx = qobject_cast<ui::CRepairSelectionPage*>(view->currentPage());
        QCOMPARE(dbx->fileList()->topLevelItemCount(), 0);
        QVERIFY(!view->repairButton()->isVisible());
        QVERIFY(!view->modeButton(CHomeView::kDeleteButton)->isVisible());
        // While a page is open the shortcuts do nothing.
        actions[1]->trigger();
        QCOMPARE(view->currentPage(), static_cast<ui::CPage*>(dbx));
        view->Navigate(ui::PAGE_HOME, 0);
        QTest::keyClick(&frame, Qt::Key_R, Qt::ControlModifier);
        QVERIFY(qobject_cast<ui::CPstSelectionPage*>(view->currentPage()));
        // The log page's codes: Back to the selection page of its kind, Next to the bare home page.
        view->Navigate(ui::PAGE_HOME, 1);
        QVERIFY(!view->homePageShown());
        QVERIFY(view->homeButton()->isVisible());
    }

    void theSelectionPageCollectsFilesAndTheOutputFolder() {
        // The documents folder named by the desktop's user-dirs file, made when it is missing.
        const QString home = dir_.path() + QStringLiteral("/home");
        QDir().mkpath(home + QStringLiteral("/.config"));
        Write(home + QStringLiteral("/.config/user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
        const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", home.toLocal8Bit());
        qunsetenv("XDG_CONFIG_HOME");
        ui::CPstSelectionPage page(ui::PageContext{*app_, host_, 0}, nullptr);
        qputenv("HOME", oldHome);
        if (!oldConfig.isEmpty()) qputenv("XDG_CONFIG_HOME", oldConfig);
        QCOMPARE(page.outputEdit()->text(), home + QStringLiteral("/Papers"));
        QVERIFY(QFileInfo(home + QStringLiteral("/Papers")).isDir());
        // The folder can be typed as well as chosen.
        QVERIFY(!page.outputEdit()->isReadOnly());
        QCOMPARE(page.addButton()->text(), QStringLiteral("Property"));
        QCOMPARE(page.removeButton()->text(), QStringLiteral("Cancel"));

        QVERIFY(!page.nextButton()->isEnabled());
        page.AddFiles({QStringLiteral("/mail/a/Outlook.pst"), QStringLiteral("/mail/b/Archive.pst")});
        QVERIFY(page.nextButton()->isEnabled());
        QCOMPARE(page.fileList()->topLevelItem(1)->text(0), QStringLiteral("Archive.pst"));
        QCOMPARE(page.fileList()->topLevelItem(1)->text(1), QStringLiteral("/mail/b"));
        page.fileList()->setCurrentItem(page.fileList()->topLevelItem(0));
        page.RemoveSelectedFile();
        QCOMPARE(page.fileList()->topLevelItemCount(), 1);
        page.SetOutputFolder(out_);
        page.OnNext();
        const RecoverySettings& s = app_->settings;
        QCOMPARE(s.RepairKind, 2);
        QCOMPARE(s.RepairFiles, std::vector<std::string>{"/mail/b/Archive.pst"});
        QCOMPARE(s.RepairOutputFolder, out_.toStdString());
        QCOMPARE(host_.requests.back(), (std::pair<int, int>{ui::PAGE_REPAIR_LOG, ui::kRepairLogMode}));

        // A page opened again shows the chosen files and folder; Back leaves with none chosen.
        ui::CPstSelectionPage again(ui::PageContext{*app_, host_, 0}, nullptr);
        QCOMPARE(again.fileList()->topLevelItemCount(), 1);
        QCOMPARE(again.outputEdit()->text(), out_);
        again.fileList()->setCurrentItem(again.fileList()->topLevelItem(0));
        again.RemoveSelectedFile();
        QVERIFY(!again.nextButton()->isEnabled());
        QTest::mouseClick(again.backButton(), Qt::LeftButton);
        QVERIFY(s.RepairFiles.empty());
        QCOMPARE(host_.requests.back(), (std::pair<int, int>{ui::PAGE_HOME, 1}));
    }

    void theLogPageRepairsCopiesAndLogsEachFile() {
        // 2048 bytes: copied with a final empty read, then no "LocalStore" -> unsupported, copy kept.
        const QByteArray small(2048, '\x22');
        Write(in_ + QStringLiteral("/small.dbx"), small);
        Write(in_ + QStringLiteral("/good.dbx"), MailFolder(12000, 7));
        // 0xFFFFFFFF at 0xC4: logged as failed, but the rewritten copy stays.
        Write(in_ + QStringLiteral("/odd.dbx"), MailFolder(10240, 0xFFFFFFFF));
        auto page = RunLog(1, {in_ + QStringLiteral("/small.dbx"), in_ + QStringLiteral("/good.dbx"),
                               in_ + QStringLiteral("/odd.dbx")});
        QVERIFY(page->finished());
        QCOMPARE(page->logText(), Entry(QStringLiteral("small.dbx"), QStringLiteral("Unsupported format")) +
                                      Entry(QStringLiteral("good.dbx"), QStringLiteral("Repaired")) +
                                      Entry(QStringLiteral("odd.dbx"), QStringLiteral("Repair failed")));
        QVERIFY(
            page->logEdit()->toPlainText().contains(QStringLiteral("Selected file: good.dbx\nRepaired\n")));
        QCOMPARE(Read(out_ + QStringLiteral("/small.dbx")), small);
        QCOMPARE(Read(out_ + QStringLiteral("/good.dbx")).left(8),
                 QByteArray("\xCF\xAD\x12\xFE\xC5\xFD\x74\x6F", 8));
        QCOMPARE(Read(out_ + QStringLiteral("/odd.dbx")).left(4), QByteArray("\xCF\xAD\x12\xFE", 4));
        // The chosen files are never changed.
        QCOMPARE(Read(in_ + QStringLiteral("/good.dbx")), MailFolder(12000, 7));
        // Back returns to the DBX selection page, Next (Finish) to the bare home page.
        QVERIFY(page->backButton()->isEnabled());
        QCOMPARE(page->returnCode(), int{ui::PAGE_REPAIR_MAIL_FOLDER});
        QTest::mouseClick(page->backButton(), Qt::LeftButton);
        QTest::mouseClick(page->nextButton(), Qt::LeftButton);
        QCOMPARE(host_.requests,
                 (std::vector<std::pair<int, int>>{{ui::PAGE_REPAIR_MAIL_FOLDER, 0}, {ui::PAGE_HOME, 1}}));
    }

    void thePstPageWritesTheSignatureOverAnyFile() {
        Write(in_ + QStringLiteral("/empty.pst"), QByteArray());
        Write(in_ + QStringLiteral("/notes.txt"), QByteArray("hello world"));
        auto page = RunLog(2, {in_ + QStringLiteral("/empty.pst"), in_ + QStringLiteral("/notes.txt")});
        QCOMPARE(page->logText(), Entry(QStringLiteral("empty.pst"), QStringLiteral("Repaired")) +
                                      Entry(QStringLiteral("notes.txt"), QStringLiteral("Repaired")));
        QCOMPARE(Read(out_ + QStringLiteral("/empty.pst")), QByteArray("!BDN"));
        QCOMPARE(Read(out_ + QStringLiteral("/notes.txt")), QByteArray("!BDNo world"));
        QCOMPARE(page->returnCode(), int{ui::PAGE_REPAIR_PERSONAL_FOLDER});
    }

    void theSourceFolderAsOutputFolderNeverEmptiesTheSource() {
        const QByteArray original = MailFolder(10240, 3);
        Write(in_ + QStringLiteral("/Inbox.dbx"), original);
        out_ = in_;
        // Whatever the answer to the overwrite question, the source itself is refused.
        auto page = RunLog(1, {in_ + QStringLiteral("/Inbox.dbx")},
                           [](const std::string&) { return OverwriteAnswer::YesToAll; });
        QCOMPARE(page->logText(), Entry(QStringLiteral("Inbox.dbx"), QStringLiteral("Repair failed")));
        QCOMPARE(Read(in_ + QStringLiteral("/Inbox.dbx")), original);
    }

    void theOverwriteAnswersDecideWhatIsRepairedAndLogged() {
        for (const char* name : {"a.pst", "b.pst", "c.pst"}) {
            Write(in_ + QLatin1Char('/') + QLatin1String(name), QByteArray("data"));
            Write(out_ + QLatin1Char('/') + QLatin1String(name), QByteArray("old"));
        }
        const QStringList files = {in_ + QStringLiteral("/a.pst"), in_ + QStringLiteral("/b.pst"),
                                   in_ + QStringLiteral("/c.pst")};
        // No skips the file without a log entry; Yes repairs it.
        std::vector<std::string> asked;
        std::vector<OverwriteAnswer> answers = {OverwriteAnswer::No, OverwriteAnswer::Yes,
                                                OverwriteAnswer::Cancel};
        auto page = RunLog(2, files, [&](const std::string& name) {
            asked.push_back(name);
            return answers[asked.size() - 1];
        });
        // Cancel ends the run at once: nothing more is logged.
        QCOMPARE(asked, (std::vector<std::string>{"a.pst", "b.pst", "c.pst"}));
        QCOMPARE(page->logText(), Entry(QStringLiteral("b.pst"), QStringLiteral("Repaired")));
        QCOMPARE(Read(out_ + QStringLiteral("/a.pst")), QByteArray("old"));
        QCOMPARE(Read(out_ + QStringLiteral("/b.pst")), QByteArray("!BDN"));
        QCOMPARE(Read(out_ + QStringLiteral("/c.pst")), QByteArray("old"));

        // Yes to All is asked once.
        asked.clear();
        auto again = RunLog(2, files, [&](const std::string& name) {
            asked.push_back(name);
            return OverwriteAnswer::YesToAll;
        });
        QCOMPARE(asked.size(), std::size_t{1});
        QCOMPARE(again->logText().count(QStringLiteral("Repaired")), 3);
    }

    void theOverwriteDialogGivesFourAnswers() {
        ui::COverwriteDlg dialog(QStringLiteral("Inbox.dbx"), nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Confirm File Overwrite"));
        QCOMPARE(dialog.existsLabel()->text(),
                 QStringLiteral("This folder already contains a file named 'Inbox.dbx'"));
        QVERIFY(dialog.yesButton()->isDefault());
        const std::pair<QPushButton*, OverwriteAnswer> buttons[] = {
            {dialog.yesButton(), OverwriteAnswer::Yes},
            {dialog.yesToAllButton(), OverwriteAnswer::YesToAll},
            {dialog.noButton(), OverwriteAnswer::No},
            {dialog.cancelButton(), OverwriteAnswer::Cancel}};
        for (const auto& [button, answer] : buttons) {
            dialog.show();
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(dialog.answer(), answer);
            QVERIFY(!dialog.isVisible());
        }
        // Closing it any other way is Cancel.
        dialog.show();
        QTest::mouseClick(dialog.yesButton(), Qt::LeftButton);
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.answer(), OverwriteAnswer::Cancel);
    }
};

}  // namespace lumacore

QTEST_MAIN(lumacore::RepairPagesTest)
#include "repair_pages_test.moc"
