#include "app/forms/editor_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QSplitter>
#include <QToolButton>
#include <QTreeWidget>
#include <QUndoGroup>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/forms/dialogs.h"
#include "app/forms/icons.h"
#include "app/forms/strings.h"
#include "core/blend.h"
#include "core/limits.h"
#include "generator/generator.h"
#include "recipe/recipe.h"

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// Any colour as 16-bit RGBA (the form effects read it in).
QColor ToQColor(const mvColor& colour) {
  uint8_t raw[8] = {};
  ConvertColor(ColorTypeRGB, colour, 16, 4, raw);
  const auto sample = [&raw](int i) { return static_cast<quint16>(raw[2 * i] | (raw[2 * i + 1] << 8)); };
  return QColor::fromRgba64(sample(0), sample(1), sample(2), sample(3));
}

// The chosen colour at the depth the field had; without alpha while it stays opaque.
mvColor FromQColor(const QColor& chosen, const mvColor& old) {
  const QRgba64 c = chosen.rgba64();
  if (old.BitDepth == 16) {
    if (!old.HasAlpha() && c.alpha() == 65535) return mvColor(c.red(), c.green(), c.blue());
    return mvColor(c.red(), c.green(), c.blue(), c.alpha());
  }
  const auto r = static_cast<uint8_t>(chosen.red()), g = static_cast<uint8_t>(chosen.green()),
             b = static_cast<uint8_t>(chosen.blue()), a = static_cast<uint8_t>(chosen.alpha());
  if (!old.HasAlpha() && a == 255) return mvColor::RGB8(r, g, b);
  return mvColor::RGBA8(r, g, b, a);
}

// A swatch over a checkerboard, so that alpha shows.
QIcon Swatch(const QColor& colour, QSize size = QSize(32, 16)) {
  QPixmap pixmap(size);
  QPainter p(&pixmap);
  for (int y = 0; y < size.height(); y += 4)
    for (int x = 0; x < size.width(); x += 4)
      p.fillRect(x, y, 4, 4, ((x + y) / 4) % 2 ? QColor(200, 200, 200) : Qt::white);
  p.fillRect(pixmap.rect(), colour);
  p.setPen(QColor(60, 60, 60));
  p.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
  return QIcon(pixmap);
}

QString OpacityText(uint32_t opacity) { return QStringLiteral("%1%").arg((opacity * 100 + 32767) / 65535); }

double RelativeMiddle(const GradientSegment& s) {
  const double length = s.Right - s.Left;
  return length > 1e-9 ? (s.Middle - s.Left) / length : 0.5;
}

void KeepMiddle(GradientSegment& s, double relative) { s.Middle = s.Left + relative * (s.Right - s.Left); }

void CopyFieldValue(const FieldInfo& f, const mvEffect& from, mvEffect& to) { TraitsOf(f.Type).Copy(f, from, to); }

}  // namespace

// ---- WideSpinBox --------------------------------------------------------------

WideSpinBox::WideSpinBox(QWidget* parent) : QAbstractSpinBox(parent) {
  setAccelerated(true);
  lineEdit()->setText(QStringLiteral("0"));
  connect(lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (ok && v >= minimum_ && v <= maximum_ && v != value_) {
      value_ = v;
      emit ValueChanged(v);
    }
  });
  connect(this, &QAbstractSpinBox::editingFinished, this, [this] { lineEdit()->setText(QString::number(value_)); });
}

void WideSpinBox::SetRange(int64_t minimum, int64_t maximum) {
  minimum_ = minimum;
  maximum_ = std::max(minimum, maximum);
  SetValue(value_);
  updateGeometry();
}

void WideSpinBox::SetValue(int64_t value) {
  value = std::clamp(value, minimum_, maximum_);
  const bool changed = value != value_;
  value_ = value;
  if (lineEdit()->text() != QString::number(value)) lineEdit()->setText(QString::number(value));
  if (changed) emit ValueChanged(value);
}

void WideSpinBox::stepBy(int steps) {
  // Saturating: a step never wraps around the ends of a 32-bit range.
  const int64_t step = steps;
  if (step > 0 && value_ > maximum_ - step) SetValue(maximum_);
  else if (step < 0 && value_ < minimum_ - step) SetValue(minimum_);
  else SetValue(value_ + step);
  selectAll();
}

QValidator::State WideSpinBox::validate(QString& input, int&) const {
  if (input.isEmpty() || input == QStringLiteral("-") || input == QStringLiteral("+"))
    return minimum_ < 0 || input != QStringLiteral("-") ? QValidator::Intermediate : QValidator::Invalid;
  bool ok = false;
  const qint64 v = input.toLongLong(&ok);
  if (!ok) return QValidator::Invalid;
  return v >= minimum_ && v <= maximum_ ? QValidator::Acceptable : QValidator::Intermediate;
}

QAbstractSpinBox::StepEnabled WideSpinBox::stepEnabled() const {
  StepEnabled enabled = StepNone;
  if (value_ > minimum_) enabled |= StepDownEnabled;
  if (value_ < maximum_) enabled |= StepUpEnabled;
  return enabled;
}

QSize WideSpinBox::sizeHint() const {
  const QSize base = QAbstractSpinBox::sizeHint();
  const int digits = static_cast<int>(std::max(QString::number(minimum_).size(), QString::number(maximum_).size()));
  return QSize(std::max(base.width(), fontMetrics().horizontalAdvance(QString(std::min(digits, 11), QChar('9'))) + 40),
               base.height());
}

// ---- GradientBar ----------------------------------------------------------------

GradientBar::GradientBar(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setToolTip(
      QStringLiteral("Drag a stop to move it, click the bar to add one, double-click a stop for its colour, "
                     "Delete or right-click takes a stop out"));
}

