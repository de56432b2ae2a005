#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/forms/about_dialog.h"
#include "app/forms/form_logic.h"
#include "app/forms/options_panel.h"
#include "app/forms/program.h"
#include "app/forms/strings.h"
#include "app/widgets/list_box_widget.h"
#include "tests/app/program_fixture.h"
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

TEST(FormLogic, SmallRulesOfTheForms) {
  EXPECT_TRUE(ResizeFactorAllowed(600, 600, 8));
  EXPECT_FALSE(ResizeFactorAllowed(600, 600, 9));  // 5400 > 5000
  EXPECT_FALSE(ResizeFactorAllowed(100, 600, 9));
  EXPECT_TRUE(ResizeFactorAllowed(500, 500, 10));
  EXPECT_FALSE(ResizeFactorAllowed(INT32_MAX, 1, 2));  // no overflow into "allowed"
  // Stock cells fit a new texture exactly when it is the first or does not fit.
  EXPECT_EQ(StockCellSize({140, 140}, false, 64, 256), (CellSize{76, 268}));
  EXPECT_EQ(StockCellSize({140, 140}, false, 100, 100), (CellSize{140, 140}));
  EXPECT_EQ(StockCellSize({500, 500}, true, 100, 100), (CellSize{112, 112}));
  // Fields read as signed integers, anything else as 0.
  const std::pair<const char*, int32_t> fields[] = {{"120", 120}, {"-5", -5}, {"abc", 0},
                                                    {"", 0},      {"12x", 0}, {"99999999999", 0}};
  for (const auto& [text, value] : fields) EXPECT_EQ(FieldInteger(text), value) << text;
  const auto filters = NameFiltersFromList(LoadString(kSaveFilterStringId));
  ASSERT_EQ(filters.size(), 3u);
  EXPECT_EQ(filters[0], "BMP Files (*.bmp *.dib)");
  EXPECT_EQ(filters[2], "PNG Files (*.png)");
  EXPECT_EQ(CellSide(120), 132);
  EXPECT_EQ(CellSide(INT32_MAX), INT32_MAX);  // a settings file may hold it; Generate refuses it later
  EXPECT_EQ(SelectionGradient(0, 131), MakeRGB(192, 224, 255));
  EXPECT_EQ(SelectionGradient(131, 131), MakeRGB(128, 192, 255));
  EXPECT_EQ(SelectionGradient(0, 0), MakeRGB(192, 224, 255));  // one-row cell: no division by zero
}

TEST(FormLogic, ChildWindowsFitTheWorkAreaWithTheirFrame) {
  const WorkArea work{0, 0, 1000, 800};
  const FrameMargins frame{4, 24, 4, 4};
  const FormChrome chrome{4, 90, 15};
  // Room enough: content plus chrome, one title bar right of and below the parent.
  Placement p = ChildPlacement({100, 100, 600, 400, false}, 300, 200, chrome, frame, work);
  EXPECT_EQ(p, (Placement{124, 124, 304, 290, false}));
  // A 5000 x 5000 texture: the outer frame fits the work area exactly.
  p = ChildPlacement({900, 700, 600, 400, true}, 5012, 5012, chrome, frame, work);
  EXPECT_EQ(p, (Placement{0, 0, 1000 - 8, 800 - 28, true}));
  // Too wide only: the height gains the horizontal bar, so no row hides under it.
  p = ChildPlacement({0, 0, 600, 400, false}, 1500, 300, chrome, frame, work);
  EXPECT_EQ(p.Width, 992);
  EXPECT_EQ(p.Height, 300 + 90 + 15);
  // Pulled back from the right and bottom edges, never beyond the left and top.
  p = ChildPlacement({900, 700, 600, 400, false}, 300, 200, chrome, frame, work);
  EXPECT_EQ(p.Left + p.Width + 8, 1000);
  EXPECT_EQ(p.Top + p.Height + 28, 800);
}

TEST(FormLogic, PlacementsFromAnotherMonitorComeBackOnScreen) {
  const std::vector<WorkArea> screens{{0, 0, 1280, 800}, {1280, 0, 1920, 1080}};
  const FrameMargins frame{0, 20, 0, 0};
  // Title bars on a screen: kept, the second screen included.
  for (const Placement& kept :
       {Placement{100, 50, 600, 400, false}, Placement{1500, 10, 600, 400, true}, Placement{-500, 0, 600, 400, false}})
    EXPECT_EQ(PlacementOnScreens(kept, screens, frame), kept);
  // Beyond every screen, above it, or with only a sliver showing: centred on the primary.
  for (const Placement& lost : {Placement{5000, -3000, 600, 400, false}, Placement{100, -5, 600, 400, false},
                                Placement{3180, 100, 600, 400, false}, Placement{-590, 100, 600, 400, false}})
    EXPECT_EQ(PlacementOnScreens(lost, screens, frame), (Placement{340, 190, 600, 400, lost.Maximized}))
        << lost.Left << "," << lost.Top;
  // Larger than the screen it is on: brought within it.
  EXPECT_EQ(PlacementOnScreens({10, 10, 3000, 2000, false}, screens, frame), (Placement{0, 0, 1280, 780, false}));
}

