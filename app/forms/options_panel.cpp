#include "app/forms/options_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QToolButton>
#include <algorithm>

#include "app/forms/dialogs.h"
#include "app/forms/form_logic.h"
#include "app/forms/icons.h"
#include "app/forms/strings.h"
#include "app/settings/app_settings.h"

namespace {

constexpr int kPresetSizes[] = {32, 64, 80, 100, 120, 160, 200, 240, 256, 512, 800, 1024};
constexpr int kStepMin = 1;
constexpr int kStepMax = 32767;

QLabel* RightLabel(const char* text, QWidget* parent) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return label;
}

QFrame* EtchedLine(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

QSlider* LevelSlider(int minimum, int maximum, int value, QWidget* parent) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setRange(minimum, maximum);
  slider->setValue(std::clamp(value, minimum, maximum));
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setTickInterval(1);
  slider->setPageStep(1);
  return slider;
}

QLabel* ValueLabel(int value, QWidget* parent) {
  auto* label = new QLabel(QString::number(value), parent);
  label->setAlignment(Qt::AlignCenter);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("00")) + 6);
  return label;
}

int32_t TextInteger(const QString& text) { return FieldInteger(text.toStdString()); }

}  // namespace

NumberSpinBox::NumberSpinBox(QWidget* parent) : QSpinBox(parent) {
  // Typing is free (the value is checked when it is used); only the arrows keep to 1..32767.
  setRange(0, 2147483647);
  setAlignment(Qt::AlignRight);
  setGroupSeparatorShown(false);
}

void NumberSpinBox::stepBy(int steps) {
  const int64_t next = std::clamp<int64_t>(static_cast<int64_t>(value()) + steps, kStepMin, kStepMax);
  setValue(static_cast<int>(next));
  selectAll();
}

QAbstractSpinBox::StepEnabled NumberSpinBox::stepEnabled() const {
  StepEnabled enabled = StepNone;
  if (value() < kStepMax) enabled |= StepUpEnabled;
  if (value() > kStepMin) enabled |= StepDownEnabled;
  return enabled;
}

