#include "app/forms/dialogs.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

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
