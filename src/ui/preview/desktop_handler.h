#pragma once

#include <QString>
#include <functional>

namespace lumacore::ui {

// What the preview asks of the desktop for documents: whether some application opens files named like
// this, and to open a file with it. Tests put their own in place so that nothing is launched.
struct DesktopHandler {
    std::function<bool(const QString& fileName)> hasApplication;
    std::function<bool(const QString& path)> open;
};

// The desktop's own: the MIME type from the file name (QMimeDatabase), its default application from
// `xdg-mime query default` or, without xdg-utils, the desktop's mimeapps.list and mimeinfo.cache files,
// and that application's desktop entry found in the applications folders; opening goes through
// QDesktopServices.
DesktopHandler SystemDesktopHandler();

// The handler previews use: the one set last, or the system's. An empty handler brings the system's back.
const DesktopHandler& CurrentDesktopHandler();
void SetDesktopHandler(DesktopHandler handler);

}  // namespace lumacore::ui
