#pragma once
#include <QString>
#include <QUndoStack>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "app/forms/effect_editing.h"
#include "app/forms/form_logic.h"
#include "app/forms/window_placement.h"
#include "app/toolkit/list_box.h"
#include "effects/layer.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QToolBar;
class QToolButton;
class ListBoxWidget;
class OptionsPanel;
class PictureDrawer;
struct AppSettings;
struct Dialogs;

class OrvelleForm;

// A thumbnail: shows a texture its form holds.
class TextureListItem : public ListBoxItem {
public:
  TextureListItem(OrvelleForm* owner, mvPictureLayer* texture, bool seamless, QString file);
  void Draw(Device& device, const mvRect& cell) override;
  void OnContextMenu(int32_t x, int32_t y) override;

  mvPictureLayer* Texture;
  bool Seamless;
  QString File;  // the stock's recipe file of this texture, if any
  OrvelleForm* Owner;
  const uint64_t Id;  // never the same twice in a run, so late work finds its cell or none
  // The recipe editor's: the undo history of this cell's texture, and the
  // recipe it is to show, ahead of Texture while its render runs (null: Texture's own).
  std::unique_ptr<QUndoStack> History;
  SharedChain Chain;
};

// What every form shares; the program owns it.
struct FormServices {
  AppSettings& Settings;
  PictureDrawer& Drawer;
  const Dialogs& Ask;
};

// A top-level window with a menu bar, a toolbar, a thumbnail grid of the
// textures it holds and a status bar with the progress of its work: the main
// form (with the options panel), a variations form, or the stock. It carries
// out the commands about its own textures (Save, Copy, Remove, Save recipe,
// About) and hands every other command to the program with ProgramCommand.
// Textures never change once made: a turned texture is a new one put in the
// old one's place, so work on another thread may read any texture it holds.
class OrvelleForm : public QWidget {
  Q_OBJECT
public:
  using TexturePtr = std::shared_ptr<mvPictureLayer>;

  // number: the variations form's number in its title.
  OrvelleForm(int32_t mode, const FormServices& services, int32_t number = 0);
  ~OrvelleForm() override;

  void ApplyPlacement(const Placement& placement);
  // The window's normal placement and whether it is maximized.
  Placement RecordPlacement() const { return where_.Record(*this); }
  // Shows the window as its placement says.
  void ShowNow();

  void OnCommand(int32_t id);
  // Enables each command for the selection and for whether work runs
  // (programWorking) and, when it is this form's, shows its progress and Stop.
  void UpdateCommandState();
  void SetWorking(bool programWorking, bool mine);
  bool Working() const { return working_; }
  void ShowProgress(int done, int total, int percent);
  // Stop was asked: the work ends at its next check.
  void ShowStopping();
  void ShowStatus(const QString& text);
  QString StatusText() const;
  // The list's single selection, -1 for none or several.
  int32_t Selection() const;
  // Selects index alone, scrolled into view, and acts on the new selection.
  void SelectTexture(int32_t index);

  // Appends a texture with its thumbnail; the list follows it when the end
  // of the list was in view. False when there is no room.
  bool AppendTexture(TexturePtr texture, bool seamless, const QString& file = {});
  // Puts texture in place of the one at index, when that is still expected.
  // A texture made otherwise than by the recipe editor (a turn) starts a new
  // editing history; the editor's own keep theirs (keepHistory).
  bool ReplaceTexture(int32_t index, const mvPictureLayer* expected, TexturePtr texture, bool keepHistory = false);
  TextureListItem* ItemAt(int32_t index) const;
  // The index of the cell whose item has this id, -1 when it is gone.
  int32_t IndexOfItem(uint64_t id) const;
  // The program's undo and redo of the recipe editor's changes, in the Edit menu.
  void AddHistoryActions(QAction* undo, QAction* redo);
  void ClearTextures();
  mvPictureLayer* TextureAt(int32_t index) const;
  TexturePtr SharedTextureAt(int32_t index) const;
  bool SeamlessAt(int32_t index) const;
  QString FileAt(int32_t index) const;
  int32_t TextureCount() const { return static_cast<int32_t>(Textures.size()); }
  std::vector<TexturePtr> Textures;

  // Room around the list's content, and the placement of a new variations
  // form for content of the given size.
  FormChrome Chrome() const;
  Placement ComputeChildPlacement(int32_t contentWidth, int32_t contentHeight, const FormChrome& childChrome) const;

  // Menus of Resize x2..x10 for the selected texture, factors above the size
  // limit greyed, and the selection's context menu.
  void FillResizeMenu(QMenu& menu);
  std::unique_ptr<QMenu> BuildContextMenu();
  // Opens the context menu at a point of the list's viewport.
  void ShowContextMenu(const QPoint& viewportPoint);

  // The program has decided: the next close goes through.
  void AllowClose() { closeAllowed_ = true; }

  int32_t FormMode;
  ListBoxWidget* ListWidget() const { return list_; }
  ListBox& List();
  QToolBar* ToolBar() const { return toolbar_; }
  QMenuBar* MenuBar() const { return menuBar_; }
  QStatusBar* StatusBar() const { return statusBar_; }
  QProgressBar* ProgressBar() const { return progress_; }
  QPushButton* StopButton() const { return stopButton_; }
  OptionsPanel* Options() const { return options_; }
  QAction* Action(int32_t id) const;
  const FormServices& Services() const { return services_; }

signals:
  // A command the program carries out (Generate, Variations, Resize, turns,
  // Open recipe, Save all, Save maps, Add to stock, Edit recipe, Stock,
  // Tiling, Stop, Close).
  void ProgramCommand(int32_t id);
  void SelectionChanged();
  void Activated();
  // The user asked to close the window; the program decides.
  void CloseRequested();
  // A texture left the form; file is its stock recipe file, if any.
  void TextureRemoved(const QString& file);

protected:
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

private:
  void CreateActions();
  void CreateMenus();
  void CreateToolbar();
  void LayoutChildren();
  void UpdateMinimumSize();
  QAction* AddAction(int32_t id, const char* text, const QKeySequence& shortcut, bool checkable = false);

  // The form's own commands.
  void Save();
  void Copy();
  void Remove();
  void SaveRecipe();
  void About();

  FormServices services_;
  WindowPlacement where_;
  OptionsPanel* options_ = nullptr;
  ListBoxWidget* list_ = nullptr;
  QMenuBar* menuBar_ = nullptr;
  QMenu* editMenu_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  QStatusBar* statusBar_ = nullptr;
  QLabel* statusLabel_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  std::map<int32_t, QAction*> actions_;
  bool programWorking_ = false;
  bool working_ = false;
  bool closeAllowed_ = false;
  bool maximizeAtShow_ = false;
  bool stopping_ = false;
};
