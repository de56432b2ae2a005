#pragma once
#include <QLineEdit>
#include <QSpinBox>
#include <QWidget>

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

// The options panel at the left of the main form: what Generate makes.
class OptionsDialog : public QWidget {
  Q_OBJECT
public:
  explicit OptionsDialog(QWidget* parent);
  ~OptionsDialog() override;

  // Reads the panel into the settings; false (after the message, when asked)
  // when a size or the number is out of range. The values are kept either way.
  bool ReadOptions(bool showMessages);
  // The number field as a signed integer (0 when it holds no number).
  int32_t NumberField() const;

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
  QPushButton* NewSeedButton;
  QPushButton* GenerateButton;
  QComboBox* QualityBox;

private:
  void SizeEdited(QComboBox* from, QComboBox* to, const QString& text);
  void QualityEdited(const QString& text);
  bool guard_ = false;
};
