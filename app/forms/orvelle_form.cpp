#include "app/forms/orvelle_form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

#include "app/forms/dialogs.h"
#include "app/forms/icons.h"
#include "app/forms/options_panel.h"
#include "app/forms/strings.h"
#include "app/settings/app_settings.h"
#include "app/toolkit/picture_drawer.h"
#include "app/widgets/list_box_widget.h"

namespace {

struct ToolbarEntry {
  int32_t Command;  // 0: separator
  int Image;
};

constexpr ToolbarEntry kSeparator{0, 0};

// Main form: all of it; a variations form: the first seven, then the recipe pair.
constexpr ToolbarEntry kMainToolbar[] = {
    {CmdSave, ImageSave},
    {CmdCopy, ImageCopy},
    {CmdAddToStock, ImageAddToStock},
    kSeparator,
    {CmdVariations, ImageVariations},
    {CmdResize, ImageResize},
    {CmdEditRecipe, ImageEditRecipe},
    kSeparator,
    {CmdStock, ImageStock},
    {CmdTiling, ImageTiling},
    kSeparator,
    {CmdAbout, ImageAbout},
};
constexpr int kVariationsEntries = 7;

constexpr ToolbarEntry kStockToolbar[] = {
    {CmdSave, ImageSave},
    {CmdCopy, ImageCopy},
    {CmdRemove, ImageRemove},
    kSeparator,
    {CmdVariations, ImageVariations},
    {CmdResize, ImageResize},
    {CmdEditRecipe, ImageEditRecipe},
};

constexpr ToolbarEntry kRecipeEntries[] = {
    kSeparator,
    {CmdSaveRecipe, ImageSaveRecipe},
    {CmdOpenRecipe, ImageOpenRecipe},
};

// Commands that start work on the worker: greyed while work runs, so that a
// second request is refused rather than queued behind the first.
constexpr int32_t kWorkCommands[] = {CmdGenerate,  CmdVariations,   CmdResize,        CmdOpenRecipe,
                                     CmdSaveAll,   CmdSaveMaps,     CmdRotateRight,   CmdRotateLeft,
                                     CmdRotate180, CmdFlipVertical, CmdFlipHorizontal};

uint32_t ToRGB(const QColor& c) {
  return MakeRGB(static_cast<uint32_t>(c.red()), static_cast<uint32_t>(c.green()), static_cast<uint32_t>(c.blue()));
}

// The list's background colour, which unselected cells are filled with.
uint32_t WindowColour() { return ToRGB(QApplication::palette().color(QPalette::Base)); }

bool IsWorkCommand(int32_t id) {
  return std::find(std::begin(kWorkCommands), std::end(kWorkCommands), id) != std::end(kWorkCommands) ||
         (id >= CmdResizeFirst && id <= CmdResizeLast);
}

// Keys of the menus belong to the text while an edit field has the focus;
// only F5 (generate) and Esc (stop) work from everywhere.
class EditFieldKeys : public QObject {
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ShortcutOverride) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() != Qt::Key_F5 && key->key() != Qt::Key_Escape) event->accept();
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

// ---- TextureListItem -------------------------------------------------------

namespace {
uint64_t nextItemId = 1;
}  // namespace

TextureListItem::TextureListItem(OrvelleForm* owner, mvPictureLayer* texture, bool seamless, QString file)
    : Texture(texture), Seamless(seamless), File(std::move(file)), Owner(owner), Id(nextItemId++) {}

void TextureListItem::Draw(Device& device, const mvRect& cell) {
  const int32_t cellWidth = cell.Right - cell.Left, cellHeight = cell.Bottom - cell.Top;
  const uint32_t window = WindowColour();
  if (!Selected) {
    device.FillRect(cell, window);
  } else {
    const int32_t n = cellHeight - 1;
    for (int32_t i = 0; i <= n; ++i)
      device.Line(cell.Left, cell.Top + i, cell.Right, cell.Top + i, SelectionGradient(i, n));
    device.FrameRect(cell, MakeRGB(64, 160, 255));
  }
  const mvRect inner{cell.Left + 6, cell.Top + 6, cell.Right - 6, cell.Bottom - 6};
  const mvRect frame{inner.Left - 2, inner.Top - 2, inner.Right + 2, inner.Bottom + 2};
  device.FillRect(frame, MakeRGB(255, 255, 255));
  device.FrameRect(frame, 0);
  if (!Selected) {
    const uint32_t shadow =
        MakeRGB(((window >> 16) & 0xFF) * 3 / 4, ((window >> 8) & 0xFF) * 3 / 4, (window & 0xFF) * 3 / 4);
    device.Line(inner.Right + 2, inner.Top - 1, inner.Right + 2, inner.Bottom + 2, shadow);
    device.Line(inner.Right + 2, inner.Bottom + 2, inner.Left - 2, inner.Bottom + 2, shadow);
  }
  if (!Texture || Texture->IsEmpty() || !Owner) return;
  const int32_t w = std::min(Texture->Width, cellWidth - kCellMargin);
  const int32_t h = std::min(Texture->Height, cellHeight - kCellMargin);
  if (w <= 0 || h <= 0) return;
  Owner->Services().Drawer.Draw(device, cell.Left + (cellWidth - w) / 2, cell.Top + (cellHeight - h) / 2, 0, 0, w, h,
                                *Texture);
}

