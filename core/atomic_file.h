#pragma once
#include <string>
#include <string_view>

// Reads a regular file of at most maxBytes into content. False when the
// file is missing, not a regular file (a FIFO or device is refused without
// blocking; errno is then EINVAL), unreadable or larger than maxBytes.
bool ReadWholeFile(const std::string& path, std::string& content, size_t maxBytes);

// A file being replaced in two steps: the new contents go to a temporary
// beside the target, and Commit renames it over the target. Several staged
// files can be committed together so that either all appear or none does.
// A target that is not a regular file (a device, a FIFO, or a link to one)
// has no contents to protect and cannot be renamed over: it is written
// directly (Direct), never replaced. A link to a regular file replaces the
// file it points to, not the link.
class mvStagedFile {
public:
  mvStagedFile() = default;
  mvStagedFile(const mvStagedFile&) = delete;
  mvStagedFile& operator=(const mvStagedFile&) = delete;
  ~mvStagedFile() { Discard(); }

  // Opens the temporary (or the special target) for writing; -1 on failure
  // with errno set. The descriptor belongs to the caller until Finish.
  int Begin(const std::string& path);
  // Closes the descriptor after syncing it; false when the data may not
  // have reached the disk.
  bool Finish(int fd);
  // Renames the temporary over the target; false when it cannot.
  bool Commit();
  // Removes the temporary, if any; the target stays as it was.
  void Discard();

  const std::string& Target() const { return TargetPath; }
  const std::string& Temporary() const { return TempPath; }
  bool Direct() const { return IsDirect; }
  // Whether this save syncs its data before the rename: always when it
  // replaces an existing file, and for new files unless syncs are deferred.
  bool NeedsSync() const;

private:
  std::string TargetPath, TempPath;
  bool IsDirect = false;
  bool Replacing = false;
  int Slot = -1;  // in the list of temporaries removed on SIGINT/SIGTERM
};

// Replaces the file at path by content so that readers only ever see the
// old file or the complete new one: the text goes to a temporary beside the
// target, is synced, and is renamed over it. On failure the temporary is
// removed, the old file is untouched, and the answer is false.
bool WriteFileAtomically(const std::string& path, std::string_view content);
// The first half of the same: content written to a staged temporary that the
// caller commits (or discards).
bool StageFileContent(mvStagedFile& staged, const std::string& path, std::string_view content);

// Batches of new files (a 1000-texture generate): while syncs are deferred, a
// staged file that creates a new target is neither synced nor is its
// folder; SyncDeferred then makes them all durable with one sync of each
// filesystem written to. A save that replaces an existing file still syncs
// before its rename, so the old contents are never lost to a crash.
void DeferSyncs(bool on);
// False when the sync reports a write error (the data may not be on disk).
bool SyncDeferred();

// Creates every missing folder on the way to dir (like mkdir -p). False with
// errno ENOTDIR when dir (or a part of it) exists but is not a folder.
bool CreateFolders(const std::string& dir, unsigned mode);

// For programs that save files: a file-size limit (SIGXFSZ) then makes the
// write fail with EFBIG instead of killing the process, and SIGINT/SIGTERM
// remove the temporaries of saves in progress before the process ends by
// that signal as it would have.
void InstallSaveSignalHandling();
