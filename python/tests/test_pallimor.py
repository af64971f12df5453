"""The pallimor module against pallimor-cli's files: the same pixels, the same maps, the same
messages; and the Dask example's data set against the files the CLI writes for its seeds."""

import importlib.util
import json
import os
import subprocess
import sys
import threading

import numpy as np
import pallimor
import pytest
from PIL import Image

CLI = os.environ.get("PALLIMOR_CLI", "pallimor-cli")
EXAMPLE = os.path.join(os.path.dirname(__file__), "..", "examples", "dask_dataset.py")


def cli_args(options):
    """--name value pairs of keyword options."""
    args = []
    for key, value in options.items():
        args += ["--" + key.replace("_", "-"), str(value)]
    return args


def cli_generate(tmp_path, args, name="cli.png"):
    """Runs pallimor-cli generate with args writing name in tmp_path; the file's path."""
    out = str(tmp_path / name)
    subprocess.run([CLI, "generate", *args, "--out", out, "--quiet"], check=True)
    return out


def rgba_of(path):
    """A PNG's pixels as R, G, B, A (opaque where the file has no alpha)."""
    with Image.open(path) as image:
        return np.asarray(image.convert("RGBA"))


def first_difference(a, b):
    at = tuple(np.argwhere(a != b)[0])
    return "first difference at %s: module %s, CLI %s" % (at, a[at[:2]], b[at[:2]])


# Defaults; a non-default effect with hard brushes and wrapped tiling; a transparent ground
# (the file is RGBA, straight alpha); a palette with gradient background.
CASES = [
    dict(seed=1, size=128),
    dict(seed=7, size=64, effect="glow", brush_type="hard", tiling="wrap", bg_color="#20A040"),
    dict(seed=3, size=128, bg_fill="none", effect="add", steps=256),
    dict(seed=0x2A, size=64, palette="moss", bg_fill="h-grad", bg_form="circle"),
]


@pytest.mark.parametrize("options", CASES, ids=lambda o: "seed%d" % o["seed"])
def test_texture_is_the_cli_files_pixels(tmp_path, options):
    pixels = pallimor.generate(**options)
    expected = rgba_of(cli_generate(tmp_path, cli_args(options)))
    assert pixels.dtype == np.uint8 and pixels.shape == (options["size"], options["size"], 4)
    assert np.array_equal(pixels, expected), first_difference(pixels, expected)
    if options.get("bg_fill") == "none":
        # Where nothing was drawn the ground stays see-through: the alpha is the coverage.
        assert pixels[..., 3].min() < 255


def test_recipe_code_makes_the_same_texture_as_the_cli(tmp_path):
    code = pallimor.recipe(seed=5, size=64, effect="shadow", turn_freq=90)
    listed = subprocess.run(
        [CLI, "generate", "--seed", "5", "--size", "64", "--effect", "shadow", "--turn-freq", "90", "--json"],
        check=True, capture_output=True, text=True).stdout
    assert json.loads(listed)["textures"][0]["recipe"] == code
    pixels = pallimor.generate(recipe=code)
    expected = rgba_of(cli_generate(tmp_path, ["--recipe", code]))
    assert np.array_equal(pixels, expected), first_difference(pixels, expected)
    assert np.array_equal(pixels, pallimor.generate(seed=5, size=64, effect="shadow", turn_freq=90))


def test_maps_are_the_cli_map_files(tmp_path):
    options = dict(seed=11, size=128, tiling="wrap-x")
    map_options = dict(height_blur=2, normal_strength="2.5", normal_y="down", ao_radius=16, roughness="0.2,0.8")
    out = cli_generate(tmp_path, cli_args(options) + cli_args(map_options) + ["--maps", "height,normal,roughness,ao"])
    maps = pallimor.maps(pallimor.generate(**options), maps=("height", "normal", "roughness", "ao"),
                         tiling="wrap-x", **map_options)
    stem = out[: -len(".png")]
    with Image.open(stem + "_height.png") as image:
        # 16-bit grey (Pillow reads it as 32-bit integers).
        assert image.mode in ("I", "I;16")
        height = np.asarray(image)
    assert maps["height"].dtype == np.uint16 and np.array_equal(maps["height"], height)
    assert maps["normal"].shape == (128, 128, 3)
    for kind in ("normal", "roughness", "ao"):
        with Image.open("%s_%s.png" % (stem, kind)) as image:
            assert np.array_equal(maps[kind], np.asarray(image)), kind
    # Only what is asked for.
    assert set(pallimor.maps(maps["normal"], maps="height")) == {"height"}