void TextureListItem::OnContextMenu(int32_t x, int32_t y) {
  if (!List || List->SelectedCount() < 1 || !Owner) return;
  const mvRect cell = List->CellRect(Index);
  // The chosen command may delete this very item: nothing of it is used after.
  Owner->ShowContextMenu(QPoint(cell.Left + x, cell.Top + y));
}

// ---- OrvelleForm -----------------------------------------------------------

OrvelleForm::OrvelleForm(int32_t mode, const FormServices& services, int32_t number)
    : QWidget(nullptr), FormMode(mode), services_(services) {
  setWindowIcon(ProgramIcon());
  QString title = QString::fromUtf8(mode == FormStock ? kStockTitle : kProgramTitle);
  if (mode == FormVariations) title += QStringLiteral(" <Variations-%1>").arg(number, 3, 10, QChar('0'));
  setWindowTitle(title);
  setObjectName(mode == FormMain    ? QStringLiteral("MainForm")
                : mode == FormStock ? QStringLiteral("StockForm")
                                    : QStringLiteral("VariationsForm"));
  if (mode == FormVariations) setAttribute(Qt::WA_DeleteOnClose);
  if (mode == FormMain) {
    options_ = new OptionsPanel(services_.Settings, services_.Ask, this);
    connect(options_, &OptionsPanel::GenerateClicked, this, [this] { OnCommand(CmdGenerate); });
    // An editable box or spin box keeps the focus itself and hands keys to its line edit.
    auto* keys = new EditFieldKeys(this);
    for (QWidget* edit : options_->findChildren<QWidget*>())
      if (qobject_cast<QLineEdit*>(edit) || qobject_cast<QAbstractSpinBox*>(edit) ||
          (qobject_cast<QComboBox*>(edit) && static_cast<QComboBox*>(edit)->isEditable()))
        edit->installEventFilter(keys);
  }
  CreateActions();
  CreateMenus();
  CreateToolbar();
  list_ = new ListBoxWidget(this);
  List().SetCellSize(CellSide(services_.Settings.ImageWidth), CellSide(services_.Settings.ImageHeight));
  connect(list_, &ListBoxWidget::notification, this, [this](int code) {
    if (code == ListBox::NotifyClick) OnCommand(CmdListNotification);
  });

  statusBar_ = new QStatusBar(this);
  statusBar_->setSizeGripEnabled(false);
  statusLabel_ = new QLabel(statusBar_);
  statusLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  statusBar_->addWidget(statusLabel_, 1);
  progress_ = new QProgressBar(statusBar_);
  progress_->setMaximumWidth(220);
  progress_->setTextVisible(true);
  statusBar_->addPermanentWidget(progress_);
  stopButton_ = new QPushButton(QStringLiteral("Stop"), statusBar_);
  stopButton_->setToolTip(QStringLiteral("Stop the work, keeping what was made (Esc)"));
  stopButton_->setAutoDefault(false);
  connect(stopButton_, &QPushButton::clicked, this, [this] { OnCommand(CmdStop); });
  statusBar_->addPermanentWidget(stopButton_);
  progress_->hide();
  stopButton_->hide();

  UpdateCommandState();
  UpdateMinimumSize();
  LayoutChildren();
}

OrvelleForm::~OrvelleForm() {
  // The list's items point at the textures: the list goes first.
  delete list_;
  list_ = nullptr;
  while (!Textures.empty()) Textures.pop_back();
}

