#pragma once
#include <string>

#include "core/atomic_file.h"
#include "core/picture.h"

// Reads BMP, PNG or JPEG into an RGB 8-bit picture with alpha.
bool LoadPictureFile(const std::string& path, mvPicture& picture, std::string& error);
// Writes by the extension of path (.png, .jpg/.jpeg, .bmp). With flatten the
// picture is laid onto white first, as the desktop program's Save does;
// otherwise it is written as it is. PNG and JPEG carry the program's comment.
bool SavePictureFile(const std::string& path, const mvPicture& picture, bool flatten, int quality,
                     std::string& error);
// The same, stopping before the file replaces path: the caller commits
// staged together with the files that belong with it.
bool StagePictureFile(const std::string& path, const mvPicture& picture, bool flatten, int quality,
                      mvStagedFile& staged, std::string& error);
// Commits staged files in order; when one fails, those already committed are
// removed again, so that the set appears whole or not at all.
bool CommitTogether(std::initializer_list<mvStagedFile*> files, std::string& error);
// The message for a codec result code.
std::string CodecResultText(int code);
