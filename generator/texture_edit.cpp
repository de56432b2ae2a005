#include "generator/texture_edit.h"

#include <new>

#include "effects/geometric/turns.h"

namespace {

template <class E>
uint32_t TypeId() {
  return E::Describe().TypeId;
}

}  // namespace

bool TurnOrFlip(mvPictureLayer& texture, TurnCommand command) {
  // Indexed by command: the effect it adds, and the one that undoes it.
  static const uint32_t kAdded[] = {TypeId<mvRotateRightEffect>(), TypeId<mvRotateLeftEffect>(),
                                    TypeId<mvRotate180Effect>(), TypeId<mvFlipEffect>(), TypeId<mvMirrorEffect>()};
  static const uint32_t kUndone[] = {TypeId<mvRotateLeftEffect>(), TypeId<mvRotateRightEffect>(),
                                     TypeId<mvRotate180Effect>(), TypeId<mvFlipEffect>(), TypeId<mvMirrorEffect>()};
  const auto c = static_cast<size_t>(command);
  for (int32_t k = texture.Effects.Count() - 1; k >= 0; --k) {
    // A disabled step turned nothing, so taking it out would not undo a turn.
    if (texture.Effects[k]->GetTypeID() != kUndone[c] || !texture.Effects[k]->Enabled) continue;
    std::unique_ptr<mvEffect> removed(texture.Effects.Detach(k));
    if (!texture.Render()) {
      // The picture is unchanged, so the recipe must be too.
      if (texture.Effects.Insert(k, removed.get())) static_cast<void>(removed.release());  // the list owns it again
      return false;
    }
    return true;
  }
  mvEffect* added = CreateEffect(kAdded[c]);
  if (!added) return false;
  if (!texture.AddEffect(added, true)) {
    delete added;
    return false;
  }
  return true;
}

std::unique_ptr<mvPictureLayer> RerenderTexture(const mvPictureLayer& source, int32_t width, int32_t height,
                                                mvProgress* progress) {
  std::unique_ptr<mvPictureLayer> t(new (std::nothrow) mvPictureLayer);
  if (!t || !t->Create(width, height, source.ColorType, source.BitDepth, source.Channels)) return nullptr;
  for (int32_t i = 0; i < source.Effects.Count(); ++i) {
    mvEffect* e = source.Effects[i]->Clone();
    if (!e || !t->AddEffect(e, false)) {
      delete e;
      return nullptr;
    }
  }
  if (!t->Render(progress)) return nullptr;
  return t;
}
