#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QRect>
#include <QString>

class QApplication;
class QPainter;
class QWidget;

// The program's look: colours, fonts, the window art and the art of every button state. Everything is
// painted (QPainter or the SVG pictures in res/skin) once per size and pixel ratio and kept in the pixmap
// cache, so the window stays sharp at any scale factor and repaints cost one blit.
namespace lumacore::ui::skin {

// The fixed window and its parts, in window coordinates.
inline constexpr int kWindowWidth = 785;
inline constexpr int kWindowHeight = 465;
inline constexpr int kTitleStripHeight = 30;  // the strip with the title and the caption buttons
inline constexpr int kHeaderHeight = 100;     // title strip plus the band with the page heading
inline constexpr int kFooterHeight = 30;

namespace colour {
inline const QColor kHeaderTop{0x0a, 0x1c, 0x36};
inline const QColor kHeaderBottom{0x15, 0x3d, 0x6f};
inline const QColor kAccent{0x1f, 0x7a, 0xf2};
inline const QColor kAccentDark{0x14, 0x5c, 0xc4};
inline const QColor kAccentLight{0x4d, 0x9d, 0xff};
inline const QColor kContent{0xf2, 0xf5, 0xf9};
inline const QColor kCard{0xff, 0xff, 0xff};
inline const QColor kCardBorder{0xd3, 0xdc, 0xe8};
inline const QColor kText{0x1b, 0x2a, 0x3f};
inline const QColor kTextMuted{0x5d, 0x6d, 0x83};
inline const QColor kTextDisabled{0x9d, 0xaa, 0xba};
}  // namespace colour

// Fonts of the skin: the application's family at a pixel size, so that text keeps its place in the
// fixed layout whatever the desktop's point-size settings are.
QFont Font(int pixelSize, QFont::Weight weight = QFont::Normal);

// Fusion style, the palette and the style sheet for the standard controls (tree, combo boxes, edits,
// dialogs), so that they sit well on the skin.
void ApplyApplicationLook(QApplication& application);

// Paints the part of the window art (background and header) that lies under `widget`, whose position in
// the window is given by `originInWindow`.
void PaintWindowArt(QPainter& painter, const QWidget& widget, QPoint originInWindow);

// The page heading in the header band, in the coordinates of a widget placed below the title strip.
void PaintHeading(QPainter& painter, const QString& title, const QString& subtitle);

// A white card with a soft shadow, used behind the tree, the information panel and the mode tiles.
void PaintCard(QPainter& painter, const QRectF& rect, qreal radius = 8);

// An SVG picture from res/skin (":/skin/<name>.svg") at a logical size.
QPixmap Picture(const QString& name, QSize logicalSize, qreal devicePixelRatio);
QIcon PictureIcon(const QString& name);

// The four states every skinned button is drawn in.
enum class ButtonState { Normal, Hover, Pressed, Disabled };

enum class ButtonStyle {
    Minimize,  // caption buttons in the title strip
    Close,
    Maximize,
    Header,     // Home / Help / About in the header band
    Primary,    // the step forward (Next)
    Secondary,  // every other command button
    ModeTile,   // the four recovery modes of the home page
};

struct ButtonLook {
    ButtonStyle style = ButtonStyle::Secondary;
    QString label;        // drawn text
    QString description;  // second line of a mode tile
    QString picture;      // SVG name of a mode tile's picture or a command button's glyph
};

// The face of a button in one state, drawn once and cached.
QPixmap ButtonFace(const ButtonLook& look, QSize logicalSize, ButtonState state, qreal devicePixelRatio);

}  // namespace lumacore::ui::skin
