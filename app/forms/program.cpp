#include "app/forms/program.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QElapsedTimer>
#include <QStyle>
#include <QUndoCommand>
#include <algorithm>
#include <cerrno>
#include <new>

#include "app/forms/options_panel.h"
#include "app/forms/strings.h"
#include "app/toolkit/tiling.h"
#include "app/widgets/list_box_widget.h"
#include "core/atomic_file.h"
#include "core/limits.h"
#include "core/random.h"
#include "maps/maps.h"
#include "recipe/recipe.h"

namespace {

QString Text(const char* text) { return QString::fromUtf8(text); }
QString Text(const std::string& text) { return QString::fromStdString(text); }

// A job's textures reach the window's thread one by one; std::function wants
// what it carries copyable, so the texture travels shared.
std::shared_ptr<mvPictureLayer> Shared(MadeTexture& made) {
  return std::shared_ptr<mvPictureLayer>(made.Texture.release());
}

// The seed of a batch when none is typed: the clock, never the last one again.
uint32_t NewSeed(uint32_t last) {
  const uint32_t seed = TickCount();
  return seed == last ? seed + 1 : seed;
}

// One change of the recipe editor: the texture's recipe before and after it,
// and the effect selected then. Quick repeats of one change (a slider being
// dragged, a spin box's arrow held) merge into one step.
class RecipeChange : public QUndoCommand {
public:
  using Apply = std::function<void(const SharedChain& chain, int32_t select)>;
  RecipeChange(Apply apply, SharedChain before, int32_t selectBefore, SharedChain after, int32_t selectAfter,
               QString mergeKey, const QString& text)
      : QUndoCommand(text),
        apply_(std::move(apply)),
        before_(std::move(before)),
        after_(std::move(after)),
        selectBefore_(selectBefore),
        selectAfter_(selectAfter),
        mergeKey_(std::move(mergeKey)) {
    clock_.start();
  }
  void undo() override { apply_(before_, selectBefore_); }
  void redo() override { apply_(after_, selectAfter_); }
  int id() const override { return mergeKey_.isEmpty() ? -1 : 1; }
  bool mergeWith(const QUndoCommand* other) override {
    const auto* next = static_cast<const RecipeChange*>(other);
    if (next->mergeKey_ != mergeKey_ || clock_.elapsed() > kMergeMs) return false;
    after_ = next->after_;
    selectAfter_ = next->selectAfter_;
    clock_.restart();
    return true;
  }

private:
  static constexpr qint64 kMergeMs = 1000;
  Apply apply_;
  SharedChain before_, after_;
  int32_t selectBefore_, selectAfter_;
  QString mergeKey_;
  QElapsedTimer clock_;
};

// "Main window, texture 3 of 12: 120 x 120, seamless, 5 effects".
QString EditorCaption(const OrvelleForm& form, int32_t index, const mvPictureLayer& texture, bool seamless,
                      size_t effects) {
  const QString window = form.FormMode == FormMain ? QStringLiteral("Main window")
                         : form.FormMode == FormStock
                             ? QStringLiteral("Stock")
                             : form.windowTitle().section(QChar('<'), 1).section(QChar('>'), 0, 0);
  return QStringLiteral("%1, texture %2 of %3: %4 x %5%6, %7 effect%8")
      .arg(window)
      .arg(index + 1)
      .arg(form.TextureCount())
      .arg(texture.BaseWidth)
      .arg(texture.BaseHeight)
      .arg(seamless ? QStringLiteral(", seamless") : QString())
      .arg(effects)
      .arg(effects == 1 ? QString() : QStringLiteral("s"));
}

}  // namespace

Program::Program(Options options) : options_(std::move(options)) {
  connect(&worker_, &Worker::Progress, this, [this](int done, int total, int percent) {
    if (workForm_) workForm_->ShowProgress(done, total, percent);
  });
  connect(&worker_, &Worker::Finished, this, &Program::WorkFinished);
  connect(&tilingWorker_, &Worker::Finished, this, &Program::TilingFinished);
  connect(&tiling_, &TilingPreview::CloseRequested, this, [this] { ToggleTiling(main_); });
  connect(&tiling_, &TilingPreview::ViewChanged, this, [this] {
    std::shared_ptr<const mvPictureLayer> shown = tilingWanted_;
    tilingWanted_.reset();
    if (shown) RequestTiling(shown, tilingSeamless_);
  });
  connect(&editWorker_, &Worker::Progress, this, [this](int, int, int percent) {
    if (editor_) editor_->ShowRendering(true, percent);
  });
  connect(&editWorker_, &Worker::Finished, this, [this] {
    editRunning_ = 0;
    if (ended_) return;
    if (!editQueue_.empty()) StartEditRender();
    else if (editor_) editor_->ShowRendering(false);
  });
}

Program::~Program() {
  End();
  worker_.Wait();
  tilingWorker_.Wait();
  editWorker_.Wait();
  tiling_.Close();
  delete editor_;
  editor_ = nullptr;
  const std::vector<OrvelleForm*> forms = VariationsForms();
  variations_.clear();
  for (OrvelleForm* form : forms) delete form;
  delete stock_;
  stock_ = nullptr;
  delete main_;
  main_ = nullptr;
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  if (options_.SaveSettings && !options_.Location.SavePath.empty())
    SaveAppSettings(options_.Location.SavePath, Settings);
}

Placement Program::OnScreens(const Placement& placement) const {
  // Before a window is shown its frame is unknown; the style's title bar stands in.
  FrameMargins frame;
  if (main_ && main_->isVisible()) frame = WindowFrame(*main_);
  if (frame.Top <= 0) frame.Top = QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
  return PlacementOnScreens(placement, ScreenWorkAreas(), frame);
}

