#include "app/forms/tiling_preview.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QToolButton>
#include <algorithm>
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
  TextureButton = new QToolButton(this);
  TextureButton->setText(QStringLiteral("&Texture"));
  NormalMapButton = new QToolButton(this);
  NormalMapButton->setText(QStringLiteral("&Normal map"));
  NormalMapButton->setToolTip(QStringLiteral("The texture's normal map, tiled, to check that the normals tile too"));
  auto* group = new QButtonGroup(this);
  for (QToolButton* button : {TextureButton, NormalMapButton}) {
    button->setCheckable(true);
    button->setAutoRaise(true);
    group->addButton(button);
  }
  TextureButton->setChecked(true);
  connect(TextureButton, &QToolButton::clicked, this, [this] { emit ViewChosen(TilingPreview::ViewTexture); });
  connect(NormalMapButton, &QToolButton::clicked, this, [this] { emit ViewChosen(TilingPreview::ViewNormalMap); });
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
  const QSize button = TextureButton->sizeHint().expandedTo(NormalMapButton->sizeHint());
  TextureButton->setGeometry(2, 1, TextureButton->sizeHint().width(), button.height());
  NormalMapButton->setGeometry(TextureButton->geometry().right() + 3, 1, NormalMapButton->sizeHint().width(),
                               button.height());
  View->setGeometry(0, button.height() + 2, width(), std::max(0, height() - button.height() - 2));
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
  connect(window, &TilingWindow::ViewChosen, this, &TilingPreview::SetView);
  (view_ == ViewNormalMap ? window->NormalMapButton : window->TextureButton)->setChecked(true);
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

void TilingPreview::Show(std::shared_ptr<const mvPictureLayer> texture, std::unique_ptr<mvPicture> tiled,
                         int32_t view) {
  if (window_) window_->View->SetPicture(tiled.get());
  tiled_ = std::move(tiled);
  texture_ = tiled_ ? std::move(texture) : nullptr;
  shownView_ = view;
}

void TilingPreview::SetView(int32_t view) {
  if (view != ViewTexture && view != ViewNormalMap) return;
  if (window_) (view == ViewNormalMap ? window_->NormalMapButton : window_->TextureButton)->setChecked(true);
  if (view == view_) return;
  view_ = view;
  emit ViewChanged();
}
