"""The Python module against orvelle-cli: the same files for the same arguments,
the same refusals, and what only the module has (arrays, pickling, threads)."""
import json
import os
import pickle
import subprocess
import sys
import threading

import numpy as np
import pytest

import orvelle

CLI = os.environ["ORVELLE_CLI"]


def cli(*args, cwd=None):
    return subprocess.run([CLI, *map(str, args)], cwd=cwd, capture_output=True, text=True)


def files(folder):
    return {name: (folder / name).read_bytes() for name in sorted(os.listdir(folder))}


def save_all(textures, folder, fmt="png", **kw):
    folder.mkdir(exist_ok=True)
    for t in textures:
        orvelle.save(t, folder / ("texture-%04d.%s" % (t.index, fmt)), **kw)
        orvelle.save(t, folder / ("texture-%04d.recipe.json" % t.index))


def splitmix_seed(batch, index):
    m = (1 << 64) - 1
    z = ((batch << 32 | index) + 0x9E3779B97F4A7C15) & m
    z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & m
    z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & m
    return (z ^ (z >> 31)) >> 32


@pytest.fixture(scope="module")
def recipe_file(tmp_path_factory):
    folder = tmp_path_factory.mktemp("source")
    assert cli("generate", "-n", 1, "--seed", 11, "--size", "30x20", "-o", folder).returncode == 0
    return folder / "texture-0001.recipe.json"


@pytest.fixture(scope="module")
def picture(tmp_path_factory):
    """A small picture with transparent pixels, as a file and as an array."""
    y, x = np.mgrid[0:13, 0:17]
    pixels = np.stack([x * 15, y * 19, (x * y) % 256, np.where(x > 8, 255, 90)], axis=-1).astype(np.uint8)
    path = tmp_path_factory.mktemp("picture") / "in.png"
    orvelle.save(pixels, path)
    return path, pixels


# Each case: the command line's arguments (OUT is the output folder, RECIPE and
# IN the shared inputs) and the module's way to the same files.
SAME_FILES = {
    "generate": (["generate", "-n", 3, "--seed", 7, "--size", "40x24", "-o", "OUT"],
                 lambda out, r, p: save_all(orvelle.generate(3, seed=7, size=(40, 24)), out)),
    "generate shard, levels, bmp": (
        ["generate", "--seed", 42, "--per-texture-seeds", "--first", 5001, "--count", 3, "--size", "32x20",
         "--render", 3, "--filter", 1, "--geometric", 5, "--no-seamless", "--format", "bmp", "-o", "OUT"],
        lambda out, r, p: save_all(orvelle.generate(3, seed=42, size=(32, 20), render=3, filter=1, geometric=5,
                                                    seamless=False, per_texture_seeds=True, first=5001), out, "bmp")),
    "generate keep alpha, jpg": (
        ["generate", "-n", 2, "--seed", 3, "--size", "24x24", "--keep-alpha", "--format", "jpg", "--quality", 70,
         "-o", "OUT"],
        lambda out, r, p: save_all(orvelle.generate(2, seed=3, size=24), out, "jpg", keep_alpha=True, quality=70)),
    "vary": (["vary", "RECIPE", "-n", 3, "--seed", 5, "--no-seamless", "-o", "OUT"],
             lambda out, r, p: save_all(orvelle.vary(r, 3, seed=5, seamless=False), out)),
    "render scale": (["render", "RECIPE", "--scale", 2, "OUT/big.png"],
                     lambda out, r, p: orvelle.save(orvelle.render(r, scale=2), out / "big.png")),
    "render size": (["render", "RECIPE", "--size", "50x31", "--keep-alpha", "OUT/s.bmp"],
                    lambda out, r, p: orvelle.save(orvelle.render(str(r), size=(50, 31)), out / "s.bmp",
                                                   keep_alpha=True)),
    "apply by name": (["apply", "--effect", "swirl", "--param", "Angle=90", "IN", "OUT/a.png"],
                      lambda out, r, p: orvelle.save(orvelle.apply({"name": "swirl", "params": {"Angle": 90}},
                                                                   orvelle.load(p)), out / "a.png")),
    "apply effect file": (["apply", "EFFECT", "--opacity", 32768, "--blend-mode", 1, "IN", "OUT/e.jpg"],
                          lambda out, r, p: orvelle.save(orvelle.apply({"type": 17, "params": {"Depth": 2}},
                                                                       orvelle.load(p), opacity=32768, blend_mode=1),
                                                         out / "e.jpg")),
}


