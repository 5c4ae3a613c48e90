#pragma once

#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QPixmap>
#include <QString>
#include <string_view>

namespace lumacore::ui {

// Type names and icons of found files by their names, from the desktop's MIME database and icon theme
// (the list's "Type" column, its small icons and the icon cells of the thumbnail view). Looked up once
// per extension: a list of 100,000 files has only a handful. User-interface thread only.
class FileTypeCatalog {
  public:
    struct Entry {
        QString typeName;  // "PNG image", "Plain text document", or "XYZ File" when the desktop has none
        QIcon icon;
        QPixmap iconCell;  // the 90 x 90 thumbnail cell of a file that has no picture
    };

    const Entry& ForName(std::string_view fileName);

  private:
    QMimeDatabase mimes_;
    QHash<QString, Entry> byExtension_;
};

// A 90 x 90 thumbnail cell: white, framed in grey, with `picture` centred in it (never scaled up
// beyond the cell).
QImage ThumbnailCell(const QImage& picture);
inline constexpr int kThumbnailSize = 90;

}  // namespace lumacore::ui
