#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>

#include "app/forms/about_dialog.h"
#include "app/forms/application.h"
#include "app/forms/form_logic.h"
#include "app/forms/options_dialog.h"
#include "app/forms/orvelle_form.h"
#include "app/forms/strings.h"
#include "app/forms/tiling_preview.h"
#include "app/settings/app_settings.h"
#include "app/widgets/list_box_widget.h"
#include "codecs/codecs.h"
#include "core/random.h"

namespace {

// ---- rules without windows -------------------------------------------------

TEST(FormLogic, SaveNamesGetTheCodecsExtension) {
  const std::vector<std::string> jpeg{"jpg", "jpeg", "jpe", "jfif"};
  const std::vector<std::string> png{"png"};
  EXPECT_EQ(FixSaveExtension("/tmp/a/texture", jpeg), "/tmp/a/texture.jpg");
  EXPECT_EQ(FixSaveExtension("/tmp/a/texture.", png), "/tmp/a/texture.png");
  EXPECT_EQ(FixSaveExtension("/tmp/a/texture.JPEG", jpeg), "/tmp/a/texture.JPEG");
  EXPECT_EQ(FixSaveExtension("/tmp/a/texture.bmp", png), "/tmp/a/texture.bmp.png");
  EXPECT_EQ(FixSaveExtension("/tmp/a/notes.txt", png), "/tmp/a/notes.txt.png");
  // A dot in a folder name is no extension.
  EXPECT_EQ(FixSaveExtension("/tmp/v1.2/texture", png), "/tmp/v1.2/texture.png");
}

TEST(FormLogic, ResizeFactorsStopAtTheSizeLimit) {
  EXPECT_TRUE(ResizeFactorAllowed(600, 600, 8));
  EXPECT_FALSE(ResizeFactorAllowed(600, 600, 9));  // 5400 > 5000
  EXPECT_FALSE(ResizeFactorAllowed(100, 600, 9));
  EXPECT_TRUE(ResizeFactorAllowed(500, 500, 10));
  EXPECT_FALSE(ResizeFactorAllowed(INT32_MAX, 1, 2));  // no overflow into "allowed"
}

TEST(FormLogic, StockCellsFitTheNewTextureExactly) {
  EXPECT_EQ(StockCellSize({140, 140}, false, 64, 256), (CellSize{76, 268}));
  EXPECT_EQ(StockCellSize({140, 140}, false, 100, 100), (CellSize{140, 140}));
  EXPECT_EQ(StockCellSize({500, 500}, true, 100, 100), (CellSize{112, 112}));
}

TEST(FormLogic, FieldsReadAsSignedIntegersOrZero) {
  EXPECT_EQ(FieldInteger("120"), 120);
  EXPECT_EQ(FieldInteger("-5"), -5);
  EXPECT_EQ(FieldInteger("abc"), 0);
  EXPECT_EQ(FieldInteger(""), 0);
  EXPECT_EQ(FieldInteger("12x"), 0);
  EXPECT_EQ(FieldInteger("99999999999"), 0);
}

TEST(FormLogic, FilterListBecomesQtNameFilters) {
  const auto filters = NameFiltersFromList(LoadString(kSaveFilterStringId));
  ASSERT_EQ(filters.size(), 3u);
  EXPECT_EQ(filters[0], "BMP Files (*.bmp *.dib)");
  EXPECT_EQ(filters[2], "PNG Files (*.png)");
}

TEST(FormLogic, ChildPlacementStaysInsideTheWorkArea) {
  const WorkArea work{0, 0, 1000, 800};
  Placement p = ChildPlacement({100, 100, 600, 400, false}, 300, 200, 30, 24, work);
  EXPECT_EQ(p, (Placement{124, 124, 300, 230, false}));
  p = ChildPlacement({900, 700, 600, 400, true}, 5012, 5012, 30, 24, work);
  EXPECT_EQ(p, (Placement{0, 0, 1000, 800, true}));
  p = ChildPlacement({900, 100, 600, 400, false}, 300, 200, 30, 24, work);
  EXPECT_EQ(p.Left, 700);
}

TEST(FormLogic, CellSidesNeverOverflow) {
  EXPECT_EQ(CellSide(120), 132);
  EXPECT_EQ(CellSide(99999), 100011);  // a settings file may hold it; Generate refuses it later
  EXPECT_EQ(CellSide(INT32_MAX), INT32_MAX);
}

TEST(FormLogic, SelectionGradientRunsFromLightToDeeperBlue) {
  EXPECT_EQ(SelectionGradient(0, 131), MakeRGB(192, 224, 255));
  EXPECT_EQ(SelectionGradient(131, 131), MakeRGB(128, 192, 255));
  EXPECT_EQ(SelectionGradient(0, 0), MakeRGB(192, 224, 255));  // one-row cell: no division by zero
}

// ---- the program's windows ---------------------------------------------------

struct Message {
  QString Text;
  MessageIcon Icon;
};

class Program : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    location.LoadPath = location.SavePath = Path("orvelle.ini");
    Start();
  }
  void TearDown() override {
    if (started) EndProgram(false);
    ShowMessageHandler = nullptr;
    AskSaveFileHandler = nullptr;
    AskOpenFilesHandler = nullptr;
  }
  void Start() {
    Settings = AppSettings{};
    GeneratorRandom.Seed(7);
    VariationRandom.Seed(7);
    ShowMessageHandler = [this](QWidget*, const QString& text, MessageIcon icon) { messages.push_back({text, icon}); };
    ASSERT_TRUE(StartProgram(location));
    started = true;
    ASSERT_NE(MainForm, nullptr);
    ASSERT_NE(OptionsPanel, nullptr);
  }
  std::string Path(const char* name) const { return dir.filePath(QString::fromUtf8(name)).toStdString(); }

  // Fills the panel and presses Generate.
  void Generate(int width, int height, int number) {
    OptionsPanel->SquareButton->setChecked(width == height);
    OptionsPanel->WidthBox->setEditText(QString::number(width));
    OptionsPanel->HeightBox->setEditText(QString::number(height));
    OptionsPanel->NumberBox->setValue(number);
    MainForm->OnCommand(CmdGenerate);
  }
  void SelectFirst(OrvelleForm* form) {
    form->List().SelectFirst();
    form->OnCommand(CmdListNotification);
  }
  void SetNumberText(const char* text) { OptionsPanel->NumberBox->Edit()->setText(QString::fromUtf8(text)); }

  QTemporaryDir dir;
  SettingsLocation location;
  std::vector<Message> messages;
  bool started = false;
};