@pytest.mark.parametrize("case", SAME_FILES)
def test_same_files_as_the_command_line(case, tmp_path, recipe_file, picture):
    args, make = SAME_FILES[case]
    effect = tmp_path / "emboss.json"
    effect.write_text('{"type": 17, "params": {"Depth": 2}}')
    (tmp_path / "cli").mkdir()
    (tmp_path / "py").mkdir()
    subst = {"RECIPE": recipe_file, "IN": picture[0], "EFFECT": effect}
    run = cli(*[str(subst.get(a, a)).replace("OUT", str(tmp_path / "cli")) for a in args])
    assert run.returncode == 0, run.stderr
    make(tmp_path / "py", recipe_file, picture[0])
    expected = files(tmp_path / "cli")
    assert expected and files(tmp_path / "py") == expected


def test_effects_is_the_command_lines_listing():
    assert orvelle.effects() == json.loads(cli("effects", "--json").stdout)


def test_per_texture_seeds_and_what_seed_means(tmp_path):
    whole = orvelle.generate(6, seed=9, size=(20, 12), per_texture_seeds=True)
    shard = orvelle.generate(2, seed=9, size=(20, 12), per_texture_seeds=True, first=4)
    for t in whole:
        assert (t.index, t.batch_seed, t.seed) == (t.index, 9, splitmix_seed(9, t.index))
        assert t.recipe["seed"] == t.seed
    for t in shard:
        assert np.array_equal(t.pixels, whole[t.index - 1].pixels)
    # A seed makes its texture alone: texture 1 of a batch of that seed.
    alone = orvelle.generate(1, seed=whole[4].seed, size=(20, 12))[0]
    assert np.array_equal(alone.pixels, whole[4].pixels) and "seed" not in alone.recipe
    # In one stream only the first texture has a seed of its own.
    stream = orvelle.generate(3, seed=9, size=(20, 12))
    assert [t.seed for t in stream] == [9, None, None] and [t.batch_seed for t in stream] == [9] * 3
    assert orvelle.generate(1, size=8)[0].batch_seed is not None  # the clock's, told
    # vary keeps the seed on the unchanged texture only; render keeps the recipe's.
    varied = orvelle.vary(whole[1], 3, seed=1)
    assert [v.seed for v in varied] == [whole[1].seed, None, None]
    assert varied[0].recipe == whole[1].recipe and np.array_equal(varied[0].pixels, whole[1].pixels)
    assert orvelle.render(whole[1].recipe).seed == whole[1].seed


def test_arrays_are_views_that_outlive_their_texture(picture):
    t = orvelle.generate(1, seed=5, size=(33, 21))[0]
    a = t.pixels
    assert (a.shape, a.dtype) == ((21, 33, 4), np.uint8)
    assert np.shares_memory(a, t.pixels)
    copy = a.copy()
    del t
    assert np.array_equal(a, copy)  # the view keeps the texture alive
    pixels = picture[1]
    before = pixels.copy()
    out = orvelle.apply("mirror", pixels)
    assert np.array_equal(pixels, before) and np.array_equal(out, pixels[:, ::-1])
    # Three channels become opaque RGBA, as files without alpha do; any strides are taken.
    rgb = np.ascontiguousarray(pixels[:, :, :3])
    assert np.array_equal(orvelle.apply({"type": 519, "opacity": 0}, rgb[:, ::-1])[:, :, 3], np.full((13, 17), 255))
    assert orvelle.apply("RotateRight", pixels).shape == (17, 13, 4)


def test_without_numpy_pixels_are_memoryviews(tmp_path):
    # A Python that cannot import numpy still makes, applies and saves textures.
    code = ("import sys; sys.modules['numpy'] = None; import orvelle\n"
            "t = orvelle.generate(1, seed=5, size=(33, 21))[0]; m = t.pixels; del t\n"
            "a = orvelle.apply('mirror', orvelle.generate(1, seed=5, size=(33, 21))[0])\n"
            "print(type(m).__name__, m.shape, m.tolist()[0][32] == a.tolist()[0][0])\n"
            "try: orvelle.apply('mirror', [[[0, 0, 0, 0]]])\n"
            "except TypeError as e: print('numpy' in str(e))\n")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert out.stdout.split("\n")[:2] == ["memoryview (21, 33, 4) True", "True"], out.stderr


