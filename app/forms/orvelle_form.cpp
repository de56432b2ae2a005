#include "app/forms/orvelle_form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

#include "app/forms/application.h"
#include "app/forms/icons.h"
#include "app/forms/options_dialog.h"
#include "app/forms/strings.h"
#include "app/forms/tiling_preview.h"
#include "app/settings/app_settings.h"
#include "app/toolkit/picture_drawer.h"
#include "app/widgets/list_box_widget.h"

namespace {

struct ToolbarEntry {
  int32_t Command;  // 0: separator
  int Image;
  bool Check;
  bool Enabled;
};

constexpr ToolbarEntry kSeparator{0, 0, false, false};

// Main form: all of it; a variations form: the first six, then the recipe pair.
constexpr ToolbarEntry kMainToolbar[] = {
    {CmdSave, ImageSave, false, false},
    {CmdCopy, ImageCopy, false, false},
    {CmdAddToStock, ImageAddToStock, false, false},
    kSeparator,
    {CmdVariations, ImageVariations, false, false},
    {CmdResize, ImageResize, false, false},
    kSeparator,
    {CmdStock, ImageStock, true, true},
    {CmdTiling, ImageTiling, true, true},
    kSeparator,
    {CmdAbout, ImageAbout, false, true},
};
constexpr int kVariationsEntries = 6;

constexpr ToolbarEntry kStockToolbar[] = {
    {CmdSave, ImageSave, false, false},
    {CmdCopy, ImageCopy, false, false},
    {CmdRemove, ImageRemove, false, false},
    kSeparator,
    {CmdVariations, ImageVariations, false, false},
    {CmdResize, ImageResize, false, false},
};

constexpr ToolbarEntry kRecipeEntries[] = {
    kSeparator,
    {CmdSaveRecipe, ImageSaveRecipe, false, false},
    {CmdOpenRecipe, ImageOpenRecipe, false, true},
};

uint32_t ToRGB(const QColor& c) {
  return MakeRGB(static_cast<uint32_t>(c.red()), static_cast<uint32_t>(c.green()), static_cast<uint32_t>(c.blue()));
}

// The list's background colour, which unselected cells are filled with.
uint32_t WindowColour() { return ToRGB(QApplication::palette().color(QPalette::Base)); }

}  // namespace

// ---- TextureListItem -------------------------------------------------------

void TextureListItem::Draw(Device& device, const mvRect& cell) {
  const int32_t cellWidth = cell.Right - cell.Left, cellHeight = cell.Bottom - cell.Top;
  const uint32_t window = WindowColour();
  if (!Selected) {
    device.FillRect(cell, window);
  } else {
    const int32_t n = cellHeight - 1;
    for (int32_t i = 0; i <= n; ++i) device.Line(cell.Left, cell.Top + i, cell.Right, cell.Top + i, SelectionGradient(i, n));
    device.FrameRect(cell, MakeRGB(64, 160, 255));
  }
  const mvRect inner{cell.Left + 6, cell.Top + 6, cell.Right - 6, cell.Bottom - 6};
  const mvRect frame{inner.Left - 2, inner.Top - 2, inner.Right + 2, inner.Bottom + 2};
  device.FillRect(frame, MakeRGB(255, 255, 255));
  device.FrameRect(frame, 0);
  if (!Selected) {
    const uint32_t shadow = MakeRGB(((window >> 16) & 0xFF) * 3 / 4, ((window >> 8) & 0xFF) * 3 / 4, (window & 0xFF) * 3 / 4);
    device.Line(inner.Right + 2, inner.Top - 1, inner.Right + 2, inner.Bottom + 2, shadow);
    device.Line(inner.Right + 2, inner.Bottom + 2, inner.Left - 2, inner.Bottom + 2, shadow);
  }
  if (!Texture || Texture->IsEmpty() || !ThumbnailDrawer) return;
  const int32_t w = std::min(Texture->Width, cellWidth - kCellMargin);
  const int32_t h = std::min(Texture->Height, cellHeight - kCellMargin);
  if (w <= 0 || h <= 0) return;
  ThumbnailDrawer->Draw(device, cell.Left + (cellWidth - w) / 2, cell.Top + (cellHeight - h) / 2, 0, 0, w, h, *Texture);
}

void TextureListItem::OnContextMenu(int32_t, int32_t) {
  if (!List || List->SelectedCount() < 1 || !Owner) return;
  // The chosen command may delete this very item: only locals from here on.
  QPointer<OrvelleForm> form = Owner;
  std::unique_ptr<QMenu> menu = form->BuildContextMenu();
  QAction* chosen = menu->exec(QCursor::pos());
  const int32_t id = chosen ? chosen->data().toInt() : 0;
  menu.reset();
  if (id != 0 && form) form->OnCommand(id);
}

