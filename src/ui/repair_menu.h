#pragma once

#include <functional>

class QMenu;
class QWidget;

namespace lumacore::ui {

// The entry into the mail-repair mode, which is not one of the home page's four recovery modes: the
// header's "Repair" button opens this menu, and its shortcuts work wherever the window has the focus.
//   "Email Repair" (Ctrl+E): Outlook Express folder files (.dbx)
//   "File Repair"  (Ctrl+R): Outlook personal folder files (.pst)
// `open` gets the selection page's kind. The actions are added to `owner` too, for the shortcuts.
QMenu* MakeRepairMenu(QWidget* owner, const std::function<void(int pageKind)>& open);

}  // namespace lumacore::ui
