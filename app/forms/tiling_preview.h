#pragma once
#include <QObject>
#include <QWidget>
#include <memory>

#include "app/forms/window_placement.h"
#include "core/picture.h"
#include "effects/layer.h"

class PictureViewWidget;

// The tiling preview's window: the picture view fills it; its close button
// asks the program to close the preview.
class TilingWindow : public QWidget {
  Q_OBJECT
public:
  TilingWindow();
  PictureViewWidget* View;
  WindowPlacement Where;

signals:
  void CloseRequested();

protected:
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
};

// Shows a texture 3 x 3 so seams can be judged. Its window exists only while
// the preview is open; the tiled picture is built by the program's worker and
// handed in, so building never holds up the windows.
class TilingPreview : public QObject {
  Q_OBJECT
public:
  static constexpr int32_t kTiles = 3;
  // Above this side the texture is reduced for the preview (BuildTiledPicture).
  static constexpr int32_t kMaxTiledSide = 4096;

  TilingPreview() = default;
  ~TilingPreview() override;

  bool IsOpen() const { return window_ != nullptr; }
  // Opens the window at Placement; true when it is (or already was) open.
  bool Open();
  // Closes the window, keeping its placement.
  void Close();
  // Shows the tiled picture made of texture; null tiled clears the preview.
  void Show(std::shared_ptr<const mvPictureLayer> texture, std::unique_ptr<mvPicture> tiled);
  void Clear() { Show(nullptr, nullptr); }
  // The texture whose tiles are shown.
  const mvPictureLayer* Texture() const { return texture_.get(); }
  const mvPicture* TiledPicture() const { return tiled_.get(); }
  TilingWindow* Window() const { return window_; }
  ::Placement RecordPlacement();

  ::Placement Placement;

signals:
  void CloseRequested();

private:
  TilingWindow* window_ = nullptr;
  std::shared_ptr<const mvPictureLayer> texture_;
  std::unique_ptr<mvPicture> tiled_;
};
