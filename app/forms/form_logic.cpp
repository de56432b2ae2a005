#include "app/forms/form_logic.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include <nlohmann/json.hpp>

#include "app/forms/strings.h"
#include "app/toolkit/device.h"
#include "core/atomic_file.h"

namespace {

int32_t ClampInt(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min() / 2, std::numeric_limits<int32_t>::max() / 2));
}

// Moves [start, start + length) into [low, low + room) as far as it fits,
// keeping its start visible when it is longer.
int64_t PullInside(int64_t start, int64_t length, int64_t low, int64_t room) {
  if (start + length > low + room) start = low + room - length;
  return std::max(start, low);
}

}  // namespace

Placement ChildPlacement(const Placement& current, int32_t contentWidth, int32_t contentHeight,
                         const FormChrome& chrome, const FrameMargins& frame, const WorkArea& work) {
  int64_t width = std::max<int64_t>(1, static_cast<int64_t>(contentWidth) + chrome.Width);
  int64_t height = std::max<int64_t>(1, static_cast<int64_t>(contentHeight) + chrome.Height);
  const int64_t frameWidth = static_cast<int64_t>(frame.Left) + frame.Right;
  const int64_t frameHeight = static_cast<int64_t>(frame.Top) + frame.Bottom;
  if (work.Width > 0 && work.Height > 0) {
    const int64_t maxWidth = std::max<int64_t>(1, work.Width - frameWidth);
    const int64_t maxHeight = std::max<int64_t>(1, work.Height - frameHeight);
    bool horizontalBar = false, verticalBar = false;
    for (int pass = 0; pass < 2; ++pass) {
      if (width > maxWidth && !horizontalBar) {
        horizontalBar = true;
        height += chrome.ScrollBar;
      }
      if (height > maxHeight && !verticalBar) {
        verticalBar = true;
        width += chrome.ScrollBar;
      }
    }
    width = std::min(width, maxWidth);
    height = std::min(height, maxHeight);
  }
  Placement p;
  p.Width = ClampInt(width);
  p.Height = ClampInt(height);
  int64_t left = static_cast<int64_t>(current.Left) + frame.Top;
  int64_t top = static_cast<int64_t>(current.Top) + frame.Top;
  if (work.Width > 0 && work.Height > 0) {
    left = PullInside(left, width + frameWidth, work.Left, work.Width);
    top = PullInside(top, height + frameHeight, work.Top, work.Height);
  }
  p.Left = ClampInt(left);
  p.Top = ClampInt(top);
  p.Maximized = current.Maximized;
  return p;
}

Placement PlacementOnScreens(const Placement& placement, const std::vector<WorkArea>& screens,
                             const FrameMargins& frame) {
  if (screens.empty()) return placement;
  // A title bar counts as on a screen when its whole height and enough of
  // its width to grab it lie there.
  constexpr int64_t kGrabWidth = 64;
  const int64_t caption = std::max<int64_t>(frame.Top, 1);
  const int64_t outerWidth = static_cast<int64_t>(placement.Width) + frame.Left + frame.Right;
  const WorkArea* home = nullptr;
  for (const WorkArea& s : screens) {
    const int64_t overlap =
        std::min<int64_t>(static_cast<int64_t>(placement.Left) + outerWidth, static_cast<int64_t>(s.Left) + s.Width) -
        std::max<int64_t>(placement.Left, s.Left);
    const bool rows = placement.Top >= s.Top &&
                      static_cast<int64_t>(placement.Top) + caption <= static_cast<int64_t>(s.Top) + s.Height;
    if (rows && overlap >= std::min(kGrabWidth, outerWidth)) {
      home = &s;
      break;
    }
  }
  const bool onScreen = home != nullptr;
  if (!home) home = &screens.front();
  Placement p = placement;
  const int64_t frameWidth = static_cast<int64_t>(frame.Left) + frame.Right;
  const int64_t frameHeight = static_cast<int64_t>(frame.Top) + frame.Bottom;
  if (home->Width > 0 && home->Height > 0) {
    p.Width = ClampInt(std::clamp<int64_t>(p.Width, 1, std::max<int64_t>(1, home->Width - frameWidth)));
    p.Height = ClampInt(std::clamp<int64_t>(p.Height, 1, std::max<int64_t>(1, home->Height - frameHeight)));
  }
  if (!onScreen) {
    p.Left = ClampInt(home->Left + (static_cast<int64_t>(home->Width) - (p.Width + frameWidth)) / 2);
    p.Top = ClampInt(home->Top + (static_cast<int64_t>(home->Height) - (p.Height + frameHeight)) / 2);
  } else if (p.Width != placement.Width || p.Height != placement.Height) {
    p.Left = ClampInt(PullInside(p.Left, p.Width + frameWidth, home->Left, home->Width));
    p.Top = ClampInt(PullInside(p.Top, p.Height + frameHeight, home->Top, home->Height));
  }
  return p;
}

Placement SanePlacement(const Placement& placement) {
  // Far beyond any screen, yet small enough that position plus size stays an int.
  constexpr int32_t kMaxCoordinate = 1 << 20;
  constexpr int32_t kMaxSize = 1 << 14;
  Placement p = placement;
  p.Left = std::clamp(p.Left, -kMaxCoordinate, kMaxCoordinate);
  p.Top = std::clamp(p.Top, -kMaxCoordinate, kMaxCoordinate);
  p.Width = std::clamp(p.Width, 1, kMaxSize);
  p.Height = std::clamp(p.Height, 1, kMaxSize);
  return p;
}

