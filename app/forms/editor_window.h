#pragma once
#include <QAbstractSpinBox>
#include <QDialog>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/forms/effect_editing.h"
#include "app/forms/window_placement.h"
#include "core/random.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollArea;
class QSlider;
class QToolButton;
class QTreeWidget;
class QUndoGroup;
struct Dialogs;

// A spin box over 64-bit integers, so that every 32-bit field (unsigned ones
// up to 4294967295) has its whole range. The value follows typing when the
// text is a whole number in range, and the arrows and wheel step it.
class WideSpinBox : public QAbstractSpinBox {
  Q_OBJECT
public:
  explicit WideSpinBox(QWidget* parent = nullptr);
  void SetRange(int64_t minimum, int64_t maximum);
  int64_t Minimum() const { return minimum_; }
  int64_t Maximum() const { return maximum_; }
  int64_t Value() const { return value_; }
  // Sets the value (clamped to the range) and emits ValueChanged when it changed.
  void SetValue(int64_t value);
  void stepBy(int steps) override;
  QValidator::State validate(QString& input, int& pos) const override;
  QSize sizeHint() const override;

signals:
  void ValueChanged(qint64 value);

protected:
  StepEnabled stepEnabled() const override;

private:
  int64_t minimum_ = 0, maximum_ = 0, value_ = 0;
};

// A gradient as a bar with its stops below it: the segments' ends. Drag a
// stop to move it between its neighbours, click the bar to add a stop there
// (the colour the gradient has there), double-click a stop for its colour,
// Delete (or right-click) takes an inner stop out. Each change goes out as a
// whole new gradient.
class GradientBar : public QWidget {
  Q_OBJECT
public:
  explicit GradientBar(QWidget* parent = nullptr);
  void SetGradient(const mvGradient& gradient);
  const mvGradient& Gradient() const { return gradient_; }
  int32_t StopCount() const { return gradient_.Count() == 0 ? 0 : gradient_.Count() + 1; }
  double StopPosition(int32_t stop) const;
  int32_t SelectedStop() const { return selected_; }
  void SelectStop(int32_t stop);

  // The edits the mouse makes, for keyboard and tests alike; false when the
  // stop or place does not allow it.
  bool MoveStop(int32_t stop, double position);
  bool AddStop(double position);
  bool RemoveStop(int32_t stop);
  bool SetStopColour(int32_t stop, const uint8_t rgba[4]);
  // The colour on the right side of a stop (the left side for the last).
  void StopColour(int32_t stop, uint8_t rgba[4]) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

signals:
  // finished: false while a drag goes on (the changes of one drag merge).
  void GradientChanged(bool finished);
  void ColourWanted(int stop);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  QRect BarRect() const;
  double PositionAt(int x) const;
  int32_t StopAt(const QPoint& point) const;

  mvGradient gradient_;
  int32_t selected_ = -1;
  bool dragging_ = false;
};

// Every effect class the program builds, to pick one from; typing narrows
// the list to the names that hold the text.
class EffectChooser : public QDialog {
  Q_OBJECT
public:
  explicit EffectChooser(QWidget* parent = nullptr);
  void SetFilter(const QString& text);
  int VisibleCount() const;
  // The chosen class's type id, 0 for none.
  uint32_t Chosen() const;

  QLineEdit* Filter = nullptr;
  QListWidget* List = nullptr;
};

// The recipe editor's window: the effects of the selected texture's recipe
// in order, and one editor per field of the selected effect, made from its
// class's field table. The window never changes a recipe itself: each change
// the user makes goes out as a new chain (Changed), and the program shows
// what the texture then holds (ShowRecipe), so undo and redo go through the
// same door.
class EditorWindow : public QWidget {
  Q_OBJECT
public:
  EditorWindow(const Dialogs& ask, QUndoGroup& history);

  // What the window edits: the chain of a texture of that size and flag, and
  // the effect to select (-1: keep the selection where it can be). A null
  // chain shows nothing to edit.
  void ShowRecipe(SharedChain chain, int32_t width, int32_t height, bool seamless, const QString& caption,
                  int32_t select = -1);
  void ShowRendering(bool busy, int percent = -1);
  SharedChain Chain() const { return chain_; }
  int32_t SelectedEffect() const { return selected_; }

  // The user's changes; each sends Changed when it changes anything.
  void SelectEffect(int32_t index);
  void AddEffect(uint32_t typeId);
  void RemoveEffect();
  void DuplicateEffect();
  void MoveEffect(int32_t delta);
  void SetEffectEnabled(int32_t index, bool enabled);
  void SetOpacity(uint32_t opacity);
  void SetBlendMode(uint32_t mode);
  // Sets a field of the selected effect from text, checked as a recipe
  // file's value is; false (with the reason in the status line) when refused.
  bool SetFieldText(const std::string& field, const std::string& text);
  void ResetField(const std::string& field);
  void RandomizeEffect();

  // The editor made for a field of the selected effect (named after it).
  QWidget* FieldEditor(const std::string& field) const;
  QTreeWidget* EffectList() const { return list_; }
  QComboBox* BlendModeBox() const { return blendBox_; }
  WideSpinBox* OpacityBox() const { return opacityBox_; }
  QPushButton* RandomizeButton() const { return randomize_; }
  QString StatusText() const;
  WindowPlacement Where;

signals:
  // A change: the chain it makes, the effect selected after it, a key that
  // lets quick repeats of one change merge (empty: none) and its undo text.
  void Changed(SharedChain chain, int32_t selected, QString mergeKey, QString text);

protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  struct FieldRow {
    const FieldInfo* Field = nullptr;
    QWidget* Editor = nullptr;
    std::function<void(const mvEffect&)> Load;
  };

  const mvEffect* Selected() const;
  // Sends the chain with the selected effect changed by change; false when
  // there is nothing to change or memory runs out.
  bool ChangeSelected(const std::function<void(mvEffect&)>& change, const QString& mergeKey, const QString& text);
  void Send(std::shared_ptr<EffectChain> chain, int32_t select, const QString& mergeKey, const QString& text);
  void FillList();
  void BuildFields();
  void LoadFields();
  void UpdateButtons();
  void SetStatus(const QString& text);
  QWidget* MakeFieldEditor(const FieldInfo& field, FieldRow& row);
  void ChooseEffectToAdd();
  void ChooseColour(const FieldInfo& field);
  void ChooseStopColour(GradientBar* bar, const FieldInfo& field, int stop);

  const Dialogs& ask_;
  SharedChain chain_;
  int32_t width_ = 0, height_ = 0;
  bool seamless_ = false;
  int32_t selected_ = -1;
  const mvEffectClass* fieldsOf_ = nullptr;  // the class the field editors were made for
  std::vector<FieldRow> rows_;
  mvRandom random_;
  bool loading_ = false;
  int32_t gradientDrag_ = 0;

  QLabel* caption_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QPushButton* addButton_ = nullptr;
  QPushButton* removeButton_ = nullptr;
  QPushButton* duplicateButton_ = nullptr;
  QToolButton* upButton_ = nullptr;
  QToolButton* downButton_ = nullptr;
  QLabel* effectTitle_ = nullptr;
  QCheckBox* enabledBox_ = nullptr;
  QComboBox* blendBox_ = nullptr;
  WideSpinBox* opacityBox_ = nullptr;
  QSlider* opacitySlider_ = nullptr;
  QPushButton* randomize_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QWidget* fieldsPanel_ = nullptr;
  QGridLayout* fieldsGrid_ = nullptr;
  QLabel* status_ = nullptr;
  QString statusText_;
  bool rendering_ = false;
};
