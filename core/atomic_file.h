#pragma once
#include <string>
#include <string_view>

// Reads a regular file of at most maxBytes into content. False when the
// file is missing, not a regular file, unreadable or larger than maxBytes.
bool ReadWholeFile(const std::string& path, std::string& content, size_t maxBytes);

// Replaces the file at path by content so that readers only ever see the
// old file or the complete new one: the text goes to a temporary beside the
// target, is synced, and is renamed over it. On failure the temporary is
// removed, the old file is untouched, and the answer is false.
bool WriteFileAtomically(const std::string& path, std::string_view content);

// Creates every missing folder on the way to dir (like mkdir -p).
bool CreateFolders(const std::string& dir, unsigned mode);
