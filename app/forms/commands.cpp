// The commands a form carries out on its textures and on the program's windows.
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QImage>
#include <QToolBar>
#include <cstring>
#include <new>

#include "app/forms/about_dialog.h"
#include "app/forms/application.h"
#include "app/forms/options_dialog.h"
#include "app/forms/orvelle_form.h"
#include "app/forms/strings.h"
#include "app/forms/tiling_preview.h"
#include "app/settings/app_settings.h"
#include "app/widgets/list_box_widget.h"
#include "codecs/codecs.h"
#include "generator/generator.h"
#include "generator/texture_edit.h"
#include "recipe/recipe.h"

namespace {

void NoMemory(QWidget* owner) { ShowMessage(owner, QString::fromUtf8(kNoMemoryMessage), MessageIcon::Warning); }

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

// Takes the texture back from the image whatever happens: the form owns it.
struct LayerLoan {
  mvImage& Image;
  mvLayer* Layer;
  ~LayerLoan() { Image.RemoveLayer(Layer); }
};

mvCodec& CodecForFormat(int32_t format) {
  if (format == 2) return JPEGCodec;
  if (format == 3) return PNGCodec;
  return BMPCodec;
}

}  // namespace

void OrvelleForm::OnCommand(int32_t id) {
  try {
    switch (id) {
      case CmdGenerate: Generate(); break;
      case CmdSave: Save(); break;
      case CmdCopy: Copy(); break;
      case CmdRemove: Remove(); break;
      case CmdSaveRecipe: SaveRecipe(); break;
      case CmdOpenRecipe: OpenRecipe(); break;
      case CmdVariations: Variations(); break;
      case CmdAddToStock: AddToStock(); break;
      case CmdRotateRight:
      case CmdRotateLeft:
      case CmdRotate180:
      case CmdFlipVertical:
      case CmdFlipHorizontal: TurnOrFlip(id); break;
      case CmdStock: ToggleStock(); break;
      case CmdTiling: ToggleTiling(); break;
      case CmdAbout: About(); break;
      case CmdListNotification:
        UpdateCommandState();
        ShowSelectionInTiling();
        break;
      default:
        if (id >= CmdResizeFirst && id <= CmdResizeLast) Resize(ResizeFactor(id));
        break;
    }
  } catch (const std::bad_alloc&) {
    // Whatever was made so far stays with its form.
    NoMemory(this);
  }
}

void OrvelleForm::Generate() {
  if (!OptionsPanel || !OptionsPanel->ReadOptions(true)) return;
  BusyScope busy;
  List().Clear();
  List().SetCellSize(CellSide(Settings.ImageWidth), CellSide(Settings.ImageHeight));
  if (TilingPreview && TilingPreview->IsOpen()) {
    TilingPreview->SetTexture(nullptr);
    TilingPreview->Window()->repaint();
  }
  WaitCursor wait;
  while (!Textures.empty()) Textures.pop_back();
  Textures.shrink_to_fit();
  try {
    Textures.reserve(static_cast<size_t>(Settings.Number));
  } catch (const std::bad_alloc&) {
    NoMemory(this);
    return;
  }
  SetGeneratorParameters(Settings.Render, Settings.Filter, Settings.Geometric, Settings.Seamless);
  bool outOfMemory = false;
  for (int32_t i = 0; i < Settings.Number; ++i) {
    std::unique_ptr<mvPictureLayer> texture(new (std::nothrow) mvPictureLayer);
    if (!texture || !texture->Create(Settings.ImageWidth, Settings.ImageHeight, ColorTypeRGB, 8, 4)) {
      outOfMemory = true;
      break;
    }
    try {
      if (!GenerateTexture(*texture)) break;
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
      break;
    }
    if (!AppendTexture(std::move(texture), Settings.Seamless)) {
      outOfMemory = true;
      break;
    }
    RepaintList();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    ++Settings.GeneratedCount;
  }
  UpdateCommandState();
  if (outOfMemory) NoMemory(this);
}

void OrvelleForm::Save() {
  mvPictureLayer* texture = TextureAt(Selection());
  if (!texture) return;
  SaveFileRequest request;
  request.Title = QStringLiteral("Save");
  for (const std::string& filter : NameFiltersFromList(LoadString(kSaveFilterStringId)))
    request.Filters << QString::fromStdString(filter);
  request.FilterIndex = Settings.SaveFormat;
  request.Directory = QString::fromStdString(Settings.FileSaveDir);
  const std::optional<SaveFileAnswer> answer = AskSaveFile(this, request);
  if (!answer || answer->Path.isEmpty()) return;
  Settings.FileSaveDir = QFileInfo(answer->Path).absolutePath().toStdString();
  Settings.SaveFormat = answer->FilterIndex;

  WaitCursor wait;
  int32_t result = kCodecOutOfMemory;
  {
    mvImage image;
    if (image.Create(texture->Width, texture->Height, texture->ColorType, texture->BitDepth, texture->Channels) &&
        image.AddLayer(texture)) {
      LayerLoan loan{image, texture};
      image.Flatten();
      image.SetTextProperty("COMMENT", kSaveComment);
      mvCodec& codec = CodecForFormat(Settings.SaveFormat);
      const std::string path = FixSaveExtension(answer->Path.toStdString(), codec.ExtensionList());
      if (&codec == &JPEGCodec) codec.SetOption("quality", std::to_string(Settings.JPEGQuality).c_str());
      result = SaveImageFile(codec, path.c_str(), image);
    }
  }
  if (result != kCodecOK) ShowMessage(this, QString::fromUtf8(kSaveErrorMessage), MessageIcon::Warning);
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
  delete List().RemoveAt(selection);
  Textures.erase(Textures.begin() + selection);
  // The removed texture was the selection: its commands and its preview go with it.
  UpdateCommandState();
  ShowSelectionInTiling();
}

