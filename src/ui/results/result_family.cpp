#include "ui/results/result_family.h"

namespace lumacore::ui {

PreviewSource ResultFamily::Preview(FileId file) {
    PreviewSource source;
    source.name = fileName(file);
    source.size = fileSize(file);
    source.read = [this, file](std::uint64_t maxBytes) { return Read(file, maxBytes); };
    return source;
}

bool ResultFamily::AnyFileChecked() const {
    for (FileId file = 0; file < fileCount(); ++file) {
        if (fileChecked(file)) return true;
    }
    return false;
}

}  // namespace lumacore::ui