ListBox& OrvelleForm::List() { return list_->List(); }

QAction* OrvelleForm::AddAction(int32_t id, const char* text, const QKeySequence& shortcut, bool checkable) {
  auto* action = new QAction(QString::fromUtf8(text), this);
  action->setData(id);
  action->setShortcut(shortcut);
  action->setCheckable(checkable);
  if (const char* tip = LoadString(id)) action->setToolTip(QString::fromUtf8(tip));
  // Check marks follow the command's outcome, not the click.
  connect(action, &QAction::triggered, this, [this, id, action] {
    if (action->isCheckable()) action->setChecked(!action->isChecked());
    OnCommand(id);
  });
  // Shortcuts work whether or not a menu shows the action.
  addAction(action);
  actions_[id] = action;
  return action;
}

void OrvelleForm::CreateActions() {
  const bool main = FormMode == FormMain, stock = FormMode == FormStock;
  if (main) AddAction(CmdGenerate, "&Generate", QKeySequence(Qt::Key_F5));
  AddAction(CmdOpenRecipe, "&Open recipe...", QKeySequence(Qt::CTRL | Qt::Key_O));
  AddAction(CmdSave, "&Save...", QKeySequence(Qt::CTRL | Qt::Key_S));
  AddAction(CmdSaveRecipe, "Sav&e recipe...", QKeySequence());
  AddAction(CmdSaveAll, "Save &all...", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  AddAction(CmdSaveMaps, "Save &maps...", QKeySequence());
  AddAction(CmdEditRecipe, "&Edit recipe...", QKeySequence(Qt::Key_E));
  AddAction(CmdClose, main ? "&Quit" : "&Close", QKeySequence(main ? Qt::CTRL | Qt::Key_Q : Qt::CTRL | Qt::Key_W));
  AddAction(CmdCopy, "&Copy", QKeySequence(Qt::CTRL | Qt::Key_C));
  if (!stock) AddAction(CmdAddToStock, "&Add to stock", QKeySequence(Qt::Key_Insert));
  AddAction(CmdRemove, "Re&move", QKeySequence(Qt::Key_Delete));
  AddAction(CmdStop, "S&top", QKeySequence(Qt::Key_Escape));
  AddAction(CmdVariations, "&Variations", QKeySequence());
  AddAction(CmdResize, "Resi&ze", QKeySequence());
  const char* factors[] = {"x&2", "x&3", "x&4", "x&5", "x&6", "x&7", "x&8", "x&9", "x1&0"};
  for (int32_t f = 2; f <= 10; ++f) AddAction(f + 129, factors[f - 2], QKeySequence());
  AddAction(CmdRotateRight, "&Rotate right", QKeySequence(Qt::CTRL | Qt::Key_R));
  AddAction(CmdRotateLeft, "Rotate &left", QKeySequence(Qt::CTRL | Qt::Key_L));
  AddAction(CmdRotate180, "Rotate &180", QKeySequence());
  AddAction(CmdFlipVertical, "Flip &vertical", QKeySequence());
  AddAction(CmdFlipHorizontal, "Flip &horizontal", QKeySequence());
  if (main) {
    AddAction(CmdStock, "&Stock", QKeySequence(Qt::Key_F7), true);
    AddAction(CmdTiling, "&Tiling", QKeySequence(Qt::Key_F8), true);
    Action(CmdStock)->setChecked(services_.Settings.ShowStockWindow);
    Action(CmdTiling)->setChecked(services_.Settings.ShowTilingWindow);
  }
  AddAction(CmdAbout, "&About", QKeySequence(Qt::Key_F1));
}

void OrvelleForm::CreateMenus() {
  menuBar_ = new QMenuBar(this);
  menuBar_->setNativeMenuBar(false);
  auto add = [this](QMenu* menu, int32_t id) {
    if (QAction* action = Action(id)) menu->addAction(action);
  };
  QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
  add(file, CmdGenerate);
  add(file, CmdOpenRecipe);
  file->addSeparator();
  add(file, CmdSave);
  add(file, CmdSaveRecipe);
  add(file, CmdSaveAll);
  add(file, CmdSaveMaps);
  file->addSeparator();
  add(file, CmdClose);
  QMenu* edit = menuBar_->addMenu(QStringLiteral("&Edit"));
  editMenu_ = edit;
  add(edit, CmdCopy);
  add(edit, CmdAddToStock);
  add(edit, CmdRemove);
  edit->addSeparator();
  add(edit, CmdStop);
  QMenu* texture = menuBar_->addMenu(QStringLiteral("&Texture"));
  add(texture, CmdEditRecipe);
  add(texture, CmdVariations);
  QMenu* resize = texture->addMenu(QStringLiteral("Resi&ze"));
  connect(resize, &QMenu::aboutToShow, this, [this, resize] { FillResizeMenu(*resize); });
  QMenu* turn = texture->addMenu(QStringLiteral("&Rotate/Flip"));
  for (int32_t id : {CmdRotateRight, CmdRotateLeft, CmdRotate180}) add(turn, id);
  turn->addSeparator();
  for (int32_t id : {CmdFlipVertical, CmdFlipHorizontal}) add(turn, id);
  if (FormMode == FormMain) {
    QMenu* view = menuBar_->addMenu(QStringLiteral("&View"));
    add(view, CmdStock);
    add(view, CmdTiling);
  }
  QMenu* help = menuBar_->addMenu(QStringLiteral("&Help"));
  add(help, CmdAbout);
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
    QAction* action = Action(entry.Command);
    action->setIcon(ToolbarIcon(entry.Image));
    toolbar_->addAction(action);
    if (entry.Command == CmdResize) {
      auto* button = qobject_cast<QToolButton*>(toolbar_->widgetForAction(action));
      auto* menu = new QMenu(this);
      connect(menu, &QMenu::aboutToShow, this, [this, menu] { FillResizeMenu(*menu); });
      if (button) {
        button->setMenu(menu);
        button->setPopupMode(FormMode == FormStock ? QToolButton::MenuButtonPopup : QToolButton::InstantPopup);
      }
    }
  }
}