void OrvelleForm::SaveRecipe() {
  const int32_t selection = Selection();
  const mvPictureLayer* texture = TextureAt(selection);
  if (!texture) return;
  SaveFileRequest request;
  request.Title = QStringLiteral("Save recipe");
  request.Filters << QStringLiteral("Recipe files (*.json)");
  request.Directory = QString::fromStdString(Settings.FileSaveDir);
  const std::optional<SaveFileAnswer> answer = AskSaveFile(this, request);
  if (!answer || answer->Path.isEmpty()) return;
  Settings.FileSaveDir = QFileInfo(answer->Path).absolutePath().toStdString();
  const std::string path = FixSaveExtension(answer->Path.toStdString(), {"json"});
  std::string error;
  WaitCursor wait;
  if (!WriteJsonFile(path, RecipeToJson(*texture, SeamlessAt(selection)), error))
    ShowMessage(this, QString::fromUtf8(kSaveErrorMessage), MessageIcon::Warning);
}

void OrvelleForm::OpenRecipe() {
  OrvelleForm* target = MainForm ? MainForm : this;
  const QStringList files = AskOpenFiles(this, QStringLiteral("Open recipe"), QStringLiteral("Recipe files (*.json)"),
                                         QString::fromStdString(Settings.FileSaveDir));
  if (files.isEmpty()) return;
  Settings.FileSaveDir = QFileInfo(files.front()).absolutePath().toStdString();
  BusyScope busy;
  WaitCursor wait;
  QStringList problems;
  for (const QString& file : files) {
    Recipe recipe;
    std::string error;
    if (!ReadRecipeFile(file.toStdString(), recipe, error)) {
      problems << QStringLiteral("%1: %2").arg(QFileInfo(file).fileName(), QString::fromStdString(error));
      continue;
    }
    std::unique_ptr<mvPictureLayer> texture(new (std::nothrow) mvPictureLayer);
    if (!texture || !RenderRecipe(recipe, *texture)) {
      NoMemory(this);
      break;
    }
    // The cells grow to fit the largest texture in the list.
    ListBox& list = target->List();
    const CellSize needed{texture->Width + kCellMargin, texture->Height + kCellMargin};
    if (list.Count() == 0)
      list.SetCellSize(needed.Width, needed.Height);
    else if (list.CellWidth() < needed.Width || list.CellHeight() < needed.Height)
      list.SetCellSize(std::max(list.CellWidth(), needed.Width), std::max(list.CellHeight(), needed.Height));
    if (!target->AppendTexture(std::move(texture), recipe.Seamless)) {
      NoMemory(this);
      break;
    }
    target->RepaintList();
  }
  target->UpdateCommandState();
  if (!problems.isEmpty()) ShowMessage(this, problems.join(QChar('\n')), MessageIcon::Warning);
}

void OrvelleForm::Variations() {
  const int32_t selection = Selection();
  mvPictureLayer* source = TextureAt(selection);
  if (!source) return;
  const bool seamless = SeamlessAt(selection);
  if (!OptionsPanel) return;
  Settings.Number = OptionsPanel->NumberField();
  if (Settings.Number < 2 || Settings.Number > kMaxNumber) {
    ShowMessage(this, QString::fromUtf8(kVariationsNumberMessage), MessageIcon::Information);
    return;
  }
  BusyScope busy;
  auto* form = new OrvelleForm(FormVariations);
  form->Placement = ComputeChildPlacement(list_->viewport()->width(), list_->viewport()->height());
  form->CreateWindow();
  form->ShowNow();
  WaitCursor wait;
  bool outOfMemory = false;
  try {
    form->Textures.reserve(static_cast<size_t>(Settings.Number));
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
  }
  std::unique_ptr<mvPictureLayer> first(outOfMemory ? nullptr : source->Clone());
  if (first) {
    form->List().SetCellSize(source->Width + kCellMargin, source->Height + kCellMargin);
    VariationSeamless = seamless;
    if (form->AppendTexture(std::move(first), seamless)) {
      form->RepaintList();
      for (int32_t i = 1; i < Settings.Number; ++i) {
        std::unique_ptr<mvPictureLayer> copy(source->Clone());
        if (!copy) {
          outOfMemory = true;
          break;
        }
        try {
          if (!MakeVariation(*copy)) break;
        } catch (const std::bad_alloc&) {
          outOfMemory = true;
          break;
        }
        if (!form->AppendTexture(std::move(copy), seamless)) {
          outOfMemory = true;
          break;
        }
        ++Settings.GeneratedCount;
        form->RepaintList();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
      }
    } else {
      outOfMemory = true;
    }
  } else {
    outOfMemory = true;
  }
  form->List().SelectFirst();
  form->UpdateCommandState();
  form->ShowSelectionInTiling();
  if (outOfMemory) NoMemory(form);
}

