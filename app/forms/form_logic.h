#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The forms' arithmetic and text rules, kept apart from the widgets so they
// are tested without a display.

// Where a top-level window goes: frame position, client size, maximized.
struct Placement {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  bool Maximized = false;
  bool operator==(const Placement&) const = default;
};

struct WorkArea {
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
};

// The window manager's frame around a client area (Top includes the title bar).
struct FrameMargins {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// What a form adds around its list's viewport: the list's frame, the menu,
// toolbar and status bar; and a scroll bar's thickness.
struct FormChrome {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t ScrollBar = 0;
};

// A new variations form's placement for content (cells) of contentWidth x
// contentHeight: one title-bar height right of and below the current form,
// the whole frame kept inside the work area. A side cut short by the work
// area brings a scroll bar, so the other side gets room for it and no row or
// column of the content hides under the bar.
Placement ChildPlacement(const Placement& current, int32_t contentWidth, int32_t contentHeight,
                         const FormChrome& chrome, const FrameMargins& frame, const WorkArea& work);

// A restored window's placement on the screens there are now (the first is
// the primary): kept when its title bar is on a screen, with a size no larger
// than that screen's work area; otherwise its size centred on the primary
// screen, so a placement saved on a monitor that is gone never opens a window
// out of reach.
Placement PlacementOnScreens(const Placement& placement, const std::vector<WorkArea>& screens,
                             const FrameMargins& frame);

// Values read from the settings file may be anything; a window is given a
// size the windowing system can take and a position that cannot overflow.
Placement SanePlacement(const Placement& placement);

// The file name to write: the codec's extensions (the first is the default)
// decide whether the name keeps its own extension, gets the default after a
// bare dot, or gets ".<default>" appended.
std::string FixSaveExtension(const std::string& name, const std::vector<std::string>& extensions);

// Whether a texture of width x height may be enlarged by factor.
bool ResizeFactorAllowed(int32_t width, int32_t height, int32_t factor);

// The stock's cell size after adding a texture: exactly fitting the texture
// when it is the first one or does not fit the cells in either direction.
struct CellSize {
  int32_t Width = 0, Height = 0;
  bool operator==(const CellSize&) const = default;
};
CellSize StockCellSize(CellSize current, bool first, int32_t textureWidth, int32_t textureHeight);

// A number typed into a field, as the dialog code reads it: optional blanks
// and sign, then decimal digits up to the end; anything else (or overflow)
// reads as 0.
int32_t FieldInteger(std::string_view text);

// Turns the "description|patterns|..." filter list into Qt name filters
// ("BMP Files (*.bmp *.dib)").
std::vector<std::string> NameFiltersFromList(std::string_view list);

// A list cell side for a texture side: the margin added without overflowing,
// whatever a settings file held.
int32_t CellSide(int32_t textureSide);

// The selected-cell gradient: row i of n + 1 rows.
uint32_t SelectionGradient(int32_t i, int32_t n);

// ---- messages in the user's words --------------------------------------------

// The reason behind a system error number, as a user says it ("permission
// denied", "the disk is full").
std::string ReasonText(int error);

// Why a file that failed to open as a recipe is not one: "name is not a
// recipe file (not valid JSON at line 3)" or "name cannot be read (reason)".
// libraryError is what the recipe reader said.
std::string RecipeProblemText(const std::string& path, const std::string& libraryError);

// The last part of a path.
std::string FileNameOf(const std::string& path);

// ---- files of several textures --------------------------------------------------

// "texture-0007" for index 7; the image gets ".<extension>", the recipe ".recipe.json".
std::string TextureBaseName(int32_t index);
inline constexpr const char* kRecipeSuffix = ".recipe.json";

// count base names in a folder, numbered up from 1, skipping every number
// whose image (with extension) or recipe file already exists: files that
// were there are never replaced.
std::vector<std::string> FreeTextureNames(int32_t count, const std::string& extension,
                                          const std::function<bool(const std::string& name)>& exists);