bool Program::Start() {
  // Save folder: the documents folder when there is one.
  QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (documents.isEmpty() || !QDir(documents).exists()) documents = QDir::currentPath();
  Settings.FileSaveDir = documents.toStdString();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect work = screen->availableGeometry();
    ApplyDefaultMainPosition(Settings, work.left(), work.top(), work.width(), work.height());
  }
  if (!options_.Location.LoadPath.empty()) LoadAppSettings(options_.Location.LoadPath, Settings);

  drawer_.reset(new (std::nothrow) PictureDrawer);
  if (drawer_ && !drawer_->IsValid()) drawer_.reset();
  if (drawer_) services_.reset(new (std::nothrow) FormServices{Settings, *drawer_, Ask});
  if (drawer_ && services_) main_ = new (std::nothrow) OrvelleForm(FormMain, *services_);
  if (!main_) {
    Ask.ShowMessage(nullptr, QStringLiteral("Failed to create main form."), MessageIcon::Stop);
    return false;
  }
  Wire(main_);
  main_->ApplyPlacement(OnScreens(Placement{Settings.WindowLeft, Settings.WindowTop, Settings.WindowWidth,
                                            Settings.WindowHeight, Settings.WindowMaximize}));
  main_->ShowNow();

  stock_ = new (std::nothrow) OrvelleForm(FormStock, *services_);
  if (stock_) {
    Wire(stock_);
    stock_->ApplyPlacement(OnScreens(Placement{Settings.StockWindowLeft, Settings.StockWindowTop,
                                               Settings.StockWindowWidth, Settings.StockWindowHeight, false}));
    if (Settings.ShowStockWindow) stock_->ShowNow();
  }
  tiling_.Placement = OnScreens(Placement{Settings.TilingWindowLeft, Settings.TilingWindowTop,
                                          Settings.TilingWindowWidth, Settings.TilingWindowHeight, false});
  if (Settings.ShowTilingWindow && !tiling_.Open()) Settings.ShowTilingWindow = false;
  main_->Action(CmdTiling)->setChecked(Settings.ShowTilingWindow);
  main_->Action(CmdStock)->setChecked(Settings.ShowStockWindow && stock_);
  main_->activateWindow();
  LoadStock();
  return true;
}

void Program::Wire(OrvelleForm* form) {
  connect(form, &OrvelleForm::ProgramCommand, this, [this, form](int32_t id) { Command(form, id); });
  connect(form, &OrvelleForm::SelectionChanged, this, [this, form] {
    ShowSelectionInTiling(form);
    ShowSelectionInEditor(form);
  });
  connect(form, &OrvelleForm::Activated, this, [this, form] {
    ShowSelectionInTiling(form);
    ShowSelectionInEditor(form);
  });
  // A window that goes takes its textures out of the editor.
  connect(form, &QObject::destroyed, this, [this, form] {
    if (editor_ && (!editForm_ || editForm_.data() == form)) {
      editForm_ = nullptr;
      editItem_ = 0;
      editor_->ShowRecipe(nullptr, 0, 0, false, QString());
    }
  });
  form->AddHistoryActions(history_.createUndoAction(form, QStringLiteral("&Undo")),
                          history_.createRedoAction(form, QStringLiteral("&Redo")));
  connect(form, &OrvelleForm::CloseRequested, this, [this, form] { FormCloseRequested(form); });
  connect(form, &OrvelleForm::TextureRemoved, this, [this, form](const QString& file) {
    if (form == stock_ && !file.isEmpty()) ForgetStockFile(file);
  });
}

std::vector<OrvelleForm*> Program::VariationsForms() const {
  std::vector<OrvelleForm*> forms;
  for (const QPointer<QObject>& form : variations_)
    if (form) forms.push_back(static_cast<OrvelleForm*>(form.data()));
  return forms;
}

void Program::Command(OrvelleForm* form, int32_t id) {
  if (ended_) return;
  try {
    switch (id) {
      case CmdGenerate: Generate(); break;
      case CmdVariations: Variations(form); break;
      case CmdOpenRecipe: OpenRecipe(form); break;
      case CmdSaveAll: SaveAll(form); break;
      case CmdSaveMaps: SaveMaps(form); break;
      case CmdEditRecipe: OpenEditor(form); break;
      case CmdAddToStock: AddToStock(form); break;
      case CmdStock: ToggleStock(); break;
      case CmdTiling: ToggleTiling(form); break;
      case CmdStop: StopWork(); break;
      case CmdClose: FormCloseRequested(form); break;
      case CmdRotateRight:
      case CmdRotateLeft:
      case CmdRotate180:
      case CmdFlipVertical:
      case CmdFlipHorizontal: Turn(form, id); break;
      default:
        if (id >= CmdResizeFirst && id <= CmdResizeLast) Resize(form, ResizeFactor(id));
        break;
    }
  } catch (const std::bad_alloc&) {
    Ask.ShowMessage(form, Text(kNoMemoryMessage), MessageIcon::Warning);
  }
}

// ---- work on the worker -------------------------------------------------------

bool Program::StartWork(OrvelleForm* form, Worker::Job job, AfterWork after) {
  if (worker_.Busy()) return false;
  outcome_ = JobOutcome{};
  afterWork_ = std::move(after);
  closeEmptyOnStop_ = false;
  workForm_ = form;
  if (!worker_.Start(std::move(job))) return false;
  for (OrvelleForm* f : {main_, stock_})
    if (f) f->SetWorking(true, f == form);
  for (OrvelleForm* f : VariationsForms()) f->SetWorking(true, f == form);
  return true;
}