void GradientBar::SetGradient(const mvGradient& gradient) {
  gradient_ = gradient;
  if (selected_ >= StopCount()) selected_ = StopCount() - 1;
  update();
}

QSize GradientBar::sizeHint() const { return QSize(260, 44); }
QSize GradientBar::minimumSizeHint() const { return QSize(120, 44); }

QRect GradientBar::BarRect() const { return QRect(7, 2, std::max(1, width() - 14), height() - 16); }

double GradientBar::PositionAt(int x) const {
  const QRect bar = BarRect();
  return std::clamp(static_cast<double>(x - bar.left()) / std::max(1, bar.width() - 1), 0.0, 1.0);
}

double GradientBar::StopPosition(int32_t stop) const {
  const std::vector<GradientSegment>& s = gradient_.Segments;
  if (stop <= 0) return s.empty() ? 0.0 : s.front().Left;
  return s[static_cast<size_t>(std::min<int32_t>(stop, gradient_.Count()) - 1)].Right;
}

int32_t GradientBar::StopAt(const QPoint& point) const {
  const QRect bar = BarRect();
  if (point.y() < bar.bottom() - 4) return -1;
  int32_t best = -1;
  int bestDistance = 7;
  for (int32_t k = 0; k < StopCount(); ++k) {
    const int x = bar.left() + static_cast<int>(std::lround(StopPosition(k) * (bar.width() - 1)));
    const int distance = std::abs(point.x() - x);
    if (distance < bestDistance || (distance == bestDistance && k == selected_)) {
      best = k;
      bestDistance = distance;
    }
  }
  return best;
}

void GradientBar::SelectStop(int32_t stop) {
  selected_ = stop >= 0 && stop < StopCount() ? stop : -1;
  update();
}

void GradientBar::StopColour(int32_t stop, uint8_t rgba[4]) const {
  const std::vector<GradientSegment>& s = gradient_.Segments;
  if (s.empty() || stop < 0 || stop > gradient_.Count()) return;
  const uint8_t* c = stop < gradient_.Count() ? s[static_cast<size_t>(stop)].LeftColor : s.back().RightColor;
  std::copy(c, c + 4, rgba);
}

bool GradientBar::MoveStop(int32_t stop, double position) {
  std::vector<GradientSegment>& s = gradient_.Segments;
  const int32_t n = gradient_.Count();
  if (n == 0 || stop < 0 || stop > n || !std::isfinite(position)) return false;
  // Between the neighbouring stops, so that no segment turns inside out.
  const double lower = stop == 0 ? 0.0 : s[static_cast<size_t>(stop - 1)].Left;
  const double upper = stop == n ? 1.0 : s[static_cast<size_t>(stop)].Right;
  position = std::clamp(position, lower, upper);
  if (stop > 0) {
    GradientSegment& left = s[static_cast<size_t>(stop - 1)];
    const double middle = RelativeMiddle(left);
    left.Right = position;
    KeepMiddle(left, middle);
  }
  if (stop < n) {
    GradientSegment& right = s[static_cast<size_t>(stop)];
    const double middle = RelativeMiddle(right);
    right.Left = position;
    KeepMiddle(right, middle);
  }
  update();
  return true;
}

bool GradientBar::AddStop(double position) {
  std::vector<GradientSegment>& s = gradient_.Segments;
  if (s.empty()) {
    // An empty gradient gets its first segment: black to white.
    s.push_back(GradientSegment{});
    selected_ = 0;
    update();
    return true;
  }
  if (gradient_.Count() >= limits::kMaxGradientSegments) return false;
  const int32_t i = gradient_.FindSegment(position);
  if (i < 0) return false;
  GradientSegment& old = s[static_cast<size_t>(i)];
  if (position <= old.Left + 1e-6 || position >= old.Right - 1e-6) return false;
  uint8_t colour[4] = {0, 0, 0, 255};
  if (!gradient_.GetColor8(position, false, colour)) return false;
  const double middle = RelativeMiddle(old);
  GradientSegment right = old;
  old.Right = position;
  std::copy(colour, colour + 4, old.RightColor);
  KeepMiddle(old, middle);
  right.Left = position;
  std::copy(colour, colour + 4, right.LeftColor);
  KeepMiddle(right, middle);
  s.insert(s.begin() + i + 1, right);
  selected_ = i + 1;
  update();
  return true;
}

bool GradientBar::RemoveStop(int32_t stop) {
  std::vector<GradientSegment>& s = gradient_.Segments;
  if (stop <= 0 || stop >= gradient_.Count()) return false;  // the ends stay
  GradientSegment& left = s[static_cast<size_t>(stop - 1)];
  const GradientSegment& right = s[static_cast<size_t>(stop)];
  left.Right = right.Right;
  std::copy(right.RightColor, right.RightColor + 4, left.RightColor);
  left.Middle = (left.Left + left.Right) / 2;
  s.erase(s.begin() + stop);
  selected_ = std::min(stop, StopCount() - 1);
  update();
  return true;
}

bool GradientBar::SetStopColour(int32_t stop, const uint8_t rgba[4]) {
  std::vector<GradientSegment>& s = gradient_.Segments;
  if (s.empty() || stop < 0 || stop > gradient_.Count()) return false;
  if (stop > 0) std::copy(rgba, rgba + 4, s[static_cast<size_t>(stop - 1)].RightColor);
  if (stop < gradient_.Count()) std::copy(rgba, rgba + 4, s[static_cast<size_t>(stop)].LeftColor);
  update();
  return true;
}

void GradientBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect bar = BarRect();
  for (int y = bar.top(); y <= bar.bottom(); y += 5)
    for (int x = bar.left(); x <= bar.right(); x += 5)
      p.fillRect(QRect(x, y, 5, 5).intersected(bar),
                 ((x - bar.left() + y - bar.top()) / 5) % 2 ? QColor(200, 200, 200) : Qt::white);
  for (int x = bar.left(); x <= bar.right(); ++x) {
    uint8_t c[4];
    if (gradient_.GetColor8(PositionAt(x), false, c))
      p.fillRect(QRect(x, bar.top(), 1, bar.height()), QColor(c[0], c[1], c[2], c[3]));
  }
  p.setPen(palette().color(QPalette::Mid));
  p.drawRect(bar.adjusted(0, 0, -1, -1));
  p.setRenderHint(QPainter::Antialiasing);
  for (int32_t k = 0; k < StopCount(); ++k) {
    const double x = bar.left() + StopPosition(k) * (bar.width() - 1);
    uint8_t c[4] = {0, 0, 0, 255};
    StopColour(k, c);
    const QPointF tip(x, bar.bottom() + 1.0);
    const QPointF shape[] = {tip, QPointF(x - 6, bar.bottom() + 12.0), QPointF(x + 6, bar.bottom() + 12.0)};
    p.setPen(QPen(k == selected_ ? palette().color(QPalette::Highlight) : QColor(40, 40, 40), k == selected_ ? 2 : 1));
    p.setBrush(QColor(c[0], c[1], c[2]));
    p.drawPolygon(shape, 3);
  }
  if (hasFocus()) {
    p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

void GradientBar::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const int32_t stop = StopAt(at);
  if (event->button() == Qt::RightButton) {
    if (RemoveStop(stop)) emit GradientChanged(true);
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  if (stop >= 0) {
    SelectStop(stop);
    dragging_ = true;
    return;
  }
  if (AddStop(PositionAt(at.x()))) emit GradientChanged(true);
}

void GradientBar::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || selected_ < 0) return;
  if (MoveStop(selected_, PositionAt(event->position().toPoint().x()))) emit GradientChanged(false);
}

void GradientBar::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragging_) return;
  dragging_ = false;
  if (selected_ >= 0 && MoveStop(selected_, PositionAt(event->position().toPoint().x()))) emit GradientChanged(true);
}

void GradientBar::mouseDoubleClickEvent(QMouseEvent* event) {
  const int32_t stop = StopAt(event->position().toPoint());
  if (stop < 0) return;
  dragging_ = false;
  SelectStop(stop);
  emit ColourWanted(stop);
}

void GradientBar::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) && RemoveStop(selected_)) {
    emit GradientChanged(true);
    return;
  }
  if ((event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) && selected_ >= 0) {
    const double step = event->key() == Qt::Key_Left ? -0.01 : 0.01;
    if (MoveStop(selected_, StopPosition(selected_) + step)) emit GradientChanged(true);
    return;
  }
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && selected_ >= 0) {
    emit ColourWanted(selected_);
    return;
  }
  QWidget::keyPressEvent(event);
}

// ---- EffectChooser ----------------------------------------------------------------

