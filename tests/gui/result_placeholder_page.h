#pragma once

#include "ui/pages/page.h"
#include "ui/pages/result_page_factory.h"

namespace lumacore::ui {

// A stand-in for a result page or the partition page, for the tests of the moves between pages: names
// the page that the chosen partition leads to, shows the partition and sector range handed over, and
// leads back. Not part of the program.
class CResultPlaceholderPage final : public CPage {
    Q_OBJECT
public:
    CResultPlaceholderPage(ResultPageKind kind, const PageContext& context, QWidget* parent);

    ResultPageKind kind() const { return kind_; }
    // "CResultPage_FAT, FAT32 variant" and the like.
    QString pageName() const;
    CSkinButton* backButton() const { return back_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ResultPageKind kind_;
    CSkinButton* back_ = nullptr;
};

}  // namespace lumacore::ui