TEST_F(Program, StartsWithItsWindowsAndToolbars) {
  EXPECT_EQ(MainForm->windowTitle(), QStringLiteral("Orvelle."));
  ASSERT_NE(StockForm, nullptr);
  EXPECT_EQ(StockForm->windowTitle(), QStringLiteral("Stock - Orvelle."));
  EXPECT_TRUE(StockForm->isHidden());
  EXPECT_FALSE(TilingPreview->IsOpen());
  EXPECT_EQ(MainForm->List().CellWidth(), 132);
  EXPECT_EQ(MainForm->List().CellHeight(), 132);
  // Tool tips come from the string table; only Stock, Tiling, About and Open recipe start enabled.
  EXPECT_EQ(MainForm->Action(CmdAddToStock)->toolTip(), QStringLiteral("Add to stock"));
  EXPECT_EQ(MainForm->Action(CmdResize)->toolTip(), QStringLiteral("Resize"));
  EXPECT_FALSE(MainForm->Action(CmdSave)->isEnabled());
  EXPECT_TRUE(MainForm->Action(CmdAbout)->isEnabled());
  EXPECT_TRUE(MainForm->Action(CmdStock)->isCheckable());
  EXPECT_EQ(MainForm->Action(CmdRemove), nullptr);
  EXPECT_NE(StockForm->Action(CmdRemove), nullptr);
  EXPECT_EQ(StockForm->Action(CmdAddToStock), nullptr);
  EXPECT_EQ(OptionsPanel->GenerateButton->toolTip(), QStringLiteral("Generate (F5)"));
  // The list and the toolbar start right of the options panel.
  EXPECT_EQ(MainForm->ListWidget()->x(), OptionsPanel->width());
  EXPECT_EQ(MainForm->ToolBar()->x(), OptionsPanel->width());
  EXPECT_EQ(MainForm->ListWidget()->width(), MainForm->width() - OptionsPanel->width());
}