EffectChooser::EffectChooser(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Add effect"));
  auto* layout = new QVBoxLayout(this);
  Filter = new QLineEdit(this);
  Filter->setPlaceholderText(QStringLiteral("Search"));
  Filter->setClearButtonEnabled(true);
  List = new QListWidget(this);
  std::vector<const mvEffectClass*> classes = RegisteredEffects();
  std::sort(classes.begin(), classes.end(), [](const mvEffectClass* a, const mvEffectClass* b) {
    return EffectDisplayName(*a) < EffectDisplayName(*b);
  });
  for (const mvEffectClass* c : classes) {
    auto* item = new QListWidgetItem(Text(EffectDisplayName(*c)), List);
    item->setData(Qt::UserRole, c->TypeId);
    item->setToolTip(QStringLiteral("%1 (type %2)").arg(Text(c->Name)).arg(c->TypeId));
  }
  List->setCurrentRow(0);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(Filter);
  layout->addWidget(List);
  layout->addWidget(buttons);
  connect(Filter, &QLineEdit::textChanged, this, &EffectChooser::SetFilter);
  connect(List, &QListWidget::itemActivated, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  resize(300, 420);
}

void EffectChooser::SetFilter(const QString& text) {
  QListWidgetItem* first = nullptr;
  for (int i = 0; i < List->count(); ++i) {
    QListWidgetItem* item = List->item(i);
    const bool shown = text.isEmpty() || item->text().contains(text, Qt::CaseInsensitive) ||
                       item->toolTip().contains(text, Qt::CaseInsensitive);
    item->setHidden(!shown);
    if (shown && !first) first = item;
  }
  if (!List->currentItem() || List->currentItem()->isHidden()) List->setCurrentItem(first);
}

int EffectChooser::VisibleCount() const {
  int n = 0;
  for (int i = 0; i < List->count(); ++i) n += List->item(i)->isHidden() ? 0 : 1;
  return n;
}

uint32_t EffectChooser::Chosen() const {
  const QListWidgetItem* item = List->currentItem();
  return item && !item->isHidden() ? item->data(Qt::UserRole).toUInt() : 0;
}

// ---- EditorWindow ---------------------------------------------------------------------

EditorWindow::EditorWindow(const Dialogs& ask, QUndoGroup& history) : QWidget(nullptr), ask_(ask) {
  setWindowTitle(QString::fromUtf8(kEditorTitle));
  setWindowIcon(ProgramIcon());
  setObjectName(QStringLiteral("EditorWindow"));
  random_.Seed(TickCount());

  auto* layout = new QVBoxLayout(this);
  caption_ = new QLabel(this);
  caption_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* top = new QHBoxLayout;
  top->addWidget(caption_, 1);
  for (QAction* action : {history.createUndoAction(this, QStringLiteral("&Undo")),
                          history.createRedoAction(this, QStringLiteral("&Redo"))}) {
    const bool undo = action->text().startsWith(QStringLiteral("&Undo"));
    action->setShortcut(undo ? QKeySequence(Qt::CTRL | Qt::Key_Z) : QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    action->setObjectName(undo ? QStringLiteral("Undo") : QStringLiteral("Redo"));
    addAction(action);
    auto* button = new QToolButton(this);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    top->addWidget(button);
  }
  layout->addLayout(top);

  auto* splitter = new QSplitter(Qt::Horizontal, this);
  auto* left = new QWidget(splitter);
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  list_ = new QTreeWidget(left);
  list_->setObjectName(QStringLiteral("EffectList"));
  list_->setColumnCount(3);
  list_->setHeaderLabels({QStringLiteral("Effect"), QStringLiteral("Blend mode"), QStringLiteral("Opacity")});
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->header()->setStretchLastSection(false);
  list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  list_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  list_->setToolTip(QStringLiteral("The recipe's effects, applied top to bottom; untick one to leave it out"));
  leftLayout->addWidget(list_, 1);
  auto* buttons = new QHBoxLayout;
  addButton_ = new QPushButton(QStringLiteral("&Add..."), left);
  removeButton_ = new QPushButton(QStringLiteral("Re&move"), left);
  duplicateButton_ = new QPushButton(QStringLiteral("Dupli&cate"), left);
  upButton_ = new QToolButton(left);
  upButton_->setArrowType(Qt::UpArrow);
  upButton_->setToolTip(QStringLiteral("Move the effect up (applied earlier)"));
  downButton_ = new QToolButton(left);
  downButton_->setArrowType(Qt::DownArrow);
  downButton_->setToolTip(QStringLiteral("Move the effect down (applied later)"));
  for (QWidget* w :
       std::initializer_list<QWidget*>{addButton_, removeButton_, duplicateButton_, upButton_, downButton_})
    buttons->addWidget(w);
  leftLayout->addLayout(buttons);

  auto* right = new QWidget(splitter);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  effectTitle_ = new QLabel(right);
  QFont bold = effectTitle_->font();
  bold.setBold(true);
  effectTitle_->setFont(bold);
  rightLayout->addWidget(effectTitle_);
  auto* common = new QGridLayout;
  enabledBox_ = new QCheckBox(QStringLiteral("&Enabled"), right);
  enabledBox_->setToolTip(QStringLiteral("A disabled effect stays in the recipe but is not applied"));
  blendBox_ = new QComboBox(right);
  for (uint32_t m = 0; m < BlendModeCount; ++m) blendBox_->addItem(QString::fromUtf8(BlendModeName(m)), m);
  blendBox_->setToolTip(QStringLiteral("How the effect's result is laid over the picture beneath"));
  opacityBox_ = new WideSpinBox(right);
  opacityBox_->SetRange(0, 65535);
  opacityBox_->setToolTip(QStringLiteral("How much of the effect's result is laid over the picture beneath, 0..65535"));
  opacitySlider_ = new QSlider(Qt::Horizontal, right);
  opacitySlider_->setRange(0, 65535);
  opacitySlider_->setPageStep(6554);
  common->addWidget(enabledBox_, 0, 0, 1, 3);
  common->addWidget(new QLabel(QStringLiteral("Blend mode:"), right), 1, 0);
  common->addWidget(blendBox_, 1, 1, 1, 2);
  common->addWidget(new QLabel(QStringLiteral("Opacity:"), right), 2, 0);
  common->addWidget(opacitySlider_, 2, 1);
  common->addWidget(opacityBox_, 2, 2);
  rightLayout->addLayout(common);
  scroll_ = new QScrollArea(right);
  scroll_->setWidgetResizable(true);
  scroll_->setFrameShape(QFrame::StyledPanel);
  rightLayout->addWidget(scroll_, 1);
  randomize_ = new QPushButton(QStringLiteral("Randomi&ze this effect"), right);
  randomize_->setToolTip(QStringLiteral("Redraws the effect's parameters the way Variations does for it"));
  rightLayout->addWidget(randomize_);
  splitter->addWidget(left);
  splitter->addWidget(right);
  splitter->setStretchFactor(0, 2);
  splitter->setStretchFactor(1, 3);
  layout->addWidget(splitter, 1);
  status_ = new QLabel(this);
  layout->addWidget(status_);

  connect(list_, &QTreeWidget::currentItemChanged, this, [this] {
    if (loading_) return;
    const int row = list_->currentItem() ? list_->indexOfTopLevelItem(list_->currentItem()) : -1;
    SelectEffect(row);
  });
  connect(list_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (loading_ || column != 0) return;
    SetEffectEnabled(list_->indexOfTopLevelItem(item), item->checkState(0) == Qt::Checked);
  });
  connect(addButton_, &QPushButton::clicked, this, &EditorWindow::ChooseEffectToAdd);
  connect(removeButton_, &QPushButton::clicked, this, &EditorWindow::RemoveEffect);
  connect(duplicateButton_, &QPushButton::clicked, this, &EditorWindow::DuplicateEffect);
  connect(upButton_, &QToolButton::clicked, this, [this] { MoveEffect(-1); });
  connect(downButton_, &QToolButton::clicked, this, [this] { MoveEffect(1); });
  connect(enabledBox_, &QCheckBox::toggled, this, [this](bool on) {
    if (!loading_) SetEffectEnabled(selected_, on);
  });
  connect(blendBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!loading_ && index >= 0) SetBlendMode(static_cast<uint32_t>(index));
  });
  connect(opacityBox_, &WideSpinBox::ValueChanged, this, [this](qint64 v) {
    if (loading_) return;
    const QSignalBlocker block(opacitySlider_);
    opacitySlider_->setValue(static_cast<int>(v));
    SetOpacity(static_cast<uint32_t>(v));
  });
  connect(opacitySlider_, &QSlider::valueChanged, this, [this](int v) {
    if (!loading_) opacityBox_->SetValue(v);
  });
  connect(randomize_, &QPushButton::clicked, this, &EditorWindow::RandomizeEffect);
  resize(720, 480);
  ShowRecipe(nullptr, 0, 0, false, QString());
}

