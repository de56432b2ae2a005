// The recipe editor: its field editors come from the field table, every
// change renders on the worker, and undo and redo lead back to the same
// recipes and pixels; Save maps and the tiling preview's normal map.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>
#include <QUndoGroup>
#include <cstring>
#include <limits>

#include "app/forms/editor_window.h"
#include "app/widgets/list_box_widget.h"
#include "codecs/codecs.h"
#include "maps/maps.h"
#include "recipe/recipe.h"
#include "tests/app/program_fixture.h"

namespace {

using nlohmann::json;

// The editor alone, on a one-effect chain of each class in turn.
TEST(Editor, EveryFieldOfEveryClassGetsAnEditorWithTheRangeOfItsRecipeFiles) {
  Dialogs dialogs;
  QUndoGroup group;
  EditorWindow editor(dialogs, group);
  for (const mvEffectClass* c : RegisteredEffects()) {
    SCOPED_TRACE(c->Name);
    auto chain = std::make_shared<EffectChain>();
    chain->emplace_back(c->Create());
    editor.ShowRecipe(chain, 32, 32, true, QString(), 0);
    const mvEffect& e = *chain->front();
    for (const FieldInfo& f : c->Fields) {
      SCOPED_TRACE(f.Name);
      QWidget* w = editor.FieldEditor(f.Name);
      ASSERT_NE(w, nullptr);
      EXPECT_TRUE(w->toolTip().startsWith(QString::fromStdString(f.HelpText)));
      const FieldEditorSpec spec = EditorSpecOf(f);
      const int64_t value = f.Type == FieldType::Int    ? int64_t{f.Of<int32_t>(e)}
                            : f.Type == FieldType::UInt ? int64_t{f.Of<uint32_t>(e)}
                                                        : 0;
      switch (f.Type) {
        case FieldType::Bool: EXPECT_EQ(qobject_cast<QCheckBox*>(w)->isChecked(), f.Of<bool>(e)); break;
        case FieldType::Color: EXPECT_NE(qobject_cast<QPushButton*>(w), nullptr); break;
        case FieldType::Gradient: EXPECT_EQ(qobject_cast<GradientBar*>(w)->Gradient(), f.Of<mvGradient>(e)); break;
        case FieldType::Double: break;
        case FieldType::Int:
        case FieldType::UInt: {
          const int64_t lo = f.HasRange ? f.Lo : f.Type == FieldType::Int ? std::numeric_limits<int32_t>::min() : 0;
          const int64_t hi = f.HasRange                 ? f.Hi
                             : f.Type == FieldType::Int ? std::numeric_limits<int32_t>::max()
                                                        : std::numeric_limits<uint32_t>::max();
          if (auto* box = qobject_cast<QComboBox*>(w)) {
            // A choice names every value of a declared range.
            ASSERT_NE(spec.Kind, FieldEditorKind::Number);
            if (f.HasRange) {
              EXPECT_EQ(box->count(), hi - lo + 1);
            }
            EXPECT_EQ(box->currentData().toLongLong(), value);
            break;
          }
          auto* spin = w->findChild<WideSpinBox*>(QStringLiteral("Spin"));
          ASSERT_NE(spin, nullptr);
          EXPECT_EQ(spin->Minimum(), lo);
          EXPECT_EQ(spin->Maximum(), hi);
          EXPECT_EQ(spin->Value(), value);
          auto* slider = w->findChild<QSlider*>(QStringLiteral("Slider"));
          EXPECT_EQ(slider != nullptr, f.HasRange);
          if (slider) {
            EXPECT_EQ(std::pair(int64_t{slider->minimum()}, int64_t{slider->maximum()}), std::pair(lo, hi));
          }
          break;
        }
      }
    }
  }
  // Every built class can be added, found by any part of its name.
  EffectChooser chooser;
  EXPECT_EQ(chooser.VisibleCount(), static_cast<int>(RegisteredEffects().size()));
  chooser.Filter->setText(QStringLiteral("NOISE"));
  EXPECT_EQ(chooser.VisibleCount(), 3);
  EXPECT_NE(std::string(FindEffectClass(chooser.Chosen())->Name).find("Noise"), std::string::npos);
  chooser.SetFilter(QStringLiteral("nothing like it"));
  EXPECT_EQ(chooser.Chosen(), 0u);
  // Names and choices read from the table.
  const std::pair<const char*, const char*> names[] = {{"mvHSVNoiseEffect", "HSV noise"},
                                                       {"mvGradientPatternEffect", "Gradient pattern"},
                                                       {"mvRotateRightEffect", "Rotate right"}};
  for (const auto& [name, shown] : names) EXPECT_EQ(EffectDisplayName(*FindEffectClass(name)), shown);
  const FieldEditorSpec shape = EditorSpecOf(*FindEffectClass("mvGradientEffect")->Find("Shape"));
  ASSERT_EQ(shape.Kind, FieldEditorKind::Choice);
  ASSERT_EQ(shape.Choices.size(), 5u);
  EXPECT_EQ(shape.Choices[2].Name, "radial");
  EXPECT_EQ(EditorSpecOf(*FindEffectClass("mvFillEffect")->Find("PaintMode")).Kind, FieldEditorKind::BlendMode);
  // "0 bands alternate ..., non-zero ..." names no list of values.
  EXPECT_EQ(EditorSpecOf(*FindEffectClass("mvGradientPatternEffect")->Find("Sawtooth")).Kind, FieldEditorKind::Number);
}

TEST(Editor, GradientStopsSplitMoveMergeAndRecolourSegments) {
  GradientBar bar;
  mvGradient g;
  GradientSegment s;  // black to white over 0..1
  g.AppendSegment(s);
  bar.SetGradient(g);
  ASSERT_EQ(bar.StopCount(), 2);
  ASSERT_TRUE(bar.AddStop(0.25));
  ASSERT_EQ(bar.Gradient().Count(), 2);
  const GradientSegment& left = bar.Gradient().Segments[0];
  EXPECT_EQ(left.Right, 0.25);
  EXPECT_EQ(left.Middle, 0.125);  // the middle keeps its place in the segment
  uint8_t c[4];
  bar.StopColour(1, c);
  EXPECT_EQ(c[0], 64);              // the gradient's colour where the stop was put
  EXPECT_FALSE(bar.AddStop(0.25));  // no empty segment
  // A stop moves only between its neighbours.
  ASSERT_TRUE(bar.MoveStop(1, 1.5));
  EXPECT_EQ(bar.StopPosition(1), 1.0);
  ASSERT_TRUE(bar.MoveStop(1, 0.5));
  const uint8_t red[4] = {255, 0, 0, 128};
  ASSERT_TRUE(bar.SetStopColour(1, red));
  EXPECT_EQ(std::memcmp(bar.Gradient().Segments[0].RightColor, red, 4), 0);
  EXPECT_EQ(std::memcmp(bar.Gradient().Segments[1].LeftColor, red, 4), 0);
  EXPECT_FALSE(bar.RemoveStop(0));  // the ends stay
  ASSERT_TRUE(bar.RemoveStop(1));
  ASSERT_EQ(bar.Gradient().Count(), 1);
  EXPECT_EQ(bar.Gradient().Segments[0].Right, 1.0);
  // An empty gradient gets its first segment from a click.
  bar.SetGradient(mvGradient{});
  EXPECT_TRUE(bar.AddStop(0.7));
  EXPECT_EQ(bar.Gradient().Count(), 1);
}

class EditorTest : public ProgramTest {
protected:
  // The editor on texture index of the main window.
  EditorWindow& Open(int index = 0) {
    Select(main, index);
    main->OnCommand(CmdEditRecipe);
    EXPECT_NE(program->Editor(), nullptr);
    return *program->Editor();
  }
  int32_t IndexOf(const char* className) const {
    const SharedChain chain = program->Editor()->Chain();
    for (size_t i = 0; i < chain->size(); ++i)
      if ((*chain)[i]->Class().Name == className) return static_cast<int32_t>(i);
    return -1;
  }
  json RecipeOf(int index = 0) const { return RecipeToJson(*main->TextureAt(index), main->SeamlessAt(index)); }
  std::vector<uint8_t> PixelsOf(int index = 0) const { return PixelBytes(*main->TextureAt(index)); }
  QAction* Undo() const { return program->Editor()->findChild<QAction*>(QStringLiteral("Undo")); }
  QAction* Redo() const { return program->Editor()->findChild<QAction*>(QStringLiteral("Redo")); }
};

TEST_F(EditorTest, AnEditedTextureIsWhatTheCommandLineRendersOfItsSavedRecipe) {
  Generate(48, 48, 1, "4");  // a cloud, then HSL noise, oil paint and a sine wave
  Select(main);
  QApplication::setActiveWindow(main);
  QTest::keyClick(main->ListWidget(), Qt::Key_E);
  ASSERT_NE(program->Editor(), nullptr);
  EditorWindow& editor = *program->Editor();
  const json original = RecipeOf();
  const int32_t cloud = IndexOf("mvCloudEffect"), noise = IndexOf("mvHSLNoiseEffect");
  ASSERT_GE(cloud, 0);
  ASSERT_GE(noise, 0);
  const auto cloudAt = static_cast<size_t>(cloud), noiseAt = static_cast<size_t>(noise);
  editor.SelectEffect(cloud);
  auto* detail = editor.FieldEditor("Detail")->findChild<WideSpinBox*>(QStringLiteral("Spin"));
  detail->SetValue(detail->Value() == 1 ? 2 : 1);
  WaitIdle();
  editor.SelectEffect(noise);
  editor.FieldEditor("HueAmount")->findChild<WideSpinBox*>(QStringLiteral("Spin"))->SetValue(33);
  WaitIdle();
  editor.BlendModeBox()->setCurrentIndex(3);
  WaitIdle();
  EXPECT_EQ(RecipeOf()["effects"][noiseAt]["blend_mode"], 3);
  Undo()->trigger();
  WaitIdle();
  const json edited = RecipeOf();
  EXPECT_EQ(edited["effects"][noiseAt]["blend_mode"], original["effects"][noiseAt]["blend_mode"]);
  EXPECT_EQ(edited["effects"][noiseAt]["params"]["HueAmount"], 33);
  EXPECT_NE(edited["effects"][cloudAt]["params"]["Detail"], original["effects"][cloudAt]["params"]["Detail"]);
  // The thumbnail is the texture the saved recipe makes.
  const QString saved = dir.filePath(QStringLiteral("edited.json"));
  AnswerSave(saved, 1);
  main->OnCommand(CmdSaveRecipe);
  const QString png = dir.filePath(QStringLiteral("edited.png"));
  ASSERT_NO_FATAL_FAILURE(RunCli({QStringLiteral("render"), saved, QStringLiteral("--scale"), QStringLiteral("1"),
                                  QStringLiteral("--keep-alpha"), png}));
  ExpectFileHolds(png.toStdString(), *main->TextureAt(0));
  EXPECT_TRUE(messages.empty());
}

TEST_F(EditorTest, EveryKindOfChangeUndoesAndRedoesToTheSameRecipesAndPixels) {
  Generate(40, 32, 2, "6");
  EditorWindow& editor = Open(1);
  std::vector<std::pair<json, std::vector<uint8_t>>> states{{RecipeOf(1), PixelsOf(1)}};
  const auto step = [&](const std::function<void()>& change) {
    change();
    WaitIdle();
    states.emplace_back(RecipeOf(1), PixelsOf(1));
    ASSERT_NE(states.back().first, states[states.size() - 2].first);
  };
  program->Ask.Colour = [](QWidget*, const QColor&, const QString&) { return QColor(10, 200, 30, 100); };
  step([&] { editor.AddEffect(FindEffectClass("mvGradientMapEffect")->TypeId); });
  const auto bar = [&] { return qobject_cast<GradientBar*>(editor.FieldEditor("Gradient")); };
  step([&] {
    ASSERT_TRUE(bar()->AddStop(0.5));
    emit bar()->GradientChanged(true);
  });
  step([&] { editor.SetFieldText("Reverse", "true"); });
  step([&] {
    ASSERT_TRUE(bar()->MoveStop(1, 0.3));
    emit bar()->GradientChanged(true);
  });
  step([&] { emit bar()->ColourWanted(1); });
  step([&] { editor.DuplicateEffect(); });
  step([&] {
    editor.SelectEffect(1);
    editor.MoveEffect(-1);
  });
  step([&] { editor.EffectList()->topLevelItem(0)->setCheckState(0, Qt::Unchecked); });
  step([&] {
    editor.SelectEffect(0);
    if (editor.RandomizeButton()->isEnabled()) editor.RandomizeEffect();
    else editor.RemoveEffect();
  });
  step([&] {
    editor.SelectEffect(1);
    editor.OpacityBox()->SetValue(1234);
  });
  step([&] { editor.AddEffect(FindEffectClass("mvFillEffect")->TypeId); });
  step([&] { qobject_cast<QPushButton*>(editor.FieldEditor("Color"))->click(); });
  step([&] { editor.ResetField("Color"); });
  step([&] { editor.RemoveEffect(); });
  // Refused values change nothing and say why.
  EXPECT_FALSE(editor.SetFieldText("Reverse", "maybe"));
  EXPECT_FALSE(editor.StatusText().isEmpty());
  const size_t last = states.size() - 1;
  for (size_t i = last; i-- > 0;) {
    Undo()->trigger();
    WaitIdle();
    EXPECT_EQ(RecipeOf(1), states[i].first) << "undo to " << i;
    EXPECT_TRUE(PixelsOf(1) == states[i].second) << "undo to " << i;
  }
  EXPECT_FALSE(Undo()->isEnabled());
  for (size_t i = 1; i <= last; ++i) {
    Redo()->trigger();
    WaitIdle();
    EXPECT_EQ(RecipeOf(1), states[i].first) << "redo to " << i;
    EXPECT_TRUE(PixelsOf(1) == states[i].second) << "redo to " << i;
  }
  // The other texture has a history of its own, and a turn starts a new one.
  Select(main, 0);
  EXPECT_FALSE(program->History().canUndo());
  Select(main, 1);
  EXPECT_TRUE(program->History().canUndo());
  Command(main, CmdRotateRight);
  EXPECT_FALSE(program->History().canUndo());
  EXPECT_TRUE(messages.empty());
}

TEST_F(EditorTest, ChangesWhileARenderRunsSupersedeItAndStockFilesFollow) {
  Generate(64, 64, 1, "4");
  Select(main);
  main->OnCommand(CmdAddToStock);
  stock->SelectTexture(0);
  stock->OnCommand(CmdEditRecipe);
  EditorWindow& editor = *program->Editor();
  editor.SelectEffect(0);
  auto* detail = editor.FieldEditor("Detail")->findChild<WideSpinBox*>(QStringLiteral("Spin"));
  ASSERT_NE(detail, nullptr);
  // Three quick changes: the thumbnail ends with the last, merged into one step.
  for (int v : {0, 1, 2}) detail->SetValue(v);
  WaitIdle();
  const json shown = RecipeToJson(*stock->TextureAt(0), true);
  EXPECT_EQ(shown["effects"][0]["params"]["Detail"], 2);
  const QString file = stock->FileAt(0);
  Recipe kept;
  std::string error;
  ASSERT_TRUE(ReadRecipeFile(file.toStdString(), kept, error)) << error;
  mvPictureLayer layer;
  ASSERT_TRUE(RenderRecipe(kept, layer));
  EXPECT_EQ(RecipeToJson(layer, kept.Seamless), shown);
  EXPECT_EQ(std::memcmp(layer.Pixels, stock->TextureAt(0)->Pixels, layer.ByteSize()), 0);
  program->Editor()->findChild<QAction*>(QStringLiteral("Undo"))->trigger();
  WaitIdle();
  EXPECT_EQ(RecipeToJson(*stock->TextureAt(0), true)["effects"], RecipeToJson(*main->TextureAt(0), true)["effects"]);
}

TEST_F(EditorTest, SaveMapsWritesTheChosenMapsAndTheTilingShowsTheNormals) {
  Generate(40, 24, 1, "3");
  Select(main);
  MapsRequest asked;
  program->Ask.Maps = [&](QWidget*, const MapsRequest& last, int32_t maxFactor) -> std::optional<MapsRequest> {
    EXPECT_EQ(maxFactor, 10);
    asked = last;
    asked.Factor = 2;
    asked.Height16 = true;
    return asked;
  };
  const QString base = dir.filePath(QStringLiteral("brick.png"));
  AnswerSave(base, 1);
  Command(main, CmdSaveMaps);
  mvImage height, normal;
  ASSERT_EQ(LoadImageFile(Path("brick-height.png").c_str(), height), kCodecOK);
  ASSERT_EQ(LoadImageFile(Path("brick-normal.png").c_str(), normal), kCodecOK);
  EXPECT_EQ(height.Picture.ColorType, ColorTypeGray);
  EXPECT_EQ(height.Picture.BitDepth, 16u);
  EXPECT_EQ(normal.Picture.Width, 80);
  EXPECT_EQ(normal.Picture.Height, 48);
  // Files that are there are replaced only when the user says so.
  confirm = false;
  const auto before = QFileInfo(QString::fromStdString(Path("brick-normal.png"))).lastModified();
  Command(main, CmdSaveMaps);
  ASSERT_EQ(questions.size(), 1);
  EXPECT_TRUE(questions[0].contains(QStringLiteral("brick-height.png and brick-normal.png")));
  EXPECT_EQ(QFileInfo(QString::fromStdString(Path("brick-normal.png"))).lastModified(), before);

  main->OnCommand(CmdTiling);
  WaitIdle();
  TilingPreview& tiling = program->Tiling();
  ASSERT_NE(tiling.TiledPicture(), nullptr);
  tiling.SetView(TilingPreview::ViewNormalMap);
  WaitIdle();
  const mvPicture* tiled = tiling.TiledPicture();
  ASSERT_NE(tiled, nullptr);
  EXPECT_EQ(tiling.ShownView(), TilingPreview::ViewNormalMap);
  // The seamless texture's normal map, read across its edges so that it tiles.
  maps::MapOptions wrapped;
  wrapped.Wrap = true;
  mvPicture heights, normals;
  ASSERT_TRUE(maps::MakeHeightMap(*main->TextureAt(0), wrapped, heights));
  ASSERT_TRUE(maps::MakeNormalMap(heights, wrapped, normals));
  ASSERT_TRUE(normals.ConvertFormat(ColorTypeRGB, 8, 4));
  ASSERT_TRUE(tiled->Width == 120 && tiled->Height == 72);
  for (int32_t y = 0; y < 72; ++y)
    for (int32_t c = 0; c < 3; ++c)
      ASSERT_EQ(std::memcmp(tiled->Row(y) + 4 * 40 * c, normals.Row(y % 24), 4 * 40), 0) << y;
  tiling.SetView(TilingPreview::ViewTexture);
  WaitIdle();
  EXPECT_EQ(std::memcmp(tiling.TiledPicture()->Row(5), main->TextureAt(0)->Row(5), 4 * 40), 0);
}

}  // namespace

int main(int argc, char** argv) {
  // Test discovery runs this binary without the test environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
