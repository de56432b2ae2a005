#pragma once
#include <QObject>
#include <QPointer>
#include <QUndoGroup>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/forms/dialogs.h"
#include "app/forms/editor_window.h"
#include "app/forms/jobs.h"
#include "app/forms/orvelle_form.h"
#include "app/forms/tiling_preview.h"
#include "app/forms/worker.h"
#include "app/settings/app_settings.h"
#include "app/settings/settings_location.h"
#include "app/toolkit/picture_drawer.h"

// The desktop program: owns the settings, the windows, the thumbnail drawer
// and the worker, and carries out what the windows ask of it through their
// signals. No window reaches another: they all go through here.
class Program : public QObject {
  Q_OBJECT
public:
  struct Options {
    SettingsLocation Location;  // empty paths: nothing read or written
    std::string StockFolder;    // empty: the stock lives for the session only
    bool SaveSettings = true;
  };

  explicit Program(Options options);
  // Ends the program if it has not ended, and saves the settings when asked.
  ~Program() override;

  // Settings read, windows made and shown as the settings say, the stock's
  // files read in the worker. False (after telling the user) when the program
  // cannot run.
  bool Start();
  // True once the main form has closed; the event loop was asked to quit then
  // and only then.
  bool Ended() const { return ended_; }
  // Whether the settings are written when the program object goes.
  void SetSaveSettings(bool save) { options_.SaveSettings = save; }

  AppSettings Settings;
  Dialogs Ask;

  OrvelleForm* MainForm() const { return main_; }
  OrvelleForm* StockForm() const { return stock_; }
  std::vector<OrvelleForm*> VariationsForms() const;
  TilingPreview& Tiling() { return tiling_; }
  // The recipe editor's window (null until first opened) and the undo
  // histories of its changes, one per texture.
  EditorWindow* Editor() const { return editor_; }
  QUndoGroup& History() { return history_; }
  // A change of the editor renders on a worker of its own.
  bool EditBusy() const { return editWorker_.Busy() || !editQueue_.empty(); }
  // Long work runs (Generate, Variations, Resize, a turn, Open recipe, Save
  // all, the stock's files); the tiling preview builds on a worker of its own.
  bool Busy() const { return worker_.Busy(); }
  bool TilingBusy() const { return tilingWorker_.Busy(); }
  // The seed of the batch on the main form.
  uint32_t BatchSeed() const { return batchSeed_; }

  // What a form's ProgramCommand asks for.
  void Command(OrvelleForm* form, int32_t id);

private:
  using AfterWork = std::function<void(const JobOutcome& outcome)>;

  void Wire(OrvelleForm* form);
  OrvelleForm* NewVariationsForm(OrvelleForm* parent, int32_t contentWidth, int32_t contentHeight);
  bool StartWork(OrvelleForm* form, Worker::Job job, AfterWork after);
  void WorkFinished(bool stopped);
  void StopWork();
  void FormCloseRequested(OrvelleForm* form);
  void End();
  void RecordSettings();
  Placement OnScreens(const Placement& placement) const;

  void Generate();
  void Variations(OrvelleForm* form);
  void Resize(OrvelleForm* form, int32_t factor);
  void Turn(OrvelleForm* form, int32_t id);
  void OpenRecipe(OrvelleForm* form);
  void SaveAll(OrvelleForm* form);
  void AddToStock(OrvelleForm* form);
  void ForgetStockFile(const QString& file);
  void LoadStock();
  void ToggleStock();
  void ToggleTiling(OrvelleForm* form);
  void ShowSelectionInTiling(OrvelleForm* form);
  void RequestTiling(std::shared_ptr<const mvPictureLayer> texture, bool seamless);
  void StartTilingBuild();
  void TilingFinished();
  void OpenEditor(OrvelleForm* form);
  void ShowSelectionInEditor(OrvelleForm* form);
  void EditorChanged(SharedChain chain, int32_t select, const QString& mergeKey, const QString& text);
  void ApplyChain(const QPointer<OrvelleForm>& form, uint64_t item, const SharedChain& chain, int32_t select);
  void RequestEditRender(OrvelleForm* form, uint64_t item, SharedChain chain);
  void StartEditRender();
  void SaveMaps(OrvelleForm* form);

  Options options_;
  std::unique_ptr<PictureDrawer> drawer_;
  std::unique_ptr<FormServices> services_;
  OrvelleForm* main_ = nullptr;
  OrvelleForm* stock_ = nullptr;
  // Guarded as plain objects: a widget says it is going when it is no form any more.
  std::vector<QPointer<QObject>> variations_;
  int32_t variationsCounter_ = 0;
  TilingPreview tiling_;
  Worker worker_;
  Worker tilingWorker_;
  QPointer<OrvelleForm> workForm_;
  AfterWork afterWork_;
  // The job's window holds nothing until the job ends (Resize): a stop closes it at once.
  bool closeEmptyOnStop_ = false;
  JobOutcome outcome_;
  std::shared_ptr<const mvPictureLayer> tilingWanted_;
  bool tilingSeamless_ = false;
  int32_t tilingView_ = TilingPreview::ViewTexture;  // of the build wanted
  const mvPictureLayer* tilingFailure_ = nullptr;
  uint32_t batchSeed_ = 0;
  bool ended_ = false;
  QUndoGroup history_;
  EditorWindow* editor_ = nullptr;
  QPointer<OrvelleForm> editForm_;  // the form whose selection the editor shows
  uint64_t editItem_ = 0;
  // Renders of the editor's changes, one per texture: a newer change of a
  // texture takes the place of its render still waiting or running.
  struct EditRender {
    QPointer<OrvelleForm> Form;
    uint64_t Item = 0;
    SharedChain Chain;
    std::shared_ptr<const mvPictureLayer> Base;  // the texture whose size, format and background it keeps
  };
  std::vector<EditRender> editQueue_;
  uint64_t editRunning_ = 0;
  Worker editWorker_;
  MapsRequest mapsRequest_;
};
