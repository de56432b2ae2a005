// The desktop program: start, message loop, end.
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <exception>

#include "app/forms/icons.h"
#include "app/forms/options_panel.h"
#include "app/forms/program.h"
#include "app/forms/strings.h"
#include "app/settings/settings_location.h"
#include "core/atomic_file.h"
#include "core/random.h"

namespace {

// Developer hooks, not shown anywhere: the build writes the desktop icon with
// --write-icon, and scripts/screenshot.sh takes the README's picture with
// --screenshot (seed 1, default options, no settings or stock read or written;
// --screenshot-editor: the same batch with the recipe editor beside it).
const char* OptionValue(int argc, char** argv, const char* name) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  return nullptr;
}

void TakeScreenshot(Program& program, const QString& path, bool editor) {
  OrvelleForm* main = program.MainForm();
  if (!main) return;
  if (program.Busy()) {
    QTimer::singleShot(50, &program, [&program, path, editor] { TakeScreenshot(program, path, editor); });
    return;
  }
  main->SelectTexture(editor ? 3 : 0);  // the fourth texture of seed 1 starts with a cloud
  if (editor) {
    // The recipe editor beside the list, on the texture's cloud or its first effect.
    main->OnCommand(CmdEditRecipe);
    if (EditorWindow* window = program.Editor()) {
      window->resize(720, 560);
      window->move(main->x() + main->width() + 4, main->y());
      const SharedChain chain = window->Chain();
      for (size_t i = 0; chain && i < chain->size(); ++i)
        if ((*chain)[i]->Class().Name == "mvCloudEffect") window->SelectEffect(static_cast<int32_t>(i));
    }
  }
  QTimer::singleShot(500, &program, [&program, path, editor] {
    OrvelleForm* form = program.MainForm();
    if (!form) return;
    QPixmap shot = form->grab();
    if (EditorWindow* window = program.Editor(); editor && window) {
      // Both windows side by side in one picture.
      const QPixmap right = window->grab();
      QPixmap both(shot.width() + 8 + right.width(), std::max(shot.height(), right.height()));
      both.fill(QColor(90, 90, 100));
      QPainter painter(&both);
      painter.drawPixmap(0, 0, shot);
      painter.drawPixmap(shot.width() + 8, 0, right);
      painter.end();
      shot = both;
    }
    if (!shot.save(path, "PNG")) QCoreApplication::exit(1);
    form->close();
  });
}

}  // namespace

// Whatever escapes ends the program with a message and exit code 1, never an abort.
int main(int argc, char** argv) try {
  InstallSaveSignalHandling();
  // Before anything can draw from them.
  VariationRandom.Seed(TickCount());
  if (const char* iconPath = OptionValue(argc, argv, "--write-icon"))
    return ProgramIconImage(256).save(QString::fromLocal8Bit(iconPath), "PNG") ? 0 : 1;
  const char* screenshotPath = OptionValue(argc, argv, "--screenshot");
  const char* editorShotPath = OptionValue(argc, argv, "--screenshot-editor");
  const bool editorShot = editorShotPath != nullptr;
  if (editorShot) screenshotPath = editorShotPath;

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("orvelle"));
  QApplication::setDesktopFileName(QStringLiteral("orvelle"));
  QApplication::setWindowIcon(ProgramIcon());

  Program::Options options;
  if (screenshotPath) {
    options.SaveSettings = false;
  } else {
    options.Location = LocateSettingsFile();
    options.StockFolder = StockFolderPath();
  }
  Program program(options);
  if (!program.Start()) return 0;

  if (screenshotPath) {
    const QString path = QString::fromLocal8Bit(screenshotPath);
    QTimer::singleShot(300, &program, [&program, path, editorShot] {
      OrvelleForm* main = program.MainForm();
      main->resize(editorShot ? 640 : 800, 560);
      main->Options()->SeedBox->setText(QStringLiteral("1"));
      main->OnCommand(CmdGenerate);
      TakeScreenshot(program, path, editorShot);
    });
  }
  return app.exec();
} catch (const std::exception& e) {
  std::fprintf(stderr, "orvelle: %s\n", std::strcmp(e.what(), "std::bad_alloc") == 0 ? "not enough memory" : e.what());
  return 1;
} catch (...) {
  std::fprintf(stderr, "orvelle: unexpected failure\n");
  return 1;
}
