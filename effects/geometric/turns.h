#pragma once
#include "effects/effect.h"

// Quarter turns change the picture's size, so they are transforms; the half
// turn, flip and mirror work in place. None has parameters.
class mvRotateLeftEffect : public mvEffectOf<mvRotateLeftEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture&, mvPicture&, mvProgress*) override { return false; }
  bool IsTransform() const override { return true; }
  bool Transform(mvPicture& source, mvPicture** result, mvProgress* progress) override;
};

class mvRotateRightEffect : public mvEffectOf<mvRotateRightEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture&, mvPicture&, mvProgress*) override { return false; }
  bool IsTransform() const override { return true; }
  bool Transform(mvPicture& source, mvPicture** result, mvProgress* progress) override;
};

class mvRotate180Effect : public mvEffectOf<mvRotate180Effect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
};

class mvFlipEffect : public mvEffectOf<mvFlipEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
};

class mvMirrorEffect : public mvEffectOf<mvMirrorEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
};

void RegisterTurnEffects(mvEffectRegistry& registry);