TEST_F(Program, GenerateFillsTheListAndCountsEveryTexture) {
  Settings.GeneratedCount = 5;
  MainForm->OnCommand(CmdGenerate);  // the default options: 12 of 120 x 120
  ASSERT_EQ(MainForm->List().Count(), 12);
  ASSERT_EQ(MainForm->TextureCount(), 12);
  EXPECT_EQ(Settings.GeneratedCount, 17u);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(MainForm->TextureAt(i), MainForm->Textures[i].get());
    EXPECT_EQ(MainForm->TextureAt(i)->Width, 120);
    EXPECT_EQ(MainForm->TextureAt(i)->Height, 120);
    EXPECT_TRUE(MainForm->SeamlessAt(i));
  }
  EXPECT_EQ(MainForm->Selection(), -1);
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(MainForm->Action(CmdSave)->isEnabled());
  SelectFirst(MainForm);
  EXPECT_TRUE(MainForm->Action(CmdSave)->isEnabled());
  EXPECT_TRUE(MainForm->Action(CmdAddToStock)->isEnabled());
}

TEST_F(Program, OutOfRangeOptionsAreRefusedAndTheBatchKept) {
  Generate(64, 64, 2);
  ASSERT_EQ(MainForm->TextureCount(), 2);
  const uint32_t count = Settings.GeneratedCount;
  const struct {
    const char* Width;
    const char* Number;
    const char* Message;
  } cases[] = {{"0", "3", kSizeMessage},       {"5001", "3", kSizeMessage}, {"abc", "3", kSizeMessage},
               {"64", "0", kNumberMessage},    {"64", "1001", kNumberMessage},
               {"abc", "0", kSizeMessage}};  // both wrong: only the size is reported
  OptionsPanel->SquareButton->setChecked(false);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Width) + " / " + c.Number);
    messages.clear();
    OptionsPanel->WidthBox->setEditText(QString::fromUtf8(c.Width));
    SetNumberText(c.Number);
    MainForm->OnCommand(CmdGenerate);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Text, QString::fromUtf8(c.Message));
    EXPECT_EQ(messages[0].Icon, MessageIcon::Information);
    EXPECT_EQ(MainForm->TextureCount(), 2);
    EXPECT_EQ(MainForm->List().Count(), 2);
  }
  EXPECT_EQ(Settings.GeneratedCount, count);
  // The values are kept as typed, valid or not.
  EXPECT_EQ(Settings.ImageWidth, 0);
  EXPECT_EQ(Settings.Number, 0);
}

TEST_F(Program, SquareKeepsWidthAndHeightEqual) {
  OptionsPanel->SquareButton->setChecked(true);
  EXPECT_TRUE(Settings.Square);
  OptionsPanel->WidthBox->setCurrentIndex(OptionsPanel->WidthBox->findData(256));
  EXPECT_EQ(OptionsPanel->HeightBox->currentText(), QStringLiteral("256"));
  OptionsPanel->HeightBox->setEditText(QStringLiteral("300"));
  EXPECT_EQ(OptionsPanel->WidthBox->currentText(), QStringLiteral("300"));
  OptionsPanel->SquareButton->setChecked(false);
  EXPECT_FALSE(Settings.Square);
  OptionsPanel->WidthBox->setEditText(QStringLiteral("64"));
  EXPECT_EQ(OptionsPanel->HeightBox->currentText(), QStringLiteral("300"));
  // JPEG quality: typed values are clamped, chosen ones taken.
  OptionsPanel->QualityBox->setEditText(QStringLiteral("150"));
  EXPECT_EQ(Settings.JPEGQuality, 100);
  OptionsPanel->QualityBox->setEditText(QStringLiteral("-4"));
  EXPECT_EQ(Settings.JPEGQuality, 0);
}