void EditorWindow::closeEvent(QCloseEvent* event) {
  // Closing only hides it: E brings it back as it was.
  event->accept();
}

void EditorWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  Where.Track(*this);
}

void EditorWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Where.Track(*this);
}

const mvEffect* EditorWindow::Selected() const {
  if (!chain_ || selected_ < 0 || selected_ >= static_cast<int32_t>(chain_->size())) return nullptr;
  return (*chain_)[static_cast<size_t>(selected_)].get();
}

void EditorWindow::ShowRecipe(SharedChain chain, int32_t width, int32_t height, bool seamless, const QString& caption,
                              int32_t select) {
  chain_ = std::move(chain);
  width_ = width;
  height_ = height;
  seamless_ = seamless;
  const int32_t count = chain_ ? static_cast<int32_t>(chain_->size()) : 0;
  if (select >= 0) selected_ = select;
  selected_ = count == 0 ? -1 : std::clamp(selected_, 0, count - 1);
  caption_->setText(chain_ ? caption : QStringLiteral("Select a texture to see its recipe."));
  FillList();
  const mvEffect* e = Selected();
  if (!e || &e->Class() != fieldsOf_) BuildFields();
  LoadFields();
  UpdateButtons();
}

void EditorWindow::ShowRendering(bool busy, int percent) {
  rendering_ = busy;
  status_->setText(
      busy ? (percent >= 0 ? QStringLiteral("Rendering... %1%").arg(percent) : QStringLiteral("Rendering..."))
           : statusText_);
}

void EditorWindow::SetStatus(const QString& text) {
  statusText_ = text;
  if (!rendering_) status_->setText(text);
}

QString EditorWindow::StatusText() const { return statusText_; }

