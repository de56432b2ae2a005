#pragma once
// The whole desktop program under the offscreen platform, its questions
// answered by the test.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QToolButton>
#include <cstring>
#include <memory>
#include <vector>

#include "app/forms/options_panel.h"
#include "app/forms/program.h"
#include "app/forms/strings.h"
#include "codecs/codecs.h"
#include "core/random.h"

struct Message {
  QString Text;
  MessageIcon Icon;
};

class ProgramTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    options.Location.LoadPath = options.Location.SavePath = Path("orvelle.ini");
    options.StockFolder = Path("stock");
    options.SaveSettings = false;
    Start();
  }
  void TearDown() override { program.reset(); }
  void Start() {
    VariationRandom.Seed(7);
    program = std::make_unique<Program>(options);
    program->Ask.Message = [this](QWidget*, const QString& text, MessageIcon icon) {
      messages.push_back({text, icon});
    };
    program->Ask.Confirm = [this](QWidget*, const QString& question, const QString&, const QString&) {
      questions << question;
      return confirm;
    };
    ASSERT_TRUE(program->Start());
    WaitIdle();
    main = program->MainForm();
    stock = program->StockForm();
    panel = main->Options();
  }
  void Restart(bool save) {
    program->SetSaveSettings(save);
    program.reset();
    Start();
  }
  std::string Path(const char* name) const { return dir.filePath(QString::fromUtf8(name)).toStdString(); }

  // Lets the window's thread take what the workers post, until both are idle.
  void WaitIdle(int limitMs = 60000) {
    QElapsedTimer clock;
    clock.start();
    while ((program->Busy() || program->TilingBusy() || program->EditBusy()) && clock.elapsed() < limitMs)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
    ASSERT_FALSE(program->Busy());
  }
  // Fills the panel and presses Generate.
  void StartBatch(int width, int height, int number, const char* seed = "") {
    panel->SquareButton->setChecked(width == height);
    panel->WidthBox->setEditText(QString::number(width));
    panel->HeightBox->setEditText(QString::number(height));
    panel->NumberBox->setValue(number);
    panel->SeedBox->setText(QString::fromUtf8(seed));
    main->OnCommand(CmdGenerate);
  }
  void Generate(int width, int height, int number, const char* seed = "") {
    StartBatch(width, height, number, seed);
    WaitIdle();
  }
  void Select(OrvelleForm* form, int index = 0) { form->SelectTexture(index); }
  void SetNumberText(const char* text) { panel->NumberBox->Edit()->setText(QString::fromUtf8(text)); }
  void Command(OrvelleForm* form, int32_t id) {
    form->OnCommand(id);
    WaitIdle();
  }
  // Every save question from now on gets this file and filter.
  void AnswerSave(const QString& path, int filter) {
    program->Ask.SaveFile = [path, filter](QWidget*, const SaveFileRequest&) -> std::optional<SaveFileAnswer> {
      return SaveFileAnswer{path, filter};
    };
  }
  static std::vector<uint8_t> PixelBytes(const mvPicture& p) { return {p.Pixels, p.Pixels + p.ByteSize()}; }
  // The picture in an image file, as 8-bit RGBA, is the texture's.
  static void ExpectFileHolds(const std::string& file, const mvPicture& texture) {
    mvImage image;
    ASSERT_EQ(LoadImageFile(file.c_str(), image), kCodecOK) << file;
    ASSERT_TRUE(image.Picture.ConvertFormat(ColorTypeRGB, 8, 4));
    ASSERT_EQ(image.Picture.Width, texture.Width);
    ASSERT_EQ(image.Picture.Height, texture.Height);
    for (int32_t y = 0; y < texture.Height; ++y)
      ASSERT_EQ(std::memcmp(image.Picture.Row(y), texture.Row(y), 4 * static_cast<size_t>(texture.Width)), 0)
          << file << " row " << y;
  }
#ifdef ORVELLE_CLI
  // Runs orvelle-cli; a failure ends the test with what it said.
  static void RunCli(const QStringList& args) {
    QProcess cli;
    cli.start(QStringLiteral(ORVELLE_CLI), args);
    ASSERT_TRUE(cli.waitForFinished(60000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  }
#endif
  OrvelleForm* Variations(size_t i) {
    const std::vector<OrvelleForm*> forms = program->VariationsForms();
    return i < forms.size() ? forms[i] : nullptr;
  }

  QTemporaryDir dir;
  Program::Options options;
  std::unique_ptr<Program> program;
  OrvelleForm* main = nullptr;
  OrvelleForm* stock = nullptr;
  OptionsPanel* panel = nullptr;
  std::vector<Message> messages;
  QStringList questions;
  bool confirm = false;
};