TEST_F(Program, VariationsNeedTwoToAThousandAndOpenANumberedForm) {
  Generate(48, 48, 3);
  SelectFirst(MainForm);
  SetNumberText("1");
  MainForm->OnCommand(CmdVariations);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].Text, QStringLiteral("Number must be between 2 and 1000."));
  EXPECT_TRUE(VariationsForms.empty());

  const uint32_t count = Settings.GeneratedCount;
  SetNumberText("4");
  MainForm->OnCommand(CmdVariations);
  ASSERT_EQ(VariationsForms.size(), 1u);
  OrvelleForm* form = VariationsForms[0];
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Orvelle. <Variations-001>"));
  EXPECT_EQ(form->List().Count(), 4);
  EXPECT_EQ(form->TextureCount(), 4);
  EXPECT_EQ(Settings.GeneratedCount, count + 3);  // the unchanged first copy does not count
  EXPECT_EQ(form->Selection(), 0);
  EXPECT_EQ(form->List().CellWidth(), 60);
  // The copy is the form's own.
  EXPECT_NE(form->TextureAt(0), MainForm->TextureAt(0));
  EXPECT_EQ(form->TextureAt(0)->Effects.Count(), MainForm->TextureAt(0)->Effects.Count());

  // A variations form of a variations form is numbered on; closing them all restarts at 001.
  form->OnCommand(CmdVariations);
  ASSERT_EQ(VariationsForms.size(), 2u);
  EXPECT_EQ(VariationsForms[1]->windowTitle(), QStringLiteral("Orvelle. <Variations-002>"));
  VariationsForms[1]->close();
  VariationsForms[0]->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(VariationsForms.empty());
  EXPECT_EQ(VariationsCounter, 0);
  MainForm->OnCommand(CmdVariations);
  ASSERT_EQ(VariationsForms.size(), 1u);
  EXPECT_EQ(VariationsForms[0]->windowTitle(), QStringLiteral("Orvelle. <Variations-001>"));
}

TEST_F(Program, TurnsAndFlipsUndoEachOtherInTheRecipe) {
  Generate(64, 256, 1);
  SelectFirst(MainForm);
  mvPictureLayer* texture = MainForm->TextureAt(0);
  const int32_t length = texture->Effects.Count();
  MainForm->OnCommand(CmdRotateRight);
  EXPECT_EQ(texture->Effects.Count(), length + 1);
  EXPECT_EQ(texture->Width, 256);
  EXPECT_EQ(texture->Height, 64);
  MainForm->OnCommand(CmdRotateLeft);
  EXPECT_EQ(texture->Effects.Count(), length);
  EXPECT_EQ(texture->Width, 64);
  MainForm->OnCommand(CmdRotateRight);
  MainForm->OnCommand(CmdRotateRight);
  EXPECT_EQ(texture->Effects.Count(), length + 2);
  EXPECT_EQ(texture->Width, 64);
  MainForm->OnCommand(CmdRotateLeft);
  MainForm->OnCommand(CmdRotateLeft);
  EXPECT_EQ(texture->Effects.Count(), length);
  for (int32_t id : {CmdRotate180, CmdFlipVertical, CmdFlipHorizontal}) {
    MainForm->OnCommand(id);
    EXPECT_EQ(texture->Effects.Count(), length + 1);
    MainForm->OnCommand(id);
    EXPECT_EQ(texture->Effects.Count(), length);
  }
}

TEST_F(Program, SaveFixesTheExtensionAndWritesTheComment) {
  Generate(40, 30, 1);
  SelectFirst(MainForm);
  SaveFileRequest asked;
  QString answerPath = dir.filePath(QStringLiteral("name"));
  int answerFilter = 3;
  AskSaveFileHandler = [&](QWidget*, const SaveFileRequest& request) -> std::optional<SaveFileAnswer> {
    asked = request;
    return SaveFileAnswer{answerPath, answerFilter};
  };
  MainForm->OnCommand(CmdSave);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(asked.FilterIndex, 1);  // the default: BMP
  ASSERT_EQ(asked.Filters.size(), 3);
  const std::string written = Path("name.png");
  ASSERT_TRUE(std::filesystem::exists(written));
  EXPECT_EQ(Settings.SaveFormat, 3);
  EXPECT_EQ(Settings.FileSaveDir, QDir(dir.path()).absolutePath().toStdString());
  mvImage image;
  ASSERT_EQ(LoadImageFile(written.c_str(), image), kCodecOK);
  EXPECT_EQ(image.Width, 40);
  EXPECT_EQ(image.Height, 30);
  ASSERT_NE(image.GetTextProperty("COMMENT"), nullptr);
  EXPECT_EQ(*image.GetTextProperty("COMMENT"), "Generated by Orvelle.");
  // Flattened onto white: no transparency left.
  if (image.Picture.Channels == 4) {
    for (int32_t x = 0; x < image.Picture.Width; ++x) EXPECT_EQ(image.Picture.Row(0)[4 * x + 3], 255);
  }

  // A JPEG named .JPEG keeps its name; the texture stays with the form.
  answerPath = dir.filePath(QStringLiteral("photo.JPEG"));
  answerFilter = 2;
  MainForm->OnCommand(CmdSave);
  EXPECT_TRUE(std::filesystem::exists(Path("photo.JPEG")));
  EXPECT_EQ(MainForm->TextureCount(), 1);
  EXPECT_FALSE(MainForm->TextureAt(0)->IsEmpty());

  // A folder that does not exist: "Save error".
  answerPath = dir.filePath(QStringLiteral("missing/texture.bmp"));
  answerFilter = 1;
  MainForm->OnCommand(CmdSave);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].Text, QStringLiteral("Save error"));
  EXPECT_EQ(messages[0].Icon, MessageIcon::Warning);

  // Cancelled: nothing at all.
  AskSaveFileHandler = [](QWidget*, const SaveFileRequest&) -> std::optional<SaveFileAnswer> { return std::nullopt; };
  MainForm->OnCommand(CmdSave);
  EXPECT_EQ(messages.size(), 1u);
}