void Program::StopWork() {
  if (!worker_.Busy() || worker_.StopAsked()) return;
  worker_.Stop();
  // An effect may finish its current step before it looks at the request;
  // a window that would stay empty goes now, and the commands come back when
  // the worker is free.
  if (workForm_ && closeEmptyOnStop_ && workForm_->TextureCount() == 0) {
    OrvelleForm* form = workForm_;
    workForm_ = nullptr;
    form->AllowClose();
    form->close();
    return;
  }
  if (workForm_) workForm_->ShowStopping();
}

void Program::WorkFinished(bool stopped) {
  for (OrvelleForm* f : {main_, stock_})
    if (f) f->SetWorking(false, false);
  for (OrvelleForm* f : VariationsForms()) f->SetWorking(false, false);
  AfterWork after = std::move(afterWork_);
  afterWork_ = nullptr;
  JobOutcome outcome = std::move(outcome_);
  outcome.Stopped = outcome.Stopped || stopped;
  workForm_ = nullptr;
  if (after && !ended_) after(outcome);
}

void Program::Generate() {
  if (worker_.Busy() || !main_) return;
  OptionsPanel* panel = main_->Options();
  if (!panel->ReadOptions(true)) return;
  BatchSettings batch;
  batch.Width = Settings.ImageWidth;
  batch.Height = Settings.ImageHeight;
  batch.Render = Settings.Render;
  batch.Filter = Settings.Filter;
  batch.Geometric = Settings.Geometric;
  batch.Seamless = Settings.Seamless;
  batch.Number = Settings.Number;
  batch.Seed = panel->TypedSeed().value_or(NewSeed(batchSeed_));
  batchSeed_ = batch.Seed;
  // The old batch goes at once, not when the first new texture arrives.
  main_->ClearTextures();
  if (editForm_ == main_) ShowSelectionInEditor(main_);  // nothing selected now
  main_->List().SetCellSize(CellSide(batch.Width), CellSide(batch.Height));
  RequestTiling(nullptr, false);
  const QString seedText = QStringLiteral("Seed %1").arg(batch.Seed);
  main_->ShowStatus(seedText);
  QPointer<OrvelleForm> target = main_;
  StartWork(
      main_,
      [this, batch, target](Worker::Control& control) {
        JobOutcome outcome = MakeBatch(batch, control, [this, &control, target](MadeTexture made) {
          control.Post([this, target, texture = Shared(made), seamless = made.Seamless] {
            if (target && target->AppendTexture(texture, seamless)) ++Settings.GeneratedCount;
          });
        });
        control.Post([this, outcome] { outcome_ = outcome; });
      },
      [this, target, seedText, batch](const JobOutcome& outcome) {
        if (!target) return;
        if (outcome.Stopped)
          target->ShowStatus(seedText +
                             QStringLiteral(" - stopped after %1 of %2").arg(outcome.Made).arg(batch.Number));
        if (outcome.OutOfMemory) Ask.ShowMessage(target, Text(kNoMemoryMessage), MessageIcon::Warning);
      });
}

OrvelleForm* Program::NewVariationsForm(OrvelleForm* parent, int32_t contentWidth, int32_t contentHeight) {
  auto* form = new OrvelleForm(FormVariations, *services_, ++variationsCounter_);
  Wire(form);
  variations_.push_back(form);
  // A widget tells it is going before its guards are cleared: compared by address.
  QObject* going = form;
  connect(form, &QObject::destroyed, this, [this, going] {
    variations_.erase(std::remove_if(variations_.begin(), variations_.end(),
                                     [going](const QPointer<QObject>& f) { return f.isNull() || f.data() == going; }),
                      variations_.end());
    if (variations_.empty()) variationsCounter_ = 0;
  });
  form->ApplyPlacement(parent->ComputeChildPlacement(contentWidth, contentHeight, form->Chrome()));
  form->ShowNow();
  return form;
}

void Program::Variations(OrvelleForm* form) {
  const int32_t selection = form->Selection();
  std::shared_ptr<const mvPictureLayer> source = form->SharedTextureAt(selection);
  if (!source || worker_.Busy()) return;
  const bool seamless = form->SeamlessAt(selection);
  Settings.Number = main_->Options()->NumberField();
  if (Settings.Number < limits::kMinVariations || Settings.Number > limits::kMaxVariations) {
    Ask.ShowMessage(form, Text(kVariationsNumberMessage), MessageIcon::Information);
    return;
  }
  const int32_t count = Settings.Number;
  OrvelleForm* child =
      NewVariationsForm(form, form->ListWidget()->viewport()->width(), form->ListWidget()->viewport()->height());
  child->List().SetCellSize(CellSide(source->Width), CellSide(source->Height));
  QPointer<OrvelleForm> target = child;
  StartWork(
      child,
      [this, source, seamless, count, target](Worker::Control& control) {
        JobOutcome outcome =
            MakeVariations(*source, seamless, count, control, [this, &control, target](MadeTexture made) {
              control.Post([this, target, texture = Shared(made), seamless = made.Seamless] {
                if (!target || !target->AppendTexture(texture, seamless)) return;
                // The unchanged copy comes first and is selected; only variations count.
                if (target->TextureCount() == 1) target->SelectTexture(0);
                else ++Settings.GeneratedCount;
              });
            });
        control.Post([this, outcome] { outcome_ = outcome; });
      },
      [this, target](const JobOutcome& outcome) {
        if (target && outcome.OutOfMemory) Ask.ShowMessage(target, Text(kNoMemoryMessage), MessageIcon::Warning);
      });
}

