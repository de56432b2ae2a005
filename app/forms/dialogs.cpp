#include "app/forms/dialogs.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QSpinBox>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <algorithm>

#include "app/forms/strings.h"

namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Stop: return QMessageBox::Critical;
  }
  return QMessageBox::NoIcon;
}

// A message box sizes itself to its text; a short text would cut the title
// off, so the box is kept wide enough for the title too.
void KeepTitleVisible(QMessageBox& box) {
  const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + 160;
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

}  // namespace

void Dialogs::ShowMessage(QWidget* owner, const QString& text, MessageIcon icon) const {
  if (Message) {
    Message(owner, text, icon);
    return;
  }
  QMessageBox box(ToQtIcon(icon), QString::fromUtf8(kProgramTitle), text, QMessageBox::Ok, owner);
  KeepTitleVisible(box);
  box.exec();
}

std::optional<SaveFileAnswer> Dialogs::AskSaveFile(QWidget* owner, const SaveFileRequest& request) const {
  if (SaveFile) return SaveFile(owner, request);
  QFileDialog dialog(owner, request.Title, request.Directory);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setNameFilters(request.Filters);
  if (request.FilterIndex >= 1 && request.FilterIndex <= request.Filters.size())
    dialog.selectNameFilter(request.Filters[request.FilterIndex - 1]);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  SaveFileAnswer answer;
  answer.Path = dialog.selectedFiles().front();
  answer.FilterIndex = static_cast<int>(request.Filters.indexOf(dialog.selectedNameFilter())) + 1;
  if (answer.FilterIndex < 1) answer.FilterIndex = request.FilterIndex;
  return answer;
}

QStringList Dialogs::AskOpenFiles(QWidget* owner, const QString& title, const QString& filter,
                                  const QString& directory) const {
  if (OpenFiles) return OpenFiles(owner, title, filter, directory);
  return QFileDialog::getOpenFileNames(owner, title, directory, filter);
}

QString Dialogs::AskFolder(QWidget* owner, const QString& title, const QString& directory) const {
  if (Folder) return Folder(owner, title, directory);
  return QFileDialog::getExistingDirectory(owner, title, directory);
}

bool Dialogs::AskConfirm(QWidget* owner, const QString& question, const QString& yes, const QString& no) const {
  if (Confirm) return Confirm(owner, question, yes, no);
  QMessageBox box(QMessageBox::Question, QString::fromUtf8(kProgramTitle), question, QMessageBox::NoButton, owner);
  QPushButton* yesButton = box.addButton(yes, QMessageBox::AcceptRole);
  QPushButton* noButton = box.addButton(no, QMessageBox::RejectRole);
  box.setDefaultButton(noButton);
  box.setEscapeButton(noButton);
  KeepTitleVisible(box);
  box.exec();
  return box.clickedButton() == yesButton;
}

std::optional<QColor> Dialogs::AskColour(QWidget* owner, const QColor& initial, const QString& title) const {
  if (Colour) return Colour(owner, initial, title);
  const QColor chosen = QColorDialog::getColor(initial, owner, title, QColorDialog::ShowAlphaChannel);
  if (!chosen.isValid()) return std::nullopt;
  return chosen;
}

std::optional<MapsRequest> Dialogs::AskMaps(QWidget* owner, const MapsRequest& last, int32_t maxFactor) const {
  if (Maps) return Maps(owner, last, maxFactor);
  QDialog dialog(owner);
  dialog.setWindowTitle(QStringLiteral("Save maps"));
  auto* form = new QFormLayout(&dialog);
  auto* height = new QCheckBox(QStringLiteral("&Height map"), &dialog);
  auto* normal = new QCheckBox(QStringLiteral("&Normal map"), &dialog);
  auto* bits = new QCheckBox(QStringLiteral("16-bit height map (else 8-bit)"), &dialog);
  auto* directX = new QCheckBox(QStringLiteral("Green points down (DirectX)"), &dialog);
  auto* strength = new QDoubleSpinBox(&dialog);
  auto* blur = new QSpinBox(&dialog);
  auto* factor = new QSpinBox(&dialog);
  height->setChecked(last.Height);
  normal->setChecked(last.Normal);
  bits->setChecked(last.Height16);
  directX->setChecked(last.DirectX);
  strength->setRange(0.01, 1000.0);
  strength->setDecimals(2);
  strength->setSingleStep(0.25);
  strength->setValue(last.Strength);
  strength->setToolTip(QStringLiteral("How steep the normals are"));
  blur->setRange(0, 1000);
  blur->setValue(last.HeightBlur);
  blur->setSuffix(QStringLiteral(" px"));
  blur->setToolTip(QStringLiteral("Smooths the heights before the normals are taken"));
  factor->setRange(1, std::max(1, maxFactor));
  factor->setValue(std::clamp(last.Factor, 1, std::max(1, maxFactor)));
  factor->setPrefix(QStringLiteral("x"));
  factor->setToolTip(QStringLiteral("The texture is re-rendered this many times larger for the maps"));
  form->addRow(height);
  form->addRow(normal);
  form->addRow(bits);
  form->addRow(directX);
  form->addRow(QStringLiteral("&Strength:"), strength);
  form->addRow(QStringLiteral("Height &blur:"), blur);
  form->addRow(QStringLiteral("Si&ze:"), factor);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  form->addRow(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  const auto update = [&] {
    buttons->button(QDialogButtonBox::Ok)->setEnabled(height->isChecked() || normal->isChecked());
  };
  QObject::connect(height, &QCheckBox::toggled, &dialog, update);
  QObject::connect(normal, &QCheckBox::toggled, &dialog, update);
  update();
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  MapsRequest answer;
  answer.Height = height->isChecked();
  answer.Normal = normal->isChecked();
  answer.Height16 = bits->isChecked();
  answer.DirectX = directX->isChecked();
  answer.Strength = strength->value();
  answer.HeightBlur = blur->value();
  answer.Factor = factor->value();
  return answer;
}