TEST_F(Program, AddToStockGrowsTheCellsToFitExactly) {
  Generate(128, 128, 1);
  SelectFirst(MainForm);
  MainForm->OnCommand(CmdAddToStock);
  ASSERT_EQ(StockForm->TextureCount(), 1);
  EXPECT_EQ(StockForm->List().CellWidth(), 140);
  EXPECT_EQ(StockForm->List().CellHeight(), 140);
  Generate(64, 256, 1);
  SelectFirst(MainForm);
  MainForm->OnCommand(CmdAddToStock);
  ASSERT_EQ(StockForm->TextureCount(), 2);
  EXPECT_EQ(StockForm->List().Count(), 2);
  EXPECT_EQ(StockForm->List().CellWidth(), 76);
  EXPECT_EQ(StockForm->List().CellHeight(), 268);
  // A copy: a new batch leaves the stock alone.
  Generate(32, 32, 1);
  EXPECT_EQ(StockForm->TextureAt(1)->Width, 64);

  // Stock toggles with its button; its close button only hides it.
  MainForm->OnCommand(CmdStock);
  EXPECT_TRUE(StockForm->isVisible());
  EXPECT_TRUE(Settings.ShowStockWindow);
  EXPECT_TRUE(MainForm->Action(CmdStock)->isChecked());
  StockForm->close();
  ASSERT_NE(StockForm, nullptr);
  EXPECT_TRUE(StockForm->isHidden());
  EXPECT_FALSE(Settings.ShowStockWindow);
  EXPECT_FALSE(MainForm->Action(CmdStock)->isChecked());

  // Remove in the stock.
  SelectFirst(StockForm);
  EXPECT_TRUE(StockForm->Action(CmdRemove)->isEnabled());
  StockForm->OnCommand(CmdRemove);
  EXPECT_EQ(StockForm->TextureCount(), 1);
  EXPECT_EQ(StockForm->List().Count(), 1);
  EXPECT_EQ(StockForm->TextureAt(0)->Height, 256);
  EXPECT_FALSE(StockForm->Action(CmdRemove)->isEnabled());
}

TEST_F(Program, ResizeRendersTheRecipeLargerInANewForm) {
  Generate(600, 600, 1);
  SelectFirst(MainForm);
  QMenu menu;
  MainForm->FillResizeMenu(menu);
  ASSERT_EQ(menu.actions().size(), 9);
  for (int f = 2; f <= 10; ++f) EXPECT_EQ(menu.actions()[f - 2]->isEnabled(), f <= 8) << f;

  Generate(32, 48, 1);
  SelectFirst(MainForm);
  MainForm->OnCommand(CmdRotateRight);  // now 48 x 32
  const uint32_t count = Settings.GeneratedCount;
  MainForm->OnCommand(CmdResizeFirst + 1);  // x3
  ASSERT_EQ(VariationsForms.size(), 1u);
  OrvelleForm* form = VariationsForms[0];
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Orvelle. <Variations-001>"));
  ASSERT_EQ(form->TextureCount(), 1);
  EXPECT_EQ(form->TextureAt(0)->Width, 144);
  EXPECT_EQ(form->TextureAt(0)->Height, 96);
  EXPECT_EQ(form->TextureAt(0)->Effects.Count(), MainForm->TextureAt(0)->Effects.Count());
  EXPECT_EQ(form->List().CellWidth(), 156);
  EXPECT_EQ(form->Selection(), 0);
  EXPECT_EQ(Settings.GeneratedCount, count);
}

