#pragma once
#include <CLI/CLI.hpp>

// Exit codes of every subcommand.
enum : int { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

// Each subcommand registers itself on the app and sets `result` when it runs.
void AddEffectsCommand(CLI::App& app, int& result);
void AddApplyCommand(CLI::App& app, int& result);
void AddTileCommand(CLI::App& app, int& result);
void AddGenerateCommands(CLI::App& app, int& result);
void AddEditCommand(CLI::App& app, int& result);
void AddMapsCommand(CLI::App& app, int& result);

// --strength, --height-blur, --directx, --height-8bit, for `maps` and `generate --maps`.
struct MapArguments;
void AddMapOptions(CLI::App* cmd, MapArguments& arguments);