TEST(FormLogic, ProblemsAreToldInTheUsersWords) {
  EXPECT_EQ(ReasonText(EACCES), "permission denied");
  EXPECT_EQ(ReasonText(ENOSPC), "the disk is full");
  EXPECT_EQ(ReasonText(ENOENT), "the folder does not exist");
  QTemporaryDir dir;
  const std::string garbage = dir.filePath(QStringLiteral("garbage.json")).toStdString();
  const std::string late = dir.filePath(QStringLiteral("late.json")).toStdString();
  const std::string wrong = dir.filePath(QStringLiteral("wrong.json")).toStdString();
  for (const auto& [path, text] : {std::pair{garbage, "garbage"}, std::pair{late, "{\n  \"format\": 1,\n  oops\n}"},
                                   std::pair{wrong, "{\"format\": 1}"}})
    ASSERT_TRUE(std::ofstream(path) << text);
  EXPECT_EQ(RecipeProblemText(garbage, garbage + ": not valid JSON ([json.exception.parse_error.101] ...)"),
            "garbage.json is not a recipe file (not valid JSON at line 1)");
  EXPECT_EQ(RecipeProblemText(late, "anything"), "late.json is not a recipe file (not valid JSON at line 3)");
  EXPECT_EQ(RecipeProblemText(wrong, wrong + ": \"format\" must be \"orvelle-recipe\""),
            "wrong.json is not a recipe file (\"format\" must be \"orvelle-recipe\")");
  EXPECT_EQ(RecipeProblemText(dir.filePath(QStringLiteral("gone.json")).toStdString(), ""),
            "gone.json cannot be read (the folder does not exist)");
}

TEST(FormLogic, SavedFilesNeverReplaceFilesThatWereThere) {
  const std::set<std::string> present{"texture-0001.png", "texture-0003.recipe.json"};
  const auto exists = [&present](const std::string& name) { return present.count(name) > 0; };
  EXPECT_EQ(FreeTextureNames(3, "png", exists),
            (std::vector<std::string>{"texture-0002", "texture-0004", "texture-0005"}));
  // Another format's image is no obstacle; a recipe of that number is.
  EXPECT_EQ(FreeTextureNames(3, "bmp", exists),
            (std::vector<std::string>{"texture-0001", "texture-0002", "texture-0004"}));
}

// ---- the program's windows ---------------------------------------------------

TEST_F(ProgramTest, StartsWithItsWindowsMenusAndToolbars) {
  EXPECT_EQ(main->windowTitle(), QStringLiteral("Orvelle."));
  ASSERT_NE(stock, nullptr);
  EXPECT_EQ(stock->windowTitle(), QStringLiteral("Stock - Orvelle."));
  EXPECT_TRUE(stock->isHidden());
  EXPECT_FALSE(program->Tiling().IsOpen());
  EXPECT_EQ(main->List().CellWidth(), 132);
  // Tool tips come from the string table; without a selection only the
  // program's commands are enabled.
  EXPECT_EQ(main->Action(CmdAddToStock)->toolTip(), QStringLiteral("Add to stock"));
  EXPECT_EQ(main->Action(CmdResize)->toolTip(), QStringLiteral("Resize"));
  for (int32_t id : {CmdSave, CmdCopy, CmdVariations, CmdResize, CmdRemove, CmdSaveAll, CmdStop})
    EXPECT_FALSE(main->Action(id)->isEnabled()) << id;
  for (int32_t id : {CmdGenerate, CmdOpenRecipe, CmdStock, CmdTiling, CmdAbout})
    EXPECT_TRUE(main->Action(id)->isEnabled()) << id;
  EXPECT_EQ(stock->Action(CmdAddToStock), nullptr);
  EXPECT_EQ(stock->Action(CmdGenerate), nullptr);
  // Every toolbar command is in the menu bar too, with its shortcut.
  for (OrvelleForm* form : {main, stock}) {
    QList<QAction*> inMenus;
    std::function<void(QMenu*)> walk = [&](QMenu* menu) {
      for (QAction* action : menu->actions()) {
        inMenus << action;
        if (action->menu()) walk(action->menu());
      }
    };
    for (QAction* top : form->MenuBar()->actions()) walk(top->menu());
    for (QAction* action : form->ToolBar()->actions()) {
      if (!action->isSeparator() && action->data().toInt() != CmdResize) {
        EXPECT_TRUE(inMenus.contains(action)) << action->text().toStdString();
      }
    }
  }
  const std::pair<int32_t, QKeySequence> keys[] = {
      {CmdGenerate, QKeySequence(Qt::Key_F5)},       {CmdSave, QKeySequence(Qt::CTRL | Qt::Key_S)},
      {CmdCopy, QKeySequence(Qt::CTRL | Qt::Key_C)}, {CmdRemove, QKeySequence(Qt::Key_Delete)},
      {CmdAddToStock, QKeySequence(Qt::Key_Insert)}, {CmdStop, QKeySequence(Qt::Key_Escape)}};
  for (const auto& [id, key] : keys) EXPECT_EQ(main->Action(id)->shortcut(), key) << id;
  // The list and the toolbar start right of the options panel.
  EXPECT_EQ(main->ListWidget()->x(), panel->width());
  EXPECT_EQ(main->ToolBar()->x(), panel->width());
}

TEST_F(ProgramTest, TheMainWindowNeverShrinksOverItsOptionsPanel) {
  const QSize minimum = main->minimumSize();
  EXPECT_GE(minimum.width(), panel->minimumSizeHint().width() + 100);
  main->resize(10, 10);
  EXPECT_EQ(main->size(), minimum);
  EXPECT_GE(panel->height(), panel->minimumSizeHint().height());
  EXPECT_LE(panel->geometry().bottom(), main->StatusBar()->y());
  EXPECT_GE(main->ListWidget()->x(), panel->geometry().right());
}

TEST_F(ProgramTest, GenerateClearsAtOnceFillsTheListAndCountsEveryTexture) {
  Generate(64, 64, 3);
  program->Settings.GeneratedCount = 5;
  StartBatch(120, 120, 12);
  // The old batch is gone before the first new texture arrives.
  EXPECT_EQ(main->List().Count(), 0);
  EXPECT_EQ(main->TextureCount(), 0);
  WaitIdle();
  ASSERT_EQ(main->TextureCount(), 12);
  EXPECT_EQ(program->Settings.GeneratedCount, 17u);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(main->TextureAt(i), main->Textures[static_cast<size_t>(i)].get());
    EXPECT_EQ(main->TextureAt(i)->Width, 120);
    EXPECT_TRUE(main->SeamlessAt(i));
  }
  EXPECT_EQ(main->Selection(), -1);
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(main->ProgressBar()->isVisible());
  EXPECT_FALSE(main->Action(CmdSave)->isEnabled());
  EXPECT_TRUE(main->Action(CmdSaveAll)->isEnabled());
  Select(main);
  EXPECT_TRUE(main->Action(CmdSave)->isEnabled());
  EXPECT_TRUE(main->Action(CmdAddToStock)->isEnabled());
}