TEST_F(Program, TilingPreviewShowsTheSelectionThreeByThree) {
  Generate(100, 50, 2);
  MainForm->OnCommand(CmdTiling);
  ASSERT_TRUE(TilingPreview->IsOpen());
  EXPECT_TRUE(Settings.ShowTilingWindow);
  EXPECT_TRUE(MainForm->Action(CmdTiling)->isChecked());
  EXPECT_EQ(TilingPreview->Window()->windowTitle(), QStringLiteral("Tiling - Orvelle."));
  EXPECT_EQ(TilingPreview->TiledPicture(), nullptr);
  SelectFirst(MainForm);
  const mvPicture* tiled = TilingPreview->TiledPicture();
  ASSERT_NE(tiled, nullptr);
  EXPECT_EQ(tiled->Width, 300);
  EXPECT_EQ(tiled->Height, 150);
  const mvPicture& texture = *MainForm->TextureAt(0);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      EXPECT_EQ(std::memcmp(tiled->Row(r * 50 + 7) + 4 * c * 100, texture.Row(7), 4 * 100), 0);
  // A texture of the same size reuses the picture.
  MainForm->ListWidget()->resize(400, 300);
  const mvRect cell = MainForm->List().CellRect(1);
  QTest::mouseClick(MainForm->ListWidget()->viewport(), Qt::LeftButton, Qt::NoModifier,
                    QPoint((cell.Left + cell.Right) / 2, (cell.Top + cell.Bottom) / 2));
  ASSERT_EQ(MainForm->Selection(), 1);
  EXPECT_EQ(TilingPreview->TiledPicture(), tiled);
  EXPECT_EQ(std::memcmp(tiled->Row(60) + 4 * 200, MainForm->TextureAt(1)->Row(10), 4 * 100), 0);
  // No selection clears it.
  MainForm->List().DeselectAll();
  MainForm->OnCommand(CmdListNotification);
  EXPECT_EQ(TilingPreview->TiledPicture(), nullptr);
  // Its close button goes through the main form.
  TilingPreview->Window()->close();
  EXPECT_FALSE(TilingPreview->IsOpen());
  EXPECT_FALSE(Settings.ShowTilingWindow);
  EXPECT_FALSE(MainForm->Action(CmdTiling)->isChecked());
}

TEST_F(Program, KeysActOnTheActiveFormButNotInsideEditFields) {
  Generate(32, 32, 2);
  SelectFirst(MainForm);
  MainForm->activateWindow();
  QApplication::setActiveWindow(MainForm);
  MainForm->ListWidget()->setFocus();
  QTest::keyClick(MainForm->ListWidget(), Qt::Key_Insert);
  EXPECT_EQ(StockForm->TextureCount(), 1);
  OptionsPanel->WidthBox->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Insert);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
  EXPECT_EQ(StockForm->TextureCount(), 1);
  EXPECT_EQ(MainForm->TextureCount(), 2);
  MainForm->ListWidget()->setFocus();
  QTest::keyClick(MainForm->ListWidget(), Qt::Key_Delete);
  EXPECT_EQ(MainForm->TextureCount(), 1);
  // F5 generates, even from the panel's fields.
  OptionsPanel->NumberBox->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
  EXPECT_EQ(MainForm->TextureCount(), 2);
}