void Program::Resize(OrvelleForm* form, int32_t factor) {
  const int32_t selection = form->Selection();
  std::shared_ptr<const mvPictureLayer> source = form->SharedTextureAt(selection);
  if (!source || worker_.Busy()) return;
  // The menus grey these; a command that slips through is refused the same way.
  if (!ResizeFactorAllowed(source->Width, source->Height, factor)) return;
  // The recipe is rendered at its base size times the factor, so a turned
  // texture comes out turned, at the size it shows times the factor.
  if (!ResizeFactorAllowed(source->BaseWidth, source->BaseHeight, factor)) return;
  const bool seamless = form->SeamlessAt(selection);
  const int32_t width = source->BaseWidth * factor, height = source->BaseHeight * factor;
  const int32_t shownWidth = source->Width * factor, shownHeight = source->Height * factor;
  OrvelleForm* child = NewVariationsForm(form, CellSide(shownWidth), CellSide(shownHeight));
  child->List().SetCellSize(CellSide(shownWidth), CellSide(shownHeight));
  child->ShowStatus(QStringLiteral("%1 x %2").arg(shownWidth).arg(shownHeight));
  QPointer<OrvelleForm> target = child;
  StartWork(
      child,
      [this, source, seamless, width, height, target](Worker::Control& control) {
        JobOutcome outcome =
            RenderLarger(*source, seamless, width, height, control, [&control, target](MadeTexture made) {
              control.Post([target, texture = Shared(made), seamless = made.Seamless] {
                if (target && target->AppendTexture(texture, seamless)) target->SelectTexture(0);
              });
            });
        control.Post([this, outcome] { outcome_ = outcome; });
      },
      [this, target](const JobOutcome& outcome) {
        if (!target) return;
        if (outcome.OutOfMemory) Ask.ShowMessage(target, Text(kNoMemoryMessage), MessageIcon::Warning);
        // A stopped or failed Resize leaves nothing to show: its window goes too.
        if (target->TextureCount() == 0) {
          target->AllowClose();
          target->close();
        }
      });
  closeEmptyOnStop_ = true;
}

void Program::Turn(OrvelleForm* form, int32_t id) {
  const int32_t selection = form->Selection();
  std::shared_ptr<const mvPictureLayer> texture = form->SharedTextureAt(selection);
  if (!texture || worker_.Busy()) return;
  TurnCommand command;
  switch (id) {
    case CmdRotateRight: command = TurnCommand::RotateRight; break;
    case CmdRotateLeft: command = TurnCommand::RotateLeft; break;
    case CmdRotate180: command = TurnCommand::Rotate180; break;
    case CmdFlipVertical: command = TurnCommand::FlipVertical; break;
    case CmdFlipHorizontal: command = TurnCommand::FlipHorizontal; break;
    default: return;
  }
  const bool seamless = form->SeamlessAt(selection);
  QPointer<OrvelleForm> target = form;
  StartWork(
      form,
      [this, texture, seamless, command, selection, target](Worker::Control& control) {
        JobOutcome outcome = TurnCopy(
            *texture, seamless, command, control, [this, &control, target, selection, texture](MadeTexture made) {
              control.Post([this, target, selection, old = texture.get(), turned = Shared(made)] {
                // The texture may have gone meanwhile; then the turn goes too.
                if (!target || !target->ReplaceTexture(selection, old, turned)) return;
                // A stock texture's file follows, so it comes back turned.
                const QString file = target->FileAt(selection);
                std::string error;
                if (target == stock_ && !file.isEmpty() &&
                    !WriteJsonFile(file.toStdString(), RecipeToJson(*turned, target->SeamlessAt(selection)), error))
                  Ask.ShowMessage(target, Text(kStockErrorMessage) + QChar('\n') + QFileInfo(file).fileName(),
                                  MessageIcon::Warning);
                if (target->Selection() == selection) ShowSelectionInTiling(target);
              });
            });
        control.Post([this, outcome] { outcome_ = outcome; });
      },
      [this, target](const JobOutcome& outcome) {
        if (target && outcome.OutOfMemory) Ask.ShowMessage(target, Text(kNoMemoryMessage), MessageIcon::Warning);
      });
}

void Program::OpenRecipe(OrvelleForm* form) {
  if (worker_.Busy()) return;
  // A PNG file the program saved carries its recipe too.
  const QString filter =
      QStringLiteral("Recipes (*.json *.png);;Recipe files (*.json);;PNG files saved by Orvelle (*.png)");
  const QStringList files = Ask.AskOpenFiles(form, QStringLiteral("Open recipe"), filter, Text(Settings.FileSaveDir));
  if (files.isEmpty() || !main_) return;
  Settings.FileSaveDir = QFileInfo(files.front()).absolutePath().toStdString();
  std::vector<std::string> paths;
  for (const QString& file : files) paths.push_back(file.toStdString());
  QPointer<OrvelleForm> target = main_;
  QPointer<OrvelleForm> asker = form;
  StartWork(
      main_,
      [this, paths, target](Worker::Control& control) {
        JobOutcome outcome = ReadRecipes(paths, control, [&control, target](MadeTexture made) {
          control.Post([target, texture = Shared(made), seamless = made.Seamless] {
            if (!target) return;
            // The cells grow to fit the largest texture in the list.
            ListBox& list = target->List();
            const int32_t width = CellSide(texture->Width), height = CellSide(texture->Height);
            if (list.Count() == 0) list.SetCellSize(width, height);
            else if (list.CellWidth() < width || list.CellHeight() < height)
              list.SetCellSize(std::max(list.CellWidth(), width), std::max(list.CellHeight(), height));
            target->AppendTexture(texture, seamless);
          });
        });
        control.Post([this, outcome] { outcome_ = outcome; });
      },
      [this, asker](const JobOutcome& outcome) {
        QWidget* owner = asker ? asker.data() : main_;
        if (!outcome.Problems.empty()) {
          QStringList lines;
          for (const std::string& line : outcome.Problems) lines << Text(line);
          Ask.ShowMessage(owner, lines.join(QChar('\n')), MessageIcon::Warning);
        }
        if (outcome.OutOfMemory) Ask.ShowMessage(owner, Text(kNoMemoryMessage), MessageIcon::Warning);
      });
}

