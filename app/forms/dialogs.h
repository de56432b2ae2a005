#pragma once
#include <QColor>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

#include "app/forms/jobs.h"

class QWidget;

enum class MessageIcon { Information, Warning, Stop };

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

// Every question the program asks the user. Each member may be replaced (the
// tests answer them); left empty, the toolkit's own dialog is shown.
struct Dialogs {
  std::function<void(QWidget* owner, const QString& text, MessageIcon icon)> Message;
  std::function<std::optional<SaveFileAnswer>(QWidget* owner, const SaveFileRequest& request)> SaveFile;
  std::function<QStringList(QWidget* owner, const QString& title, const QString& filter, const QString& directory)>
      OpenFiles;
  std::function<QString(QWidget* owner, const QString& title, const QString& directory)> Folder;
  // A yes/no question; true for yes.
  std::function<bool(QWidget* owner, const QString& question, const QString& yes, const QString& no)> Confirm;
  // A colour with alpha; nothing when the user cancels.
  std::function<std::optional<QColor>(QWidget* owner, const QColor& initial, const QString& title)> Colour;
  // The Save maps options, starting from last; maxFactor: the largest size
  // factor the texture allows. Nothing when the user cancels.
  std::function<std::optional<MapsRequest>(QWidget* owner, const MapsRequest& last, int32_t maxFactor)> Maps;

  void ShowMessage(QWidget* owner, const QString& text, MessageIcon icon) const;
  std::optional<SaveFileAnswer> AskSaveFile(QWidget* owner, const SaveFileRequest& request) const;
  QStringList AskOpenFiles(QWidget* owner, const QString& title, const QString& filter, const QString& directory) const;
  QString AskFolder(QWidget* owner, const QString& title, const QString& directory) const;
  bool AskConfirm(QWidget* owner, const QString& question, const QString& yes, const QString& no) const;
  std::optional<QColor> AskColour(QWidget* owner, const QColor& initial, const QString& title) const;
  std::optional<MapsRequest> AskMaps(QWidget* owner, const MapsRequest& last, int32_t maxFactor) const;
};
