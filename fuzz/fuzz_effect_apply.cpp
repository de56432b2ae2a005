// Any effect, with any field values a stream could hold, applied to a small
// picture of any format: must finish quickly, within the picture, without
// undefined behaviour.
#include <cstdint>
#include <memory>

#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ByteReader in(data, size);
  const auto& classes = RegisteredEffects();
  const mvEffectClass& c = *classes[in.Take<uint8_t>() % classes.size()];
  const fuzz::Format& fmt = fuzz::Formats()[in.Take<uint8_t>() % fuzz::Formats().size()];
  const int32_t width = in.Take<uint8_t>() % 24 + 1;
  const int32_t height = in.Take<uint8_t>() % 24 + 1;
  std::unique_ptr<mvEffect> effect(c.Create());
  if (!effect) return 0;
  effect->Opacity = in.Take<uint16_t>();
  effect->BlendMode = in.Take<uint8_t>() % 18;
  fuzz::ReadFields(in, *effect);

  mvPicture picture;
  if (!picture.Create(width, height, fmt.ColorType, fmt.BitDepth, fmt.Channels)) return 0;
  const size_t bytes = picture.ByteSize();
  const uint8_t* pixels = in.Rest();
  for (size_t i = 0; i < bytes && in.RestSize() > 0; ++i) picture.Pixels[i] = pixels[i % in.RestSize()];
  if (picture.Palette)
    for (int i = 0; i < 256; ++i) picture.SetPaletteEntry(i, static_cast<uint8_t>(i), static_cast<uint8_t>(i * 7), 0);
  ApplyTo(*effect, picture);
  return 0;
}
