#pragma once

#include "ui/pages/result_page_factory.h"

namespace lumacore::ui {

// Makes the FAT, NTFS, EXT and RAW result pages; the partition page and the RAW options dialog come
// from the factory it stands in front of.
class CResultPagesFactory final : public ResultPageFactory {
  public:
    CPage* Create(ResultPageKind kind, const PageContext& context, QWidget* parent) override;
    bool RunRawOptions(QWidget* parent, RecoverySettings& settings, RawTypeSelection& signatures) override;

  private:
    CDefaultResultPageFactory others_;
};

}  // namespace lumacore::ui