void Program::SaveAll(OrvelleForm* form) {
  if (worker_.Busy() || form->TextureCount() == 0) return;
  const QString folder = Ask.AskFolder(form, QStringLiteral("Save all"), Text(Settings.FileSaveDir));
  if (folder.isEmpty()) return;
  Settings.FileSaveDir = QDir(folder).absolutePath().toStdString();
  const int32_t format = Settings.SaveFormat == 2 || Settings.SaveFormat == 3 ? Settings.SaveFormat : 1;
  const std::string extension = FormatExtensions(format).front();
  const QDir dir(folder);
  const std::vector<std::string> names =
      FreeTextureNames(form->TextureCount(), extension,
                       [&dir](const std::string& name) { return dir.exists(QString::fromStdString(name)); });
  std::vector<SaveEntry> entries;
  for (int32_t i = 0; i < form->TextureCount() && i < static_cast<int32_t>(names.size()); ++i)
    entries.push_back(SaveEntry{form->SharedTextureAt(i), form->SeamlessAt(i), names[static_cast<size_t>(i)]});
  const std::string path = dir.absolutePath().toStdString();
  const int32_t quality = Settings.JPEGQuality;
  QPointer<OrvelleForm> target = form;
  StartWork(
      form,
      [this, entries, path, format, quality](Worker::Control& control) {
        JobOutcome outcome = SaveTextures(entries, path, format, quality, control);
        control.Post([this, outcome] { outcome_ = outcome; });
      },
      [this, target, folder](const JobOutcome& outcome) {
        if (!target) return;
        target->ShowStatus(QStringLiteral("%1 saved to %2").arg(outcome.Made).arg(QDir::toNativeSeparators(folder)));
        for (const std::string& problem : outcome.Problems)
          Ask.ShowMessage(target, Text(kSaveErrorMessage) + QChar('\n') + Text(problem), MessageIcon::Warning);
      });
}

void Program::SaveMaps(OrvelleForm* form) {
  const int32_t selection = form->Selection();
  std::shared_ptr<const mvPictureLayer> texture = form->SharedTextureAt(selection);
  if (!texture || worker_.Busy()) return;
  int32_t maxFactor = 1;
  for (int32_t f = limits::kMinScale; f <= limits::kMaxScale; ++f)
    if (ResizeFactorAllowed(texture->BaseWidth, texture->BaseHeight, f)) maxFactor = f;
  std::optional<MapsRequest> request = Ask.AskMaps(form, mapsRequest_, maxFactor);
  if (!request || (!request->Height && !request->Normal)) return;
  request->Factor = std::clamp(request->Factor, 1, maxFactor);
  request->HeightBlur = std::clamp(request->HeightBlur, 0, maps::kMaxHeightBlur);
  if (!(request->Strength > 0 && request->Strength <= maps::kMaxStrength)) request->Strength = MapsRequest{}.Strength;
  mapsRequest_ = *request;
  SaveFileRequest ask;
  ask.Title = QStringLiteral("Save maps");
  ask.Filters << QStringLiteral("PNG Files (*.png)");
  ask.Directory = Text(Settings.FileSaveDir);
  const std::optional<SaveFileAnswer> answer = Ask.AskSaveFile(form, ask);
  if (!answer || answer->Path.isEmpty()) return;
  Settings.FileSaveDir = QFileInfo(answer->Path).absolutePath().toStdString();
  // The name chosen names both maps: NAME-height.png and NAME-normal.png.
  QString base = answer->Path;
  if (base.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) base.chop(4);
  const std::vector<std::string> files = MapFiles(base.toStdString(), *request);
  QStringList present;
  for (const std::string& file : files)
    if (QFileInfo::exists(Text(file))) present << QFileInfo(Text(file)).fileName();
  if (!present.isEmpty() &&
      !Ask.AskConfirm(form, QStringLiteral("Replace %1?").arg(present.join(QStringLiteral(" and "))),
                      QStringLiteral("Replace"), QStringLiteral("Cancel")))
    return;
  const bool seamless = form->SeamlessAt(selection);
  const MapsRequest settings = *request;
  const std::string path = base.toStdString();
  QPointer<OrvelleForm> target = form;
  StartWork(
      form,
      [this, texture, seamless, settings, path](Worker::Control& control) {
        JobOutcome outcome = SaveTextureMaps(*texture, seamless, settings, path, control);
        control.Post([this, outcome] { outcome_ = outcome; });
      },
      [this, target, files](const JobOutcome& outcome) {
        if (!target) return;
        QStringList names;
        for (size_t i = 0; i < files.size() && static_cast<int32_t>(i) < outcome.Made; ++i)
          names << QFileInfo(Text(files[i])).fileName();
        if (!names.isEmpty()) target->ShowStatus(QStringLiteral("Saved %1").arg(names.join(QStringLiteral(", "))));
        for (const std::string& problem : outcome.Problems)
          Ask.ShowMessage(target, Text(kSaveErrorMessage) + QChar('\n') + Text(problem), MessageIcon::Warning);
        if (outcome.OutOfMemory) Ask.ShowMessage(target, Text(kNoMemoryMessage), MessageIcon::Warning);
      });
}

// ---- the stock ------------------------------------------------------------------