QAction* OrvelleForm::Action(int32_t id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void OrvelleForm::FillResizeMenu(QMenu& menu) {
  menu.clear();
  UpdateCommandState();
  if (!TextureAt(Selection())) return;
  for (int32_t id = CmdResizeFirst; id <= CmdResizeLast; ++id) menu.addAction(Action(id));
}

std::unique_ptr<QMenu> OrvelleForm::BuildContextMenu() {
  UpdateCommandState();
  auto menu = std::make_unique<QMenu>(this);
  auto add = [this](QMenu* m, int32_t id) {
    if (QAction* action = Action(id)) m->addAction(action);
  };
  add(menu.get(), CmdSave);
  add(menu.get(), CmdCopy);
  add(menu.get(), CmdAddToStock);
  menu->addSeparator();
  add(menu.get(), CmdEditRecipe);
  add(menu.get(), CmdVariations);
  QMenu* resize = menu->addMenu(QStringLiteral("Resi&ze"));
  for (int32_t id = CmdResizeFirst; id <= CmdResizeLast; ++id) add(resize, id);
  QMenu* turn = menu->addMenu(QStringLiteral("&Rotate/Flip"));
  for (int32_t id : {CmdRotateRight, CmdRotateLeft, CmdRotate180}) add(turn, id);
  turn->addSeparator();
  for (int32_t id : {CmdFlipVertical, CmdFlipHorizontal}) add(turn, id);
  menu->addSeparator();
  add(menu.get(), CmdSaveRecipe);
  add(menu.get(), CmdOpenRecipe);
  add(menu.get(), CmdSaveMaps);
  menu->addSeparator();
  add(menu.get(), CmdRemove);
  return menu;
}

void OrvelleForm::ShowContextMenu(const QPoint& viewportPoint) {
  std::unique_ptr<QMenu> menu = BuildContextMenu();
  // The actions carry out the command chosen.
  menu->exec(list_->viewport()->mapToGlobal(viewportPoint));
}

void OrvelleForm::ApplyPlacement(const Placement& placement) {
  where_.Apply(*this, placement);
  maximizeAtShow_ = placement.Maximized;
}

void OrvelleForm::ShowNow() {
  if (maximizeAtShow_) {
    showMaximized();
  } else {
    show();
  }
}

void OrvelleForm::UpdateMinimumSize() {
  // The options panel never overlaps the list: the window is at least as
  // high as the panel needs, and leaves the list room for a small cell.
  const int32_t menu = menuBar_->sizeHint().height(), status = statusBar_->sizeHint().height();
  int32_t width = std::max(toolbar_->minimumSizeHint().width(), 160);
  int32_t height = menu + toolbar_->sizeHint().height() + status + 64;
  if (options_) {
    const QSize panel = options_->minimumSizeHint().expandedTo(options_->sizeHint());
    width += panel.width();
    height = std::max(height, menu + panel.height() + status);
  }
  setMinimumSize(width, height);
}

void OrvelleForm::LayoutChildren() {
  if (!list_ || !toolbar_) return;
  const int32_t w = width(), h = height();
  const int32_t menu = menuBar_->sizeHint().height();
  const int32_t status = statusBar_->sizeHint().height();
  menuBar_->setGeometry(0, 0, w, menu);
  statusBar_->setGeometry(0, std::max(menu, h - status), w, status);
  const int32_t body = std::max(0, h - menu - status);
  int32_t offset = 0;
  if (options_) {
    offset = options_->sizeHint().width();
    options_->setGeometry(0, menu, offset, body);
  }
  const int32_t toolbarHeight = toolbar_->sizeHint().height();
  toolbar_->setGeometry(offset, menu, std::max(0, w - offset), toolbarHeight);
  list_->setGeometry(offset, menu + toolbarHeight, std::max(0, w - offset), std::max(0, body - toolbarHeight));
}

void OrvelleForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayoutChildren();
  where_.Track(*this);
}

