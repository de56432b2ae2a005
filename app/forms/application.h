#pragma once
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/settings/settings_location.h"

class OrvelleForm;
class OptionsDialog;
class ovTilingPreview;
class PictureDrawer;
class QWidget;

// The process-wide state of the desktop program.
extern OrvelleForm* MainForm;
extern OrvelleForm* StockForm;
extern std::vector<OrvelleForm*> VariationsForms;
extern int32_t VariationsCounter;
extern ovTilingPreview* TilingPreview;
extern OptionsDialog* OptionsPanel;
// The shared thumbnail drawer.
extern PictureDrawer* ThumbnailDrawer;

enum class MessageIcon { Information, Warning, Stop };

// Every message box goes through here, so tests can answer them.
using MessageHandler = std::function<void(QWidget* owner, const QString& text, MessageIcon icon)>;
extern MessageHandler ShowMessageHandler;
void ShowMessage(QWidget* owner, const QString& text, MessageIcon icon);

// The file dialogs, replaceable for the same reason.
struct SaveFileRequest {
  QString Title;
  QStringList Filters;  // Qt name filters
  int FilterIndex = 1;  // 1-based, as stored in the settings
  QString Directory;
};
struct SaveFileAnswer {
  QString Path;
  int FilterIndex = 1;
};
using SaveFileHandler = std::function<std::optional<SaveFileAnswer>(QWidget* owner, const SaveFileRequest& request)>;
extern SaveFileHandler AskSaveFileHandler;
std::optional<SaveFileAnswer> AskSaveFile(QWidget* owner, const SaveFileRequest& request);

using OpenFilesHandler = std::function<QStringList(QWidget* owner, const QString& title, const QString& filter,
                                                   const QString& directory)>;
extern OpenFilesHandler AskOpenFilesHandler;
QStringList AskOpenFiles(QWidget* owner, const QString& title, const QString& filter, const QString& directory);

// Program start up to the message loop: settings located and loaded, windows
// made and shown as the settings say. False (after telling the user) when the
// program cannot run.
bool StartProgram(const SettingsLocation& location, bool loadSettings = true);
// After the message loop: forms gone, settings written (unless saving is off).
void EndProgram(bool saveSettings = true);
// The path the settings are written to at the end.
const SettingsLocation& CurrentSettingsLocation();

// Long commands must not be interrupted by a form closing under them.
class BusyScope {
public:
  BusyScope();
  ~BusyScope();
  static bool Busy();
};

// The wait cursor for the lifetime of the scope.
class WaitCursor {
public:
  WaitCursor();
  ~WaitCursor();
};
