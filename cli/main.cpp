// orvelle-cli: textures from scripts and pipelines.
#include <exception>
#include <iostream>
#include <new>

#include "cli/commands.h"
#include "core/atomic_file.h"
#include "core/parallel.h"

namespace {

int Run(int argc, char** argv) {
  CLI::App app{"orvelle-cli: make, vary and re-render Orvelle textures from the command line"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "orvelle-cli 0.4.0");
  // Pixel work runs on every core unless asked otherwise; the bits are the
  // same on any count. Given before or after the subcommand.
  app.fallthrough();
  app.add_option_function<int>(
         "--threads", [](const int& n) { parallel::SetThreadCount(n); },
         "Threads for pixel work, 1..256 (default: ORVELLE_THREADS, else every core); any count gives the same bits")
      ->check(CLI::Range(1, parallel::kMaxThreads));
  if (parallel::ThreadsFromEnvironment() < 0) {
    std::cerr << "orvelle-cli: ORVELLE_THREADS must be a whole number from 1 to " << parallel::kMaxThreads << "\n";
    return kExitUsage;
  }
  int result = kExitOk;
  AddGenerateCommands(app, result);
  AddEffectsCommand(app, result);
  AddApplyCommand(app, result);
  AddTileCommand(app, result);
  AddMapsCommand(app, result);
  AddEditCommand(app, result);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  // A full disk's file-size limit and Ctrl+C during a save leave no
  // temporaries behind.
  InstallSaveSignalHandling();
  // Whatever still escapes ends the run with a message, never an abort.
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "orvelle-cli: not enough memory\n";
  } catch (const std::exception& e) {
    std::cerr << "orvelle-cli: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "orvelle-cli: unexpected failure\n";
  }
  return kExitFailure;
}