void OrvelleForm::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  where_.Track(*this);
}

bool OrvelleForm::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) emit Activated();
  return QWidget::event(event);
}

void OrvelleForm::closeEvent(QCloseEvent* event) {
  // The program answers at once: it allows the close (a close() it calls in
  // there is a no-op, this event being the close) or the window stays.
  if (!closeAllowed_) emit CloseRequested();
  if (closeAllowed_) event->accept();
  else event->ignore();
}

int32_t OrvelleForm::Selection() const { return list_ ? list_->List().GetSelection() : -1; }

void OrvelleForm::SelectTexture(int32_t index) {
  if (index < 0 || index >= List().Count()) return;
  List().SelectOnly(index);
  OnCommand(CmdListNotification);
}

mvPictureLayer* OrvelleForm::TextureAt(int32_t index) const {
  if (!list_ || index < 0 || index >= list_->List().Count()) return nullptr;
  auto* item = static_cast<TextureListItem*>(list_->List().Item(index));
  return item ? item->Texture : nullptr;
}

OrvelleForm::TexturePtr OrvelleForm::SharedTextureAt(int32_t index) const {
  if (index < 0 || index >= TextureCount()) return nullptr;
  return Textures[static_cast<size_t>(index)];
}

bool OrvelleForm::SeamlessAt(int32_t index) const {
  if (!list_ || index < 0 || index >= list_->List().Count()) return false;
  auto* item = static_cast<TextureListItem*>(list_->List().Item(index));
  return item && item->Seamless;
}

QString OrvelleForm::FileAt(int32_t index) const {
  if (!list_ || index < 0 || index >= list_->List().Count()) return {};
  auto* item = static_cast<TextureListItem*>(list_->List().Item(index));
  return item ? item->File : QString();
}

bool OrvelleForm::AppendTexture(TexturePtr texture, bool seamless, const QString& file) {
  if (!texture || !list_) return false;
  ListBox& list = List();
  const int32_t last = list.Count() - 1;
  const bool endInView = last < 0 || last / list.Columns() < list.TopRow() + list.VisibleRows();
  auto* item = new (std::nothrow) TextureListItem(this, texture.get(), seamless, file);
  if (!item) return false;
  try {
    Textures.push_back(std::move(texture));
  } catch (const std::bad_alloc&) {
    delete item;
    return false;
  }
  if (!list.InsertAt(list.Count(), item)) {
    delete item;
    Textures.pop_back();
    return false;
  }
  if (endInView) list.EnsureVisible(list.Count() - 1);
  UpdateCommandState();
  return true;
}

TextureListItem* OrvelleForm::ItemAt(int32_t index) const {
  if (!list_ || index < 0 || index >= list_->List().Count()) return nullptr;
  return static_cast<TextureListItem*>(list_->List().Item(index));
}

int32_t OrvelleForm::IndexOfItem(uint64_t id) const {
  for (int32_t i = 0; list_ && i < list_->List().Count(); ++i)
    if (ItemAt(i)->Id == id) return i;
  return -1;
}

