#include "ui/widgets/anchor_set.h"

#include <algorithm>

namespace lumacore::ui {

void AnchorSet::Add(QWidget* widget, FollowFlags follow) {
    if (!widget) return;
    for (Entry& entry : entries_) {
        if (entry.widget == widget) {
            entry.follow = follow;
            return;
        }
    }
    entries_.push_back({widget, widget->geometry(), follow});
}

QSize AnchorSet::Extra(QSize size) const {
    return QSize(std::max(0, size.width() - designed_.width()),
                 std::max(0, size.height() - designed_.height()));
}

QRect AnchorSet::Place(const QRect& designed, FollowFlags follow, QSize size) const {
    const QSize extra = Extra(size);
    QRect placed = designed;
    if (follow.testFlag(Follow::HalfRight)) placed.moveLeft(designed.left() + extra.width() / 2);
    if (follow.testFlag(Follow::HalfWidth))
        placed.setWidth(designed.width() + extra.width() - extra.width() / 2);
    if (follow.testFlag(Follow::Width)) {
        placed.setWidth(designed.width() + extra.width());
    } else if (follow.testFlag(Follow::Right)) {
        placed.moveLeft(designed.left() + extra.width());
    } else if (follow.testFlag(Follow::CentreX)) {
        placed.moveLeft(designed.left() + extra.width() / 2);
    }
    if (follow.testFlag(Follow::Height)) {
        placed.setHeight(designed.height() + extra.height());
    } else if (follow.testFlag(Follow::Bottom)) {
        placed.moveTop(designed.top() + extra.height());
    } else if (follow.testFlag(Follow::CentreY)) {
        placed.moveTop(designed.top() + extra.height() / 2);
    }
    return placed;
}

void AnchorSet::Apply(QSize size) const {
    for (const Entry& entry : entries_) {
        if (entry.widget) entry.widget->setGeometry(Place(entry.designed, entry.follow, size));
    }
}

}  // namespace lumacore::ui