TEST_F(ProgramTest, OutOfRangeOptionsAreRefusedAndTheBatchKept) {
  Generate(64, 64, 2);
  const uint32_t count = program->Settings.GeneratedCount;
  const struct {
    const char* Width;
    const char* Number;
    const char* Seed;
    const char* Message;
  } cases[] = {{"0", "3", "", kSizeMessage},           {"5001", "3", "", kSizeMessage},
               {"abc", "3", "", kSizeMessage},         {"64", "0", "", kNumberMessage},
               {"64", "1001", "", kNumberMessage},     {"abc", "0", "", kSizeMessage},  // both wrong: the size is said
               {"64", "3", "4294967296", kSeedMessage}};
  panel->SquareButton->setChecked(false);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Width) + " / " + c.Number + " / " + c.Seed);
    messages.clear();
    panel->WidthBox->setEditText(QString::fromUtf8(c.Width));
    SetNumberText(c.Number);
    panel->SeedBox->setText(QString::fromUtf8(c.Seed));
    main->OnCommand(CmdGenerate);
    EXPECT_FALSE(program->Busy());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Text, QString::fromUtf8(c.Message));
    EXPECT_EQ(messages[0].Icon, MessageIcon::Information);
    EXPECT_EQ(main->TextureCount(), 2);
  }
  EXPECT_EQ(program->Settings.GeneratedCount, count);
  // The values are kept as typed, valid or not.
  EXPECT_EQ(program->Settings.ImageWidth, 64);
  EXPECT_EQ(program->Settings.Number, 3);
}

TEST_F(ProgramTest, SquareKeepsWidthAndHeightEqual) {
  panel->SquareButton->setChecked(true);
  EXPECT_TRUE(program->Settings.Square);
  panel->WidthBox->setCurrentIndex(panel->WidthBox->findData(256));
  EXPECT_EQ(panel->HeightBox->currentText(), QStringLiteral("256"));
  panel->HeightBox->setEditText(QStringLiteral("300"));
  EXPECT_EQ(panel->WidthBox->currentText(), QStringLiteral("300"));
  panel->SquareButton->setChecked(false);
  EXPECT_FALSE(program->Settings.Square);
  panel->WidthBox->setEditText(QStringLiteral("64"));
  EXPECT_EQ(panel->HeightBox->currentText(), QStringLiteral("300"));
  // JPEG quality: typed values are clamped, chosen ones taken.
  panel->QualityBox->setEditText(QStringLiteral("150"));
  EXPECT_EQ(program->Settings.JPEGQuality, 100);
  panel->QualityBox->setEditText(QStringLiteral("-4"));
  EXPECT_EQ(program->Settings.JPEGQuality, 0);
}

TEST_F(ProgramTest, ABatchFromATypedSeedHasTheBitsOfTheCommandLine) {
  Generate(40, 30, 2, "4242");
  ASSERT_EQ(main->TextureCount(), 2);
  EXPECT_EQ(program->BatchSeed(), 4242u);
  EXPECT_EQ(main->StatusText(), QStringLiteral("Seed 4242"));
  const QString out = dir.filePath(QStringLiteral("cli"));
  ASSERT_NO_FATAL_FAILURE(RunCli({QStringLiteral("generate"), QStringLiteral("--seed"), QStringLiteral("4242"),
                                  QStringLiteral("-n"), QStringLiteral("2"), QStringLiteral("--size"),
                                  QStringLiteral("40x30"), QStringLiteral("--keep-alpha"), QStringLiteral("-o"), out}));
  for (int i = 0; i < 2; ++i)
    ExpectFileHolds(QDir(out).filePath(QStringLiteral("texture-%1.png").arg(i + 1, 4, 10, QChar('0'))).toStdString(),
                    *main->TextureAt(i));
  // Without a typed seed each batch takes a new one, shown in the status bar;
  // typing it makes the same batch again.
  Generate(40, 30, 2);
  const uint32_t seed = program->BatchSeed();
  EXPECT_NE(seed, 4242u);
  EXPECT_EQ(main->StatusText(), QStringLiteral("Seed %1").arg(seed));
  const std::vector<uint8_t> first = PixelBytes(*main->TextureAt(1));
  Generate(40, 30, 2, QString::number(seed).toUtf8().constData());
  EXPECT_TRUE(std::equal(first.begin(), first.end(), main->TextureAt(1)->Pixels));
  panel->NewSeedButton->click();
  EXPECT_TRUE(panel->SeedBox->text().isEmpty());
}