def test_pickled_textures_keep_pixels_recipe_and_origin():
    turned = orvelle.render({"format": "orvelle-recipe", "width": 6, "height": 4, "seamless": True,
                             "effects": [{"type": 128}, {"type": 515}]})
    for t in orvelle.generate(2, seed=3, size=(9, 7), per_texture_seeds=True, first=8) + [turned]:
        back = pickle.loads(pickle.dumps(t))
        assert np.array_equal(back.pixels, t.pixels)
        assert (back.recipe, back.seed, back.batch_seed, back.index) == (t.recipe, t.seed, t.batch_seed, t.index)
    assert turned.pixels.shape == (6, 4, 4)


def test_threads_give_the_same_bits():
    def make():
        return [t.pixels.copy() for t in orvelle.generate(4, seed=21, size=(64, 48), per_texture_seeds=True)]

    reference = make()
    results = [None, None]

    def worker(k):
        results[k] = make()

    threads = [threading.Thread(target=worker, args=(k,)) for k in range(2)]
    for th in threads:
        th.start()
    for th in threads:
        th.join()
    previous = orvelle.threads()
    try:
        orvelle.set_threads(1)
        single = make()
    finally:
        orvelle.set_threads(previous)
    for other in results + [single]:
        assert all(np.array_equal(a, b) for a, b in zip(reference, other))


def test_read_recipe_and_save_recipe(tmp_path, recipe_file):
    recipe = orvelle.read_recipe(recipe_file)
    assert recipe == json.loads(recipe_file.read_text())
    orvelle.save(recipe, tmp_path / "copy.recipe.json")
    assert (tmp_path / "copy.recipe.json").read_bytes() == recipe_file.read_bytes()


NAN = float("nan")
loop = {}
loop["self"] = loop
SMALL = {"format": "orvelle-recipe", "width": 5, "height": 5, "effects": [{"type": 128}]}