void Program::AddToStock(OrvelleForm* form) {
  const int32_t selection = form->Selection();
  const mvPictureLayer* source = form->TextureAt(selection);
  if (!source || !stock_) return;
  std::shared_ptr<mvPictureLayer> copy(source->Clone());
  if (!copy) {
    Ask.ShowMessage(form, Text(kNoMemoryMessage), MessageIcon::Warning);
    return;
  }
  const bool seamless = form->SeamlessAt(selection);
  // Kept as a recipe file, so the stock is there again at the next start.
  QString file;
  if (!options_.StockFolder.empty()) {
    const QDir dir(Text(options_.StockFolder));
    const std::vector<std::string> names = FreeTextureNames(
        1, "json", [&dir](const std::string& name) { return dir.exists(QString::fromStdString(name)); });
    const std::string path = options_.StockFolder + "/" + names.front() + kRecipeSuffix;
    std::string error;
    errno = 0;
    if (CreateFolders(options_.StockFolder, 0700) && WriteJsonFile(path, RecipeToJson(*copy, seamless), error)) {
      file = Text(path);
    } else {
      Ask.ShowMessage(form, Text(kStockErrorMessage) + QChar('\n') + Text(FileNameOf(path) + ": " + ReasonText(errno)),
                      MessageIcon::Warning);
    }
  }
  ListBox& stock = stock_->List();
  const CellSize cells = StockCellSize(CellSize{stock.CellWidth(), stock.CellHeight()}, stock_->TextureCount() == 0,
                                       copy->Width, copy->Height);
  if (cells.Width != stock.CellWidth() || cells.Height != stock.CellHeight())
    stock.SetCellSize(cells.Width, cells.Height);
  if (!stock_->AppendTexture(copy, seamless, file)) Ask.ShowMessage(form, Text(kNoMemoryMessage), MessageIcon::Warning);
}

void Program::ForgetStockFile(const QString& file) {
  QFile stored(file);
  if (!stored.exists() || stored.remove()) return;
  Ask.ShowMessage(stock_,
                  Text(kStockErrorMessage) + QChar('\n') + QFileInfo(file).fileName() + QStringLiteral(": ") +
                      stored.errorString().toLower(),
                  MessageIcon::Warning);
}

void Program::LoadStock() {
  if (options_.StockFolder.empty() || !stock_) return;
  const QDir dir(Text(options_.StockFolder));
  const QStringList names = dir.entryList(QStringList{QStringLiteral("*.json")}, QDir::Files, QDir::Name);
  if (names.isEmpty()) return;
  std::vector<std::string> paths;
  for (const QString& name : names) paths.push_back(dir.filePath(name).toStdString());
  QPointer<OrvelleForm> target = stock_;
  StartWork(
      stock_,
      [this, paths, target](Worker::Control& control) {
        JobOutcome outcome = ReadRecipes(paths, control, [&control, target](MadeTexture made) {
          control.Post([target, texture = Shared(made), seamless = made.Seamless, file = Text(made.File)] {
            if (!target) return;
            ListBox& list = target->List();
            const CellSize cells = StockCellSize(CellSize{list.CellWidth(), list.CellHeight()},
                                                 target->TextureCount() == 0, texture->Width, texture->Height);
            list.SetCellSize(cells.Width, cells.Height);
            target->AppendTexture(texture, seamless, file);
          });
        });
        control.Post([this, outcome] { outcome_ = outcome; });
      },
      [this, target](const JobOutcome& outcome) {
        if (!outcome.Problems.empty()) {
          QStringList lines{QStringLiteral("Some of the stock could not be read:")};
          for (const std::string& line : outcome.Problems) lines << Text(line);
          Ask.ShowMessage(target ? target.data() : main_, lines.join(QChar('\n')), MessageIcon::Warning);
        }
      });
}

void Program::ToggleStock() {
  if (!stock_) return;
  if (stock_->isHidden()) {
    stock_->ShowNow();
    Settings.ShowStockWindow = true;
  } else {
    stock_->hide();
    Settings.ShowStockWindow = false;
  }
  if (QAction* action = main_->Action(CmdStock)) action->setChecked(Settings.ShowStockWindow);
}

// ---- the tiling preview ---------------------------------------------------------

void Program::ToggleTiling(OrvelleForm* form) {
  if (!tiling_.IsOpen()) {
    if (!tiling_.Open()) return;
    Settings.ShowTilingWindow = true;
    if (form) ShowSelectionInTiling(form);
  } else {
    tiling_.Close();
    tilingWanted_.reset();
    tilingWorker_.Stop();
    Settings.ShowTilingWindow = false;
  }
  if (QAction* action = main_->Action(CmdTiling)) action->setChecked(Settings.ShowTilingWindow);
}

void Program::ShowSelectionInTiling(OrvelleForm* form) {
  if (!tiling_.IsOpen() || !form || ended_) return;
  RequestTiling(form->SharedTextureAt(form->Selection()), form->SeamlessAt(form->Selection()));
}

void Program::RequestTiling(std::shared_ptr<const mvPictureLayer> texture, bool seamless) {
  if (!texture) {
    tilingWanted_.reset();
    tilingWorker_.Stop();
    tiling_.Clear();
    return;
  }
  // Shown already or on its way (a window activation asks again): nothing to do.
  if (texture == tilingWanted_ && tiling_.View() == tilingView_) return;
  tilingWanted_ = std::move(texture);
  tilingSeamless_ = seamless;
  tilingView_ = tiling_.View();
  if (tilingWorker_.Busy()) {
    // The build under way is for another texture; the latest starts when it ends.
    tilingWorker_.Stop();
    return;
  }
  StartTilingBuild();
}

