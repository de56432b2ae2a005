#include "app/forms/application.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QAbstractSpinBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStandardPaths>
#include <QDir>
#include <QTextEdit>
#include <new>

#include "app/forms/options_dialog.h"
#include "app/forms/orvelle_form.h"
#include "app/forms/strings.h"
#include "app/forms/tiling_preview.h"
#include "app/settings/app_settings.h"
#include "app/toolkit/picture_drawer.h"

OrvelleForm* MainForm = nullptr;
OrvelleForm* StockForm = nullptr;
std::vector<OrvelleForm*> VariationsForms;
int32_t VariationsCounter = 0;
ovTilingPreview* TilingPreview = nullptr;
OptionsDialog* OptionsPanel = nullptr;
PictureDrawer* ThumbnailDrawer = nullptr;

MessageHandler ShowMessageHandler;
SaveFileHandler AskSaveFileHandler;
OpenFilesHandler AskOpenFilesHandler;

namespace {

SettingsLocation currentLocation;
int busyDepth = 0;

// The keys of the accelerator table, offered on behalf of the active form
// unless the keyboard focus is in an edit field, where they belong to the text.
class AcceleratorFilter : public QObject {
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    int32_t command = 0;
    if (key->key() == Qt::Key_S && mods == Qt::ControlModifier) command = CmdSave;
    else if (key->key() == Qt::Key_C && mods == Qt::ControlModifier) command = CmdCopy;
    else if (key->key() == Qt::Key_Delete && mods == Qt::NoModifier) command = CmdRemove;
    else if (key->key() == Qt::Key_Insert && mods == Qt::NoModifier) command = CmdAddToStock;
    else if (key->key() == Qt::Key_F5 && mods == Qt::NoModifier) command = CmdGenerate;
    if (command == 0) return false;
    auto* form = qobject_cast<OrvelleForm*>(static_cast<QWidget*>(watched)->window());
    if (!form || form != QApplication::activeWindow()) return false;
    // F5 collides with no editing key, so it generates from anywhere, the
    // panel's fields included.
    if (command == CmdGenerate) {
      if (!MainForm) return false;
      if (!key->isAutoRepeat()) MainForm->OnCommand(CmdGenerate);
      return true;
    }
    QWidget* focus = QApplication::focusWidget();
    if (qobject_cast<QLineEdit*>(focus) || qobject_cast<QAbstractSpinBox*>(focus) || qobject_cast<QTextEdit*>(focus) ||
        qobject_cast<QPlainTextEdit*>(focus) || (qobject_cast<QComboBox*>(focus) && static_cast<QComboBox*>(focus)->isEditable()))
      return false;
    form->OnCommand(command);
    return true;
  }
};

AcceleratorFilter* accelerators = nullptr;

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Stop: return QMessageBox::Critical;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void ShowMessage(QWidget* owner, const QString& text, MessageIcon icon) {
  if (ShowMessageHandler) {
    ShowMessageHandler(owner, text, icon);
    return;
  }
  QMessageBox box(ToQtIcon(icon), QString::fromUtf8(kProgramTitle), text, QMessageBox::Ok, owner);
  box.exec();
}

std::optional<SaveFileAnswer> AskSaveFile(QWidget* owner, const SaveFileRequest& request) {
  if (AskSaveFileHandler) return AskSaveFileHandler(owner, request);
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

QStringList AskOpenFiles(QWidget* owner, const QString& title, const QString& filter, const QString& directory) {
  if (AskOpenFilesHandler) return AskOpenFilesHandler(owner, title, filter, directory);
  return QFileDialog::getOpenFileNames(owner, title, directory, filter);
}

BusyScope::BusyScope() { ++busyDepth; }
BusyScope::~BusyScope() { --busyDepth; }
bool BusyScope::Busy() { return busyDepth > 0; }

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

const SettingsLocation& CurrentSettingsLocation() { return currentLocation; }

bool StartProgram(const SettingsLocation& location, bool loadSettings) {
  currentLocation = location;
  // Save folder: the documents folder when there is one.
  QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (documents.isEmpty() || !QDir(documents).exists()) documents = QDir::currentPath();
  Settings.FileSaveDir = documents.toStdString();
  // Default placements, then what the settings file says.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect work = screen->availableGeometry();
    ApplyDefaultMainPosition(Settings, work.left(), work.top(), work.width(), work.height());
  }
  if (loadSettings && !location.LoadPath.empty()) LoadAppSettings(location.LoadPath, Settings);

  ThumbnailDrawer = new (std::nothrow) PictureDrawer;
  TilingPreview = new (std::nothrow) ovTilingPreview;
  if (!ThumbnailDrawer || !TilingPreview) {
    delete ThumbnailDrawer;
    ThumbnailDrawer = nullptr;
    delete TilingPreview;
    TilingPreview = nullptr;
    ShowMessage(nullptr, QStringLiteral("Failed to create main form."), MessageIcon::Stop);
    return false;
  }
  TilingPreview->ApplyPlacement(Placement{Settings.TilingWindowLeft, Settings.TilingWindowTop,
                                          Settings.TilingWindowWidth, Settings.TilingWindowHeight, false});

  MainForm = new (std::nothrow) OrvelleForm(FormMain);
  if (!MainForm) {
    delete ThumbnailDrawer;
    ThumbnailDrawer = nullptr;
    ShowMessage(nullptr, QStringLiteral("Failed to create main form."), MessageIcon::Stop);
    return false;
  }
  MainForm->Placement = Placement{Settings.WindowLeft, Settings.WindowTop, Settings.WindowWidth,
                                  Settings.WindowHeight, Settings.WindowMaximize};
  MainForm->CreateWindow();
  MainForm->ShowNow();

  StockForm = new (std::nothrow) OrvelleForm(FormStock);
  if (StockForm) {
    StockForm->Placement = Placement{Settings.StockWindowLeft, Settings.StockWindowTop, Settings.StockWindowWidth,
                                     Settings.StockWindowHeight, false};
    StockForm->CreateWindow();
    if (Settings.ShowStockWindow) StockForm->ShowNow();
  }
  if (Settings.ShowTilingWindow && !TilingPreview->ShowPreview()) Settings.ShowTilingWindow = false;
  if (MainForm->Action(CmdTiling)) MainForm->Action(CmdTiling)->setChecked(Settings.ShowTilingWindow);

  if (!accelerators) {
    accelerators = new AcceleratorFilter(qApp);
    qApp->installEventFilter(accelerators);
  }
  MainForm->activateWindow();
  return true;
}

void EndProgram(bool saveSettings) {
  // A main form still open (the loop ended some other way) closes as the user would close it.
  if (MainForm) MainForm->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  delete MainForm;
  while (!VariationsForms.empty()) VariationsForms.back()->DestroyForm();
  if (StockForm) StockForm->DestroyForm();
  delete TilingPreview;
  TilingPreview = nullptr;
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  delete ThumbnailDrawer;
  ThumbnailDrawer = nullptr;
  if (accelerators) {
    qApp->removeEventFilter(accelerators);
    delete accelerators;
    accelerators = nullptr;
  }
  if (saveSettings && !currentLocation.SavePath.empty()) SaveAppSettings(currentLocation.SavePath, Settings);
}
