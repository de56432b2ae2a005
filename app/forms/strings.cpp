#include "app/forms/strings.h"

const char* LoadString(int32_t id) {
  switch (id) {
    case CmdGenerate: return "Generate (F5)";
    case CmdSave: return "Save...";
    case CmdCopy: return "Copy";
    case CmdRemove: return "Remove";
    case CmdSaveRecipe: return "Save recipe...";
    case CmdOpenRecipe: return "Open recipe...";
    case CmdSaveAll: return "Save all...";
    case CmdVariations: return "Variations";
    case CmdAddToStock: return "Add to stock";
    case CmdResize: return "Resize";
    case CmdStock: return "Stock";
    case CmdTiling: return "Tiling";
    case CmdAbout: return "About";
    case CmdStop: return "Stop";
    case CmdEditRecipe: return "Edit recipe (E)";
    case CmdSaveMaps: return "Save height and normal maps...";
    case kSaveFilterStringId:
      return "BMP Files(*.bmp;*.dib)|*.bmp;*.dib|JPEG Files(*.jpg;*.jpeg;*.jpe)|*.jpg;*.jpeg;*.jpe|PNG "
             "Files(*.png)|*.png|";
    default: return nullptr;
  }
}
