#pragma once

#include <QFlags>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <vector>

namespace lumacore::ui {

// How a control follows a page that is larger than its designed size. Without a flag it keeps its
// designed place (top-left), which suits the header and everything drawn from the top-left corner.
enum class Follow : unsigned {
    None = 0,
    Right = 1,        // moves with the right edge
    Bottom = 2,       // moves with the bottom edge
    Width = 4,        // grows with the width (keeps both side margins)
    Height = 8,       // grows with the height (keeps both margins)
    CentreX = 16,     // stays centred across
    CentreY = 32,     // stays centred down
    HalfWidth = 64,   // grows by half the extra width (two panes side by side share it)
    HalfRight = 128,  // moves by half the extra width (the right one of two such panes)
};
Q_DECLARE_FLAGS(FollowFlags, Follow)
Q_DECLARE_OPERATORS_FOR_FLAGS(FollowFlags)

// The controls of a page, each with its place in the designed size and how it follows a larger one.
// The pages are drawn for one size (the window's designed 785 x 465) and grow from there: giving every
// control a rule keeps the pixel-exact design at that size and needs no layout rework of each page.
class AnchorSet {
  public:
    explicit AnchorSet(QSize designedSize) : designed_(designedSize) {}

    // `widget`'s current geometry is its designed place.
    void Add(QWidget* widget, FollowFlags follow);
    // A rectangle of the designed size placed for `size` by the same rule.
    QRect Place(const QRect& designed, FollowFlags follow, QSize size) const;
    // Moves every control for a page of `size`; a smaller size counts as the designed one.
    void Apply(QSize size) const;
    // How much larger than designed the page is (never negative).
    QSize Extra(QSize size) const;

  private:
    struct Entry {
        QPointer<QWidget> widget;
        QRect designed;
        FollowFlags follow;
    };
    QSize designed_;
    std::vector<Entry> entries_;
};

}  // namespace lumacore::ui
