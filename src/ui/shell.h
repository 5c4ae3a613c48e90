#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

// What the windows ask of the desktop: message boxes, the help document and the about box. Tests swap
// the message boxes for an observer so that a run never stops on a modal box.
namespace lumacore::ui {

// The caption of the program's message boxes and the name its settings are kept under.
inline constexpr const char* kApplicationName = "Vexa";
inline constexpr const char* kProductTitle = "Lumacore Data Recovery";
// Where About leads.
inline constexpr const char* kProjectPage = "https://lumacore.example.org/";

// A warning box with the application name as caption, or the observer's call when one is set.
void ShowMessage(QWidget* parent, const QString& text);

enum class MessageIcon { None, Information, Warning, Critical };
// A box with its own caption (possibly empty) and icon, or the observer's call when one is set.
void ShowMessage(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon);

using MessageObserver = std::function<void(const QString& caption, const QString& text)>;
// Replaces every message box with a call of `observer`; an empty function brings the boxes back.
void SetMessageObserver(MessageObserver observer);
// Whether an observer takes the boxes (dialogs of their own then report to it instead of showing).
bool MessagesObserved();

// A message box with its own caption and icon; goes to the observer as well when one is set.
void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text);

// A question: returns the button pressed. A question observer, when set, answers instead of the user;
// with only a message observer set, the question is reported there and answered with the safe choice
// (Cancel, or No), so that an unattended run never does anything dangerous.
QMessageBox::StandardButton Ask(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                const QString& text, QMessageBox::StandardButtons buttons);
using QuestionObserver =
    std::function<QMessageBox::StandardButton(const QString& caption, const QString& text)>;
void SetQuestionObserver(QuestionObserver observer);
// Whether Ask goes to an observer rather than a box (dialogs that ask on their own go through Ask then).
bool QuestionsObserved();

// Restarts the computer through the system's own service manager (systemd); false when it refused or
// is not there. Tests put a handler of their own in place; an empty function brings the real one back.
bool RequestSystemRestart();
void SetRestartHandler(std::function<bool()> handler);

// The user guide that ships beside the program (help/lumacore-user-guide.html), or in the installed data
// folder; empty when neither is there.
QString HelpDocumentPath();

// Opens the user guide in the program's help window, at the element with id `section` (the top when
// empty); says so when the guide is missing.
void OpenHelpDocument(QWidget* parent, const QString& section = QString());

// The about box: version, what the program does, and the project page.
void ShowAboutBox(QWidget* parent);
std::unique_ptr<QMessageBox> MakeAboutBox(QWidget* parent);
QString AboutText();

}  // namespace lumacore::ui