def cli_error(args):
    """pallimor-cli generate's message for a bad command line, without its program prefix."""
    run = subprocess.run([CLI, "generate", *args, "--out", "unused.png"], capture_output=True, text=True)
    assert run.returncode == 2
    return run.stderr.strip().removeprefix("pallimor-cli generate: ")


@pytest.mark.parametrize(
    "kwargs, args",
    [
        (dict(recipe="P1.size=300.seed=1"), ["--recipe", "P1.size=300.seed=1"]),
        (dict(recipe="X9.seed=00000001"), ["--recipe", "X9.seed=00000001"]),
        (dict(effect="sparkle"), ["--effect", "sparkle"]),
        (dict(bg_color="12345"), ["--bg-color", "12345"]),
        (dict(steps=4096), ["--steps", "4096"]),
        (dict(seed=-1), ["--seed", "-1"]),
        (dict(recipe="P1.seed=00000001", effect="glow"), ["--recipe", "P1.seed=00000001", "--effect", "glow"]),
        (dict(recipe="P1.seed=00000001", seed=1), ["--recipe", "P1.seed=00000001", "--seed", "1"]),
        (dict(recipe="P1.seed=00000001", palette="moss"), ["--recipe", "P1.seed=00000001", "--palette", "moss"]),
        (dict(palette_colors=4), ["--palette-colors", "4"]),
        (dict(palette_colors=40, palette="moss"), ["--palette-colors", "40", "--palette", "moss"]),
        (dict(preset="nope"), ["--preset", "nope"]),
        (dict(recipe="P1.seed=00000001", preset="moss"), ["--recipe", "P1.seed=00000001", "--preset", "moss"]),
        (dict(layers="cells:cells=0"), ["--layers", "cells:cells=0"]),
        (dict(normal_strength=2), ["--normal-strength", "2"]),
    ],
)
def test_a_bad_value_raises_the_cli_message(kwargs, args):
    with pytest.raises(ValueError) as raised:
        pallimor.generate(**kwargs)
    assert str(raised.value) == cli_error(args)


def test_unknown_parameters_and_map_options_raise():
    for call in (lambda: pallimor.generate(seed=1, sparkle=1),
                 lambda: pallimor.maps(np.zeros((8, 8, 4), np.uint8), maps="height,bump"),
                 lambda: pallimor.maps(np.zeros((8, 8, 4), np.uint8), ao_radius=0),
                 lambda: pallimor.maps(np.zeros((8, 8), np.uint8))):
        with pytest.raises(ValueError):
            call()


def test_threads_at_once_make_what_one_thread_makes():
    # Each call has its own generator and random sequence: two threads drawing at once (the GIL
    # released) must not disturb each other's seeds.
    seeds = [21, 22, 23, 24]
    alone = {seed: pallimor.generate(seed=seed, size=64, effect="stroke") for seed in seeds}
    together = {}

    def draw(part):
        for seed in part:
            together[seed] = pallimor.generate(seed=seed, size=64, effect="stroke", threads=2)

    workers = [threading.Thread(target=draw, args=(seeds[i::2],)) for i in range(2)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    for seed in seeds:
        assert np.array_equal(alone[seed], together[seed]), seed


def test_dask_example_writes_the_cli_textures(tmp_path):
    found = importlib.util.spec_from_file_location("dask_dataset", EXAMPLE)
    example = importlib.util.module_from_spec(found)
    sys.modules[found.name] = example
    found.loader.exec_module(example)
    made = example.make_dataset(str(tmp_path / "set"), count=8, size=128)
    assert len(made) == 8
    manifest = (tmp_path / "set" / "manifest.txt").read_text().splitlines()
    for (name, seed, options), line in zip(made, manifest):
        expected = rgba_of(cli_generate(tmp_path, ["--seed", str(seed), "--size", "128"] + cli_args(options),
                                        "cli-%d.png" % seed))
        pixels = rgba_of(name)
        assert np.array_equal(pixels, expected), (seed, first_difference(pixels, expected))
        code, file = line.split(" ")
        assert file == os.path.basename(name)
        assert np.array_equal(pallimor.generate(recipe=code), expected), seed
