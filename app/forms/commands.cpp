// The commands a form carries out on its own textures; the rest go to the program.
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QImage>
#include <cerrno>
#include <new>

#include "app/forms/about_dialog.h"
#include "app/forms/dialogs.h"
#include "app/forms/jobs.h"
#include "app/forms/orvelle_form.h"
#include "app/forms/strings.h"
#include "app/settings/app_settings.h"
#include "app/widgets/list_box_widget.h"
#include "recipe/recipe.h"

namespace {

// The picture as the clipboard takes it: 24-bit colour without alpha, or an
// 8-bit picture with its gray or palette table.
QImage ClipboardImage(const mvPicture& picture) {
  if (picture.IsEmpty()) return QImage();
  const bool rgb = picture.ColorType == ColorTypeRGB;
  QImage image(picture.Width, picture.Height, rgb ? QImage::Format_RGB888 : QImage::Format_Indexed8);
  if (image.isNull()) return image;
  if (!rgb) {
    QList<QRgb> table(256);
    for (int i = 0; i < 256; ++i) {
      if (picture.ColorType == ColorTypeIndexed && picture.Palette && picture.Palette->Entries &&
          i < picture.Palette->Count) {
        const uint8_t* e = picture.Palette->Entries + 4 * i;
        table[i] = qRgb(e[0], e[1], e[2]);
      } else {
        table[i] = qRgb(i, i, i);
      }
    }
    image.setColorTable(table);
  }
  const uint32_t bytesPerSample = picture.BitDepth == 16 ? 2 : 1;
  const uint32_t pixelBytes = bytesPerSample * picture.Channels;
  // 16-bit samples are little-endian words: the high byte is the second.
  const uint32_t high = bytesPerSample - 1;
  for (int32_t y = 0; y < picture.Height; ++y) {
    const uint8_t* in = picture.Row(y);
    uint8_t* out = image.scanLine(y);
    if (rgb) {
      for (int32_t x = 0; x < picture.Width; ++x, in += pixelBytes, out += 3) {
        out[0] = in[high];
        out[1] = in[bytesPerSample + high];
        out[2] = in[2 * bytesPerSample + high];
      }
    } else {
      for (int32_t x = 0; x < picture.Width; ++x, in += pixelBytes) out[x] = in[high];
    }
  }
  return image;
}

// "Save error" and, on a second line, which file and why.
QString SaveErrorText(const std::string& path, const std::string& reason) {
  return QString::fromUtf8(kSaveErrorMessage) + QChar('\n') + QString::fromStdString(FileNameOf(path) + ": " + reason);
}

}  // namespace

void OrvelleForm::OnCommand(int32_t id) {
  try {
    switch (id) {
      case CmdSave: Save(); break;
      case CmdCopy: Copy(); break;
      case CmdRemove: Remove(); break;
      case CmdSaveRecipe: SaveRecipe(); break;
      case CmdAbout: About(); break;
      case CmdListNotification:
        UpdateCommandState();
        emit SelectionChanged();
        break;
      default:
        // Refused here too, whatever asked: a greyed command does nothing.
        if (QAction* action = Action(id); action && !action->isEnabled()) break;
        emit ProgramCommand(id);
        break;
    }
  } catch (const std::bad_alloc&) {
    // Whatever was made so far stays with its form.
    services_.Ask.ShowMessage(this, QString::fromUtf8(kNoMemoryMessage), MessageIcon::Warning);
  }
}

void OrvelleForm::Save() {
  const mvPictureLayer* texture = TextureAt(Selection());
  if (!texture) return;
  AppSettings& settings = services_.Settings;
  SaveFileRequest request;
  request.Title = QStringLiteral("Save");
  for (const std::string& filter : NameFiltersFromList(LoadString(kSaveFilterStringId)))
    request.Filters << QString::fromStdString(filter);
  request.FilterIndex = settings.SaveFormat;
  request.Directory = QString::fromStdString(settings.FileSaveDir);
  const std::optional<SaveFileAnswer> answer = services_.Ask.AskSaveFile(this, request);
  if (!answer || answer->Path.isEmpty()) return;
  settings.FileSaveDir = QFileInfo(answer->Path).absolutePath().toStdString();
  settings.SaveFormat = answer->FilterIndex;
  const int32_t format = settings.SaveFormat == 2 || settings.SaveFormat == 3 ? settings.SaveFormat : 1;
  const std::string path = FixSaveExtension(answer->Path.toStdString(), FormatExtensions(format));
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const std::string reason = SaveTextureImage(*texture, SeamlessAt(Selection()), path, format, settings.JPEGQuality);
  QApplication::restoreOverrideCursor();
  if (!reason.empty()) services_.Ask.ShowMessage(this, SaveErrorText(path, reason), MessageIcon::Warning);
}

void OrvelleForm::Copy() {
  const mvPictureLayer* texture = TextureAt(Selection());
  if (!texture) return;
  const QImage image = ClipboardImage(*texture);
  if (image.isNull()) return;  // no room for the copy: nothing happens, as with a busy clipboard
  if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setImage(image);
}

void OrvelleForm::Remove() {
  const int32_t selection = Selection();
  if (selection < 0 || selection >= TextureCount()) return;
  const QString file = FileAt(selection);
  delete List().RemoveAt(selection);
  Textures.erase(Textures.begin() + selection);
  emit TextureRemoved(file);
  // The selection moves on to the next texture (the previous after the last),
  // so Delete can be pressed again.
  if (TextureCount() > 0) {
    SelectTexture(std::min(selection, TextureCount() - 1));
  } else {
    OnCommand(CmdListNotification);
  }
}

void OrvelleForm::SaveRecipe() {
  const int32_t selection = Selection();
  const mvPictureLayer* texture = TextureAt(selection);
  if (!texture) return;
  AppSettings& settings = services_.Settings;
  SaveFileRequest request;
  request.Title = QStringLiteral("Save recipe");
  request.Filters << QStringLiteral("Recipe files (*.json)");
  request.Directory = QString::fromStdString(settings.FileSaveDir);
  const std::optional<SaveFileAnswer> answer = services_.Ask.AskSaveFile(this, request);
  if (!answer || answer->Path.isEmpty()) return;
  settings.FileSaveDir = QFileInfo(answer->Path).absolutePath().toStdString();
  const std::string path = FixSaveExtension(answer->Path.toStdString(), {"json"});
  // The recipe editor's last change, even while its render is still under way.
  const TextureListItem* item = ItemAt(selection);
  const nlohmann::json recipe =
      item && item->Chain ? ChainToJson(*item->Chain, texture->BaseWidth, texture->BaseHeight, SeamlessAt(selection))
                          : RecipeToJson(*texture, SeamlessAt(selection));
  std::string error;
  errno = 0;
  if (!WriteJsonFile(path, recipe, error))
    services_.Ask.ShowMessage(this, SaveErrorText(path, ReasonText(errno)), MessageIcon::Warning);
}

void OrvelleForm::About() {
  AboutDialog dialog(this, services_.Settings.GeneratedCount);
  dialog.exec();
}
