#pragma once
#include <QAbstractScrollArea>

#include "app/toolkit/list_box.h"

// The thumbnail grid on screen: owns an ListBox, hands it the window's
// events and carries out its repaints, scrolls and notifications.
class ListBoxWidget : public QAbstractScrollArea, private ListBoxHost {
  Q_OBJECT
public:
  static constexpr int kControlId = 301;

  explicit ListBoxWidget(QWidget* parent = nullptr, uint32_t style = ListBox::StyleGrid);
  ~ListBoxWidget() override;

  ListBox& List() { return list_; }
  const ListBox& List() const { return list_; }

signals:
  // 1 after a click, Space or an arrow key was handled; 3 for a right press on empty space.
  void notification(int code);

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

private:
  void Invalidate(const mvRect* rect) override;
  void ScrollContents(int32_t dx, int32_t dy) override;
  void SetScrollBars(const ScrollInfo& vertical, const ScrollInfo& horizontal) override;
  void Notify(int32_t code) override;
  void TakeFocus() override;
  bool HasFocus() const override;
  void ApplyScrollBars();

  ListBox list_;
  ScrollInfo vertical_, horizontal_;
  bool pending_ = false;
  bool applying_ = false;
};

// The toolkit's key for a Qt key, KeyOther for the rest.
int32_t ToolkitKey(int qtKey);