TEST_F(ProgramTest, ACloseDuringABatchAsksAndNeverQuitsLater) {
  StartBatch(32, 32, 1000);
  ASSERT_TRUE(program->Busy());
  EXPECT_TRUE(main->ProgressBar()->isVisible());
  EXPECT_TRUE(main->StopButton()->isVisible());
  // Carry on: nothing closes, now or after the batch, and every texture is kept.
  confirm = false;
  main->close();
  ASSERT_EQ(questions, QStringList{QStringLiteral("Stop and close?")});
  EXPECT_FALSE(program->Ended());
  WaitIdle();
  EXPECT_EQ(main->TextureCount(), 1000);
  QTest::mouseClick(main->ListWidget()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
  QCoreApplication::processEvents();
  EXPECT_FALSE(program->Ended());
  EXPECT_TRUE(main->isVisible());
  // Without work a close asks nothing; with it, a yes stops and closes at once.
  StartBatch(32, 32, 1000);
  confirm = true;
  main->close();
  EXPECT_EQ(questions.size(), 2);
  EXPECT_TRUE(program->Ended());
  EXPECT_FALSE(program->Busy() && !program->Ended());
  EXPECT_FALSE(main->isVisible());
}

TEST_F(ProgramTest, WorkCommandsAreRefusedDuringABatchNotReplayedAfterIt) {
  Generate(32, 32, 2);
  Select(main);
  main->activateWindow();
  QApplication::setActiveWindow(main);
  StartBatch(32, 32, 1000);
  const uint32_t seed = program->BatchSeed();
  for (int32_t id : {CmdGenerate, CmdVariations, CmdResize, CmdOpenRecipe, CmdSaveAll, CmdRotateRight})
    EXPECT_FALSE(main->Action(id)->isEnabled()) << id;
  EXPECT_FALSE(panel->GenerateButton->isEnabled());
  EXPECT_TRUE(main->Action(CmdStop)->isEnabled());
  // F5, the button and the command itself: none starts, none waits.
  QTest::keyClick(main->ListWidget(), Qt::Key_F5);
  panel->GenerateButton->click();
  main->OnCommand(CmdGenerate);
  EXPECT_EQ(program->BatchSeed(), seed);
  // Esc ends the batch, keeping what was made.
  while (main->TextureCount() < 5 && program->Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  QTest::keyClick(main->ListWidget(), Qt::Key_Escape);
  WaitIdle();
  const int32_t made = main->TextureCount();
  EXPECT_GT(made, 0);
  EXPECT_LT(made, 1000);
  EXPECT_TRUE(main->StatusText().contains(QStringLiteral("stopped after %1 of 1000").arg(made)));
  EXPECT_EQ(program->BatchSeed(), seed);
  QCoreApplication::processEvents();
  EXPECT_EQ(main->TextureCount(), made);
  EXPECT_TRUE(main->Action(CmdGenerate)->isEnabled());
  EXPECT_FALSE(main->ProgressBar()->isVisible());
}

TEST_F(ProgramTest, VariationsNeedTwoToAThousandAndOpenANumberedForm) {
  Generate(48, 48, 3);
  Select(main);
  SetNumberText("1");
  Command(main, CmdVariations);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].Text, QStringLiteral("Number must be between 2 and 1000."));
  EXPECT_TRUE(program->VariationsForms().empty());

  const uint32_t count = program->Settings.GeneratedCount;
  SetNumberText("4");
  Command(main, CmdVariations);
  OrvelleForm* form = Variations(0);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Orvelle. <Variations-001>"));
  EXPECT_EQ(form->TextureCount(), 4);
  EXPECT_EQ(program->Settings.GeneratedCount, count + 3);  // the unchanged first copy does not count
  EXPECT_EQ(form->Selection(), 0);
  EXPECT_EQ(form->List().CellWidth(), 60);
  EXPECT_NE(form->TextureAt(0), main->TextureAt(0));  // the form's own copy
  EXPECT_EQ(form->TextureAt(0)->Effects.Count(), main->TextureAt(0)->Effects.Count());

  // A variations form of a variations form is numbered on; closing them all restarts at 001.
  Command(form, CmdVariations);
  ASSERT_NE(Variations(1), nullptr);
  EXPECT_EQ(Variations(1)->windowTitle(), QStringLiteral("Orvelle. <Variations-002>"));
  Variations(1)->close();
  Variations(0)->OnCommand(CmdClose);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(program->VariationsForms().empty());
  EXPECT_TRUE(questions.isEmpty());
  Command(main, CmdVariations);
  ASSERT_NE(Variations(0), nullptr);
  EXPECT_EQ(Variations(0)->windowTitle(), QStringLiteral("Orvelle. <Variations-001>"));
}

