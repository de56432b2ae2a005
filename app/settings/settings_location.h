#pragma once
#include <functional>
#include <optional>
#include <string>

// Where the settings file is read from and written to. They differ only in
// one case: the file lies beside a program whose folder we cannot write, and
// no per-user copy exists yet; it is read from there once and saved to the
// per-user location, which later runs then prefer.
struct SettingsLocation {
  std::string LoadPath;  // empty: nothing to read
  std::string SavePath;  // empty: nowhere to write
};

// Looks up an environment variable; no value when it is unset.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;
// Answers whether a file can be created in the given folder.
using FolderCheck = std::function<bool(const std::string& folder)>;

// The program's path with its extension replaced by ".ini" (appended when
// the file name has none; a leading dot does not start an extension).
std::string IniPathBesideExecutable(const std::string& exePath);

// $XDG_CONFIG_HOME/orvelle/orvelle.ini, else $HOME/.config/orvelle/orvelle.ini;
// empty when neither gives an absolute path.
std::string UserSettingsPath(const EnvironmentLookup& env);

// $XDG_DATA_HOME/orvelle/stock, else $HOME/.local/share/orvelle/stock: where
// the stock keeps one recipe file per texture. Empty when neither gives an
// absolute path.
std::string StockFolderPath(const EnvironmentLookup& env);
// The same for this process's environment.
std::string StockFolderPath();

// Permission bits do not stop root, and a read-only mount is only found out
// by trying: the check asks access() and then creates and removes a file.
bool IsWritableFolder(const std::string& folder);

// Full path of the running program, empty when it cannot be found.
std::string ExecutablePath();

// Beside the program when its folder is writable; otherwise the per-user
// file (see SettingsLocation for a file already lying beside the program).
SettingsLocation LocateSettingsFile(const std::string& exePath, const EnvironmentLookup& env,
                                    const FolderCheck& isWritable = IsWritableFolder);
// The same for this process and its environment.
SettingsLocation LocateSettingsFile();