// ---- OrvelleForm -----------------------------------------------------------

OrvelleForm::OrvelleForm(int32_t mode) : QWidget(nullptr), FormMode(mode) {
  setWindowIcon(ProgramIcon());
  if (mode == FormVariations) setAttribute(Qt::WA_DeleteOnClose);
}

OrvelleForm::~OrvelleForm() {
  destroying_ = true;
  if (FormMode == FormStock && created_) {
    const ::Placement p = RecordPlacement();
    Settings.StockWindowLeft = p.Left;
    Settings.StockWindowTop = p.Top;
    Settings.StockWindowWidth = p.Width;
    Settings.StockWindowHeight = p.Height;
  }
  if (StockForm == this) StockForm = nullptr;
  if (MainForm == this) MainForm = nullptr;
  auto it = std::find(VariationsForms.begin(), VariationsForms.end(), this);
  if (it != VariationsForms.end()) {
    VariationsForms.erase(it);
    if (VariationsForms.empty()) VariationsCounter = 0;
  }
  // The list's items point at the textures: the list goes first, then the
  // textures, last first.
  delete list_;
  list_ = nullptr;
  while (!Textures.empty()) Textures.pop_back();
}

ListBox& OrvelleForm::List() { return list_->List(); }

bool OrvelleForm::CreateWindow() {
  QString title = QString::fromUtf8(FormMode == FormStock ? kStockTitle : kProgramTitle);
  if (FormMode == FormVariations) title += QStringLiteral(" <Variations-%1>").arg(VariationsCounter + 1, 3, 10, QChar('0'));
  setWindowTitle(title);
  setObjectName(FormMode == FormMain ? QStringLiteral("MainForm")
                                     : FormMode == FormStock ? QStringLiteral("StockForm")
                                                             : QStringLiteral("VariationsForm"));
  if (FormMode == FormMain) new OptionsDialog(this);
  CreateToolbar();
  if (FormMode == FormMain) {
    Action(CmdStock)->setChecked(Settings.ShowStockWindow);
    Action(CmdTiling)->setChecked(Settings.ShowTilingWindow);
  }
  list_ = new ListBoxWidget(this);
  List().SetCellSize(CellSide(Settings.ImageWidth), CellSide(Settings.ImageHeight));
  connect(list_, &ListBoxWidget::notification, this, [this](int code) {
    if (code == ListBox::NotifyClick) OnCommand(CmdListNotification);
  });
  if (FormMode == FormVariations) {
    VariationsForms.push_back(this);
    ++VariationsCounter;
  }
  created_ = true;
  ApplyPlacement(Placement);
  LayoutChildren();
  return true;
}

void OrvelleForm::CreateToolbar() {
  toolbar_ = new QToolBar(this);
  toolbar_->setIconSize(QSize(16, 16));
  toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  toolbar_->setFloatable(false);
  toolbar_->setMovable(false);
  std::vector<ToolbarEntry> entries;
  if (FormMode == FormStock) {
    entries.assign(std::begin(kStockToolbar), std::end(kStockToolbar));
    entries.insert(entries.end(), std::begin(kRecipeEntries), std::end(kRecipeEntries));
  } else if (FormMode == FormVariations) {
    entries.assign(kMainToolbar, kMainToolbar + kVariationsEntries);
    entries.insert(entries.end(), std::begin(kRecipeEntries), std::end(kRecipeEntries));
  } else {
    entries.assign(kMainToolbar, kMainToolbar + kVariationsEntries);
    entries.insert(entries.end(), std::begin(kRecipeEntries), std::end(kRecipeEntries));
    entries.insert(entries.end(), kMainToolbar + kVariationsEntries, std::end(kMainToolbar));
  }
  for (const ToolbarEntry& entry : entries) {
    if (entry.Command == 0) {
      toolbar_->addSeparator();
      continue;
    }
    QAction* action = toolbar_->addAction(ToolbarIcon(entry.Image), QString::fromUtf8(LoadString(entry.Command)));
    action->setToolTip(QString::fromUtf8(LoadString(entry.Command)));
    action->setData(entry.Command);
    action->setCheckable(entry.Check);
    action->setEnabled(entry.Enabled);
    const int32_t id = entry.Command;
    // Check buttons follow the command's outcome, not the click.
    connect(action, &QAction::triggered, this, [this, id, action] {
      if (action->isCheckable()) action->setChecked(!action->isChecked());
      OnCommand(id);
    });
    actions_[id] = action;
    if (id == CmdResize) {
      resizeButton_ = qobject_cast<QToolButton*>(toolbar_->widgetForAction(action));
      auto* menu = new QMenu(this);
      connect(menu, &QMenu::aboutToShow, this, [this, menu] { FillResizeMenu(*menu); });
      if (resizeButton_) {
        resizeButton_->setMenu(menu);
        resizeButton_->setPopupMode(FormMode == FormStock ? QToolButton::MenuButtonPopup
                                                          : QToolButton::InstantPopup);
      }
    }
  }
}

