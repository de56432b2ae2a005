#pragma once
#include <QIcon>
#include <QImage>

// The program's pictures, drawn in code so there is nothing to load or lose.

// Toolbar images by their index in the strip (0..9), plus the recipe buttons.
enum : int {
  ImageSave = 0,
  ImageCopy,
  ImageRemove,
  ImageAddToStock,
  ImageVariations,
  ImageResize,
  ImageUnused,
  ImageStock,
  ImageTiling,
  ImageAbout,
  ImageSaveRecipe,
  ImageOpenRecipe,
  ImageEditRecipe
};
QIcon ToolbarIcon(int image);

// The program icon at size x size pixels (needs no application object).
QImage ProgramIconImage(int size);
QIcon ProgramIcon();

// The Square toggle's 16 x 16 picture.
QIcon SquareIcon();
