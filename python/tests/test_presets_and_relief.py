"""Presets and layers in the pallimor module against pallimor-cli's files: a preset's texture, the
options given beside it winning over its values, a layer stack, the presets listed, and the maps a
layered texture gets from its relief (generate(maps=...)) as generate --maps writes them."""

import os
import subprocess

import numpy as np
import pallimor
import pytest
from PIL import Image

CLI = os.environ.get("PALLIMOR_CLI", "pallimor-cli")
MAPS = ("height", "normal", "roughness", "ao")


def cli_args(options):
    args = []
    for key, value in options.items():
        args += ["--" + key.replace("_", "-"), str(value)]
    return args


def cli_generate(tmp_path, args):
    out = str(tmp_path / "cli.png")
    subprocess.run([CLI, "generate", *args, "--out", out, "--quiet"], check=True)
    return out


def read_png(path, mode=None):
    with Image.open(path) as image:
        return np.asarray(image.convert(mode) if mode else image)


# A preset; a palette and a parameter given beside it (each wins over the preset's own); a layer
# stack over the tile.
TEXTURES = [
    dict(preset="brick-wall", seed=5, size=128),
    dict(preset="brick-wall", seed=5, size=128, palette="ember"),
    dict(preset="cobblestone", seed=9, size=128, tiling="mirror"),
    dict(seed=3, size=128, layers="cells:cells=9,tile:blend=multiply"),
]


@pytest.mark.parametrize("options", TEXTURES, ids=lambda o: "-".join(str(v) for v in o.values()))
def test_texture_is_the_cli_files_pixels(tmp_path, options):
    pixels = pallimor.generate(**options)
    expected = read_png(cli_generate(tmp_path, cli_args(options)), "RGBA")
    assert np.array_equal(pixels, expected)


def test_an_option_beside_a_preset_changes_its_texture():
    preset = pallimor.generate(preset="brick-wall", seed=5, size=128)
    assert not np.array_equal(preset, pallimor.generate(preset="brick-wall", seed=5, size=128, palette="ember"))


def test_presets_are_the_cli_list():
    listed = subprocess.run([CLI, "presets"], check=True, capture_output=True, text=True).stdout
    expected = [tuple(line.split(None, 1)) for line in listed.splitlines()]
    assert pallimor.presets() == expected and len(expected) > 1


# The relief's maps with a map option, and the lightness's (height_from) for the same texture.
RELIEF_MAPS = [
    dict(preset="brick-wall", seed=5, size=128, normal_strength=2),
    dict(preset="brick-wall", seed=5, size=128, height_from="luminance"),
]


@pytest.mark.parametrize("options", RELIEF_MAPS, ids=lambda o: list(o)[-1])
def test_maps_are_the_cli_map_files(tmp_path, options):
    pixels, seed, code, maps = pallimor.generate(maps=",".join(MAPS), return_info=True, **options)
    out = cli_generate(tmp_path, cli_args(options) + ["--maps", ",".join(MAPS)])
    assert np.array_equal(pixels, read_png(out, "RGBA")) and seed == 5 and "layers=" in code
    assert list(maps) == list(MAPS) and maps["height"].dtype == np.uint16
    for kind in MAPS:
        assert np.array_equal(maps[kind], read_png(out[: -len(".png")] + "_%s.png" % kind)), kind


def test_maps_without_layers_or_info():
    # A texture without layers: its lightness, as maps() makes them from its array.
    pixels, maps = pallimor.generate(seed=2, size=64, tiling="wrap", maps=("height", "normal"))
    assert set(maps) == {"height", "normal"}
    from_array = pallimor.maps(pixels, maps=("height", "normal"), tiling="wrap")
    assert all(np.array_equal(maps[kind], from_array[kind]) for kind in maps)
