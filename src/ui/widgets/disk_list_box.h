#pragma once

#include <QComboBox>
#include <vector>

#include "core/disk_info.h"

namespace lumacore::ui {

// The partition page's disk list: a drop-down whose items are drawn by the page, 34 pixels high, with a
// removable or fixed disk icon and, on two lines, the disk's model and its bus and size. An item's text
// (and tip) is the one-line DiskListItemText; its data is the disk's index in the list given to SetDisks.
class CDiskListBox : public QComboBox {
    Q_OBJECT
  public:
    static constexpr int kItemHeight = 34;

    explicit CDiskListBox(QWidget* parent);

    void SetDisks(const std::vector<DiskInfo>& disks);
    // What an item shows on its two lines.
    QString modelLine(int index) const;
    QString detailLine(int index) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace lumacore::ui