void OrvelleForm::AddHistoryActions(QAction* undo, QAction* redo) {
  undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  redo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  QAction* first = editMenu_->actions().isEmpty() ? nullptr : editMenu_->actions().front();
  editMenu_->insertActions(first, {undo, redo});
  editMenu_->insertSeparator(first);
  addAction(undo);
  addAction(redo);
}

bool OrvelleForm::ReplaceTexture(int32_t index, const mvPictureLayer* expected, TexturePtr texture, bool keepHistory) {
  if (!texture || index < 0 || index >= TextureCount() || TextureAt(index) != expected) return false;
  auto* item = static_cast<TextureListItem*>(List().Item(index));
  if (!keepHistory) {
    // The history's recipes lead to the old texture, not to this one.
    if (item->History) item->History->clear();
    item->Chain.reset();
  }
  item->Texture = texture.get();
  Textures[static_cast<size_t>(index)] = std::move(texture);
  List().InvalidateItem(index);
  return true;
}

void OrvelleForm::ClearTextures() {
  List().Clear();
  Textures.clear();
  UpdateCommandState();
}

void OrvelleForm::SetWorking(bool programWorking, bool mine) {
  programWorking_ = programWorking;
  working_ = programWorking && mine;
  stopping_ = false;
  stopButton_->setEnabled(true);
  if (working_) {
    progress_->setRange(0, 0);  // busy until the first step is known
    progress_->setFormat(QString());
  }
  progress_->setVisible(working_);
  stopButton_->setVisible(working_);
  UpdateCommandState();
}

void OrvelleForm::ShowProgress(int done, int total, int percent) {
  if (stopping_) return;
  if (percent >= 0) {
    progress_->setRange(0, 100);
    progress_->setValue(percent);
    progress_->setFormat(QStringLiteral("%p%"));
  } else if (total > 0) {
    progress_->setRange(0, total);
    progress_->setValue(done);
    progress_->setFormat(QStringLiteral("%v of %m"));
  }
}

void OrvelleForm::ShowStopping() {
  stopping_ = true;
  progress_->setFormat(QStringLiteral("Stopping..."));
  stopButton_->setEnabled(false);
}

void OrvelleForm::ShowStatus(const QString& text) { statusLabel_->setText(text); }
QString OrvelleForm::StatusText() const { return statusLabel_->text(); }

void OrvelleForm::UpdateCommandState() {
  const mvPictureLayer* texture = TextureAt(Selection());
  const bool selected = texture != nullptr;
  for (const auto& [id, action] : actions_) {
    bool enabled = true;
    switch (id) {
      case CmdSave:
      case CmdCopy:
      case CmdVariations:
      case CmdResize:
      case CmdSaveRecipe:
      case CmdSaveMaps:
      case CmdEditRecipe:
      case CmdAddToStock:
      case CmdRemove:
      case CmdRotateRight:
      case CmdRotateLeft:
      case CmdRotate180:
      case CmdFlipVertical:
      case CmdFlipHorizontal: enabled = selected; break;
      case CmdSaveAll: enabled = TextureCount() > 0; break;
      case CmdStop: enabled = programWorking_; break;
      default:
        if (id >= CmdResizeFirst && id <= CmdResizeLast)
          enabled = selected && ResizeFactorAllowed(texture->Width, texture->Height, ResizeFactor(id));
        break;
    }
    if (programWorking_ && IsWorkCommand(id)) enabled = false;
    action->setEnabled(enabled);
  }
  if (options_) options_->GenerateButton->setEnabled(!programWorking_);
}

FormChrome OrvelleForm::Chrome() const {
  FormChrome chrome;
  const int32_t frame = 2 * list_->frameWidth();
  chrome.Width = frame;
  chrome.Height =
      menuBar_->sizeHint().height() + toolbar_->sizeHint().height() + statusBar_->sizeHint().height() + frame;
  chrome.ScrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list_);
  return chrome;
}

Placement OrvelleForm::ComputeChildPlacement(int32_t contentWidth, int32_t contentHeight,
                                             const FormChrome& childChrome) const {
  Placement current = RecordPlacement();
  if (!isMaximized()) current = Placement{x(), y(), width(), height(), false};
  FrameMargins frame = WindowFrame(*this);
  if (frame.Top <= 0) frame.Top = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
  WorkArea work;
  if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
    const QRect r = s->availableGeometry();
    work = WorkArea{r.left(), r.top(), r.width(), r.height()};
  }
  return ChildPlacement(current, contentWidth, contentHeight, childChrome, frame, work);
}