# What the command line refuses, refused alike: (call, error, words of the message).
REFUSED = [
    (lambda r, t: orvelle.generate(0), ValueError, "Number must be between 1 and 1000."),
    (lambda r, t: orvelle.generate(1001), ValueError, "Number must be between 1 and 1000."),
    (lambda r, t: orvelle.generate(1, size=(5001, 10)), ValueError, "Size must be between 1 and 5000."),
    (lambda r, t: orvelle.generate(1, size=0), ValueError, "Size must be between 1 and 5000."),
    (lambda r, t: orvelle.generate(1, size=(3, 4, 5)), ValueError, "size must be"),
    (lambda r, t: orvelle.generate(1, render=0), ValueError, "render must be between 1 and 5"),
    (lambda r, t: orvelle.generate(1, filter=6), ValueError, "filter must be between 0 and 5"),
    (lambda r, t: orvelle.generate(1, geometric=-1), ValueError, "geometric must be between 0 and 5"),
    (lambda r, t: orvelle.generate(1, seed=2**32), ValueError, "seed must be between 0 and 4294967295"),
    (lambda r, t: orvelle.generate(1, seed=-1), ValueError, "seed must be"),
    (lambda r, t: orvelle.generate(2, first=3), ValueError, "first needs per_texture_seeds"),
    (lambda r, t: orvelle.generate(2, per_texture_seeds=True, first=2**32 - 1), ValueError, "1..4294967295"),
    (lambda r, t: orvelle.generate(1, per_texture_seeds=True, first=0), ValueError, "1..4294967295"),
    (lambda r, t: orvelle.vary(r, 1), ValueError, "Number must be between 2 and 1000."),
    (lambda r, t: orvelle.vary({}, 2), ValueError, "not an Orvelle recipe"),
    (lambda r, t: orvelle.vary(dict(SMALL, effects=[]), 2), ValueError, "the recipe has no effect to vary"),
    (lambda r, t: orvelle.vary(42, 2), TypeError, "recipe must be"),
    (lambda r, t: orvelle.render(r, size=(9, 9), scale=2), ValueError, "either size or scale"),
    (lambda r, t: orvelle.render(r, scale=1000), ValueError, "Size must be between 1 and 5000."),
    (lambda r, t: orvelle.render(r, scale=1e308), ValueError, "Size must be between 1 and 5000."),
    (lambda r, t: orvelle.render(r, scale=0.001), ValueError, "Size must be between 1 and 5000."),
    (lambda r, t: orvelle.render(r, scale=NAN), ValueError, "scale must be a positive number"),
    (lambda r, t: orvelle.render(dict(SMALL, width=0)), ValueError, "width"),
    (lambda r, t: orvelle.render(dict(SMALL, seed=-3)), ValueError, "seed"),
    (lambda r, t: orvelle.render(dict(SMALL, effects=[{"type": 128, "params": {"PaintMode": NAN}}])),
     ValueError, "not a finite number"),
    (lambda r, t: orvelle.render(dict(SMALL, effects=[{"type": 128, "params": {"PaintMode": 2**70}}])),
     ValueError, "PaintMode"),
    (lambda r, t: orvelle.render(dict(SMALL, effects=loop)), ValueError, "nested too deeply"),
    (lambda r, t: orvelle.render(dict(SMALL, effects=[{1: 2}])), ValueError, "not a string"),
    (lambda r, t: orvelle.render(dict(SMALL, effects=[object()])), ValueError, "cannot be held in a recipe"),
    (lambda r, t: orvelle.read_recipe(t / "missing.json"), FileNotFoundError, "missing.json"),
    (lambda r, t: orvelle.read_recipe(t), IsADirectoryError, ""),
    (lambda r, t: orvelle.read_recipe(t / "bad.json"), ValueError, "JSON"),
    (lambda r, t: orvelle.apply("NoSuchThing", np.zeros((2, 2, 4), np.uint8)), ValueError, "unknown effect"),
    (lambda r, t: orvelle.apply({"name": "mirror", "params": {"Bogus": 1}}, np.zeros((2, 2, 4), np.uint8)),
     ValueError, "unknown field \"Bogus\""),
    (lambda r, t: orvelle.apply(dict(SMALL, effects=[{"type": 128}] * 2), np.zeros((2, 2, 4), np.uint8)),
     ValueError, "exactly one effect"),
    (lambda r, t: orvelle.apply("mirror", np.zeros((2, 2, 4))), ValueError, "uint8"),
    (lambda r, t: orvelle.apply("mirror", np.zeros((2, 2, 2), np.uint8)), ValueError, "shape"),
    (lambda r, t: orvelle.apply("mirror", np.zeros((0, 2, 4), np.uint8)), ValueError, "too large"),
    (lambda r, t: orvelle.apply("mirror", np.zeros((2, 2, 4), np.uint8), opacity=70000), ValueError, "opacity"),
    (lambda r, t: orvelle.apply("mirror", np.zeros((2, 2, 4), np.uint8), blend_mode=18), ValueError, "blend_mode"),
    (lambda r, t: orvelle.save(orvelle.render(r), t / "x.txt"), ValueError, "unknown image type"),
    (lambda r, t: orvelle.save(orvelle.render(r), t / "no" / "x.png"), OSError, "x.png"),
    (lambda r, t: orvelle.save(orvelle.render(r), t / "no" / "x.json"), FileNotFoundError, "x.json"),
    (lambda r, t: orvelle.save(orvelle.render(r), t / "x.png", quality=101), ValueError, "quality"),
    (lambda r, t: orvelle.load(t / "bad.json"), ValueError, "not an image file"),
    (lambda r, t: orvelle.set_threads(257), ValueError, "threads must be between 1 and 256"),
]


@pytest.mark.parametrize("call, error, words", REFUSED, ids=[w or e.__name__ for _, e, w in REFUSED])
def test_refused_as_the_command_line_refuses(call, error, words, tmp_path, recipe_file):
    (tmp_path / "bad.json").write_text("{not json")
    with pytest.raises(error) as e:
        call(recipe_file, tmp_path)
    assert words in str(e.value)
