#pragma once
#include <QObject>
#include <QWidget>
#include <memory>

#include "app/forms/window_placement.h"
#include "core/picture.h"
#include "effects/layer.h"

class PictureViewWidget;
class QToolButton;

// The tiling preview's window: a choice of what to tile (the texture or its
// normal map) above the picture view; its close button asks the program to
// close the preview.
class TilingWindow : public QWidget {
  Q_OBJECT
public:
  TilingWindow();
  PictureViewWidget* View;
  QToolButton* TextureButton;
  QToolButton* NormalMapButton;
  WindowPlacement Where;

signals:
  void CloseRequested();
  void ViewChosen(int view);

protected:
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
};

// Shows a texture 3 x 3 so seams can be judged, or its normal map, so that
// the normals' seams can be too. Its window exists only while the preview is
// open; the tiled picture is built by the program's worker and handed in, so
// building never holds up the windows.
class TilingPreview : public QObject {
  Q_OBJECT
public:
  enum : int32_t { ViewTexture = 0, ViewNormalMap = 1 };
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
  // Shows the tiled picture made of texture in view; null tiled clears the preview.
  void Show(std::shared_ptr<const mvPictureLayer> texture, std::unique_ptr<mvPicture> tiled,
            int32_t view = ViewTexture);
  void Clear() { Show(nullptr, nullptr); }
  // What is to be tiled (kept while the window is closed) and what the
  // picture shown is of.
  void SetView(int32_t view);
  int32_t View() const { return view_; }
  int32_t ShownView() const { return shownView_; }
  // The texture whose tiles are shown.
  const mvPictureLayer* Texture() const { return texture_.get(); }
  const mvPicture* TiledPicture() const { return tiled_.get(); }
  TilingWindow* Window() const { return window_; }
  ::Placement RecordPlacement();

  ::Placement Placement;

signals:
  void CloseRequested();
  void ViewChanged();

private:
  TilingWindow* window_ = nullptr;
  int32_t view_ = ViewTexture;
  int32_t shownView_ = ViewTexture;
  std::shared_ptr<const mvPictureLayer> texture_;
  std::unique_ptr<mvPicture> tiled_;
};