void OrvelleForm::AddToStock() {
  const int32_t selection = Selection();
  const mvPictureLayer* source = TextureAt(selection);
  if (!source || !StockForm) return;
  std::unique_ptr<mvPictureLayer> copy(source->Clone());
  if (!copy) {
    NoMemory(this);
    return;
  }
  ListBox& stock = StockForm->List();
  const CellSize cells = StockCellSize(CellSize{stock.CellWidth(), stock.CellHeight()}, StockForm->TextureCount() == 0,
                                       copy->Width, copy->Height);
  if (cells.Width != stock.CellWidth() || cells.Height != stock.CellHeight()) stock.SetCellSize(cells.Width, cells.Height);
  if (!StockForm->AppendTexture(std::move(copy), SeamlessAt(selection))) NoMemory(this);
}

void OrvelleForm::Resize(int32_t factor) {
  const int32_t selection = Selection();
  const mvPictureLayer* source = TextureAt(selection);
  if (!source || factor < 2 || factor > 10) return;
  // The menus grey these; a command that slips through is refused the same way.
  if (!ResizeFactorAllowed(source->Width, source->Height, factor)) return;
  const bool seamless = SeamlessAt(selection);
  // The recipe is rendered at its base size times the factor, so a turned
  // texture comes out turned, at the size it shows times the factor.
  if (!ResizeFactorAllowed(source->BaseWidth, source->BaseHeight, factor) || source->BaseWidth < 1 ||
      source->BaseHeight < 1)
    return;
  const int32_t newWidth = source->Width * factor, newHeight = source->Height * factor;
  const int32_t baseWidth = source->BaseWidth * factor, baseHeight = source->BaseHeight * factor;
  BusyScope busy;
  auto* form = new OrvelleForm(FormVariations);
  form->Placement = ComputeChildPlacement(newWidth + kCellMargin, newHeight + kCellMargin);
  form->CreateWindow();
  form->ShowNow();
  WaitCursor wait;
  std::unique_ptr<mvPictureLayer> texture;
  try {
    texture = RerenderTexture(*source, baseWidth, baseHeight);
  } catch (const std::bad_alloc&) {
    texture.reset();
  }
  const bool made = texture != nullptr;
  if (!made) {
    NoMemory(form);
    return;
  }
  form->List().SetCellSize(texture->Width + kCellMargin, texture->Height + kCellMargin);
  if (!form->AppendTexture(std::move(texture), seamless)) {
    NoMemory(form);
    return;
  }
  form->List().SelectFirst();
  form->RepaintList();
  form->UpdateCommandState();
  form->ShowSelectionInTiling();
}

void OrvelleForm::TurnOrFlip(int32_t id) {
  const int32_t selection = Selection();
  if (selection < 0 || selection >= TextureCount()) return;
  mvPictureLayer* texture = Textures[static_cast<size_t>(selection)].get();
  TurnCommand command;
  switch (id) {
    case CmdRotateRight: command = TurnCommand::RotateRight; break;
    case CmdRotateLeft: command = TurnCommand::RotateLeft; break;
    case CmdRotate180: command = TurnCommand::Rotate180; break;
    case CmdFlipVertical: command = TurnCommand::FlipVertical; break;
    case CmdFlipHorizontal: command = TurnCommand::FlipHorizontal; break;
    default: return;
  }
  if (!::TurnOrFlip(*texture, command)) NoMemory(this);
  List().InvalidateItem(selection);
  ShowSelectionInTiling();
}

void OrvelleForm::ToggleStock() {
  if (!StockForm) return;
  if (StockForm->isHidden()) {
    StockForm->ShowNow();
    Settings.ShowStockWindow = true;
  } else {
    StockForm->hide();
    Settings.ShowStockWindow = false;
  }
  if (QAction* action = Action(CmdStock)) action->setChecked(Settings.ShowStockWindow);
}

void OrvelleForm::ToggleTiling() {
  if (!TilingPreview) return;
  if (!TilingPreview->IsOpen()) {
    if (!TilingPreview->ShowPreview()) return;
    Settings.ShowTilingWindow = true;
    ShowSelectionInTiling();
  } else {
    TilingPreview->Destroy();
    Settings.ShowTilingWindow = false;
  }
  if (QAction* action = Action(CmdTiling)) action->setChecked(Settings.ShowTilingWindow);
}

void OrvelleForm::About() {
  AboutDialog dialog(this);
  dialog.exec();
}