TEST_F(ProgramTest, ResizeShowsItsWindowAndPerCentAndStopsOnRequest) {
  Generate(32, 48, 1);
  Select(main);
  Command(main, CmdRotateRight);  // now 48 x 32
  const uint32_t count = program->Settings.GeneratedCount;
  Command(main, CmdResizeFirst + 1);  // x3
  OrvelleForm* form = Variations(0);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Orvelle. <Variations-001>"));
  ASSERT_EQ(form->TextureCount(), 1);
  EXPECT_EQ(form->TextureAt(0)->Width, 144);
  EXPECT_EQ(form->TextureAt(0)->Height, 96);
  EXPECT_EQ(form->TextureAt(0)->Effects.Count(), main->TextureAt(0)->Effects.Count());
  EXPECT_EQ(form->List().CellWidth(), 156);
  EXPECT_EQ(form->Selection(), 0);
  EXPECT_EQ(program->Settings.GeneratedCount, count);
  // The cell is not hidden under a scroll bar: the list's viewport holds it.
  EXPECT_GE(form->ListWidget()->viewport()->width(), 156);
  EXPECT_GE(form->ListWidget()->viewport()->height(), 108);

  // A large one: the window is there at once with its progress, and Stop ends it.
  Generate(400, 400, 1, "11");
  Select(main);
  main->OnCommand(CmdResizeFirst + 3);  // x5: 2000 x 2000
  OrvelleForm* large = Variations(1);
  ASSERT_NE(large, nullptr);
  EXPECT_TRUE(large->isVisible());
  EXPECT_TRUE(large->ProgressBar()->isVisible());
  QElapsedTimer clock;
  clock.start();
  while (program->Busy() && large->ProgressBar()->format() != QStringLiteral("%p%") && clock.elapsed() < 30000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_EQ(large->ProgressBar()->format(), QStringLiteral("%p%"));
  // Nothing was made, so the window goes at once, whenever the effect under
  // way looks at the request; the commands come back when it has.
  QPointer<OrvelleForm> watched = large;
  large->StopButton()->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(watched.isNull());
  EXPECT_FALSE(main->Action(CmdGenerate)->isEnabled() && program->Busy());
  // Work told to stop has nothing more to lose: the program closes without asking.
  main->close();
  EXPECT_TRUE(questions.isEmpty());
  EXPECT_TRUE(program->Ended());
}

TEST_F(ProgramTest, TurnsAndFlipsUndoEachOtherInTheRecipe) {
  Generate(64, 256, 1);
  Select(main);
  const int32_t length = main->TextureAt(0)->Effects.Count();
  const auto turn = [this](int32_t id) {
    Command(main, id);
    return main->TextureAt(0);
  };
  const mvPictureLayer* before = main->TextureAt(0);
  const mvPictureLayer* texture = turn(CmdRotateRight);
  EXPECT_NE(texture, before);  // a new texture in the old one's place
  EXPECT_EQ(texture->Effects.Count(), length + 1);
  EXPECT_EQ(texture->Width, 256);
  texture = turn(CmdRotateLeft);
  EXPECT_EQ(texture->Effects.Count(), length);
  EXPECT_EQ(texture->Width, 64);
  turn(CmdRotateRight);
  texture = turn(CmdRotateRight);
  EXPECT_EQ(texture->Effects.Count(), length + 2);
  turn(CmdRotateLeft);
  texture = turn(CmdRotateLeft);
  EXPECT_EQ(texture->Effects.Count(), length);
  for (int32_t id : {CmdRotate180, CmdFlipVertical, CmdFlipHorizontal}) {
    EXPECT_EQ(turn(id)->Effects.Count(), length + 1);
    EXPECT_EQ(turn(id)->Effects.Count(), length);
  }
  EXPECT_EQ(main->Selection(), 0);
}

TEST_F(ProgramTest, SaveFixesTheExtensionAndSaysWhyItFailed) {
  Generate(40, 30, 1);
  Select(main);
  SaveFileRequest asked;
  QString answerPath = dir.filePath(QStringLiteral("name"));
  int answerFilter = 3;
  program->Ask.SaveFile = [&](QWidget*, const SaveFileRequest& request) -> std::optional<SaveFileAnswer> {
    asked = request;
    return SaveFileAnswer{answerPath, answerFilter};
  };
  main->OnCommand(CmdSave);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(asked.FilterIndex, 1);  // the default: BMP
  ASSERT_EQ(asked.Filters.size(), 3);
  const std::string written = Path("name.png");
  EXPECT_EQ(program->Settings.SaveFormat, 3);
  EXPECT_EQ(program->Settings.FileSaveDir, QDir(dir.path()).absolutePath().toStdString());
  mvImage image;
  ASSERT_EQ(LoadImageFile(written.c_str(), image), kCodecOK);
  EXPECT_EQ(image.Width, 40);
  ASSERT_NE(image.GetTextProperty("COMMENT"), nullptr);
  EXPECT_EQ(*image.GetTextProperty("COMMENT"), "Generated by Orvelle.");
  // Flattened onto white: no transparency left.
  if (image.Picture.Channels == 4) {
    for (int32_t x = 0; x < image.Picture.Width; ++x) EXPECT_EQ(image.Picture.Row(0)[4 * x + 3], 255);
  }

  // A JPEG named .JPEG keeps its name; the texture stays with the form.
  answerPath = dir.filePath(QStringLiteral("photo.JPEG"));
  answerFilter = 2;
  main->OnCommand(CmdSave);
  EXPECT_TRUE(std::filesystem::exists(Path("photo.JPEG")));
  EXPECT_EQ(main->TextureCount(), 1);

  // A folder that does not exist: "Save error", the file and the reason.
  answerPath = dir.filePath(QStringLiteral("missing/texture.bmp"));
  answerFilter = 1;
  main->OnCommand(CmdSave);
  AnswerSave(dir.filePath(QStringLiteral("missing/recipe")), 1);
  main->OnCommand(CmdSaveRecipe);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].Text, QStringLiteral("Save error\ntexture.bmp: the folder does not exist"));
  EXPECT_EQ(messages[0].Icon, MessageIcon::Warning);
  EXPECT_EQ(messages[1].Text, QStringLiteral("Save error\nrecipe.json: the folder does not exist"));

  // Cancelled: nothing at all.
  program->Ask.SaveFile = [](QWidget*, const SaveFileRequest&) -> std::optional<SaveFileAnswer> {
    return std::nullopt;
  };
  main->OnCommand(CmdSave);
  EXPECT_EQ(messages.size(), 2u);
}

TEST_F(ProgramTest, SaveAllWritesImagesAndRecipesBesideWhatWasThere) {
  Generate(24, 24, 3);
  const QString folder = dir.filePath(QStringLiteral("all"));
  ASSERT_TRUE(QDir().mkpath(folder));
  QFile existing(QDir(folder).filePath(QStringLiteral("texture-0001.png")));
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.write("mine");
  existing.close();
  int asked = 0;
  program->Ask.Folder = [&](QWidget*, const QString&, const QString&) {
    ++asked;
    return folder;
  };
  program->Settings.SaveFormat = 3;
  Command(main, CmdSaveAll);
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(messages.empty());
  QFile mine(existing.fileName());
  ASSERT_TRUE(mine.open(QIODevice::ReadOnly));
  EXPECT_EQ(mine.readAll(), QByteArray("mine"));
  for (int i = 2; i <= 4; ++i) {
    const QString base = QDir(folder).filePath(QStringLiteral("texture-%1").arg(i, 4, 10, QChar('0')));
    mvImage image;
    EXPECT_EQ(LoadImageFile((base + QStringLiteral(".png")).toUtf8().constData(), image), kCodecOK) << i;
    EXPECT_TRUE(QFile::exists(base + QStringLiteral(".recipe.json"))) << i;
  }
  EXPECT_TRUE(main->StatusText().startsWith(QStringLiteral("3 saved to")));
}