std::string FixSaveExtension(const std::string& name, const std::vector<std::string>& extensions) {
  if (extensions.empty()) return name;
  const std::string& defaultExtension = extensions.front();
  const size_t slash = name.find_last_of('/');
  const size_t partStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot < partStart) return name + "." + defaultExtension;
  const std::string extension = name.substr(dot + 1);
  if (extension.empty()) return name + defaultExtension;
  for (const std::string& known : extensions) {
    if (known.size() == extension.size() &&
        std::equal(known.begin(), known.end(), extension.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        }))
      return name;
  }
  return name + "." + defaultExtension;
}

bool ResizeFactorAllowed(int32_t width, int32_t height, int32_t factor) {
  return factor >= limits::kMinScale && factor <= limits::kMaxScale &&
         limits::SizeValid(static_cast<int64_t>(width) * factor, static_cast<int64_t>(height) * factor);
}

CellSize StockCellSize(CellSize current, bool first, int32_t textureWidth, int32_t textureHeight) {
  const CellSize fitting{textureWidth + kCellMargin, textureHeight + kCellMargin};
  if (first || current.Width < fitting.Width || current.Height < fitting.Height) return fitting;
  return current;
}

int32_t FieldInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i >= text.size()) return 0;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
    if (value > static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1) return 0;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min()) return 0;
  return static_cast<int32_t>(value);
}

std::vector<std::string> NameFiltersFromList(std::string_view list) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start < list.size()) {
    const size_t bar = list.find('|', start);
    if (bar == std::string_view::npos) break;
    parts.emplace_back(list.substr(start, bar - start));
    start = bar + 1;
  }
  std::vector<std::string> filters;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string description = parts[i];
    const size_t paren = description.find('(');
    if (paren != std::string::npos) description.erase(paren);
    while (!description.empty() && description.back() == ' ') description.pop_back();
    std::string patterns = parts[i + 1];
    std::replace(patterns.begin(), patterns.end(), ';', ' ');
    filters.push_back(description + " (" + patterns + ")");
  }
  return filters;
}

uint32_t SelectionGradient(int32_t i, int32_t n) {
  if (n <= 0) return MakeRGB(192, 224, 255);
  const uint32_t red = static_cast<uint32_t>((192 * (n - i) + 128 * i) / n);
  const uint32_t green = static_cast<uint32_t>((224 * (n - i) + 192 * i) / n);
  return MakeRGB(red, green, 255);
}

int32_t CellSide(int32_t textureSide) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(static_cast<int64_t>(textureSide) + kCellMargin, 1, std::numeric_limits<int32_t>::max()));
}

std::string ReasonText(int error) {
  switch (error) {
    case EACCES:
    case EPERM: return "permission denied";
    case ENOSPC: return "the disk is full";
    case EDQUOT: return "the disk quota is used up";
    case EROFS: return "the disk is read-only";
    case ENOENT: return "the folder does not exist";
    case ENOTDIR: return "a part of the path is not a folder";
    case EISDIR: return "a folder has that name";
    case ENAMETOOLONG: return "the name is too long";
    case ENOMEM: return "not enough memory";
    case EIO: return "the disk reported an error";
    case 0: return "unknown reason";
    default: break;
  }
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

// Finds where a text stops being JSON without building a document, so a
// hostile file costs no memory or recursion here.
struct JsonProbe : nlohmann::json_sax<nlohmann::json> {
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) override {
    Failed = true;
    Position = position;
    return false;
  }
  bool Failed = false;
  size_t Position = 0;
};

}  // namespace

std::string RecipeProblemText(const std::string& path, const std::string& libraryError) {
  const std::string name = FileNameOf(path);
  std::string text;
  errno = 0;
  // Recipes are small; a file far larger than any recipe is no recipe.
  constexpr size_t kMaxRecipeBytes = size_t{64} << 20;
  if (!ReadWholeFile(path, text, kMaxRecipeBytes)) {
    const int error = errno;
    return name +
           (error ? " cannot be read (" + ReasonText(error) + ")" : " is not a recipe file (not a file, or too large)");
  }
  JsonProbe probe;
  nlohmann::json::sax_parse(text, &probe, nlohmann::json::input_format_t::json, false);
  if (probe.Failed) {
    const size_t end = std::min(probe.Position > 0 ? probe.Position - 1 : 0, text.size());
    const int64_t line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), '\n');
    return name + " is not a recipe file (not valid JSON at line " + std::to_string(line) + ")";
  }
  // The reader names the file first; the user sees the name once.
  std::string reason = libraryError;
  const std::string prefix = path + ": ";
  if (reason.rfind(prefix, 0) == 0) reason.erase(0, prefix.size());
  if (reason.empty()) reason = "unknown reason";
  return name + " is not a recipe file (" + reason + ")";
}

std::string TextureBaseName(int32_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "texture-%04d", index);
  return name;
}

std::vector<std::string> FreeTextureNames(int32_t count, const std::string& extension,
                                          const std::function<bool(const std::string& name)>& exists) {
  std::vector<std::string> names;
  for (int32_t index = 1; static_cast<int32_t>(names.size()) < count && index < std::numeric_limits<int32_t>::max();
       ++index) {
    std::string base = TextureBaseName(index);
    if (exists(base + "." + extension) || exists(base + kRecipeSuffix)) continue;
    names.push_back(std::move(base));
  }
  return names;
}
