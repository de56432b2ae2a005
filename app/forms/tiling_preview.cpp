#include "app/forms/tiling_preview.h"

#include <QCloseEvent>
#include <QPalette>
#include <new>

#include "app/forms/icons.h"
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
  Where.Track(*this);
}

void TilingWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  Where.Track(*this);
}

void TilingWindow::closeEvent(QCloseEvent* event) {
  // The program closes the preview, so that the Tiling button and the
  // setting follow.
  event->ignore();
  emit CloseRequested();
}

TilingPreview::~TilingPreview() { Close(); }

bool TilingPreview::Open() {
  if (window_) return true;
  TilingWindow* window = new (std::nothrow) TilingWindow;
  if (!window) return false;
  window_ = window;
  connect(window, &TilingWindow::CloseRequested, this, &TilingPreview::CloseRequested);
  window->Where.Apply(*window, Placement);
  window->show();
  if (tiled_) window->View->SetPicture(tiled_.get());
  return true;
}

::Placement TilingPreview::RecordPlacement() {
  if (window_) Placement = window_->Where.Record(*window_);
  return Placement;
}

void TilingPreview::Close() {
  if (!window_) return;
  RecordPlacement();
  window_->View->SetPicture(nullptr);
  tiled_.reset();
  texture_.reset();
  TilingWindow* window = window_;
  window_ = nullptr;
  window->hide();
  // It may be in its own close handler right now.
  window->deleteLater();
}

void TilingPreview::Show(std::shared_ptr<const mvPictureLayer> texture, std::unique_ptr<mvPicture> tiled) {
  if (window_) window_->View->SetPicture(tiled.get());
  tiled_ = std::move(tiled);
  texture_ = tiled_ ? std::move(texture) : nullptr;
}