TEST_F(ProgramTest, TheStockIsKeptAsRecipeFilesAcrossRestarts) {
  Generate(128, 128, 1);
  Select(main);
  main->OnCommand(CmdAddToStock);
  ASSERT_EQ(stock->TextureCount(), 1);
  EXPECT_EQ(stock->List().CellWidth(), 140);
  Generate(64, 256, 2);
  Select(main, 1);
  main->OnCommand(CmdAddToStock);
  ASSERT_EQ(stock->TextureCount(), 2);
  EXPECT_EQ(stock->List().CellWidth(), 76);
  EXPECT_EQ(stock->List().CellHeight(), 268);
  const std::vector<uint8_t> kept = PixelBytes(*stock->TextureAt(1));
  // A copy: a new batch leaves the stock alone.
  Generate(32, 32, 1);
  EXPECT_EQ(stock->TextureAt(1)->Width, 64);
  EXPECT_EQ(QDir(QString::fromStdString(options.StockFolder)).entryList(QDir::Files).size(), 2);

  // Stock toggles with its button; its close button only hides it.
  main->OnCommand(CmdStock);
  EXPECT_TRUE(stock->isVisible());
  EXPECT_TRUE(main->Action(CmdStock)->isChecked());
  stock->close();
  EXPECT_TRUE(stock->isHidden());
  EXPECT_FALSE(program->Settings.ShowStockWindow);
  EXPECT_FALSE(main->Action(CmdStock)->isChecked());

  // Back at the next start, rendered again from the recipes.
  Restart(false);
  ASSERT_EQ(stock->TextureCount(), 2);
  EXPECT_EQ(stock->TextureAt(1)->Height, 256);
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), stock->TextureAt(1)->Pixels));
  // A turn in the stock is kept too.
  Select(stock, 1);
  Command(stock, CmdRotateRight);
  Restart(false);
  EXPECT_EQ(stock->TextureAt(1)->Width, 256);
  // Remove deletes its file, and the selection moves on to the next texture.
  Select(stock, 0);
  EXPECT_TRUE(stock->Action(CmdRemove)->isEnabled());
  stock->OnCommand(CmdRemove);
  EXPECT_EQ(stock->TextureCount(), 1);
  EXPECT_EQ(stock->Selection(), 0);
  EXPECT_EQ(QDir(QString::fromStdString(options.StockFolder)).entryList(QDir::Files).size(), 1);
  Restart(false);
  EXPECT_EQ(stock->TextureCount(), 1);
}

TEST_F(ProgramTest, TilingPreviewShowsTheSelectionAndBuildsOncePerTexture) {
  Generate(100, 50, 2);
  main->OnCommand(CmdTiling);
  TilingPreview& tiling = program->Tiling();
  ASSERT_TRUE(tiling.IsOpen());
  EXPECT_TRUE(program->Settings.ShowTilingWindow);
  EXPECT_TRUE(main->Action(CmdTiling)->isChecked());
  EXPECT_EQ(tiling.Window()->windowTitle(), QStringLiteral("Tiling - Orvelle."));
  EXPECT_EQ(tiling.TiledPicture(), nullptr);
  Select(main);
  WaitIdle();
  const mvPicture* tiled = tiling.TiledPicture();
  ASSERT_NE(tiled, nullptr);
  EXPECT_EQ(tiled->Width, 300);
  EXPECT_EQ(tiled->Height, 150);
  const mvPicture& texture = *main->TextureAt(0);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      EXPECT_EQ(std::memcmp(tiled->Row(r * 50 + 7) + 4 * c * 100, texture.Row(7), 4 * 100), 0);
  // Activating the window again builds nothing.
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(main, &activate);
  EXPECT_FALSE(program->TilingBusy());
  EXPECT_EQ(tiling.TiledPicture(), tiled);
  // A click on the other texture shows it; no selection clears the preview.
  main->ListWidget()->resize(400, 300);
  const mvRect cell = main->List().CellRect(1);
  QTest::mouseClick(main->ListWidget()->viewport(), Qt::LeftButton, Qt::NoModifier,
                    QPoint((cell.Left + cell.Right) / 2, (cell.Top + cell.Bottom) / 2));
  WaitIdle();
  ASSERT_EQ(main->Selection(), 1);
  EXPECT_EQ(std::memcmp(tiling.TiledPicture()->Row(60) + 4 * 200, main->TextureAt(1)->Row(10), 4 * 100), 0);
  main->List().DeselectAll();
  main->OnCommand(CmdListNotification);
  EXPECT_EQ(tiling.TiledPicture(), nullptr);
  // A 5000 x 5000 texture is shown from a reduced copy, not 15000 x 15000 pixels.
  auto huge = std::make_shared<mvPictureLayer>();
  ASSERT_TRUE(huge->Create(5000, 5000, ColorTypeRGB, 8, 4));
  ASSERT_TRUE(main->AppendTexture(huge, false));
  Select(main, 2);
  WaitIdle();
  ASSERT_NE(tiling.TiledPicture(), nullptr);
  EXPECT_LE(tiling.TiledPicture()->Width, TilingPreview::kMaxTiledSide);
  EXPECT_TRUE(messages.empty());
  // Its close button goes through the program.
  tiling.Window()->close();
  EXPECT_FALSE(tiling.IsOpen());
  EXPECT_FALSE(program->Settings.ShowTilingWindow);
  EXPECT_FALSE(main->Action(CmdTiling)->isChecked());
}

