// The desktop program: start, message loop, end.
#include <QApplication>
#include <QImage>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <exception>

#include "app/forms/application.h"
#include "app/forms/icons.h"
#include "app/forms/orvelle_form.h"
#include "app/forms/strings.h"
#include "app/settings/settings_location.h"
#include "app/widgets/list_box_widget.h"
#include "core/atomic_file.h"
#include "core/random.h"

namespace {

// Developer hooks, not shown anywhere: the build writes the desktop icon with
// --write-icon, and scripts/screenshot.sh takes the README's picture with
// --screenshot (fixed seed, default options, no settings read or written).
const char* OptionValue(int argc, char** argv, const char* name) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  return nullptr;
}

}  // namespace

// Whatever escapes ends the program with a message and exit code 1, never an abort.
int main(int argc, char** argv) try {
  InstallSaveSignalHandling();
  // Before anything can draw from them.
  GeneratorRandom.Seed(TickCount());
  VariationRandom.Seed(TickCount());
  if (const char* iconPath = OptionValue(argc, argv, "--write-icon"))
    return ProgramIconImage(256).save(QString::fromLocal8Bit(iconPath), "PNG") ? 0 : 1;
  const char* screenshotPath = OptionValue(argc, argv, "--screenshot");

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("orvelle"));
  QApplication::setDesktopFileName(QStringLiteral("orvelle"));
  QApplication::setWindowIcon(ProgramIcon());

  if (screenshotPath) {
    GeneratorRandom.Seed(1);
    VariationRandom.Seed(1);
  }
  const SettingsLocation location = screenshotPath ? SettingsLocation{} : LocateSettingsFile();
  if (!StartProgram(location)) return 0;

  if (screenshotPath) {
    const QString path = QString::fromLocal8Bit(screenshotPath);
    QTimer::singleShot(300, [path] {
      if (!MainForm) return;
      MainForm->resize(800, 560);
      MainForm->OnCommand(CmdGenerate);
      MainForm->List().SelectFirst();
      MainForm->OnCommand(CmdListNotification);
      QTimer::singleShot(500, [path] {
        if (!MainForm) return;
        const bool saved = MainForm->grab().save(path, "PNG");
        if (!saved) QCoreApplication::exit(1);
        MainForm->close();
      });
    });
  }
  const int code = app.exec();
  EndProgram(!screenshotPath);
  return code;
}
catch (const std::exception& e) {
  std::fprintf(stderr, "orvelle: %s\n", std::strcmp(e.what(), "std::bad_alloc") == 0 ? "not enough memory" : e.what());
  return 1;
} catch (...) {
  std::fprintf(stderr, "orvelle: unexpected failure\n");
  return 1;
}
