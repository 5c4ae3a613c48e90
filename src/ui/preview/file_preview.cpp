#include "ui/preview/file_preview.h"

#include <QDialog>
#include <QLabel>
#include <QVBoxLayout>

#include "preview/image_type.h"
#include "ui/preview/image_decoder.h"

namespace lumacore::ui {

// First version: pictures only; the text, dump and desktop-application steps come with the preview work.
void PreviewFoundFile(QWidget* parent, PreviewFamily /*family*/, const PreviewSource& source) {
    const int type = ImageTypeFromName(source.name);
    if (type == 0 || !source.read) return;
    auto data = source.read(source.size);
    if (!data) return;
    const QImage image = DecodeImage(*data, type);
    if (image.isNull()) return;
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("View Image File..."));
    auto* label = new QLabel(&dialog);
    label->setPixmap(QPixmap::fromImage(image));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    dialog.exec();
}

}  // namespace lumacore::ui