void Program::StartTilingBuild() {
  std::shared_ptr<const mvPictureLayer> texture = tilingWanted_;
  if (!texture || !tiling_.IsOpen()) return;
  const int32_t view = tilingView_;
  maps::MapOptions options;
  options.Wrap = tilingSeamless_;
  options.Strength = mapsRequest_.Strength;
  options.HeightBlur = mapsRequest_.HeightBlur;
  options.DirectX = mapsRequest_.DirectX;
  tilingWorker_.Start([this, texture, view, options](Worker::Control& control) {
    std::unique_ptr<mvPicture> tiled;
    try {
      const mvPicture* tile = texture.get();
      mvPicture heights, normals;
      if (view == TilingPreview::ViewNormalMap) {
        // The map Save maps writes at the texture's size: wrapped across the
        // edges of a seamless texture, so its seams show here if it has any.
        if (!maps::MakeHeightMap(*texture, options, heights) || !maps::MakeNormalMap(heights, options, normals) ||
            !normals.ConvertFormat(ColorTypeRGB, 8, 4))
          normals.Free();
        tile = normals.IsEmpty() ? nullptr : &normals;
      }
      if (tile && !control.StopRequested())
        tiled = BuildTiledPicture(*tile, TilingPreview::kTiles, TilingPreview::kTiles, TilingPreview::kMaxTiledSide,
                                  [&control] { return control.StopRequested(); });
    } catch (const std::bad_alloc&) {
      tiled.reset();
    }
    if (control.StopRequested()) return;
    auto holder = std::make_shared<std::unique_ptr<mvPicture>>(std::move(tiled));
    control.Post([this, texture, holder, view] {
      if (texture != tilingWanted_ || view != tilingView_ || !tiling_.IsOpen()) return;
      if (*holder) {
        tilingFailure_ = nullptr;
        tiling_.Show(texture, std::move(*holder), view);
        return;
      }
      tiling_.Clear();
      // Said once per texture.
      if (tilingFailure_ != texture.get()) {
        tilingFailure_ = texture.get();
        Ask.ShowMessage(main_, Text(kNoMemoryMessage), MessageIcon::Warning);
      }
    });
  });
}

void Program::TilingFinished() {
  if (ended_ || !tilingWanted_ || tilingWanted_.get() == tilingFailure_ ||
      (tilingWanted_.get() == tiling_.Texture() && tilingView_ == tiling_.ShownView()))
    return;
  StartTilingBuild();
}

// ---- closing -----------------------------------------------------------------------

void Program::FormCloseRequested(OrvelleForm* form) {
  if (ended_) return;
  if (form == stock_) {
    if (!stock_->isHidden()) ToggleStock();
    return;
  }
  // Work already told to stop loses nothing more by the close: no question then.
  const bool workHere = worker_.Busy() && !worker_.StopAsked() && (form == main_ || form == workForm_);
  // Textures already made are never lost by a close the user did not confirm.
  if (workHere &&
      !Ask.AskConfirm(form, Text(kStopAndCloseQuestion), QStringLiteral("Stop and close"), QStringLiteral("Carry on")))
    return;
  if (form == main_) {
    End();
    return;
  }
  if (workHere) worker_.Stop();
  form->AllowClose();
  form->close();
}

void Program::RecordSettings() {
  if (!main_) return;
  const Placement p = main_->RecordPlacement();
  Settings.WindowLeft = p.Left;
  Settings.WindowTop = p.Top;
  Settings.WindowWidth = p.Width;
  Settings.WindowHeight = p.Height;
  Settings.WindowMaximize = p.Maximized;
  if (stock_) {
    const Placement s = stock_->RecordPlacement();
    Settings.StockWindowLeft = s.Left;
    Settings.StockWindowTop = s.Top;
    Settings.StockWindowWidth = s.Width;
    Settings.StockWindowHeight = s.Height;
  }
  const Placement t = tiling_.RecordPlacement();
  Settings.TilingWindowLeft = t.Left;
  Settings.TilingWindowTop = t.Top;
  Settings.TilingWindowWidth = t.Width;
  Settings.TilingWindowHeight = t.Height;
  if (OptionsPanel* panel = main_->Options()) panel->ReadOptions(false);
}

void Program::End() {
  if (ended_ || !main_) {
    ended_ = true;
    return;
  }
  ended_ = true;
  worker_.Stop();
  tilingWorker_.Stop();
  editQueue_.clear();
  editWorker_.Stop();
  if (editor_) editor_->hide();
  RecordSettings();
  // Every window goes at once; the worker's current step ends behind them.
  for (OrvelleForm* form : VariationsForms()) form->hide();
  if (stock_) stock_->hide();
  tiling_.Close();
  main_->AllowClose();
  main_->close();
  main_->hide();
  worker_.Wait();
  tilingWorker_.Wait();
  editWorker_.Wait();
  QCoreApplication::quit();
}

// ---- the recipe editor -------------------------------------------------------------

void Program::OpenEditor(OrvelleForm* form) {
  if (ended_) return;
  if (!editor_) {
    editor_ = new (std::nothrow) EditorWindow(Ask, history_);
    if (!editor_) {
      Ask.ShowMessage(form, Text(kNoMemoryMessage), MessageIcon::Warning);
      return;
    }
    connect(editor_, &EditorWindow::Changed, this, &Program::EditorChanged);
    // Beside the main window the first time; where the user left it afterwards.
    Placement beside{0, 0, editor_->width(), editor_->height(), false};
    if (main_) {
      beside.Left = main_->x() + main_->width() + 8;
      beside.Top = main_->y();
    }
    editor_->Where.Apply(*editor_, OnScreens(beside));
  }
  editor_->show();
  editor_->raise();
  editor_->activateWindow();
  ShowSelectionInEditor(form);
}

