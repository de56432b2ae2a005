#pragma once
#include <string>

#include "core/picture.h"

// Reads BMP, PNG or JPEG into an RGB 8-bit picture with alpha.
bool LoadPictureFile(const std::string& path, mvPicture& picture, std::string& error);
// Writes by the extension of path (.png, .jpg/.jpeg, .bmp). With flatten the
// picture is laid onto white first, as the desktop program's Save does;
// otherwise it is written as it is. PNG and JPEG carry the program's comment.
bool SavePictureFile(const std::string& path, const mvPicture& picture, bool flatten, int quality,
                     std::string& error);
// The message for a codec result code.
std::string CodecResultText(int code);
