#include "app/forms/form_logic.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "app/forms/strings.h"
#include "app/toolkit/device.h"

Placement ChildPlacement(const Placement& current, int32_t clientWidth, int32_t clientHeight, int32_t toolbarHeight,
                         int32_t captionHeight, const WorkArea& work) {
  auto clampInt = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min() / 2,
                                                    std::numeric_limits<int32_t>::max() / 2));
  };
  Placement p;
  p.Width = clampInt(std::max<int64_t>(1, clientWidth));
  p.Height = clampInt(std::max<int64_t>(1, static_cast<int64_t>(clientHeight) + toolbarHeight));
  p.Left = clampInt(static_cast<int64_t>(current.Left) + captionHeight);
  p.Top = clampInt(static_cast<int64_t>(current.Top) + captionHeight);
  if (work.Width > 0 && p.Width > work.Width) p.Width = work.Width;
  if (work.Height > 0 && p.Height > work.Height) p.Height = work.Height;
  const int64_t workRight = static_cast<int64_t>(work.Left) + work.Width;
  const int64_t workBottom = static_cast<int64_t>(work.Top) + work.Height;
  if (static_cast<int64_t>(p.Left) + p.Width > workRight) p.Left = clampInt(workRight - p.Width);
  if (static_cast<int64_t>(p.Top) + p.Height > workBottom) p.Top = clampInt(workBottom - p.Height);
  p.Maximized = current.Maximized;
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
  return static_cast<int64_t>(width) * factor <= kMaxImageSide && static_cast<int64_t>(height) * factor <= kMaxImageSide;
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
  return static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(textureSide) + kCellMargin, 1,
                                                  std::numeric_limits<int32_t>::max()));
}
