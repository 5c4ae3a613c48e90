#pragma once

#include "preview/preview_source.h"

class QWidget;

namespace lumacore::ui {

// Shows a found file before recovery the way its page's family does: pictures in the image window,
// documents handed to the desktop's application, text kinds as text, the rest as a hexadecimal dump.
// Runs on the user-interface thread; a read that fails ends the preview without a message.
void PreviewFoundFile(QWidget* parent, PreviewFamily family, const PreviewSource& source);

}  // namespace lumacore::ui