TEST_F(ProgramTest, KeysActOnTheActiveFormButNotInsideEditFields) {
  Generate(32, 32, 3);
  Select(main);
  main->activateWindow();
  QApplication::setActiveWindow(main);
  main->ListWidget()->setFocus();
  QTest::keyClick(main->ListWidget(), Qt::Key_Insert);
  EXPECT_EQ(stock->TextureCount(), 1);
  panel->WidthBox->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Insert);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
  EXPECT_EQ(stock->TextureCount(), 1);
  EXPECT_EQ(main->TextureCount(), 3);
  // Delete removes the selection and selects the next texture.
  const mvPictureLayer* second = main->TextureAt(1);
  main->ListWidget()->setFocus();
  QTest::keyClick(main->ListWidget(), Qt::Key_Delete);
  EXPECT_EQ(main->TextureCount(), 2);
  EXPECT_EQ(main->Selection(), 0);
  EXPECT_EQ(main->TextureAt(0), second);
  // F5 generates, even from the panel's fields.
  panel->NumberBox->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
  WaitIdle();
  EXPECT_EQ(main->TextureCount(), 3);
}

TEST_F(ProgramTest, TheContextMenuOpensByMouseAndByKeyWithEveryEntry) {
  Generate(32, 32, 3);
  main->ListWidget()->resize(300, 200);
  QStringList entries, resizeEntries;
  QPoint shownAt;
  const auto readMenu = [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      shownAt = menu->pos();
      entries.clear();
      for (QAction* action : menu->actions()) {
        entries << action->text() +
                       (action->shortcut().isEmpty() ? QString() : QChar('\t') + action->shortcut().toString());
        if (action->menu() && action->text() == QStringLiteral("Resi&ze")) {
          resizeEntries.clear();
          for (QAction* sub : action->menu()->actions()) resizeEntries << sub->text();
        }
      }
      menu->close();
    }
  };
  QTimer::singleShot(0, readMenu);
  const mvRect cell = main->List().CellRect(1);
  QTest::mouseClick(main->ListWidget()->viewport(), Qt::RightButton, Qt::NoModifier,
                    QPoint((cell.Left + cell.Right) / 2, (cell.Top + cell.Bottom) / 2));
  EXPECT_EQ(main->Selection(), 1);
  EXPECT_TRUE(main->Action(CmdSave)->isEnabled());  // the click was handled before the menu
  for (const char* entry : {"&Save...\tCtrl+S", "&Copy\tCtrl+C", "&Add to stock\tIns", "&Variations", "&Rotate/Flip",
                            "Re&move\tDel", "Sav&e recipe...", "&Open recipe...\tCtrl+O"})
    EXPECT_TRUE(entries.contains(QString::fromUtf8(entry))) << entry;
  ASSERT_EQ(resizeEntries.size(), 9);
  EXPECT_EQ(resizeEntries.back(), QStringLiteral("x1&0"));
  // Shift+F10 and the Menu key open it on the focused thumbnail, at its cell.
  for (const auto& [key, modifiers] :
       {std::pair{Qt::Key_F10, Qt::ShiftModifier}, std::pair{Qt::Key_Menu, Qt::NoModifier}}) {
    entries.clear();
    main->List().SelectOnly(2);
    QTimer::singleShot(0, readMenu);
    QTest::keyClick(main->ListWidget(), key, modifiers);
    EXPECT_TRUE(entries.contains(QStringLiteral("&Variations"))) << key;
    const mvRect focused = main->List().CellRect(2);
    EXPECT_EQ(shownAt, main->ListWidget()->viewport()->mapToGlobal(
                           QPoint((focused.Left + focused.Right) / 2, (focused.Top + focused.Bottom) / 2)));
  }
}

TEST_F(ProgramTest, CopyPutsA24BitPictureOnTheClipboard) {
  Generate(20, 10, 1);
  Select(main);
  main->OnCommand(CmdCopy);
  const QImage image = QGuiApplication::clipboard()->image();
  if (image.isNull()) GTEST_SKIP() << "this platform plugin keeps no clipboard";
  EXPECT_EQ(image.size(), QSize(20, 10));
  const uint8_t* pixel = main->TextureAt(0)->Row(3) + 4 * 5;
  EXPECT_EQ(image.pixel(5, 3), qRgb(pixel[0], pixel[1], pixel[2]));
}

TEST_F(ProgramTest, AboutShowsTheVersionAndTheCount) {
  AboutDialog about(main, 4242);
  EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
  EXPECT_EQ(about.CountLabel->text(), QStringLiteral("4242"));
  bool versionShown = false;
  for (QLabel* label : about.findChildren<QLabel*>())
    versionShown = versionShown || label->text().startsWith(QStringLiteral("Orvelle. ver.0.4.0"));
  EXPECT_TRUE(versionShown);
  EXPECT_TRUE(about.LinkLabel->text().contains(QStringLiteral("href=")));
}

TEST_F(ProgramTest, RecipesSaveAndOpenIntoTheMainListWithProblemsNamed) {
  Generate(50, 40, 1);
  Select(main);
  Command(main, CmdRotateRight);
  AnswerSave(dir.filePath(QStringLiteral("texture")), 1);
  main->OnCommand(CmdSaveRecipe);
  ASSERT_TRUE(std::filesystem::exists(Path("texture.json")));
  const QString garbage = dir.filePath(QStringLiteral("garbage.json"));
  ASSERT_TRUE(std::ofstream(garbage.toStdString()) << "garbage");
  program->Ask.OpenFiles = [&](QWidget*, const QString&, const QString&, const QString&) {
    return QStringList{dir.filePath(QStringLiteral("texture.json")), garbage};
  };
  Command(main, CmdOpenRecipe);
  ASSERT_EQ(main->TextureCount(), 2);
  const mvPictureLayer* opened = main->TextureAt(1);
  const mvPictureLayer* original = main->TextureAt(0);
  EXPECT_EQ(opened->Width, original->Width);
  EXPECT_EQ(opened->Effects.Count(), original->Effects.Count());
  EXPECT_EQ(std::memcmp(opened->Row(5), original->Row(5), 4 * static_cast<size_t>(opened->Width)), 0);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].Text, QStringLiteral("garbage.json is not a recipe file (not valid JSON at line 1)"));
}

