#pragma once
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "app/forms/form_logic.h"
#include "app/toolkit/list_box.h"
#include "effects/layer.h"

class QAction;
class QMenu;
class QToolBar;
class QToolButton;
class ListBoxWidget;

// A thumbnail: shows a texture the form owns.
class TextureListItem : public ListBoxItem {
public:
  TextureListItem(mvPictureLayer* texture, bool seamless) : Texture(texture), Seamless(seamless) {}
  void Draw(Device& device, const mvRect& cell) override;
  void OnContextMenu(int32_t x, int32_t y) override;

  mvPictureLayer* Texture;
  bool Seamless;
  class OrvelleForm* Owner = nullptr;
};

// A top-level window with a toolbar and a thumbnail grid of the textures it
// owns: the main form (with the options panel), a variations form, or the stock.
class OrvelleForm : public QWidget {
  Q_OBJECT
public:
  explicit OrvelleForm(int32_t mode);
  ~OrvelleForm() override;

  // Makes the window in its mode and places it; false when it cannot be made.
  bool CreateWindow();
  void ApplyPlacement(const ::Placement& placement);
  // The window's current placement (the stored one when there is no window).
  ::Placement RecordPlacement();

  void OnCommand(int32_t id);
  void UpdateCommandState();
  void ShowSelectionInTiling();
  ::Placement ComputeChildPlacement(int32_t clientWidth, int32_t clientHeight);
  // The list's single selection, -1 for none or several.
  int32_t Selection() const;

  // A menu of Resize x2..x10 for the selected texture, factors above the
  // size limit greyed.
  void FillResizeMenu(QMenu& menu);
  // The context menu of the selected texture.
  std::unique_ptr<QMenu> BuildContextMenu();

  int32_t FormMode;
  ::Placement Placement;
  std::vector<std::unique_ptr<mvPictureLayer>> Textures;
  int32_t TextureCount() const { return static_cast<int32_t>(Textures.size()); }

  ListBoxWidget* ListWidget() const { return list_; }
  ListBox& List();
  QToolBar* ToolBar() const { return toolbar_; }
  QAction* Action(int32_t id) const;
  bool Created() const { return created_; }
  int32_t ToolbarHeight() const;
  // Appends a texture (owned from now on) with its thumbnail; false, texture
  // deleted, when there is no room.
  bool AppendTexture(std::unique_ptr<mvPictureLayer> texture, bool seamless);
  // The texture of list item index, or null.
  mvPictureLayer* TextureAt(int32_t index) const;
  bool SeamlessAt(int32_t index) const;
  // Shows the window and paints it at once.
  void ShowNow();
  // Closing for good, whatever the mode (used when the main form goes).
  void DestroyForm();

protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

private:
  void CreateToolbar();
  void LayoutChildren();
  void OnMainDestroy();
  void RepaintList();

  // Commands.
  void Generate();
  void Save();
  void Copy();
  void Remove();
  void SaveRecipe();
  void OpenRecipe();
  void Variations();
  void AddToStock();
  void Resize(int32_t factor);
  void TurnOrFlip(int32_t id);
  void ToggleStock();
  void ToggleTiling();
  void About();

  ListBoxWidget* list_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  std::map<int32_t, QAction*> actions_;
  QToolButton* resizeButton_ = nullptr;
  bool created_ = false;
  bool destroying_ = false;
};
