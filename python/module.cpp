// The Python module `orvelle`: the command line's generate, vary, render and
// apply for scripts, with pixels as numpy arrays. Every argument is checked as
// the command line checks it, with its messages; pixel work runs with the GIL
// released on the process's thread pool, so other Python threads go on.
#include <fcntl.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/io.h"
#include "codecs/codecs.h"
#include "core/limits.h"
#include "core/parallel.h"
#include "core/random.h"
#include "generator/batch_seed.h"
#include "generator/generator.h"
#include "python/json_convert.h"
#include "recipe/effect_list.h"
#include "recipe/recipe.h"

namespace py = pybind11;
using nlohmann::json;

namespace {

[[noreturn]] void RaiseValue(const std::string& message) { throw py::value_error(message); }

// OSError with the errno it failed with, so Python picks FileNotFoundError,
// PermissionError and so on; a plain OSError when there is none.
[[noreturn]] void RaiseOS(int error, const std::string& message) {
  py::object args = error ? py::make_tuple(error, message) : py::make_tuple(message);
  PyErr_SetObject(PyExc_OSError, args.ptr());
  throw py::error_already_set();
}

// Thrown where the GIL may be released; MemoryError with the command line's message.
struct NotEnoughMemory {};
[[noreturn]] void RaiseMemory() { throw NotEnoughMemory(); }

std::string PathText(py::handle path) { return py::module_::import("os").attr("fsdecode")(path).cast<std::string>(); }

// Between textures a long batch lets Ctrl-C through.
void CheckSignals() {
  py::gil_scoped_acquire gil;
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

// A texture: its picture (the numpy array is a view of it), its recipe, and
// where it came from.
struct Texture {
  std::unique_ptr<mvPictureLayer> Layer;
  bool Seamless = true;
  std::optional<uint32_t> Seed;  // makes this texture alone; recorded in the recipe when per-texture
  bool SeedInRecipe = false;
  std::optional<uint32_t> BatchSeed;  // the batch or variation run it belongs to
  std::optional<int64_t> Index;       // its place there, from 1

  json Recipe() const { return RecipeToJson(*Layer, Seamless, SeedInRecipe ? Seed : std::nullopt); }
};

// Whether numpy can be imported: pixels come as numpy arrays when it can,
// and as memoryviews of the same shape (no copy either way) when it cannot,
// so a Python without numpy can still make, save and look at textures.
bool HaveNumpy() {
  static const bool have = [] {
    try {
      py::module_::import("numpy");
      return true;
    } catch (const py::error_already_set&) {
      return false;
    }
  }();
  return have;
}

py::buffer_info PixelBuffer(const mvPicture& p) {
  return py::buffer_info(p.Pixels, 1, py::format_descriptor<uint8_t>::format(), 3, {p.Height, p.Width, 4},
                         {static_cast<py::ssize_t>(p.Stride), py::ssize_t{4}, py::ssize_t{1}});
}

// The pixels of a result (apply, load) as a memoryview keeps this alive.
struct PixelStore {
  std::unique_ptr<mvPicture> Picture;
};

py::object PixelsOf(py::object self) {
  Texture& t = self.cast<Texture&>();
  mvPictureLayer& l = *t.Layer;
  if (!HaveNumpy()) return py::memoryview(self);
  return py::array(py::dtype::of<uint8_t>(), {l.Height, l.Width, 4},
                   {static_cast<py::ssize_t>(l.Stride), py::ssize_t{4}, py::ssize_t{1}}, l.Pixels, self);
}

// A picture the array owns: no copy of the effect's result.
py::object OwningArray(std::unique_ptr<mvPicture> picture) {
  if (!HaveNumpy()) return py::memoryview(py::cast(PixelStore{std::move(picture)}));
  mvPicture* p = picture.release();
  py::capsule owner(p, [](void* q) { delete static_cast<mvPicture*>(q); });
  return py::array(py::dtype::of<uint8_t>(), {p->Height, p->Width, 4},
                   {static_cast<py::ssize_t>(p->Stride), py::ssize_t{4}, py::ssize_t{1}}, p->Pixels, owner);
}

// Pixels from Python: a (height, width, 4) or (height, width, 3) uint8 array,
// or a texture. Copied into an RGBA picture as the command line loads files.
std::unique_ptr<mvPicture> PictureFromPixels(py::handle pixels) {
  py::object source = py::reinterpret_borrow<py::object>(pixels);
  if (py::isinstance<Texture>(pixels)) {
    const mvPictureLayer& l = *pixels.cast<Texture&>().Layer;
    auto copy = std::make_unique<mvPicture>();
    if (!copy->Create(l.Width, l.Height, ColorTypeRGB, 8, 4)) RaiseMemory();
    CopyRect(*copy, 0, 0, l, l.Width, l.Height);
    return copy;
  }
  if (!HaveNumpy()) throw py::type_error("pixels other than a Texture need numpy, which this Python cannot import");
  py::array a = py::array::ensure(source);
  if (!a) RaiseValue("pixels must be a numpy array of shape (height, width, 4) or (height, width, 3)");
  if (!a.dtype().is(py::dtype::of<uint8_t>()))
    RaiseValue("pixels must be uint8, not " + py::str(a.dtype()).cast<std::string>());
  if (a.ndim() != 3 || (a.shape(2) != 4 && a.shape(2) != 3))
    RaiseValue("pixels must have the shape (height, width, 4) or (height, width, 3)");
  const int64_t h = a.shape(0), w = a.shape(1);
  if (!FitsReadLimits(w, h)) RaiseValue("a " + std::to_string(w) + " x " + std::to_string(h) + " picture is too large");
  const auto channels = static_cast<uint32_t>(a.shape(2));
  py::array_t<uint8_t, py::array::c_style> c = py::array_t<uint8_t, py::array::c_style>::ensure(a);
  auto out = std::make_unique<mvPicture>();
  mvPicture rows;  // three-channel pixels first, then converted as files are
  const int32_t width = static_cast<int32_t>(w), height = static_cast<int32_t>(h);
  if (!out->Create(width, height, ColorTypeRGB, 8, 4) ||
      (channels == 3 && !rows.Create(width, height, ColorTypeRGB, 8, 3)))
    RaiseMemory();
  const uint8_t* data = c.data();
  const size_t rowBytes = static_cast<size_t>(w) * channels;
  py::gil_scoped_release release;
  mvPicture& target = channels == 4 ? *out : rows;
  for (int32_t y = 0; y < height; ++y) std::memcpy(target.Row(y), data + static_cast<size_t>(y) * rowBytes, rowBytes);
  if (channels == 3) CopyRect(*out, 0, 0, rows, width, height);
  return out;
}

// ---- recipes -------------------------------------------------------------------

bool IsPath(py::handle h) {
  return py::isinstance<py::str>(h) || py::isinstance<py::bytes>(h) || py::hasattr(h, "__fspath__");
}

// Whether a file can be read is an OSError (FileNotFoundError, IsADirectoryError,
// ...); what it holds, a ValueError.
void CheckReadable(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  int error = fd < 0 ? errno : (::fstat(fd, &st) != 0 ? errno : (S_ISDIR(st.st_mode) ? EISDIR : 0));
  if (fd >= 0) ::close(fd);
  if (error) RaiseOS(error, path + ": " + std::strerror(error));
}

// The one place recipes are read from files (read_recipe, and vary and render
// given a path). ReadRecipeFile answers for every kind of recipe file the
// command line takes: JSON today, and PNG files that carry their recipe once it
// reads them. Should PNG reading come as a function of its own, it plugs in here.
void ReadRecipeAt(py::handle pathObject, Recipe& recipe) {
  const std::string path = PathText(pathObject);
  CheckReadable(path);
  std::string error;
  if (!ReadRecipeFile(path, recipe, error)) RaiseValue(error);
}

// A recipe given as a dict, a texture or a file path.
void RecipeArgument(py::handle value, Recipe& recipe) {
  std::string error;
  if (py::isinstance<Texture>(value)) {
    if (!RecipeFromJson(value.cast<Texture&>().Recipe(), recipe, error)) RaiseValue(error);
  } else if (IsPath(value)) {
    ReadRecipeAt(value, recipe);
  } else if (py::isinstance<py::dict>(value)) {
    if (!RecipeFromJson(JsonFromPython(value, "recipe"), recipe, error)) RaiseValue(error);
  } else {
    throw py::type_error("recipe must be a dict, a Texture or a path to a recipe file");
  }
}

py::object Optional(const std::optional<uint32_t>& v) { return v ? py::object(py::int_(*v)) : py::none(); }

// ---- arguments -----------------------------------------------------------------

constexpr const char* kSizeMessage = "Size must be between 1 and 5000.";

void CheckSize(int64_t w, int64_t h) {
  if (!limits::SizeValid(w, h)) RaiseValue(kSizeMessage);
}

void SizeArgument(py::handle size, int64_t& w, int64_t& h) {
  if (py::isinstance<py::int_>(size) && !py::isinstance<py::bool_>(size)) {
    w = h = size.cast<int64_t>();
  } else if (py::isinstance<py::sequence>(size) && !py::isinstance<py::str>(size) && py::len(size) == 2) {
    py::sequence s = py::reinterpret_borrow<py::sequence>(size);
    try {
      w = s[0].cast<int64_t>();
      h = s[1].cast<int64_t>();
    } catch (const py::cast_error&) {
      RaiseValue("size must be (width, height) in whole pixels");
    }
  } else {
    RaiseValue("size must be (width, height) or one number for a square");
  }
  CheckSize(w, h);
}

void CheckLevel(const char* name, int value, int lo) {
  if (value < lo || value > limits::kMaxLevel)
    RaiseValue(std::string(name) + " must be between " + std::to_string(lo) + " and " +
               std::to_string(limits::kMaxLevel));
}

uint32_t SeedArgument(const std::optional<int64_t>& seed) {
  if (!seed) return TickCount();
  if (*seed < 0 || *seed > int64_t{0xFFFFFFFF}) RaiseValue("seed must be between 0 and 4294967295");
  return static_cast<uint32_t>(*seed);
}

std::unique_ptr<mvPictureLayer> NewLayer(int64_t w, int64_t h) {
  auto layer = std::make_unique<mvPictureLayer>();
  if (!layer->Create(static_cast<int32_t>(w), static_cast<int32_t>(h), ColorTypeRGB, 8, 4)) RaiseMemory();
  return layer;
}

// ---- the module's functions ------------------------------------------------------

std::vector<Texture> Generate(int64_t count, std::optional<int64_t> seed, py::object size, int render, int filter,
                              int geometric, bool seamless, bool perTextureSeeds, int64_t first) {
  int64_t w, h;
  SizeArgument(size, w, h);
  if (count < limits::kMinBatch || count > limits::kMaxBatch) RaiseValue("Number must be between 1 and 1000.");
  CheckLevel("render", render, limits::kMinRenderLevel);
  CheckLevel("filter", filter, 0);
  CheckLevel("geometric", geometric, 0);
  if (first != 1 && !perTextureSeeds)
    RaiseValue("first needs per_texture_seeds: a batch made from one stream cannot start in the middle");
  if (first < 1 || first > int64_t{kMaxTextureIndex} - count + 1)
    RaiseValue("textures first .. first + count - 1 must lie within 1.." + std::to_string(kMaxTextureIndex));
  const uint32_t batchSeed = SeedArgument(seed);
  const GeneratorParametersT params{render, filter, geometric, seamless};
  mvRandom random;
  random.Seed(batchSeed);
  std::vector<Texture> out;
  out.reserve(static_cast<size_t>(count));
  py::gil_scoped_release release;
  for (int64_t i = first; i < first + count; ++i) {
    Texture t;
    t.Layer = NewLayer(w, h);
    t.Seamless = seamless;
    t.BatchSeed = batchSeed;
    t.Index = i;
    if (perTextureSeeds) {
      t.Seed = TextureSeed(batchSeed, static_cast<uint32_t>(i));
      t.SeedInRecipe = true;
      random.Seed(*t.Seed);
    } else if (i == 1) {
      t.Seed = batchSeed;  // the first texture of a stream is made from its seed alone
    }
    if (!GenerateTexture(*t.Layer, random, params))
      RaiseValue("texture " + std::to_string(i) + " could not be made; stopping");
    out.push_back(std::move(t));
    CheckSignals();
  }
  return out;
}

std::vector<Texture> Vary(py::object recipeArg, int64_t count, std::optional<int64_t> seed,
                          std::optional<bool> seamlessArg) {
  if (count < limits::kMinVariations || count > limits::kMaxVariations)
    RaiseValue("Number must be between 2 and 1000.");
  const uint32_t varySeed = SeedArgument(seed);
  Recipe recipe;
  RecipeArgument(recipeArg, recipe);
  const bool seamless = seamlessArg.value_or(recipe.Seamless);
  std::vector<Texture> out;
  py::gil_scoped_release release;
  mvPictureLayer source;
  if (!RenderRecipe(recipe, source)) RaiseMemory();
  mvRandom random;
  random.Seed(varySeed);
  for (int64_t i = 0; i < count; ++i) {
    Texture t;
    t.Layer.reset(source.Clone());
    if (!t.Layer) RaiseMemory();
    if (i > 0 && !MakeVariation(*t.Layer, random, seamless)) RaiseValue("the recipe has no effect to vary");
    t.Seamless = seamless;
    t.BatchSeed = varySeed;
    t.Index = i + 1;
    // The unchanged texture keeps the seed it was made from; variations have none of their own.
    if (i == 0 && recipe.Seed) {
      t.Seed = recipe.Seed;
      t.SeedInRecipe = true;
    }
    out.push_back(std::move(t));
    CheckSignals();
  }
  return out;
}

Texture Render(py::object recipeArg, py::object size, std::optional<double> scale) {
  Recipe recipe;
  RecipeArgument(recipeArg, recipe);
  int64_t w = recipe.Width, h = recipe.Height;
  if (!size.is_none() && scale) RaiseValue("give either size or scale, not both");
  if (!size.is_none()) SizeArgument(size, w, h);
  if (scale) {
    if (!(*scale > 0) || !std::isfinite(*scale)) RaiseValue("scale must be a positive number");
    const double sw = recipe.Width * *scale, sh = recipe.Height * *scale;
    // Checked before rounding, so no factor can overflow the rounding.
    if (!(sw < limits::kMaxSide + 0.5 && sh < limits::kMaxSide + 0.5)) RaiseValue(kSizeMessage);
    w = std::llround(sw);
    h = std::llround(sh);
    CheckSize(w, h);
  }
  Texture t;
  t.Layer = std::make_unique<mvPictureLayer>();
  t.Seamless = recipe.Seamless;
  t.Seed = recipe.Seed;
  t.SeedInRecipe = recipe.Seed.has_value();
  bool ok;
  {
    py::gil_scoped_release release;
    ok = RenderRecipe(recipe, *t.Layer, static_cast<int32_t>(w), static_cast<int32_t>(h));
  }
  if (!ok) RaiseMemory();
  return t;
}

py::object Apply(py::object effectArg, py::object pixels, std::optional<int64_t> opacity,
                 std::optional<int64_t> blendMode) {
  std::unique_ptr<mvEffect> effect;
  std::string error;
  if (py::isinstance<py::str>(effectArg)) {
    const std::string name = effectArg.cast<std::string>();
    const mvEffectClass* c = FindEffectClass(name);
    if (!c) RaiseValue("unknown effect \"" + name + "\" (orvelle.effects() lists them)");
    effect.reset(c->Create());
  } else if (py::isinstance<py::dict>(effectArg)) {
    if (!EffectFromDocument(JsonFromPython(effectArg, "effect"), effect, error)) RaiseValue(error);
  } else {
    throw py::type_error("effect must be a dict like an effect file, or an effect's name");
  }
  if (opacity) {
    if (*opacity < 0 || *opacity > 65535) RaiseValue("opacity must be between 0 and 65535");
    effect->Opacity = static_cast<uint32_t>(*opacity);
  }
  if (blendMode) {
    if (*blendMode < 0 || *blendMode > 17) RaiseValue("blend_mode must be between 0 and 17");
    effect->BlendMode = static_cast<uint32_t>(*blendMode);
  }
  std::unique_ptr<mvPicture> picture = PictureFromPixels(pixels);
  bool ok;
  {
    py::gil_scoped_release release;
    ok = ApplyTo(*effect, *picture);
  }
  if (!ok) RaiseValue(std::string(effect->Class().Name) + " could not be applied to this picture");
  return OwningArray(std::move(picture));
}

bool EndsWith(std::string text, const std::string& end) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void Save(py::object what, py::object pathObject, std::optional<bool> keepAlpha, int quality) {
  const std::string path = PathText(pathObject);
  if (quality < 0 || quality > 100) RaiseValue("quality must be between 0 and 100");
  std::string error;
  if (EndsWith(path, ".json")) {
    json doc;
    if (py::isinstance<Texture>(what)) {
      doc = what.cast<Texture&>().Recipe();
    } else if (py::isinstance<py::dict>(what)) {
      Recipe recipe;
      if (!RecipeFromJson(JsonFromPython(what, "recipe"), recipe, error)) RaiseValue(error);
      doc = RecipeToJson(recipe);
    } else {
      throw py::type_error("a .json file takes a Texture or a recipe dict");
    }
    errno = 0;
    if (!WriteJsonFile(path, doc, error)) RaiseOS(errno, error);
    return;
  }
  if (!CodecForPath(path.c_str()))
    RaiseValue(path + ": unknown image type (use .png, .jpg or .bmp, or .json for the recipe)");
  // Textures are flattened onto white as `generate` writes them; arrays are
  // written as they are, as `apply` writes its result.
  const bool isTexture = py::isinstance<Texture>(what);
  std::unique_ptr<mvPicture> picture;
  if (!isTexture) picture = PictureFromPixels(what);
  const mvPicture& source = isTexture ? *what.cast<Texture&>().Layer : *picture;
  const bool flatten = !keepAlpha.value_or(!isTexture);
  // A texture's PNG carries its recipe, as the command line writes it.
  const std::string recipe = isTexture ? what.cast<Texture&>().Recipe().dump() : std::string();
  bool ok;
  int savedErrno;
  {
    py::gil_scoped_release release;
    errno = 0;
    ok = SavePictureFile(path, source, flatten, quality, error, isTexture ? &recipe : nullptr);
    savedErrno = errno;
  }
  if (!ok) RaiseOS(savedErrno, error);
}

py::object Load(py::object pathObject) {
  const std::string path = PathText(pathObject);
  CheckReadable(path);
  auto picture = std::make_unique<mvPicture>();
  std::string error;
  bool ok;
  {
    py::gil_scoped_release release;
    ok = LoadPictureFile(path, *picture, error);
  }
  if (!ok) RaiseValue(error);
  return OwningArray(std::move(picture));
}

// Pickled as recipe, origin and pixels, so textures travel between processes
// (a cluster's workers) without rendering them again.
py::tuple TextureState(const Texture& t) {
  const mvPictureLayer& l = *t.Layer;
  std::string pixels;
  pixels.reserve(static_cast<size_t>(l.Width) * static_cast<size_t>(l.Height) * 4);
  for (int32_t y = 0; y < l.Height; ++y)
    pixels.append(reinterpret_cast<const char*>(l.Row(y)), static_cast<size_t>(l.Width) * 4);
  return py::make_tuple(t.Recipe().dump(), l.Width, l.Height, py::bytes(pixels), Optional(t.Seed), t.SeedInRecipe,
                        Optional(t.BatchSeed), t.Index ? py::object(py::int_(*t.Index)) : py::none());
}

Texture TextureFromState(const py::tuple& s) {
  if (s.size() != 8) RaiseValue("not a pickled orvelle.Texture");
  Recipe recipe;
  std::string error;
  json doc = json::parse(s[0].cast<std::string>(), nullptr, false);
  if (doc.is_discarded() || !RecipeFromJson(doc, recipe, error)) RaiseValue("pickled texture: " + error);
  const int64_t w = s[1].cast<int64_t>(), h = s[2].cast<int64_t>();
  const std::string pixels = s[3].cast<std::string>();
  if (!limits::SizeValid(w, h) || pixels.size() != static_cast<size_t>(w * h * 4))
    RaiseValue("pickled texture: the pixels do not fit its size");
  Texture t;
  t.Layer = NewLayer(recipe.Width, recipe.Height);
  for (const auto& e : recipe.Effects) {
    std::unique_ptr<mvEffect> copy(e->Clone());
    if (!copy || !t.Layer->AddEffect(copy.get(), false)) RaiseMemory();
    static_cast<void>(copy.release());  // the layer owns it now
  }
  // The picture may differ from the recipe's size (a quarter turn): as rendered.
  if (!t.Layer->mvPicture::Create(static_cast<int32_t>(w), static_cast<int32_t>(h), ColorTypeRGB, 8, 4)) RaiseMemory();
  for (int32_t y = 0; y < t.Layer->Height; ++y)
    std::memcpy(t.Layer->Row(y), pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(w) * 4,
                static_cast<size_t>(w) * 4);
  t.Seamless = recipe.Seamless;
  if (!s[4].is_none()) t.Seed = s[4].cast<uint32_t>();
  t.SeedInRecipe = s[5].cast<bool>();
  if (!s[6].is_none()) t.BatchSeed = s[6].cast<uint32_t>();
  if (!s[7].is_none()) t.Index = s[7].cast<int64_t>();
  return t;
}

}  // namespace

PYBIND11_MODULE(orvelle, m) {
  m.doc() =
      "Orvelle textures from Python: generate, vary, render and apply effects, with pixels as numpy arrays.\n"
      "The same arguments give the same bits as orvelle-cli.";
  m.attr("__version__") = ORVELLE_VERSION;
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const NotEnoughMemory&) {
      PyErr_SetString(PyExc_MemoryError, "Not enough memory.");
    }
  });

  py::class_<PixelStore>(m, "_Pixels", py::buffer_protocol()).def_buffer([](PixelStore& s) {
    return PixelBuffer(*s.Picture);
  });
  py::class_<Texture>(m, "Texture", py::buffer_protocol(), "A texture: its pixels, its recipe and where it came from.")
      .def_buffer([](Texture& t) { return PixelBuffer(*t.Layer); })
      .def_property_readonly(
          "pixels", &PixelsOf,
          "uint8 array of shape (height, width, 4), RGBA; a view of the texture's own pixels (a memoryview "
          "of that shape where numpy cannot be imported)")
      .def_property_readonly(
          "recipe", [](const Texture& t) { return PythonFromJson(t.Recipe()); },
          "The recipe as a dict, the same JSON as recipe files (a new dict each time)")
      .def_property_readonly(
          "seed", [](const Texture& t) { return Optional(t.Seed); },
          "The seed that makes this texture alone (generate(1, seed=...) with the same "
          "settings), or None when it was made from a stream's later draws")
      .def_property_readonly(
          "batch_seed", [](const Texture& t) { return Optional(t.BatchSeed); },
          "Seed of the batch or variation run it belongs to, or None")
      .def_property_readonly(
          "index", [](const Texture& t) { return t.Index ? py::object(py::int_(*t.Index)) : py::none(); },
          "Its place in that batch, from 1 (the file names' number), or None")
      .def_property_readonly("width", [](const Texture& t) { return t.Layer->Width; })
      .def_property_readonly("height", [](const Texture& t) { return t.Layer->Height; })
      .def_property_readonly("seamless", [](const Texture& t) { return t.Seamless; })
      .def("__repr__",
           [](const Texture& t) {
             std::string s =
                 "<orvelle.Texture " + std::to_string(t.Layer->Width) + "x" + std::to_string(t.Layer->Height);
             if (t.Index) s += " index=" + std::to_string(*t.Index);
             if (t.Seed) s += " seed=" + std::to_string(*t.Seed);
             return s + " effects=" + std::to_string(t.Layer->Effects.Count()) + ">";
           })
      .def(py::pickle(&TextureState, &TextureFromState));

  m.def("generate", &Generate, py::arg("count") = 12, py::arg("seed") = py::none(),
        py::arg("size") = py::make_tuple(120, 120), py::arg("render") = 2, py::arg("filter") = 3,
        py::arg("geometric") = 3, py::arg("seamless") = true, py::kw_only(), py::arg("per_texture_seeds") = false,
        py::arg("first") = 1,
        "Make count random textures (1..1000), as `orvelle-cli generate` does.\n"
        "seed: 0..4294967295, or None for the clock (each texture's batch_seed tells it).\n"
        "size: (width, height) or one number, each 1..5000. render 1..5, filter and geometric 0..5.\n"
        "per_texture_seeds: texture i is made from its own seed, a fixed function of seed and i, so\n"
        "any range of a batch can be made alone; first is the index of the first texture.");
  m.def("vary", &Vary, py::arg("recipe"), py::arg("count") = 12, py::arg("seed") = py::none(),
        py::arg("seamless") = py::none(),
        "Variations of a recipe (a dict, a Texture or a recipe file), as `orvelle-cli vary` does:\n"
        "count textures (2..1000), the first one unchanged. seamless defaults to the recipe's flag.");
  m.def("render", &Render, py::arg("recipe"), py::arg("size") = py::none(), py::arg("scale") = py::none(),
        "Render a recipe (a dict, a Texture or a recipe file) at its own size, at size=(width, height)\n"
        "or at scale times its size, as `orvelle-cli render` does.");
  m.def("apply", &Apply, py::arg("effect"), py::arg("pixels"), py::kw_only(), py::arg("opacity") = py::none(),
        py::arg("blend_mode") = py::none(),
        "Apply one effect to pixels ((height, width, 4) or (height, width, 3) uint8, or a Texture) and\n"
        "answer a new (height, width, 4) array, as `orvelle-cli apply` does. effect is a dict like an\n"
        "effect file (or a recipe holding one effect), or a name as `--effect` takes it.");
  m.def(
      "effects", [] { return PythonFromJson(EffectListJson()); },
      "Every effect with its id, class name and fields: the list `orvelle-cli effects --json` prints.");
  m.def(
      "read_recipe",
      [](py::object path) {
        Recipe recipe;
        ReadRecipeAt(path, recipe);
        return PythonFromJson(RecipeToJson(recipe));
      },
      py::arg("path"), "Read a recipe file and answer it as a dict.");
  m.def("save", &Save, py::arg("texture"), py::arg("path"), py::kw_only(), py::arg("keep_alpha") = py::none(),
        py::arg("quality") = 90,
        "Write a Texture, or an array of pixels, by the path's extension (.png, .jpg, .bmp), the\n"
        "way orvelle-cli does: textures flattened onto white unless keep_alpha, arrays as they are.\n"
        "A .json path writes the recipe (of a Texture, or a recipe dict). Written atomically.");
  m.def("load", &Load, py::arg("path"), "Read a BMP, PNG or JPEG file into a (height, width, 4) uint8 array.");
  m.def(
      "threads", [] { return parallel::ThreadCount(); }, "Threads pixel work runs on.");
  m.def(
      "set_threads",
      [](int n) {
        if (n < 0 || n > parallel::kMaxThreads)
          RaiseValue("threads must be between 1 and " + std::to_string(parallel::kMaxThreads) + " (0: the default)");
        parallel::SetThreadCount(n);
      },
      py::arg("threads"),
      "Threads for pixel work, 1..256; 0 goes back to the default (ORVELLE_THREADS, else every core).\n"
      "Any count gives the same bits.");
}
