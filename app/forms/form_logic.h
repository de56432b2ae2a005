#pragma once
#include <cstdint>
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

// A variations form's placement: client cw x (ch + toolbarHeight), placed one
// caption height right of and below the current form, then kept inside the
// work area (only its right and bottom edges are pulled in).
Placement ChildPlacement(const Placement& current, int32_t clientWidth, int32_t clientHeight, int32_t toolbarHeight,
                         int32_t captionHeight, const WorkArea& work);

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
