#include "app/forms/tiling_preview.h"

#include <QCloseEvent>
#include <QPalette>
#include <new>

#include "app/forms/application.h"
#include "app/forms/icons.h"
#include "app/forms/orvelle_form.h"
#include "app/forms/strings.h"
#include "app/toolkit/device.h"
#include "app/widgets/picture_view_widget.h"

TilingWindow::TilingWindow() : QWidget(nullptr) {
  setWindowTitle(QString::fromUtf8(kTilingTitle));
  setWindowIcon(ProgramIcon());
  setObjectName(QStringLiteral("TilingWindow"));
  View = new PictureViewWidget(this);
  PictureView& view = View->View();
  view.ReductionMode = PictureDrawer::ModeAreaAverage;
  view.EnlargementMode = PictureDrawer::ModeNearest;
  view.WheelStep = 1;
  view.ZoomStep = 10;
  const QColor workspace = palette().color(QPalette::Dark);
  view.Background = MakeRGB(static_cast<uint32_t>(workspace.red()), static_cast<uint32_t>(workspace.green()),
                            static_cast<uint32_t>(workspace.blue()));
}

void TilingWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  View->setGeometry(rect());
}

void TilingWindow::closeEvent(QCloseEvent* event) {
  // The main form closes the preview, so that its Tiling button and the
  // setting follow.
  event->ignore();
  if (MainForm)
    MainForm->OnCommand(CmdTiling);
  else if (TilingPreview)
    TilingPreview->Destroy();
}

ovTilingPreview::~ovTilingPreview() { Destroy(); }

bool ovTilingPreview::ShowPreview() {
  if (window_) return true;
  TilingWindow* window = new (std::nothrow) TilingWindow;
  if (!window) return false;
  window_ = window;
  const ::Placement p = SanePlacement(Placement);
  window->move(p.Left, p.Top);
  window->resize(p.Width, p.Height);
  window->show();
  window->repaint();
  return true;
}

::Placement ovTilingPreview::RecordPlacement() {
  if (!window_) return Placement;
  const bool special = window_->isMaximized() || window_->isMinimized();
  const QRect r = special ? window_->normalGeometry() : window_->geometry();
  // The normal geometry is the client area; placements keep the frame's corner.
  const QPoint topLeft = special ? r.topLeft() - (window_->geometry().topLeft() - window_->pos()) : window_->pos();
  Placement = ::Placement{topLeft.x(), topLeft.y(), r.width(), r.height(), window_->isMaximized()};
  return Placement;
}

void ovTilingPreview::Detach() {
  if (window_) window_->View->SetPicture(nullptr);
  tiled_.reset();
}

void ovTilingPreview::Destroy() {
  if (!window_) return;
  Detach();
  RecordPlacement();
  TilingWindow* window = window_;
  window_ = nullptr;
  window->hide();
  // It may be in its own close handler right now.
  window->deleteLater();
}

bool ovTilingPreview::SetTexture(const mvPicture* texture) {
  if (!texture || texture->IsEmpty()) {
    Detach();
    return true;
  }
  const int64_t tiledWidth = static_cast<int64_t>(TileColumns) * texture->Width;
  const int64_t tiledHeight = static_cast<int64_t>(TileRows) * texture->Height;
  if (!tiled_ || tiled_->Width != tiledWidth || tiled_->Height != tiledHeight) {
    Detach();
    if (tiledWidth > INT32_MAX || tiledHeight > INT32_MAX) return false;
    std::unique_ptr<mvPicture> picture(new (std::nothrow) mvPicture);
    if (!picture || !picture->Create(static_cast<int32_t>(tiledWidth), static_cast<int32_t>(tiledHeight),
                                     ColorTypeRGB, 8, 4))
      return false;
    tiled_ = std::move(picture);
  }
  for (int32_t r = 0; r < TileRows; ++r)
    for (int32_t c = 0; c < TileColumns; ++c)
      CopyRect(*tiled_, c * texture->Width, r * texture->Height, *texture, texture->Width, texture->Height);
  if (window_) window_->View->SetPicture(tiled_.get());
  return true;
}
