#pragma once

#include <QImage>
#include <QString>
#include <optional>

#include "preview/preview_plan.h"
#include "preview/preview_source.h"

class QWidget;

namespace lumacore::ui {

// What a preview came to before anything is shown: the plan, the decoded picture for the image window,
// and for documents the temporary copy that was handed to the desktop (empty when writing or opening it
// failed: the preview then ends without a message).
struct PreparedPreview {
    PreviewPlan plan;
    QImage image;
    QString copyPath;
    bool opened = false;
};

// Reads the file through its source, tries the picture, decides with PlanPreview and, for documents,
// writes the temporary copy into the private preview folder and opens it through the current desktop
// handler. Nothing when the read fails.
std::optional<PreparedPreview> PrepareFilePreview(PreviewFamily family, const PreviewSource& source);

// Shows a found file before recovery the way its page's family does: pictures in the image window,
// documents handed to the desktop's application, text kinds as text, the rest as a hexadecimal dump.
// Runs on the user-interface thread; a read that fails ends the preview without a message.
void PreviewFoundFile(QWidget* parent, PreviewFamily family, const PreviewSource& source);

// The private folder (mode 0700, made on first use, removed at exit) that holds the temporary copies;
// empty when it cannot be made.
QString PreviewTempFolderPath();

}  // namespace lumacore::ui
