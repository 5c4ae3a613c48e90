#pragma once

#include "ui/results/result_page.h"

namespace lumacore::ui {

// The result pages: one design, each with its engine family.
class CResultPage_FAT final : public CResultPage {
    Q_OBJECT
  public:
    CResultPage_FAT(const PageContext& context, QWidget* parent);
};

class CResultPage_exFAT final : public CResultPage {
    Q_OBJECT
  public:
    CResultPage_exFAT(const PageContext& context, QWidget* parent);
};

class CResultPage_NTFS final : public CResultPage {
    Q_OBJECT
  public:
    CResultPage_NTFS(const PageContext& context, QWidget* parent);
};

class CResultPage_EXT final : public CResultPage {
    Q_OBJECT
  public:
    CResultPage_EXT(const PageContext& context, QWidget* parent);
};

class CResultPage_RAW final : public CResultPage {
    Q_OBJECT
  public:
    CResultPage_RAW(const PageContext& context, QWidget* parent);
};

}  // namespace lumacore::ui
