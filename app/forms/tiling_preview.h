#pragma once
#include <QPointer>
#include <QWidget>
#include <memory>

#include "app/forms/form_logic.h"
#include "core/picture.h"

class PictureViewWidget;

// The tiling preview's window: the picture view fills it; closing it asks the
// main form to close the preview.
class TilingWindow : public QWidget {
  Q_OBJECT
public:
  TilingWindow();
  PictureViewWidget* View;

protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
};

// Shows a texture 3 x 3 so seams can be judged. One per process; its window
// exists only while the preview is open.
class ovTilingPreview {
public:
  ovTilingPreview() = default;
  ~ovTilingPreview();

  bool IsOpen() const { return window_ != nullptr; }
  // Opens the window at Placement; true when it is (or already was) open.
  bool ShowPreview();
  // Closes the window, keeping its placement.
  void Destroy();
  // Shows the texture tiled, or clears the preview for null; false when the
  // tiled picture cannot be made (the preview then shows nothing).
  bool SetTexture(const mvPicture* texture);
  void ApplyPlacement(const ::Placement& placement) { Placement = placement; }
  ::Placement RecordPlacement();

  const mvPicture* TiledPicture() const { return tiled_.get(); }
  TilingWindow* Window() const { return window_; }

  ::Placement Placement;
  int32_t TileRows = 3;
  int32_t TileColumns = 3;

private:
  void Detach();
  TilingWindow* window_ = nullptr;
  std::unique_ptr<mvPicture> tiled_;
};