OptionsPanel::OptionsPanel(AppSettings& settings, const Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), settings_(settings), dialogs_(dialogs) {
  setObjectName(QStringLiteral("OptionsPanel"));
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 8, 6, 8);
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(5);

  RenderSlider = LevelSlider(1, 5, settings_.Render, this);
  FilterSlider = LevelSlider(0, 5, settings_.Filter, this);
  GeometricSlider = LevelSlider(0, 5, settings_.Geometric, this);
  RenderValue = ValueLabel(RenderSlider->value(), this);
  FilterValue = ValueLabel(FilterSlider->value(), this);
  GeometricValue = ValueLabel(GeometricSlider->value(), this);
  int row = 0;
  const struct {
    const char* Text;
    QSlider* Slider;
    QLabel* Value;
  } levels[] = {{"Render:", RenderSlider, RenderValue},
                {"Filter:", FilterSlider, FilterValue},
                {"Geometric:", GeometricSlider, GeometricValue}};
  for (const auto& level : levels) {
    grid->addWidget(RightLabel(level.Text, this), row, 0);
    grid->addWidget(level.Slider, row, 1);
    grid->addWidget(level.Value, row, 2);
    QLabel* value = level.Value;
    connect(level.Slider, &QSlider::valueChanged, value, [value](int v) { value->setText(QString::number(v)); });
    ++row;
  }

  guard_ = true;
  WidthBox = new QComboBox(this);
  HeightBox = new QComboBox(this);
  for (QComboBox* box : {WidthBox, HeightBox}) {
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMaxVisibleItems(12);
    for (int size : kPresetSizes) box->addItem(QString::number(size), size);
  }
  WidthBox->setEditText(QString::number(settings_.ImageWidth));
  HeightBox->setEditText(QString::number(settings_.ImageHeight));
  guard_ = false;
  connect(WidthBox, &QComboBox::editTextChanged, this,
          [this](const QString& text) { SizeEdited(WidthBox, HeightBox, text); });
  connect(HeightBox, &QComboBox::editTextChanged, this,
          [this](const QString& text) { SizeEdited(HeightBox, WidthBox, text); });

  SquareButton = new QToolButton(this);
  SquareButton->setIcon(SquareIcon());
  SquareButton->setIconSize(QSize(16, 16));
  SquareButton->setCheckable(true);
  SquareButton->setChecked(settings_.Square);
  SquareButton->setToolTip(QStringLiteral("Square"));
  SquareButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  connect(SquareButton, &QToolButton::toggled, this, [this](bool on) { settings_.Square = on; });

  grid->addWidget(RightLabel("Width:", this), row, 0);
  grid->addWidget(WidthBox, row, 1);
  grid->addWidget(SquareButton, row, 2, 2, 1);
  ++row;
  grid->addWidget(RightLabel("Height:", this), row, 0);
  grid->addWidget(HeightBox, row, 1);
  ++row;

  SeamlessBox = new QCheckBox(QStringLiteral("Seamless"), this);
  SeamlessBox->setChecked(settings_.Seamless);
  grid->addWidget(SeamlessBox, row++, 1, 1, 2);

  NumberBox = new NumberSpinBox(this);
  NumberBox->setValue(std::max(0, settings_.Number));
  grid->addWidget(RightLabel("Number:", this), row, 0);
  grid->addWidget(NumberBox, row++, 1);

  // Empty: every batch takes a new seed. A seed typed here (the status bar
  // shows the one of the batch on screen) makes that batch again.
  SeedBox = new QLineEdit(this);
  SeedBox->setAlignment(Qt::AlignRight);
  SeedBox->setPlaceholderText(QStringLiteral("new"));
  SeedBox->setMaxLength(10);
  SeedBox->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), SeedBox));
  SeedBox->setToolTip(QStringLiteral("Seed of the next batch; empty for a new one each time"));
  grid->addWidget(RightLabel("Seed:", this), row, 0);
  grid->addWidget(SeedBox, row++, 1, 1, 2);

  NewSeedButton = new QPushButton(QStringLiteral("New seed"), this);
  NewSeedButton->setAutoDefault(false);
  NewSeedButton->setToolTip(QStringLiteral("Clear the seed: the next batch takes a new one"));
  connect(NewSeedButton, &QPushButton::clicked, SeedBox, &QLineEdit::clear);
  grid->addWidget(NewSeedButton, row++, 1, 1, 2);

  grid->addWidget(EtchedLine(this), row++, 0, 1, 3);
  GenerateButton = new QPushButton(QStringLiteral("Generate"), this);
  GenerateButton->setToolTip(QString::fromUtf8(LoadString(CmdGenerate)));
  GenerateButton->setMinimumHeight(GenerateButton->sizeHint().height() + 6);
  QFont bold = GenerateButton->font();
  bold.setBold(true);
  GenerateButton->setFont(bold);
  connect(GenerateButton, &QPushButton::clicked, this, &OptionsPanel::GenerateClicked);
  grid->addWidget(GenerateButton, row++, 0, 1, 3);
  grid->addWidget(EtchedLine(this), row++, 0, 1, 3);

  QualityBox = new QComboBox(this);
  QualityBox->setEditable(true);
  QualityBox->setInsertPolicy(QComboBox::NoInsert);
  for (int q = 10; q <= 100; q += 10) QualityBox->addItem(QString::number(q), q);
  QualityBox->setEditText(QString::number(settings_.JPEGQuality));
  connect(QualityBox, &QComboBox::activated, this, [this](int index) {
    const QVariant chosen = QualityBox->itemData(index);
    if (chosen.isValid()) settings_.JPEGQuality = chosen.toInt();
  });
  connect(QualityBox, &QComboBox::editTextChanged, this, [this](const QString& text) { QualityEdited(text); });
  auto* qualityRow = new QHBoxLayout;
  qualityRow->addWidget(RightLabel("JPEG quality:", this), 1);
  qualityRow->addWidget(QualityBox);
  grid->addLayout(qualityRow, row++, 0, 1, 3);

  grid->setRowStretch(row, 1);
  grid->setColumnStretch(1, 1);
}

void OptionsPanel::SizeEdited(QComboBox* from, QComboBox* to, const QString& text) {
  (void)from;
  if (!settings_.Square || guard_) return;
  guard_ = true;
  to->setEditText(QString::number(TextInteger(text)));
  guard_ = false;
}

void OptionsPanel::QualityEdited(const QString& text) { settings_.JPEGQuality = std::clamp(TextInteger(text), 0, 100); }

int32_t OptionsPanel::NumberField() const { return TextInteger(NumberBox->cleanText()); }

std::optional<uint32_t> OptionsPanel::TypedSeed() const {
  const QString text = SeedBox->text().trimmed();
  bool ok = false;
  const qulonglong value = text.toULongLong(&ok);
  if (text.isEmpty() || !ok || value > 4294967295ULL) return std::nullopt;
  return static_cast<uint32_t>(value);
}

bool OptionsPanel::ReadOptions(bool showMessages) {
  settings_.Render = RenderSlider->value();
  settings_.Filter = FilterSlider->value();
  settings_.Geometric = GeometricSlider->value();
  settings_.ImageWidth = TextInteger(WidthBox->currentText());
  settings_.ImageHeight = TextInteger(HeightBox->currentText());
  settings_.Seamless = SeamlessBox->isChecked();
  settings_.Number = NumberField();
  const bool sizeOk = limits::SizeValid(settings_.ImageWidth, settings_.ImageHeight);
  const bool numberOk = settings_.Number >= limits::kMinBatch && settings_.Number <= limits::kMaxBatch;
  const bool seedOk = SeedBox->text().trimmed().isEmpty() || TypedSeed().has_value();
  if (sizeOk && numberOk && seedOk) return true;
  if (showMessages) {
    const char* text = !sizeOk ? kSizeMessage : !numberOk ? kNumberMessage : kSeedMessage;
    dialogs_.ShowMessage(window(), QString::fromUtf8(text), MessageIcon::Information);
  }
  return false;
}
