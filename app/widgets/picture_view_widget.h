#pragma once
#include <QAbstractScrollArea>

#include "app/toolkit/picture_drawer.h"
#include "app/toolkit/picture_view.h"

// The zooming picture viewer on screen: owns an PictureView, hands it the
// window's events and carries out its layout, repaints and notifications.
class PictureViewWidget : public QAbstractScrollArea, private PictureViewHost {
  Q_OBJECT
public:
  static constexpr int kControlId = 300;

  explicit PictureViewWidget(QWidget* parent = nullptr);
  ~PictureViewWidget() override;

  PictureView& View() { return view_; }
  const PictureView& View() const { return view_; }
  void SetPicture(const mvPicture* picture) { view_.SetPicture(picture); }
  void SetZoom(int percent) { view_.SetZoom(percent); }

signals:
  // 1 zoom changed, 3 right-button press, 4 mouse move, 5 mouse move over a scroll bar.
  void notification(int code);

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool viewportEvent(QEvent* event) override;

private:
  void Invalidate(const mvRect* rect) override;
  void ScrollContents(int32_t dx, int32_t dy) override;
  void Notify(int32_t code) override;
  void GetAvailableArea(int32_t& width, int32_t& height) const override;
  int32_t VerticalBarWidth() const override;
  int32_t HorizontalBarHeight() const override;
  void SetScrollBars(const ScrollInfo& vertical, const ScrollInfo& horizontal) override;

  PictureView view_;
  PictureDrawer drawer_;
  bool applying_ = false;
};
