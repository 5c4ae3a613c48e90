#include "ui/skin/skin.h"

#include <QApplication>
#include <QFontDatabase>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QRadialGradient>
#include <QStyleFactory>
#include <QSvgRenderer>
#include <QWidget>
#include <cmath>

namespace lumacore::ui::skin {

namespace {

// Big enough for every face of every button at 200 % and the window art at two ratios.
constexpr int kPixmapCacheKilobytes = 96 * 1024;

QColor WithAlpha(QColor c, qreal alpha) {
    c.setAlphaF(static_cast<float>(alpha));
    return c;
}

// A pixmap of a logical size at a pixel ratio, transparent, ready for a painter in logical units.
QPixmap BlankPixmap(QSize logicalSize, qreal dpr) {
    QPixmap pixmap(static_cast<int>(std::lround(logicalSize.width() * dpr)),
                   static_cast<int>(std::lround(logicalSize.height() * dpr)));
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A soft drop shadow under a rounded rectangle: a few widening, fading outlines stand in for a blur.
void PaintShadow(QPainter& p, const QRectF& rect, qreal radius, qreal strength) {
    p.save();
    p.setPen(Qt::NoPen);
    constexpr int kSteps = 6;
    for (int i = kSteps; i >= 1; --i) {
        const qreal spread = i * 1.1;
        const qreal alpha = strength * (1.0 - static_cast<qreal>(i) / (kSteps + 1)) / 3.2;
        p.setBrush(QColor::fromRgbF(0.08f, 0.17f, 0.32f, static_cast<float>(alpha)));
        p.drawRoundedRect(rect.adjusted(-spread, -spread + 2.0, spread, spread + 2.5), radius + spread,
                          radius + spread);
    }
    p.restore();
}

// The art is drawn for the window's real width: the glows, bands and dots keep their distance from the
// right edge, so a wider window looks like the designed one with more room in the middle.
void PaintHeaderArt(QPainter& p, int width) {
    const qreal right = width - kWindowWidth;
    const QRectF header(0, 0, width, kHeaderHeight);
    QLinearGradient base(header.topLeft(), header.bottomLeft());
    base.setColorAt(0, colour::kHeaderTop);
    base.setColorAt(1, colour::kHeaderBottom);
    p.fillRect(header, base);

    p.save();
    p.setClipRect(header);
    // A wide glow on the right and a faint one on the left give the band depth without drawing the eye.
    QRadialGradient glow(QPointF(660 + right, 10), 300);
    glow.setColorAt(0, WithAlpha(colour::kAccentLight, 0.42));
    glow.setColorAt(0.55, WithAlpha(colour::kAccent, 0.12));
    glow.setColorAt(1, WithAlpha(colour::kAccent, 0.0));
    p.fillRect(header, glow);
    QRadialGradient left(QPointF(90, 120), 220);
    left.setColorAt(0, WithAlpha(QColor(0x3d, 0xd6, 0xff), 0.16));
    left.setColorAt(1, WithAlpha(QColor(0x3d, 0xd6, 0xff), 0.0));
    p.fillRect(header, left);

    // Sweeping translucent bands.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        QPainterPath band;
        const qreal x = 380 + right + i * 70.0;
        band.moveTo(x, kHeaderHeight);
        band.cubicTo(x + 60, 55, x + 150, 30, x + 330, -10);
        band.lineTo(x + 380, -10);
        band.cubicTo(x + 190, 35, x + 110, 60, x + 70, kHeaderHeight);
        band.closeSubpath();
        p.setBrush(QColor::fromRgbF(1, 1, 1, 0.035f - 0.008f * static_cast<float>(i)));
        p.drawPath(band);
    }
    // A fine dot grid that fades out towards the middle of the band.
    for (int y = 38; y < kHeaderHeight - 6; y += 9) {
        const int firstDot = 560 + static_cast<int>(right);
        for (int x = firstDot; x < width - 8; x += 9) {
            const qreal fade = std::min(1.0, (x - firstDot) / 180.0) * 0.10;
            p.setBrush(QColor::fromRgbF(1, 1, 1, static_cast<float>(fade)));
            p.drawEllipse(QPointF(x, y), 0.9, 0.9);
        }
    }
    p.restore();

    // The title strip is a shade darker and ends in a hairline.
    p.fillRect(QRectF(0, 0, width, kTitleStripHeight), QColor::fromRgbF(0, 0, 0, 0.16f));
    p.fillRect(QRectF(0, kTitleStripHeight, width, 1), QColor::fromRgbF(1, 1, 1, 0.07f));

    // An accent edge under the header, brightest in the middle.
    QLinearGradient edge(0, 0, width, 0);
    edge.setColorAt(0, WithAlpha(colour::kAccent, 0.35));
    edge.setColorAt(0.5, QColor(0x4d, 0xb8, 0xff));
    edge.setColorAt(1, WithAlpha(colour::kAccent, 0.35));
    p.fillRect(QRectF(0, kHeaderHeight - 2, width, 2), edge);
}

void PaintBackgroundArt(QPainter& p, QSize size) {
    const QRectF all(QPointF(0, 0), QSizeF(size));
    QLinearGradient base(QPointF(0, kHeaderHeight), QPointF(0, size.height()));
    base.setColorAt(0, QColor(0xf6, 0xf8, 0xfb));
    base.setColorAt(1, QColor(0xe7, 0xec, 0xf3));
    p.fillRect(all, base);
}

QPixmap WindowArt(QSize size, qreal dpr) {
    const QString key = QStringLiteral("art|%1x%2|%3").arg(size.width()).arg(size.height()).arg(dpr);
    QPixmap art;
    if (QPixmapCache::find(key, &art)) return art;
    art = BlankPixmap(size, dpr);
    {
        QPainter p(&art);
        p.setRenderHint(QPainter::Antialiasing);
        PaintBackgroundArt(p, size);
        PaintHeaderArt(p, size.width());
        // A one-pixel outline keeps the borderless window apart from whatever is behind it; it is part of
        // the art so that every page, painting its piece of the art, keeps the edge.
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QColor(0x0a, 0x1c, 0x36));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(0, 0, size.width() - 1, size.height() - 1));
    }
    QPixmapCache::insert(key, art);
    return art;
}