void EditorWindow::FillList() {
  loading_ = true;
  // Rows are kept where they can be: a change may come from a row's own
  // check box, which must outlive the signal it is sending.
  const int rows = chain_ ? static_cast<int>(chain_->size()) : 0;
  while (list_->topLevelItemCount() > rows) delete list_->takeTopLevelItem(list_->topLevelItemCount() - 1);
  while (list_->topLevelItemCount() < rows) new QTreeWidgetItem(list_);
  if (chain_) {
    for (size_t i = 0; i < chain_->size(); ++i) {
      const mvEffect& e = *(*chain_)[i];
      QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(i));
      item->setText(0, Text(EffectDisplayName(e.Class())));
      item->setToolTip(0, QStringLiteral("%1 (type %2)").arg(Text(e.Class().Name)).arg(e.Class().TypeId));
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(0, e.Enabled ? Qt::Checked : Qt::Unchecked);
      item->setText(1, e.IsTransform() ? QStringLiteral("-") : QString::fromUtf8(BlendModeName(e.BlendMode)));
      item->setText(2, e.IsTransform() ? QStringLiteral("-") : OpacityText(e.Opacity));
      for (int c = 0; c < 3; ++c)
        item->setForeground(c, palette().brush(e.Enabled ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    }
    if (selected_ >= 0) list_->setCurrentItem(list_->topLevelItem(selected_));
  }
  loading_ = false;
}

void EditorWindow::UpdateButtons() {
  const bool have = chain_ != nullptr;
  const int32_t count = have ? static_cast<int32_t>(chain_->size()) : 0;
  const mvEffect* e = Selected();
  addButton_->setEnabled(have && count < limits::kMaxEffectsPerRecipe);
  removeButton_->setEnabled(e != nullptr);
  duplicateButton_->setEnabled(e != nullptr && count < limits::kMaxEffectsPerRecipe);
  upButton_->setEnabled(e != nullptr && selected_ > 0);
  downButton_->setEnabled(e != nullptr && selected_ + 1 < count);
  enabledBox_->setEnabled(e != nullptr);
  // Turns replace the picture whatever the mode and opacity.
  const bool blends = e != nullptr && !e->IsTransform();
  blendBox_->setEnabled(blends);
  opacityBox_->setEnabled(blends);
  opacitySlider_->setEnabled(blends);
  bool varies = false;
  if (e) {
    // The variation maker's rules say which classes it varies; a throwaway
    // copy and source find out without touching the window's own.
    std::unique_ptr<mvEffect> probe(e->Clone());
    mvRandom scratch;
    varies = probe && VaryEffect(*probe, scratch, std::max(width_, 1), std::max(height_, 1), seamless_, false);
  }
  randomize_->setEnabled(varies);
}

void EditorWindow::BuildFields() {
  rows_.clear();
  fieldsPanel_ = new QWidget;
  fieldsGrid_ = new QGridLayout(fieldsPanel_);
  const mvEffect* e = Selected();
  fieldsOf_ = e ? &e->Class() : nullptr;
  effectTitle_->setText(e ? QStringLiteral("%1 (%2)").arg(Text(EffectDisplayName(e->Class())), Text(e->Class().Name))
                          : QString());
  int row = 0;
  if (e) {
    for (const FieldInfo& f : e->Class().Fields) {
      FieldRow r;
      r.Field = &f;
      QWidget* editor = MakeFieldEditor(f, r);
      editor->setObjectName(Text(f.Name));
      const QString tip = Text(f.HelpText) +
                          (FieldRuleText(f).empty() ? QString() : QStringLiteral(" (%1)").arg(Text(FieldRuleText(f))));
      editor->setToolTip(tip);
      for (QWidget* child : editor->findChildren<QWidget*>()) child->setToolTip(tip);
      auto* label = new QLabel(Text(f.Name) + QChar(':'), fieldsPanel_);
      label->setToolTip(tip);
      auto* reset = new QToolButton(fieldsPanel_);
      reset->setText(QStringLiteral("Reset"));
      reset->setToolTip(QStringLiteral("Back to the default"));
      reset->setObjectName(Text(f.Name) + QStringLiteral("Reset"));
      const std::string name = f.Name;
      connect(reset, &QToolButton::clicked, this, [this, name] { ResetField(name); });
      fieldsGrid_->addWidget(label, row, 0);
      fieldsGrid_->addWidget(editor, row, 1);
      fieldsGrid_->addWidget(reset, row, 2);
      r.Editor = editor;
      rows_.push_back(std::move(r));
      ++row;
    }
    if (e->Class().Fields.empty())
      fieldsGrid_->addWidget(new QLabel(QStringLiteral("This effect has no fields."), fieldsPanel_), 0, 0, 1, 3);
  }
  fieldsGrid_->setColumnStretch(1, 1);
  fieldsGrid_->setRowStretch(row + 1, 1);
  scroll_->setWidget(fieldsPanel_);  // the old panel goes with it
}

QWidget* EditorWindow::MakeFieldEditor(const FieldInfo& f, FieldRow& row) {
  const FieldEditorSpec spec = EditorSpecOf(f);
  const std::string name = f.Name;
  switch (spec.Kind) {
    case FieldEditorKind::Check: {
      auto* box = new QCheckBox(fieldsPanel_);
      connect(box, &QCheckBox::toggled, this, [this, name](bool on) {
        if (!loading_) SetFieldText(name, on ? "true" : "false");
      });
      row.Load = [box, &f](const mvEffect& e) { box->setChecked(f.Of<bool>(e)); };
      return box;
    }
    case FieldEditorKind::Choice:
    case FieldEditorKind::BlendMode: {
      auto* box = new QComboBox(fieldsPanel_);
      for (const FieldChoice& c : spec.Choices)
        box->addItem(spec.Kind == FieldEditorKind::Choice ? QStringLiteral("%1 %2").arg(c.Value).arg(Text(c.Name))
                                                          : Text(c.Name),
                     QVariant::fromValue<qlonglong>(c.Value));
      const int named = box->count();
      connect(box, &QComboBox::currentIndexChanged, this, [this, box, name](int index) {
        if (!loading_ && index >= 0) SetFieldText(name, std::to_string(box->itemData(index).toLongLong()));
      });
      row.Load = [box, &f, named](const mvEffect& e) {
        const int64_t v = f.Type == FieldType::Int ? f.Of<int32_t>(e) : int64_t{f.Of<uint32_t>(e)};
        // A value a file holds beyond the named ones is shown as it is, never changed unasked.
        while (box->count() > named) box->removeItem(box->count() - 1);
        int index = box->findData(QVariant::fromValue<qlonglong>(v));
        if (index < 0) {
          box->addItem(QString::number(v), QVariant::fromValue<qlonglong>(v));
          index = box->count() - 1;
        }
        box->setCurrentIndex(index);
      };
      return box;
    }
    case FieldEditorKind::Number: {
      auto* holder = new QWidget(fieldsPanel_);
      auto* layout = new QHBoxLayout(holder);
      layout->setContentsMargins(0, 0, 0, 0);
      auto* spin = new WideSpinBox(holder);
      spin->SetRange(spec.Minimum, spec.Maximum);
      spin->setObjectName(QStringLiteral("Spin"));
      QSlider* slider = nullptr;
      if (spec.Slider) {
        slider = new QSlider(Qt::Horizontal, holder);
        slider->setObjectName(QStringLiteral("Slider"));
        slider->setRange(static_cast<int>(spec.Minimum), static_cast<int>(spec.Maximum));
        layout->addWidget(slider, 1);
        connect(slider, &QSlider::valueChanged, this, [this, spin](int v) {
          if (!loading_) spin->SetValue(v);
        });
      }
      layout->addWidget(spin, slider ? 0 : 1);
      connect(spin, &WideSpinBox::ValueChanged, this, [this, name, slider](qint64 v) {
        if (loading_) return;
        if (slider) {
          const QSignalBlocker block(slider);
          slider->setValue(static_cast<int>(v));
        }
        SetFieldText(name, std::to_string(v));
      });
      row.Load = [spin, slider, &f](const mvEffect& e) {
        const int64_t v = f.Type == FieldType::Int ? f.Of<int32_t>(e) : int64_t{f.Of<uint32_t>(e)};
        spin->SetValue(v);
        if (slider) slider->setValue(static_cast<int>(v));
      };
      return holder;
    }
    case FieldEditorKind::Real: {
      auto* spin = new QDoubleSpinBox(fieldsPanel_);
      spin->setRange(-1e15, 1e15);
      spin->setDecimals(6);
      spin->setKeyboardTracking(false);
      connect(spin, &QDoubleSpinBox::valueChanged, this, [this, name](double v) {
        if (!loading_) SetFieldText(name, QString::number(v, 'g', 17).toStdString());
      });
      row.Load = [spin, &f](const mvEffect& e) { spin->setValue(f.Of<double>(e)); };
      return spin;
    }
    case FieldEditorKind::Colour: {
      auto* button = new QPushButton(fieldsPanel_);
      connect(button, &QPushButton::clicked, this, [this, &f] { ChooseColour(f); });
      row.Load = [button, &f](const mvEffect& e) {
        const QColor c = ToQColor(f.Of<mvColor>(e));
        button->setIcon(Swatch(c));
        button->setText(c.name(QColor::HexArgb));
      };
      return button;
    }
    case FieldEditorKind::Gradient: {
      auto* bar = new GradientBar(fieldsPanel_);
      connect(bar, &GradientBar::GradientChanged, this, [this, bar, &f](bool finished) {
        // The moves of one drag are one change; each finished change is its own.
        const mvGradient g = bar->Gradient();
        ChangeSelected([&](mvEffect& e) { f.Of<mvGradient>(e) = g; },
                       QStringLiteral("%1/%2/%3").arg(selected_).arg(Text(f.Name)).arg(gradientDrag_),
                       QStringLiteral("Change %1").arg(Text(f.Name)));
        if (finished) ++gradientDrag_;
      });
      connect(bar, &GradientBar::ColourWanted, this, [this, bar, &f](int stop) { ChooseStopColour(bar, f, stop); });
      row.Load = [bar, &f](const mvEffect& e) { bar->SetGradient(f.Of<mvGradient>(e)); };
      return bar;
    }
  }
  return new QWidget(fieldsPanel_);
}

void EditorWindow::LoadFields() {
  loading_ = true;
  const mvEffect* e = Selected();
  if (e) {
    for (FieldRow& r : rows_)
      if (r.Load) r.Load(*e);
    enabledBox_->setChecked(e->Enabled);
    blendBox_->setCurrentIndex(e->BlendMode < BlendModeCount ? static_cast<int>(e->BlendMode) : -1);
    opacityBox_->SetValue(e->Opacity);
    opacitySlider_->setValue(static_cast<int>(e->Opacity));
  }
  loading_ = false;
}

QWidget* EditorWindow::FieldEditor(const std::string& field) const {
  for (const FieldRow& r : rows_)
    if (r.Field->Name == field) return r.Editor;
  return nullptr;
}

// ---- changes ---------------------------------------------------------------------------

void EditorWindow::Send(std::shared_ptr<EffectChain> chain, int32_t select, const QString& mergeKey,
                        const QString& text) {
  if (!chain) {
    SetStatus(QStringLiteral("Not enough memory."));
    return;
  }
  SetStatus(QString());
  emit Changed(std::move(chain), select, mergeKey, text);
}

bool EditorWindow::ChangeSelected(const std::function<void(mvEffect&)>& change, const QString& mergeKey,
                                  const QString& text) {
  if (!Selected()) return false;
  std::shared_ptr<EffectChain> next = CopyChain(*chain_);
  if (!next) {
    SetStatus(QStringLiteral("Not enough memory."));
    return false;
  }
  change(*(*next)[static_cast<size_t>(selected_)]);
  Send(std::move(next), selected_, mergeKey, text);
  return true;
}

void EditorWindow::SelectEffect(int32_t index) {
  if (!chain_ || index < 0 || index >= static_cast<int32_t>(chain_->size())) return;
  selected_ = index;
  if (list_->currentItem() != list_->topLevelItem(index)) {
    loading_ = true;
    list_->setCurrentItem(list_->topLevelItem(index));
    loading_ = false;
  }
  const mvEffect* e = Selected();
  if (&e->Class() != fieldsOf_) BuildFields();
  LoadFields();
  UpdateButtons();
}

void EditorWindow::AddEffect(uint32_t typeId) {
  const mvEffectClass* c = FindEffectClass(typeId);
  if (!chain_ || !c || static_cast<int32_t>(chain_->size()) >= limits::kMaxEffectsPerRecipe) return;
  std::shared_ptr<EffectChain> next = CopyChain(*chain_);
  std::unique_ptr<mvEffect> added(c->Create ? c->Create() : nullptr);
  if (!next || !added) {
    SetStatus(QStringLiteral("Not enough memory."));
    return;
  }
  // After the selected effect, where the user is looking; at the end without one.
  const int32_t at = selected_ >= 0 ? selected_ + 1 : static_cast<int32_t>(next->size());
  next->insert(next->begin() + at, std::move(added));
  Send(std::move(next), at, QString(), QStringLiteral("Add %1").arg(Text(EffectDisplayName(*c))));
}

void EditorWindow::RemoveEffect() {
  const mvEffect* e = Selected();
  if (!e) return;
  const QString text = QStringLiteral("Remove %1").arg(Text(EffectDisplayName(e->Class())));
  std::shared_ptr<EffectChain> next = CopyChain(*chain_);
  if (next) next->erase(next->begin() + selected_);
  Send(std::move(next), selected_, QString(), text);
}

void EditorWindow::DuplicateEffect() {
  const mvEffect* e = Selected();
  if (!e || static_cast<int32_t>(chain_->size()) >= limits::kMaxEffectsPerRecipe) return;
  std::shared_ptr<EffectChain> next = CopyChain(*chain_);
  std::unique_ptr<mvEffect> copy(e->Clone());
  if (next && copy) next->insert(next->begin() + selected_ + 1, std::move(copy));
  else next.reset();
  Send(std::move(next), selected_ + 1, QString(),
       QStringLiteral("Duplicate %1").arg(Text(EffectDisplayName(e->Class()))));
}

void EditorWindow::MoveEffect(int32_t delta) {
  const mvEffect* e = Selected();
  const int32_t to = selected_ + delta;
  if (!e || to < 0 || to >= static_cast<int32_t>(chain_->size())) return;
  std::shared_ptr<EffectChain> next = CopyChain(*chain_);
  if (next) std::swap((*next)[static_cast<size_t>(selected_)], (*next)[static_cast<size_t>(to)]);
  Send(std::move(next), to, QString(), QStringLiteral("Move %1").arg(Text(EffectDisplayName(e->Class()))));
}

void EditorWindow::SetEffectEnabled(int32_t index, bool enabled) {
  if (!chain_ || index < 0 || index >= static_cast<int32_t>(chain_->size())) return;
  if ((*chain_)[static_cast<size_t>(index)]->Enabled == enabled) return;
  selected_ = index;
  ChangeSelected([enabled](mvEffect& e) { e.Enabled = enabled; }, QString(),
                 enabled ? QStringLiteral("Enable effect") : QStringLiteral("Disable effect"));
}

void EditorWindow::SetOpacity(uint32_t opacity) {
  const mvEffect* e = Selected();
  if (!e || e->Opacity == opacity || opacity > 65535) return;
  ChangeSelected([opacity](mvEffect& x) { x.Opacity = opacity; }, QStringLiteral("%1/opacity").arg(selected_),
                 QStringLiteral("Change opacity"));
}

void EditorWindow::SetBlendMode(uint32_t mode) {
  const mvEffect* e = Selected();
  if (!e || e->BlendMode == mode || mode >= BlendModeCount) return;
  ChangeSelected([mode](mvEffect& x) { x.BlendMode = mode; }, QString(), QStringLiteral("Change blend mode"));
}

bool EditorWindow::SetFieldText(const std::string& field, const std::string& text) {
  const mvEffect* e = Selected();
  const FieldInfo* f = e ? e->Class().Find(field) : nullptr;
  if (!f) return false;
  // The same reading and checks as a recipe file's value gets.
  std::unique_ptr<mvEffect> changed(e->Clone());
  std::string error;
  if (changed && !SetFieldFromText(*changed, *f, text, error)) {
    SetStatus(Text(error));
    LoadFields();
    return false;
  }
  if (changed && changed->Class().Validate) error = changed->Class().Validate(*changed);
  if (!error.empty()) {
    SetStatus(Text(error));
    LoadFields();
    return false;
  }
  if (changed && EffectToJson(*changed) == EffectToJson(*e)) {
    LoadFields();  // "0 becomes 1" and the like: the editor shows what the field holds
    return true;
  }
  const mvEffect* source = changed.get();
  return ChangeSelected([source, f](mvEffect& x) { CopyFieldValue(*f, *source, x); },
                        QStringLiteral("%1/%2").arg(selected_).arg(Text(field)),
                        QStringLiteral("Change %1").arg(Text(field)));
}

void EditorWindow::ResetField(const std::string& field) {
  const mvEffect* e = Selected();
  const FieldInfo* f = e ? e->Class().Find(field) : nullptr;
  std::unique_ptr<mvEffect> fresh(e && e->Class().Create ? e->Class().Create() : nullptr);
  if (!f || !fresh || FieldToJson(*fresh, *f) == FieldToJson(*e, *f)) return;
  const mvEffect* source = fresh.get();
  ChangeSelected([source, f](mvEffect& x) { CopyFieldValue(*f, *source, x); }, QString(),
                 QStringLiteral("Reset %1").arg(Text(field)));
}

void EditorWindow::RandomizeEffect() {
  const mvEffect* e = Selected();
  if (!e) return;
  const bool first = selected_ == 0;
  mvRandom& random = random_;
  const int32_t w = width_, h = height_;
  const bool seamless = seamless_;
  // A draw can give back the values the effect has (a flag drawn the same, a
  // choice drawn again): draw again, a few times at most, so Randomize
  // always changes what it can change.
  ChangeSelected(
      [&random, w, h, seamless, first](mvEffect& x) {
        const std::unique_ptr<mvEffect> before(x.Clone());
        for (int attempt = 0; attempt < 16; ++attempt) {
          (void)VaryEffect(x, random, w, h, seamless, first);
          if (!before || !x.IsEqual(*before)) break;
        }
      },
      QString(), QStringLiteral("Randomize %1").arg(Text(EffectDisplayName(e->Class()))));
}

void EditorWindow::ChooseEffectToAdd() {
  EffectChooser chooser(this);
  if (chooser.exec() != QDialog::Accepted) return;
  if (const uint32_t type = chooser.Chosen()) AddEffect(type);
}

void EditorWindow::ChooseColour(const FieldInfo& f) {
  const mvEffect* e = Selected();
  if (!e) return;
  const mvColor old = f.Of<mvColor>(*e);
  const std::optional<QColor> chosen = ask_.AskColour(this, ToQColor(old), Text(f.Name));
  if (!chosen) return;
  const mvColor colour = FromQColor(*chosen, old);
  if (colour == old) return;
  ChangeSelected([&f, colour](mvEffect& x) { f.Of<mvColor>(x) = colour; }, QString(),
                 QStringLiteral("Change %1").arg(Text(f.Name)));
}

void EditorWindow::ChooseStopColour(GradientBar* bar, const FieldInfo& f, int stop) {
  uint8_t c[4] = {0, 0, 0, 255};
  bar->StopColour(stop, c);
  const std::optional<QColor> chosen = ask_.AskColour(this, QColor(c[0], c[1], c[2], c[3]), Text(f.Name));
  if (!chosen) return;
  const uint8_t rgba[4] = {static_cast<uint8_t>(chosen->red()), static_cast<uint8_t>(chosen->green()),
                           static_cast<uint8_t>(chosen->blue()), static_cast<uint8_t>(chosen->alpha())};
  if (!bar->SetStopColour(stop, rgba)) return;
  const mvGradient g = bar->Gradient();
  ChangeSelected([&f, g](mvEffect& x) { f.Of<mvGradient>(x) = g; }, QString(),
                 QStringLiteral("Change %1").arg(Text(f.Name)));
}
