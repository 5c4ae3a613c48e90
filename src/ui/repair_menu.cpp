#include "ui/repair_menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

#include "ui/pages/page.h"

namespace lumacore::ui {

QMenu* MakeRepairMenu(QWidget* owner, const std::function<void(int pageKind)>& open) {
    auto* menu = new QMenu(owner);
    menu->setObjectName(QStringLiteral("RepairMenu"));
    menu->setToolTipsVisible(true);
    const auto add = [&](const char* text, const char* tip, const QKeySequence& keys, int pageKind) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        action->setToolTip(QString::fromLatin1(tip));
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        QObject::connect(action, &QAction::triggered, owner, [open, pageKind] { open(pageKind); });
        owner->addAction(action);
    };
    add("Email Repair", "Repair the headers of Outlook Express folder files (.dbx)",
        QKeySequence(Qt::CTRL | Qt::Key_E), PAGE_REPAIR_MAIL_FOLDER);
    add("File Repair", "Repair the header of Outlook personal folder files (.pst)",
        QKeySequence(Qt::CTRL | Qt::Key_R), PAGE_REPAIR_PERSONAL_FOLDER);
    return menu;
}

}  // namespace lumacore::ui