QString StateName(ButtonState state) {
    switch (state) {
        case ButtonState::Normal:
            return QStringLiteral("n");
        case ButtonState::Hover:
            return QStringLiteral("h");
        case ButtonState::Pressed:
            return QStringLiteral("p");
        case ButtonState::Disabled:
            return QStringLiteral("d");
    }
    return {};
}

void PaintCaptionButton(QPainter& p, const QRectF& r, ButtonStyle style, ButtonState state) {
    const bool close = style == ButtonStyle::Close;
    if (state == ButtonState::Hover || state == ButtonState::Pressed) {
        QColor fill = close ? QColor(0xe5, 0x48, 0x4d) : QColor::fromRgbF(1, 1, 1, 0.16f);
        if (state == ButtonState::Pressed)
            fill = close ? QColor(0xc0, 0x2b, 0x31) : QColor::fromRgbF(1, 1, 1, 0.28f);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    }
    const qreal alpha = state == ButtonState::Disabled ? 0.3 : (state == ButtonState::Normal ? 0.78 : 1.0);
    QPen pen(QColor::fromRgbF(1, 1, 1, static_cast<float>(alpha)), 1.4);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    const QPointF c = r.center();
    if (close) {
        p.drawLine(QPointF(c.x() - 4, c.y() - 4), QPointF(c.x() + 4, c.y() + 4));
        p.drawLine(QPointF(c.x() + 4, c.y() - 4), QPointF(c.x() - 4, c.y() + 4));
    } else if (style == ButtonStyle::Maximize) {
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(c.x() - 4, c.y() - 3.5, 8, 7));
    } else {
        p.drawLine(QPointF(c.x() - 4.5, c.y() + 3), QPointF(c.x() + 4.5, c.y() + 3));
    }
}