TEST_F(Program, RightClickOpensTheContextMenuWithEveryEntry) {
  Generate(32, 32, 2);
  MainForm->ListWidget()->resize(300, 200);
  QStringList entries, resizeEntries;
  QTimer::singleShot(0, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      for (QAction* action : menu->actions()) {
        entries << action->text();
        if (action->menu() && action->text() == QStringLiteral("Resi&ze"))
          for (QAction* sub : action->menu()->actions()) resizeEntries << sub->text();
      }
      menu->close();
    }
  });
  const mvRect cell = MainForm->List().CellRect(1);
  QTest::mouseClick(MainForm->ListWidget()->viewport(), Qt::RightButton, Qt::NoModifier,
                    QPoint((cell.Left + cell.Right) / 2, (cell.Top + cell.Bottom) / 2));
  EXPECT_EQ(MainForm->Selection(), 1);
  EXPECT_TRUE(MainForm->Action(CmdSave)->isEnabled());  // the click was handled before the menu
  EXPECT_TRUE(entries.contains(QStringLiteral("&Save...\tCtrl+S")));
  EXPECT_TRUE(entries.contains(QStringLiteral("&Copy\tCtrl+C")));
  EXPECT_TRUE(entries.contains(QStringLiteral("&Add to stock\tIns")));
  EXPECT_TRUE(entries.contains(QStringLiteral("&Variations")));
  EXPECT_TRUE(entries.contains(QStringLiteral("&Rotate/Flip")));
  EXPECT_TRUE(entries.contains(QStringLiteral("Re&move\tDel")));
  EXPECT_TRUE(entries.contains(QStringLiteral("Sav&e recipe...")));
  EXPECT_EQ(resizeEntries.size(), 9);
  ASSERT_FALSE(resizeEntries.isEmpty());
  EXPECT_EQ(resizeEntries.back(), QStringLiteral("x1&0"));
}

TEST_F(Program, ATiledPictureThatCannotBeMadeIsReportedOnce) {
  // A picture too wide to tile: 3 x 2^30 pixels do not fit a row.
  auto huge = std::make_unique<mvPictureLayer>();
  huge->Width = huge->BaseWidth = 1 << 30;
  huge->Height = huge->BaseHeight = 1;
  huge->Stride = 4096;
  huge->Pixels = static_cast<uint8_t*>(std::calloc(4096, 1));  // enough for any thumbnail row
  ASSERT_TRUE(MainForm->AppendTexture(std::move(huge), false));
  MainForm->OnCommand(CmdTiling);
  SelectFirst(MainForm);
  EXPECT_EQ(TilingPreview->TiledPicture(), nullptr);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].Text, QStringLiteral("Not enough memory."));
  MainForm->ShowSelectionInTiling();  // as activation does: no second message
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_TRUE(TilingPreview->IsOpen());
}

TEST_F(Program, CopyPutsA24BitPictureOnTheClipboard) {
  Generate(20, 10, 1);
  SelectFirst(MainForm);
  MainForm->OnCommand(CmdCopy);
  const QImage image = QGuiApplication::clipboard()->image();
  if (image.isNull()) GTEST_SKIP() << "this platform plugin keeps no clipboard";
  EXPECT_EQ(image.size(), QSize(20, 10));
  const uint8_t* pixel = MainForm->TextureAt(0)->Row(3) + 4 * 5;
  EXPECT_EQ(image.pixel(5, 3), qRgb(pixel[0], pixel[1], pixel[2]));
}

TEST_F(Program, AboutShowsTheVersionAndTheCount) {
  Settings.GeneratedCount = 4242;
  AboutDialog about(MainForm);
  EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
  EXPECT_EQ(about.CountLabel->text(), QStringLiteral("4242"));
  bool versionShown = false;
  for (QLabel* label : about.findChildren<QLabel*>())
    versionShown = versionShown || label->text().startsWith(QStringLiteral("Orvelle. ver.0.4.0"));
  EXPECT_TRUE(versionShown);
  EXPECT_TRUE(about.LinkLabel->text().contains(QStringLiteral("href=")));
}

