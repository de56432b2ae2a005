// orvelle-cli: textures from scripts and pipelines.
#include <iostream>

#include "cli/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"orvelle-cli: make, vary and re-render Orvelle textures from the command line"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "orvelle-cli 0.4.0");
  int result = kExitOk;
  AddGenerateCommands(app, result);
  AddEffectsCommand(app, result);
  AddApplyCommand(app, result);
  AddTileCommand(app, result);
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