// Small line glyphs for the header buttons.
void PaintGlyph(QPainter& p, const QString& name, const QRectF& box, const QColor& colour) {
    QPen pen(colour, 1.5);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.save();
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const qreal x = box.x(), y = box.y(), w = box.width();
    if (name == QLatin1String("home")) {
        QPainterPath roof;
        roof.moveTo(x + 0.5, y + w * 0.48);
        roof.lineTo(x + w / 2, y + 1);
        roof.lineTo(x + w - 0.5, y + w * 0.48);
        p.drawPath(roof);
        p.drawPolyline(QPolygonF({QPointF(x + w * 0.18, y + w * 0.36), QPointF(x + w * 0.18, y + w - 0.5),
                                  QPointF(x + w * 0.82, y + w - 0.5), QPointF(x + w * 0.82, y + w * 0.36)}));
        p.drawLine(QPointF(x + w * 0.5, y + w - 0.5), QPointF(x + w * 0.5, y + w * 0.68));
    } else if (name == QLatin1String("help")) {
        p.drawEllipse(box.adjusted(0.5, 0.5, -0.5, -0.5));
        QPainterPath hook;
        hook.moveTo(x + w * 0.36, y + w * 0.38);
        hook.cubicTo(x + w * 0.36, y + w * 0.16, x + w * 0.66, y + w * 0.16, x + w * 0.64, y + w * 0.38);
        hook.cubicTo(x + w * 0.62, y + w * 0.52, x + w * 0.5, y + w * 0.5, x + w * 0.5, y + w * 0.64);
        p.drawPath(hook);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QPointF(x + w * 0.5, y + w * 0.8), 0.95, 0.95);
    } else if (name == QLatin1String("about")) {
        p.drawEllipse(box.adjusted(0.5, 0.5, -0.5, -0.5));
        p.drawLine(QPointF(x + w * 0.5, y + w * 0.46), QPointF(x + w * 0.5, y + w * 0.76));
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QPointF(x + w * 0.5, y + w * 0.28), 0.95, 0.95);
    } else if (name == QLatin1String("back")) {
        p.drawPolyline(QPolygonF({QPointF(x + w * 0.6, y + w * 0.2), QPointF(x + w * 0.3, y + w * 0.5),
                                  QPointF(x + w * 0.6, y + w * 0.8)}));
    } else if (name == QLatin1String("next")) {
        p.drawPolyline(QPolygonF({QPointF(x + w * 0.4, y + w * 0.2), QPointF(x + w * 0.7, y + w * 0.5),
                                  QPointF(x + w * 0.4, y + w * 0.8)}));
    } else if (name == QLatin1String("add")) {
        p.drawLine(QPointF(x + w * 0.5, y + w * 0.18), QPointF(x + w * 0.5, y + w * 0.82));
        p.drawLine(QPointF(x + w * 0.18, y + w * 0.5), QPointF(x + w * 0.82, y + w * 0.5));
    } else if (name == QLatin1String("repair")) {
        // A wrench: a handle and an open jaw.
        p.drawLine(QPointF(x + w * 0.18, y + w * 0.82), QPointF(x + w * 0.58, y + w * 0.42));
        QPainterPath jaw;
        jaw.moveTo(x + w * 0.56, y + w * 0.26);
        jaw.arcTo(QRectF(x + w * 0.46, y + w * 0.06, w * 0.48, w * 0.48), 160, 250);
        p.drawPath(jaw);
    } else if (name == QLatin1String("undo")) {
        // An arrow bending back to the left.
        QPainterPath arc;
        arc.moveTo(x + w * 0.22, y + w * 0.42);
        arc.cubicTo(x + w * 0.5, y + w * 0.14, x + w * 0.95, y + w * 0.32, x + w * 0.82, y + w * 0.72);
        p.drawPath(arc);
        p.drawPolyline(QPolygonF({QPointF(x + w * 0.2, y + w * 0.14), QPointF(x + w * 0.22, y + w * 0.42),
                                  QPointF(x + w * 0.5, y + w * 0.44)}));
    } else if (name == QLatin1String("option")) {
        // Three slider lines with knobs: "settings".
        for (int i = 0; i < 3; ++i) {
            const qreal ly = y + w * (0.22 + 0.28 * i);
            p.drawLine(QPointF(x + 0.5, ly), QPointF(x + w - 0.5, ly));
            const qreal kx = x + w * (i == 1 ? 0.66 : 0.32);
            p.save();
            p.setBrush(colour);
            p.drawEllipse(QPointF(kx, ly), 1.6, 1.6);
            p.restore();
        }
    }
    p.restore();
}