TEST_F(Program, RecipesSaveAndOpenIntoTheMainList) {
  Generate(50, 40, 1);
  SelectFirst(MainForm);
  MainForm->OnCommand(CmdRotateRight);
  const QString path = dir.filePath(QStringLiteral("texture"));
  AskSaveFileHandler = [&](QWidget*, const SaveFileRequest&) -> std::optional<SaveFileAnswer> {
    return SaveFileAnswer{path, 1};
  };
  MainForm->OnCommand(CmdSaveRecipe);
  ASSERT_TRUE(std::filesystem::exists(Path("texture.json")));
  const QString broken = dir.filePath(QStringLiteral("broken.json"));
  {
    FILE* f = std::fopen(broken.toLocal8Bit().constData(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("{\"format\": 1}", f);
    std::fclose(f);
  }
  AskOpenFilesHandler = [&](QWidget*, const QString&, const QString&, const QString&) {
    return QStringList{dir.filePath(QStringLiteral("texture.json")), broken};
  };
  MainForm->OnCommand(CmdOpenRecipe);
  ASSERT_EQ(MainForm->TextureCount(), 2);
  const mvPictureLayer* opened = MainForm->TextureAt(1);
  const mvPictureLayer* original = MainForm->TextureAt(0);
  EXPECT_EQ(opened->Width, original->Width);
  EXPECT_EQ(opened->Height, original->Height);
  EXPECT_EQ(opened->Effects.Count(), original->Effects.Count());
  EXPECT_EQ(std::memcmp(opened->Row(5), original->Row(5), 4 * static_cast<size_t>(opened->Width)), 0);
  ASSERT_EQ(messages.size(), 1u);  // the broken file is named
  EXPECT_TRUE(messages[0].Text.contains(QStringLiteral("broken.json")));
}

TEST_F(Program, SettingsWrittenAtTheEndAreReadAtTheNextStart) {
  OptionsPanel->SquareButton->setChecked(false);
  OptionsPanel->WidthBox->setEditText(QStringLiteral("200"));
  OptionsPanel->HeightBox->setEditText(QStringLiteral("64"));
  OptionsPanel->RenderSlider->setValue(4);
  OptionsPanel->SeamlessBox->setChecked(false);
  SetNumberText("7");
  OptionsPanel->QualityBox->setEditText(QStringLiteral("30"));
  Settings.GeneratedCount = 99;
  MainForm->OnCommand(CmdStock);
  MainForm->close();  // records placements and reads the panel
  EXPECT_EQ(MainForm, nullptr);
  EndProgram(true);
  started = false;

  Start();
  EXPECT_EQ(Settings.ImageWidth, 200);
  EXPECT_EQ(Settings.ImageHeight, 64);
  EXPECT_EQ(Settings.Render, 4);
  EXPECT_FALSE(Settings.Seamless);
  EXPECT_FALSE(Settings.Square);
  EXPECT_EQ(Settings.Number, 7);
  EXPECT_EQ(Settings.JPEGQuality, 30);
  EXPECT_EQ(Settings.GeneratedCount, 99u);
  EXPECT_TRUE(Settings.ShowStockWindow);
  EXPECT_TRUE(StockForm->isVisible());
  EXPECT_EQ(OptionsPanel->WidthBox->currentText(), QStringLiteral("200"));
  EXPECT_EQ(OptionsPanel->NumberBox->cleanText(), QStringLiteral("7"));
  EXPECT_EQ(MainForm->List().CellWidth(), 212);
}

TEST_F(Program, StartsFromAHostileSettingsFile) {
  EndProgram(false);
  started = false;
  {
    FILE* f = std::fopen(location.LoadPath.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("[Settings]\nWindowLeft=2147483647\nWindowWidth=-5\nWindowHeight=2147483647\nImageWidth=2147483647\n"
               "ImageHeight=0\nNumber=-3\nShowTilingWindow=yes\nTilingWindowWidth=0\nSaveFormat=77\n",
               f);
    std::fclose(f);
  }
  Start();
  EXPECT_EQ(Settings.ImageWidth, INT32_MAX);
  EXPECT_EQ(Settings.ImageHeight, 1);
  EXPECT_TRUE(TilingPreview->IsOpen());
  EXPECT_GT(MainForm->width(), 0);
  MainForm->OnCommand(CmdGenerate);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].Text, QStringLiteral("Size must be between 1 and 5000."));
  // An unknown save format falls back to BMP.
  OptionsPanel->WidthBox->setEditText(QStringLiteral("16"));
  OptionsPanel->HeightBox->setEditText(QStringLiteral("16"));
  SetNumberText("1");
  MainForm->OnCommand(CmdGenerate);
  SelectFirst(MainForm);
  AskSaveFileHandler = [&](QWidget*, const SaveFileRequest&) -> std::optional<SaveFileAnswer> {
    return SaveFileAnswer{dir.filePath(QStringLiteral("odd")), 77};
  };
  MainForm->OnCommand(CmdSave);
  EXPECT_TRUE(std::filesystem::exists(Path("odd.bmp")));
}

}  // namespace

int main(int argc, char** argv) {
  // Test discovery runs this binary without the test environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
