#pragma once
#include <QLineEdit>
#include <QSpinBox>
#include <QWidget>
#include <cstdint>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QToolButton;

// The batch count field: any digits may be typed (the panel checks the value
// at Generate), while the arrows step within 1..32767.
class NumberSpinBox : public QSpinBox {
  Q_OBJECT
public:
  explicit NumberSpinBox(QWidget* parent = nullptr);
  void stepBy(int steps) override;
  QLineEdit* Edit() const { return lineEdit(); }

protected:
  StepEnabled stepEnabled() const override;
};

struct AppSettings;
struct Dialogs;

// The options panel at the left of the main form: what Generate makes.
class OptionsPanel : public QWidget {
  Q_OBJECT
public:
  OptionsPanel(AppSettings& settings, const Dialogs& dialogs, QWidget* parent);

  // Reads the panel into the settings; false (after the message, when asked)
  // when a size, the number or the seed is out of range. The values are kept
  // either way.
  bool ReadOptions(bool showMessages);
  // The number field as a signed integer (0 when it holds no number).
  int32_t NumberField() const;
  // The seed typed for the next batch; none when the field is empty (each
  // batch then takes a new one).
  std::optional<uint32_t> TypedSeed() const;

  QSlider* RenderSlider;
  QSlider* FilterSlider;
  QSlider* GeometricSlider;
  QLabel* RenderValue;
  QLabel* FilterValue;
  QLabel* GeometricValue;
  QComboBox* WidthBox;
  QComboBox* HeightBox;
  QToolButton* SquareButton;
  QCheckBox* SeamlessBox;
  NumberSpinBox* NumberBox;
  QLineEdit* SeedBox;
  QPushButton* NewSeedButton;
  QPushButton* GenerateButton;
  QComboBox* QualityBox;

signals:
  void GenerateClicked();

private:
  void SizeEdited(QComboBox* from, QComboBox* to, const QString& text);
  void QualityEdited(const QString& text);
  AppSettings& settings_;
  const Dialogs& dialogs_;
  bool guard_ = false;
};