// Text plus an optional glyph, centred in `r`.
void PaintLabel(QPainter& p, const QRectF& r, const QString& text, const QString& glyph, const QFont& font,
                const QColor& colour, bool glyphAfter = false) {
    p.setFont(font);
    const qreal textWidth = QFontMetricsF(font).horizontalAdvance(text);
    constexpr qreal kGlyph = 12, kGap = 6;
    const qreal total = textWidth + (glyph.isEmpty() ? 0 : kGlyph + kGap);
    qreal x = r.center().x() - total / 2;
    const QRectF glyphBox(0, r.center().y() - kGlyph / 2, kGlyph, kGlyph);
    if (!glyph.isEmpty() && !glyphAfter) {
        PaintGlyph(p, glyph, glyphBox.translated(x, 0), colour);
        x += kGlyph + kGap;
    }
    p.setPen(colour);
    p.drawText(QRectF(x, r.y(), textWidth + 2, r.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
    if (!glyph.isEmpty() && glyphAfter)
        PaintGlyph(p, glyph, glyphBox.translated(x + textWidth + kGap, 0), colour);
}

void PaintHeaderButton(QPainter& p, const QRectF& r, const ButtonLook& look, ButtonState state) {
    const QRectF pill = r.adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = pill.height() / 2;
    qreal fill = 0.0, border = 0.2, text = 0.86;
    switch (state) {
        case ButtonState::Normal:
            break;
        case ButtonState::Hover:
            fill = 0.14, border = 0.38, text = 1.0;
            break;
        case ButtonState::Pressed:
            fill = 0.26, border = 0.42, text = 1.0;
            break;
        case ButtonState::Disabled:
            border = 0.1, text = 0.35;
            break;
    }
    p.setPen(QPen(QColor::fromRgbF(1, 1, 1, static_cast<float>(border)), 1));
    p.setBrush(QColor::fromRgbF(1, 1, 1, static_cast<float>(fill)));
    p.drawRoundedRect(pill, radius, radius);
    const QRectF inner = state == ButtonState::Pressed ? r.translated(0, 0.6) : r;
    PaintLabel(p, inner, look.label, look.picture, Font(12, QFont::DemiBold),
               QColor::fromRgbF(1, 1, 1, static_cast<float>(text)));
}

void PaintCommandButton(QPainter& p, const QRectF& r, const ButtonLook& look, ButtonState state) {
    const bool primary = look.style == ButtonStyle::Primary;
    const QRectF body = r.adjusted(1.5, 1, -1.5, -2.5);
    constexpr qreal kRadius = 6;
    if (state != ButtonState::Disabled) PaintShadow(p, body, kRadius, primary ? 0.55 : 0.3);

    QLinearGradient fill(body.topLeft(), body.bottomLeft());
    QColor border, text;
    if (primary) {
        switch (state) {
            case ButtonState::Normal:
                fill.setColorAt(0, QColor(0x3b, 0x92, 0xff));
                fill.setColorAt(1, QColor(0x1a, 0x6b, 0xe0));
                border = QColor(0x15, 0x5a, 0xc2);
                break;
            case ButtonState::Hover:
                fill.setColorAt(0, QColor(0x58, 0xa5, 0xff));
                fill.setColorAt(1, QColor(0x25, 0x7b, 0xf0));
                border = QColor(0x1a, 0x66, 0xd6);
                break;
            case ButtonState::Pressed:
                fill.setColorAt(0, QColor(0x16, 0x5e, 0xc8));
                fill.setColorAt(1, QColor(0x12, 0x52, 0xb0));
                border = QColor(0x0f, 0x47, 0x99);
                break;
            case ButtonState::Disabled:
                fill.setColorAt(0, QColor(0xc9, 0xd3, 0xdf));
                fill.setColorAt(1, QColor(0xbd, 0xc8, 0xd6));
                border = QColor(0xb3, 0xbf, 0xce);
                break;
        }
        text = state == ButtonState::Disabled ? QColor(0xf4, 0xf6, 0xf9) : QColor(Qt::white);
    } else {
        switch (state) {
            case ButtonState::Normal:
                fill.setColorAt(0, QColor(0xff, 0xff, 0xff));
                fill.setColorAt(1, QColor(0xf0, 0xf3, 0xf8));
                border = QColor(0xbf, 0xcb, 0xda);
                text = colour::kText;
                break;
            case ButtonState::Hover:
                fill.setColorAt(0, QColor(0xfa, 0xfc, 0xff));
                fill.setColorAt(1, QColor(0xe8, 0xf1, 0xfe));
                border = colour::kAccent;
                text = colour::kAccentDark;
                break;
            case ButtonState::Pressed:
                fill.setColorAt(0, QColor(0xd9, 0xe7, 0xfb));
                fill.setColorAt(1, QColor(0xe6, 0xef, 0xfc));
                border = colour::kAccentDark;
                text = colour::kAccentDark;
                break;
            case ButtonState::Disabled:
                fill.setColorAt(0, QColor(0xf3, 0xf5, 0xf8));
                fill.setColorAt(1, QColor(0xf3, 0xf5, 0xf8));
                border = QColor(0xdb, 0xe1, 0xe9);
                text = colour::kTextDisabled;
                break;
        }
    }
    p.setPen(QPen(border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(body, kRadius, kRadius);
    if (state != ButtonState::Pressed && state != ButtonState::Disabled) {
        // The bevel highlight along the top edge.
        p.setPen(QPen(QColor::fromRgbF(1, 1, 1, primary ? 0.35f : 0.9f), 1));
        p.drawLine(QPointF(body.left() + kRadius, body.top() + 1),
                   QPointF(body.right() - kRadius, body.top() + 1));
    }
    const QRectF label = state == ButtonState::Pressed ? body.translated(0, 1) : body;
    PaintLabel(p, label, look.label, look.picture, Font(13, primary ? QFont::Bold : QFont::DemiBold), text,
               look.picture == QLatin1String("next"));
}

void PaintModeTile(QPainter& p, const QRectF& r, const ButtonLook& look, ButtonState state, qreal dpr) {
    const QRectF card = r.adjusted(7, 6, -7, -9);
    constexpr qreal kRadius = 12;
    const bool lit = state == ButtonState::Hover || state == ButtonState::Pressed;
    const QRectF body = state == ButtonState::Hover ? card.translated(0, -2) : card;
    PaintShadow(p, body, kRadius,
                state == ButtonState::Hover ? 0.95 : (state == ButtonState::Disabled ? 0.2 : 0.55));

    QLinearGradient fill(body.topLeft(), body.bottomLeft());
    switch (state) {
        case ButtonState::Normal:
            fill.setColorAt(0, Qt::white);
            fill.setColorAt(1, QColor(0xf7, 0xf9, 0xfc));
            break;
        case ButtonState::Hover:
            fill.setColorAt(0, Qt::white);
            fill.setColorAt(1, QColor(0xee, 0xf5, 0xff));
            break;
        case ButtonState::Pressed:
            fill.setColorAt(0, QColor(0xe6, 0xf0, 0xfe));
            fill.setColorAt(1, QColor(0xdd, 0xea, 0xfc));
            break;
        case ButtonState::Disabled:
            fill.setColorAt(0, QColor(0xf4, 0xf6, 0xf9));
            fill.setColorAt(1, QColor(0xf0, 0xf2, 0xf6));
            break;
    }
    p.setPen(QPen(lit ? colour::kAccent : colour::kCardBorder, lit ? 1.6 : 1.0));
    p.setBrush(fill);
    p.drawRoundedRect(body, kRadius, kRadius);

    // A soft halo behind the picture.
    const QPointF pictureCentre(body.center().x(), body.top() + 66);
    QRadialGradient halo(pictureCentre, 58);
    halo.setColorAt(0, WithAlpha(colour::kAccentLight, lit ? 0.22 : 0.12));
    halo.setColorAt(1, WithAlpha(colour::kAccentLight, 0.0));
    p.setPen(Qt::NoPen);
    p.setBrush(halo);
    p.drawEllipse(pictureCentre, 58, 58);

    const qreal shift = state == ButtonState::Pressed ? 1 : 0;
    if (!look.picture.isEmpty()) {
        constexpr int kPicture = 96;
        const QPixmap picture = Picture(look.picture, QSize(kPicture, kPicture), dpr);
        p.save();
        if (state == ButtonState::Disabled) p.setOpacity(0.35);
        p.drawPixmap(QPointF(pictureCentre.x() - kPicture / 2.0, pictureCentre.y() - kPicture / 2.0 + shift),
                     picture);
        p.restore();
    }

    const QColor title = state == ButtonState::Disabled ? colour::kTextDisabled : colour::kText;
    const QColor muted = state == ButtonState::Disabled ? colour::kTextDisabled : colour::kTextMuted;
    p.setFont(Font(15, QFont::Bold));
    p.setPen(title);
    p.drawText(QRectF(body.left() + 8, body.top() + 124 + shift, body.width() - 16, 22),
               Qt::AlignHCenter | Qt::AlignVCenter, look.label);
    p.setFont(Font(11));
    p.setPen(muted);
    p.drawText(QRectF(body.left() + 14, body.top() + 148 + shift, body.width() - 28, 34),
               Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, look.description);

    // The call to action at the foot of the card.
    const QRectF action(body.center().x() - 44, body.bottom() - 34 + shift, 88, 24);
    if (state == ButtonState::Disabled) return;
    if (lit) {
        QLinearGradient pill(action.topLeft(), action.bottomLeft());
        pill.setColorAt(0, state == ButtonState::Pressed ? colour::kAccentDark : QColor(0x3b, 0x92, 0xff));
        pill.setColorAt(1,
                        state == ButtonState::Pressed ? QColor(0x12, 0x52, 0xb0) : QColor(0x1a, 0x6b, 0xe0));
        p.setPen(Qt::NoPen);
        p.setBrush(pill);
        p.drawRoundedRect(action, 12, 12);
        PaintLabel(p, action, QStringLiteral("Start"), QStringLiteral("next"), Font(12, QFont::Bold),
                   Qt::white, true);
    } else {
        p.setPen(QPen(WithAlpha(colour::kAccent, 0.45), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(action.adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
        PaintLabel(p, action, QStringLiteral("Start"), QStringLiteral("next"), Font(12, QFont::Bold),
                   colour::kAccent, true);
    }
}

}  // namespace

QFont Font(int pixelSize, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

void ApplyApplicationLook(QApplication& application) {
    QPixmapCache::setCacheLimit(kPixmapCacheKilobytes);
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) application.setStyle(fusion);

    QFont font = application.font();
    if (QFontDatabase::families().contains(QStringLiteral("DejaVu Sans")))
        font.setFamily(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    application.setFont(font);

    QPalette palette = application.palette();
    palette.setColor(QPalette::Window, colour::kContent);
    palette.setColor(QPalette::WindowText, colour::kText);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, QColor(0xf5, 0xf8, 0xfc));
    palette.setColor(QPalette::Text, colour::kText);
    palette.setColor(QPalette::Button, QColor(0xf7, 0xf9, 0xfc));
    palette.setColor(QPalette::ButtonText, colour::kText);
    palette.setColor(QPalette::Highlight, colour::kAccent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, Qt::white);
    palette.setColor(QPalette::ToolTipText, colour::kText);
    palette.setColor(QPalette::Disabled, QPalette::Text, colour::kTextDisabled);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, colour::kTextDisabled);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, colour::kTextDisabled);
    application.setPalette(palette);

    application.setStyleSheet(QStringLiteral(R"(
QTreeView { background: transparent; border: none; outline: none; color: #1b2a3f; show-decoration-selected: 1; }
QTreeView::item { height: 24px; padding-left: 2px; border-radius: 4px; }
QTreeView::item:hover { background: #eaf2fe; }
QTreeView::item:selected { background: #1f7af2; color: white; }
QTreeView::item:selected:!active { background: #cfe1fb; color: #1b2a3f; }
QTreeView::indicator, QListView::indicator { width: 13px; height: 13px; border: 1px solid #8d9bb0;
    border-radius: 3px; background: white; }
QTreeView::indicator:checked, QListView::indicator:checked { background: #1f7af2; border-color: #145cc4;
    image: url(:/skin/check.svg); }
QTreeView::indicator:hover, QListView::indicator:hover { border-color: #1f7af2; }
QDialog { background: #f4f7fb; }
QComboBox, QLineEdit, QDateEdit {
    background: white; border: 1px solid #c3cedc; border-radius: 4px; padding: 3px 6px; min-height: 18px;
    selection-background-color: #1f7af2;
}
QComboBox:hover, QLineEdit:hover, QDateEdit:hover { border-color: #7fb1f5; }
QComboBox:focus, QLineEdit:focus, QDateEdit:focus { border-color: #1f7af2; }
QComboBox::drop-down, QDateEdit::drop-down { border: none; width: 20px; }
QComboBox::down-arrow, QDateEdit::down-arrow { image: url(:/skin/chevron-down.svg); width: 10px; height: 10px; }
QScrollBar:vertical { background: transparent; width: 10px; margin: 2px 0 2px 0; }
QScrollBar::handle:vertical { background: #c5d0de; border-radius: 4px; min-height: 28px; margin: 0 2px; }
QScrollBar::handle:vertical:hover { background: #9fb1c8; }
QScrollBar:horizontal { background: transparent; height: 10px; margin: 0 2px 0 2px; }
QScrollBar::handle:horizontal { background: #c5d0de; border-radius: 4px; min-width: 28px; margin: 2px 0; }
QScrollBar::handle:horizontal:hover { background: #9fb1c8; }
QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }
QScrollBar::add-page, QScrollBar::sub-page { background: none; }
QComboBox QAbstractItemView { border: 1px solid #c3cedc; selection-background-color: #1f7af2; }
QDialog QPushButton {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #eef2f8);
    border: 1px solid #bfcbda; border-radius: 5px; padding: 5px 16px; min-width: 64px; color: #1b2a3f;
}
QDialog QPushButton:hover { border-color: #1f7af2; color: #145cc4; }
QDialog QPushButton:pressed { background: #dbe8fb; }
QDialog QPushButton:default {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3b92ff, stop:1 #1a6be0);
    border-color: #155ac2; color: white; font-weight: bold;
}
QDialog QPushButton:default:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #58a5ff, stop:1 #257bf0); }
QProgressBar {
    border: 1px solid #c3cedc; border-radius: 5px; background: #e9eef5; height: 14px; text-align: center;
    color: transparent;
}
QProgressBar::chunk {
    border-radius: 4px; background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #4aa2ff, stop:1 #1a6be0);
}
QMessageBox QLabel { color: #1b2a3f; }
)"));
}

void PaintWindowArt(QPainter& painter, const QWidget& widget, QPoint originInWindow) {
    const qreal dpr = widget.devicePixelRatioF();
    // The art of the window the widget is in, at that window's size (at least the designed one).
    const QSize windowSize = widget.window()->size().expandedTo(QSize(kWindowWidth, kWindowHeight));
    const QPixmap art = WindowArt(windowSize, dpr);
    const QRectF target(QPointF(0, 0), QSizeF(widget.size()));
    const QRectF source(originInWindow.x() * dpr, originInWindow.y() * dpr, widget.width() * dpr,
                        widget.height() * dpr);
    painter.drawPixmap(target, art, source);
}

void PaintHeading(QPainter& painter, const QString& title, const QString& subtitle) {
    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(Qt::white);
    painter.setFont(Font(21, QFont::Bold));
    painter.drawText(QRectF(24, 9, 440, 30), Qt::AlignLeft | Qt::AlignVCenter, title);
    painter.setPen(QColor(0xb8, 0xd4, 0xf5));
    painter.setFont(Font(12));
    painter.drawText(QRectF(25, 38, 470, 20), Qt::AlignLeft | Qt::AlignVCenter, subtitle);
    painter.restore();
}

void PaintCard(QPainter& painter, const QRectF& rect, qreal radius) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    PaintShadow(painter, rect, radius, 0.55);
    painter.setPen(QPen(colour::kCardBorder, 1));
    painter.setBrush(colour::kCard);
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.restore();
}

QPixmap Picture(const QString& name, QSize logicalSize, qreal devicePixelRatio) {
    const QString key = QStringLiteral("pic|%1|%2x%3|%4")
                            .arg(name)
                            .arg(logicalSize.width())
                            .arg(logicalSize.height())
                            .arg(devicePixelRatio);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap)) return pixmap;
    QImage image(static_cast<int>(std::lround(logicalSize.width() * devicePixelRatio)),
                 static_cast<int>(std::lround(logicalSize.height() * devicePixelRatio)),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/skin/%1.svg").arg(name));
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&p);
    }
    pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QIcon PictureIcon(const QString& name) {
    QIcon icon;
    for (const qreal ratio : {1.0, 1.5, 2.0, 3.0}) icon.addPixmap(Picture(name, QSize(16, 16), ratio));
    return icon;
}

QPixmap ButtonFace(const ButtonLook& look, QSize logicalSize, ButtonState state, qreal devicePixelRatio) {
    const QString key = QStringLiteral("btn|%1|%2|%3|%4|%5|%6x%7|%8")
                            .arg(static_cast<int>(look.style))
                            .arg(look.label, look.description, look.picture, StateName(state))
                            .arg(logicalSize.width())
                            .arg(logicalSize.height())
                            .arg(devicePixelRatio);
    QPixmap face;
    if (QPixmapCache::find(key, &face)) return face;
    face = BlankPixmap(logicalSize, devicePixelRatio);
    {
        QPainter p(&face);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF r(QPointF(0, 0), QSizeF(logicalSize));
        switch (look.style) {
            case ButtonStyle::Minimize:
            case ButtonStyle::Maximize:
            case ButtonStyle::Close:
                PaintCaptionButton(p, r, look.style, state);
                break;
            case ButtonStyle::Header:
                PaintHeaderButton(p, r, look, state);
                break;
            case ButtonStyle::Primary:
            case ButtonStyle::Secondary:
                PaintCommandButton(p, r, look, state);
                break;
            case ButtonStyle::ModeTile:
                PaintModeTile(p, r, look, state, devicePixelRatio);
                break;
        }
    }
    QPixmapCache::insert(key, face);
    return face;
}

}  // namespace lumacore::ui::skin
