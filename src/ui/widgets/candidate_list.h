#pragma once

#include <QListWidget>
#include <QStringList>

#include "core/partition_info.h"

namespace lumacore::ui {

// A candidate row's three texts: "%c:  %s", "Start Sector : %d" and "End Sector : %d".
QStringList CandidateRowTexts(const PartitionInfo& candidate);

// The partition page's candidate list: one drawn row per candidate, a 16 x 16 icon, then the three
// texts at 30, 140 and 280 pixels; the selected row in the highlight colours. Each row's data is the
// candidate's index in the page's list.
class CCandidateList : public QListWidget {
    Q_OBJECT
  public:
    static constexpr int kTextColumns[3] = {30, 140, 280};

    explicit CCandidateList(QWidget* parent);

    void AddCandidate(const PartitionInfo& candidate, int index);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace lumacore::ui
