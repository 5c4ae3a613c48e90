#pragma once

#include <QDialog>
#include <QImage>

namespace lumacore::ui {

// The white canvas of the image window: paints its picture stretched into its whole rectangle.
class CImageCanvas final : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kCanvasId = 80;

    explicit CImageCanvas(QWidget* parent);
    void SetImage(const QImage* image) { image_ = image; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const QImage* image_ = nullptr;
};

// "View Image File...": a white window with the picture centred in it, drawn at its own size where it
// fits and squeezed to the window in each direction where it does not (separately, so proportions may
// change), following the window as it is resized.
class CImageViewDlg final : public QDialog {
    Q_OBJECT
  public:
    CImageViewDlg(QImage image, QWidget* parent);

    const QImage& image() const { return image_; }
    CImageCanvas* canvas() const { return canvas_; }
    // The canvas's place for a client area of `client`: min(picture, client) in each direction, centred.
    static QRect CanvasRect(QSize picture, QSize client);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QImage image_;
    CImageCanvas* canvas_ = nullptr;
};

}  // namespace lumacore::ui