void Program::ShowSelectionInEditor(OrvelleForm* form) {
  if (!form || ended_) return;
  const int32_t index = form->Selection();
  TextureListItem* item = form->ItemAt(index);
  history_.setActiveStack(item && item->History ? item->History.get() : nullptr);
  if (!editor_ || editor_->isHidden()) return;
  const bool same = form == editForm_ && item && item->Id == editItem_;
  editForm_ = form;
  editItem_ = item ? item->Id : 0;
  if (!item || !item->Texture) {
    editor_->ShowRecipe(nullptr, 0, 0, false, QString());
    return;
  }
  SharedChain chain = item->Chain ? item->Chain : SharedChain(ChainOf(*item->Texture));
  if (!chain) {
    Ask.ShowMessage(form, Text(kNoMemoryMessage), MessageIcon::Warning);
    return;
  }
  const mvPictureLayer& texture = *item->Texture;
  editor_->ShowRecipe(chain, texture.BaseWidth, texture.BaseHeight, item->Seamless,
                      EditorCaption(*form, index, texture, item->Seamless, chain->size()), same ? -1 : 0);
}

void Program::EditorChanged(SharedChain chain, int32_t select, const QString& mergeKey, const QString& text) {
  OrvelleForm* form = editForm_;
  const int32_t index = form ? form->IndexOfItem(editItem_) : -1;
  TextureListItem* item = form ? form->ItemAt(index) : nullptr;
  if (!item || !item->Texture || !chain) return;
  SharedChain before = item->Chain ? item->Chain : SharedChain(ChainOf(*item->Texture));
  if (!before) {
    Ask.ShowMessage(editor_, Text(kNoMemoryMessage), MessageIcon::Warning);
    return;
  }
  if (!item->History) {
    item->History = std::make_unique<QUndoStack>();
    history_.addStack(item->History.get());
  }
  history_.setActiveStack(item->History.get());
  QPointer<OrvelleForm> target = form;
  const uint64_t id = item->Id;
  // Pushing carries the change out (redo), and so do undo and redo later.
  item->History->push(new RecipeChange(
      [this, target, id](const SharedChain& shown, int32_t selected) { ApplyChain(target, id, shown, selected); },
      before, editor_ ? editor_->SelectedEffect() : 0, std::move(chain), select, mergeKey, text));
}

void Program::ApplyChain(const QPointer<OrvelleForm>& form, uint64_t item, const SharedChain& chain, int32_t select) {
  const int32_t index = form ? form->IndexOfItem(item) : -1;
  TextureListItem* cell = form ? form->ItemAt(index) : nullptr;
  if (!cell || !cell->Texture || ended_) return;
  cell->Chain = chain;
  const mvPictureLayer& texture = *cell->Texture;
  if (editor_ && form == editForm_ && item == editItem_)
    editor_->ShowRecipe(chain, texture.BaseWidth, texture.BaseHeight, cell->Seamless,
                        EditorCaption(*form, index, texture, cell->Seamless, chain->size()), select);
  // A stock texture's file follows at once, so a change is kept even when
  // the program ends before its render does.
  if (form == stock_ && !cell->File.isEmpty()) {
    std::string error;
    errno = 0;
    if (!WriteJsonFile(cell->File.toStdString(),
                       ChainToJson(*chain, texture.BaseWidth, texture.BaseHeight, cell->Seamless), error))
      Ask.ShowMessage(form,
                      Text(kStockErrorMessage) + QChar('\n') + QFileInfo(cell->File).fileName() + QStringLiteral(": ") +
                          Text(ReasonText(errno)),
                      MessageIcon::Warning);
  }
  RequestEditRender(form, item, chain);
}

void Program::RequestEditRender(OrvelleForm* form, uint64_t item, SharedChain chain) {
  const int32_t index = form->IndexOfItem(item);
  std::shared_ptr<const mvPictureLayer> base = form->SharedTextureAt(index);
  if (!base) return;
  EditRender request{form, item, std::move(chain), std::move(base)};
  // The texture's render still waiting gives way; one under way stops, and
  // this one comes after it.
  auto waiting = std::find_if(editQueue_.begin(), editQueue_.end(),
                              [&](const EditRender& r) { return r.Form == form && r.Item == item; });
  if (waiting != editQueue_.end()) *waiting = std::move(request);
  else editQueue_.push_back(std::move(request));
  if (editWorker_.Busy()) {
    if (editRunning_ == item) editWorker_.Stop();
    return;
  }
  StartEditRender();
}

void Program::StartEditRender() {
  if (editQueue_.empty() || editWorker_.Busy() || ended_) return;
  EditRender request = std::move(editQueue_.front());
  editQueue_.erase(editQueue_.begin());
  if (!request.Form) {
    StartEditRender();
    return;
  }
  editRunning_ = request.Item;
  if (editor_) editor_->ShowRendering(true);
  editWorker_.Start([this, request](Worker::Control& control) {
    std::shared_ptr<mvPictureLayer> texture;
    try {
      std::unique_ptr<mvPictureLayer> made = TextureOfChain(*request.Base, *request.Chain);
      if (made && made->Render(&control)) texture.reset(made.release());
    } catch (const std::bad_alloc&) {
      texture.reset();
    }
    if (control.StopRequested()) return;
    control.Post([this, request, texture] {
      OrvelleForm* form = request.Form;
      const int32_t index = form ? form->IndexOfItem(request.Item) : -1;
      TextureListItem* cell = form ? form->ItemAt(index) : nullptr;
      // A newer change (or a turn) has the cell now: its own render shows it.
      if (!cell || cell->Chain != request.Chain) return;
      if (!texture) {
        Ask.ShowMessage(editor_ ? static_cast<QWidget*>(editor_) : form, Text(kNoMemoryMessage), MessageIcon::Warning);
        return;
      }
      form->ReplaceTexture(index, cell->Texture, texture, true);
      if (form->Selection() == index) ShowSelectionInTiling(form);
    });
  });
}