QAction* OrvelleForm::Action(int32_t id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

int32_t OrvelleForm::ToolbarHeight() const { return toolbar_ ? toolbar_->sizeHint().height() : 0; }

void OrvelleForm::FillResizeMenu(QMenu& menu) {
  menu.clear();
  const mvPictureLayer* texture = TextureAt(Selection());
  if (!texture) return;
  for (int32_t f = 2; f <= 10; ++f) {
    QAction* action = menu.addAction(QStringLiteral("x&%1").arg(f));
    action->setData(f + 129);
    action->setEnabled(ResizeFactorAllowed(texture->Width, texture->Height, f));
    connect(action, &QAction::triggered, this, [this, f] { OnCommand(f + 129); });
  }
}

std::unique_ptr<QMenu> OrvelleForm::BuildContextMenu() {
  auto menu = std::make_unique<QMenu>(this);
  auto add = [](QMenu* m, const char* text, int32_t id) {
    QAction* action = m->addAction(QString::fromUtf8(text));
    action->setData(id);
    return action;
  };
  add(menu.get(), "&Save...\tCtrl+S", CmdSave);
  add(menu.get(), "&Copy\tCtrl+C", CmdCopy);
  add(menu.get(), "&Add to stock\tIns", CmdAddToStock);
  menu->addSeparator();
  add(menu.get(), "&Variations", CmdVariations);
  QMenu* resize = menu->addMenu(QStringLiteral("Resi&ze"));
  const char* factors[] = {"x&2", "x&3", "x&4", "x&5", "x&6", "x&7", "x&8", "x&9", "x1&0"};
  const mvPictureLayer* texture = TextureAt(Selection());
  for (int32_t f = 2; f <= 10; ++f) {
    QAction* action = add(resize, factors[f - 2], f + 129);
    action->setEnabled(texture && ResizeFactorAllowed(texture->Width, texture->Height, f));
  }
  QMenu* turn = menu->addMenu(QStringLiteral("&Rotate/Flip"));
  add(turn, "&Rotate right", CmdRotateRight);
  add(turn, "Rotate &left", CmdRotateLeft);
  add(turn, "Rotate &180", CmdRotate180);
  turn->addSeparator();
  add(turn, "Flip &vertical", CmdFlipVertical);
  add(turn, "Flip &horizontal", CmdFlipHorizontal);
  menu->addSeparator();
  add(menu.get(), "Sav&e recipe...", CmdSaveRecipe);
  add(menu.get(), "&Open recipe...", CmdOpenRecipe);
  menu->addSeparator();
  add(menu.get(), "Re&move\tDel", CmdRemove);
  return menu;
}

void OrvelleForm::ApplyPlacement(const ::Placement& placement) {
  Placement = placement;
  if (!created_) return;
  const ::Placement p = SanePlacement(placement);
  move(p.Left, p.Top);
  resize(p.Width, p.Height);
}

::Placement OrvelleForm::RecordPlacement() {
  if (!created_) return Placement;
  const bool special = isMaximized() || isMinimized();
  if (special) {
    // The normal geometry is the client area; placements keep the frame's corner.
    const QRect r = normalGeometry();
    const QPoint frame = geometry().topLeft() - pos();
    Placement = ::Placement{r.left() - frame.x(), r.top() - frame.y(), r.width(), r.height(), isMaximized()};
  } else {
    Placement = ::Placement{pos().x(), pos().y(), width(), height(), false};
  }
  return Placement;
}

void OrvelleForm::ShowNow() {
  if (Placement.Maximized)
    showMaximized();
  else
    show();
  repaint();
}

void OrvelleForm::LayoutChildren() {
  if (!list_ || !toolbar_) return;
  const int32_t w = width(), h = height();
  int32_t offset = 0;
  if (FormMode == FormMain && OptionsPanel) {
    offset = OptionsPanel->sizeHint().width();
    OptionsPanel->setGeometry(0, 0, offset, h);
  }
  const int32_t toolbarHeight = ToolbarHeight();
  list_->setGeometry(offset, toolbarHeight, std::max(0, w - offset), std::max(0, h - toolbarHeight));
  toolbar_->setGeometry(offset, 0, std::max(0, w - offset), toolbarHeight);
}

void OrvelleForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayoutChildren();
}