TEST_F(ProgramTest, SettingsAndPlacementsSurviveRestarts) {
  panel->SquareButton->setChecked(false);
  panel->WidthBox->setEditText(QStringLiteral("200"));
  panel->HeightBox->setEditText(QStringLiteral("64"));
  panel->RenderSlider->setValue(4);
  panel->SeamlessBox->setChecked(false);
  SetNumberText("7");
  panel->QualityBox->setEditText(QStringLiteral("30"));
  program->Settings.GeneratedCount = 99;
  main->OnCommand(CmdStock);
  main->ApplyPlacement(Placement{120, 90, 640, 480, false});
  main->show();
  Restart(true);
  const AppSettings& s = program->Settings;
  EXPECT_EQ(s.ImageWidth, 200);
  EXPECT_EQ(s.ImageHeight, 64);
  EXPECT_EQ(s.Render, 4);
  EXPECT_FALSE(s.Seamless);
  EXPECT_FALSE(s.Square);
  EXPECT_EQ(s.Number, 7);
  EXPECT_EQ(s.JPEGQuality, 30);
  EXPECT_EQ(s.GeneratedCount, 99u);
  EXPECT_TRUE(stock->isVisible());
  EXPECT_EQ(panel->WidthBox->currentText(), QStringLiteral("200"));
  EXPECT_EQ(main->List().CellWidth(), 212);
  // Closed maximized or not, again and again: the placement does not creep.
  const Placement placed = main->RecordPlacement();
  EXPECT_EQ(placed, (Placement{120, 90, 640, 480, false}));
  for (int cycle = 0; cycle < 6; ++cycle) {
    if (cycle % 2 == 0) main->showMaximized();
    Restart(true);
    Placement now = main->RecordPlacement();
    EXPECT_EQ(now.Maximized, cycle % 2 == 0) << cycle;
    if (now.Maximized) main->showNormal();
    now.Maximized = false;
    EXPECT_EQ(now, placed) << cycle;
  }
}

TEST_F(ProgramTest, StartsFromAHostileSettingsFile) {
  program.reset();
  ASSERT_TRUE(std::ofstream(options.Location.LoadPath)
              << "[Settings]\nWindowLeft=5000\nWindowTop=-3000\nWindowWidth=-5\nWindowHeight=2147483647\n"
                 "ImageWidth=2147483647\nImageHeight=0\nNumber=-3\nShowTilingWindow=yes\nTilingWindowLeft=-99999\n"
                 "StockWindowTop=99999\nShowStockWindow=yes\nSaveFormat=77\n");
  Start();
  EXPECT_EQ(program->Settings.ImageWidth, INT32_MAX);
  EXPECT_TRUE(program->Tiling().IsOpen());
  // Windows placed beyond every screen come back where they can be reached.
  const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
  for (QWidget* window :
       {static_cast<QWidget*>(main), static_cast<QWidget*>(stock), static_cast<QWidget*>(program->Tiling().Window())}) {
    EXPECT_TRUE(work.contains(window->pos())) << window->objectName().toStdString();
    EXPECT_LE(window->height(), work.height());
  }
  main->OnCommand(CmdGenerate);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].Text, QStringLiteral("Size must be between 1 and 5000."));
  // An unknown save format falls back to BMP.
  Generate(16, 16, 1);
  Select(main);
  AnswerSave(dir.filePath(QStringLiteral("odd")), 77);
  main->OnCommand(CmdSave);
  EXPECT_TRUE(std::filesystem::exists(Path("odd.bmp")));
}

TEST(Forms, MessageBoxesAreWideEnoughForTheirTitle) {
  Dialogs dialogs;
  int width = 0, titleWidth = 0;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      width = box->width();
      titleWidth = box->fontMetrics().horizontalAdvance(box->windowTitle());
      box->accept();
    }
  });
  dialogs.ShowMessage(nullptr, QStringLiteral("Save error"), MessageIcon::Warning);
  ASSERT_GT(titleWidth, 0);
  EXPECT_GE(width, titleWidth + 160);
}

TEST(Forms, AFormWorksAloneWithoutTheProgram) {
  AppSettings settings;
  PictureDrawer drawer;
  std::vector<QString> told;
  Dialogs dialogs;
  dialogs.Message = [&told](QWidget*, const QString& text, MessageIcon) { told.push_back(text); };
  OrvelleForm form(FormVariations, FormServices{settings, drawer, dialogs}, 7);
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Orvelle. <Variations-007>"));
  std::vector<int32_t> asked;
  QObject::connect(&form, &OrvelleForm::ProgramCommand, [&asked](int32_t id) { asked.push_back(id); });
  for (int i = 0; i < 3; ++i) {
    auto texture = std::make_shared<mvPictureLayer>();
    ASSERT_TRUE(texture->Create(8, 8, ColorTypeRGB, 8, 4));
    ASSERT_TRUE(form.AppendTexture(texture, true));
  }
  form.SelectTexture(2);
  form.OnCommand(CmdRemove);  // the last: the selection moves back
  EXPECT_EQ(form.TextureCount(), 2);
  EXPECT_EQ(form.Selection(), 1);
  form.OnCommand(CmdVariations);
  form.OnCommand(CmdResizeLast);
  EXPECT_EQ(asked, (std::vector<int32_t>{CmdVariations, CmdResizeLast}));
  form.SetWorking(true, true);
  EXPECT_TRUE(form.ProgressBar()->isVisibleTo(&form));
  form.OnCommand(CmdVariations);  // greyed while work runs: not passed on
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_TRUE(told.empty());
}

}  // namespace

int main(int argc, char** argv) {
  // Test discovery runs this binary without the test environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