bool OrvelleForm::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate && !destroying_) ShowSelectionInTiling();
  return QWidget::event(event);
}

void OrvelleForm::closeEvent(QCloseEvent* event) {
  if (BusyScope::Busy()) {
    event->ignore();
    return;
  }
  if (FormMode == FormStock && !destroying_) {
    event->ignore();
    if (MainForm) MainForm->OnCommand(CmdStock);
    return;
  }
  if (FormMode == FormMain) {
    OnMainDestroy();
    event->accept();
    deleteLater();
    return;
  }
  event->accept();
}

void OrvelleForm::DestroyForm() {
  destroying_ = true;
  hide();
  delete this;
}

void OrvelleForm::OnMainDestroy() {
  destroying_ = true;
  while (!VariationsForms.empty()) VariationsForms.back()->DestroyForm();
  if (StockForm) StockForm->DestroyForm();
  if (TilingPreview) {
    TilingPreview->Destroy();
    const ::Placement p = TilingPreview->RecordPlacement();
    Settings.TilingWindowLeft = p.Left;
    Settings.TilingWindowTop = p.Top;
    Settings.TilingWindowWidth = p.Width;
    Settings.TilingWindowHeight = p.Height;
  }
  const ::Placement p = RecordPlacement();
  Settings.WindowLeft = p.Left;
  Settings.WindowTop = p.Top;
  Settings.WindowWidth = p.Width;
  Settings.WindowHeight = p.Height;
  Settings.WindowMaximize = p.Maximized;
  if (OptionsPanel) OptionsPanel->ReadOptions(false);
  QCoreApplication::quit();
  if (MainForm == this) MainForm = nullptr;
}

int32_t OrvelleForm::Selection() const { return list_ ? list_->List().GetSelection() : -1; }

mvPictureLayer* OrvelleForm::TextureAt(int32_t index) const {
  if (!list_ || index < 0 || index >= list_->List().Count()) return nullptr;
  auto* item = static_cast<TextureListItem*>(list_->List().Item(index));
  return item ? item->Texture : nullptr;
}

bool OrvelleForm::SeamlessAt(int32_t index) const {
  if (!list_ || index < 0 || index >= list_->List().Count()) return false;
  auto* item = static_cast<TextureListItem*>(list_->List().Item(index));
  return item && item->Seamless;
}

bool OrvelleForm::AppendTexture(std::unique_ptr<mvPictureLayer> texture, bool seamless) {
  if (!texture || !list_) return false;
  auto* item = new (std::nothrow) TextureListItem(texture.get(), seamless);
  if (!item) return false;
  item->Owner = this;
  try {
    Textures.push_back(std::move(texture));
  } catch (const std::bad_alloc&) {
    delete item;
    return false;
  }
  if (!List().InsertAt(List().Count(), item)) {
    delete item;
    Textures.pop_back();
    return false;
  }
  return true;
}

void OrvelleForm::RepaintList() {
  if (list_ && isVisible()) list_->viewport()->repaint();
}

void OrvelleForm::UpdateCommandState() {
  const bool enabled = list_ && List().Count() > 0 && Selection() != -1;
  for (int32_t id : {static_cast<int32_t>(CmdSave), static_cast<int32_t>(CmdCopy),
                     static_cast<int32_t>(CmdVariations), static_cast<int32_t>(CmdResize),
                     static_cast<int32_t>(CmdSaveRecipe),
                     static_cast<int32_t>(FormMode == FormStock ? CmdRemove : CmdAddToStock)})
    if (QAction* action = Action(id)) action->setEnabled(enabled);
}

void OrvelleForm::ShowSelectionInTiling() {
  if (!TilingPreview || !TilingPreview->IsOpen()) return;
  const mvPictureLayer* texture = TextureAt(Selection());
  // Said once per texture: activation asks again after the message closes.
  static const mvPicture* lastFailure = nullptr;
  if (TilingPreview->SetTexture(texture)) {
    lastFailure = nullptr;
    return;
  }
  if (texture != lastFailure) {
    lastFailure = texture;
    ShowMessage(this, QString::fromUtf8(kNoMemoryMessage), MessageIcon::Warning);
  }
}

Placement OrvelleForm::ComputeChildPlacement(int32_t clientWidth, int32_t clientHeight) {
  const ::Placement current = RecordPlacement();
  int32_t caption = geometry().top() - frameGeometry().top();
  if (caption <= 0) caption = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
  WorkArea work;
  if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
    const QRect r = s->availableGeometry();
    work = WorkArea{r.left(), r.top(), r.width(), r.height()};
  }
  return ChildPlacement(current, clientWidth, clientHeight, ToolbarHeight(), caption, work);
}
