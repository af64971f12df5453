"""The pallimor module's keywords take numpy's numbers as Python's own (booleans refused), and
generate(return_info=True) tells the seed and the recipe code a texture was made from: the ones
pallimor-cli generate --json lists, which make the same texture again."""

import json
import os
import subprocess

import numpy as np
import pallimor
import pytest

CLI = os.environ.get("PALLIMOR_CLI", "pallimor-cli")


class Index:
    """Not an int, but usable as one (operator.index)."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


def cli_json(args):
    """The textures pallimor-cli generate --json lists for args."""
    listed = subprocess.run([CLI, "generate", *args, "--json"], check=True, capture_output=True, text=True)
    return json.loads(listed.stdout)["textures"]


# Each numpy (or __index__) number against the Python number it stands for.
GENERATE_NUMBERS = [
    ("int64 seed", dict(seed=np.int64(5), size=64), dict(seed=5, size=64)),
    ("uint32 seed at the top", dict(seed=np.uint32(0xFFFFFFFF), size=64), dict(seed=0xFFFFFFFF, size=64)),
    ("int32 size", dict(seed=9, size=np.int32(64)), dict(seed=9, size=64)),
    ("int16 steps", dict(seed=9, size=64, steps=np.int16(256)), dict(seed=9, size=64, steps=256)),
    ("uint8 turn_freq", dict(seed=9, size=64, turn_freq=np.uint8(90)), dict(seed=9, size=64, turn_freq=90)),
    ("int8 threads", dict(seed=4, size=64, threads=np.int8(2)), dict(seed=4, size=64)),
    ("__index__ seed", dict(seed=Index(12), size=Index(64)), dict(seed=12, size=64)),
]


@pytest.mark.parametrize("given, plain", [row[1:] for row in GENERATE_NUMBERS],
                         ids=[row[0] for row in GENERATE_NUMBERS])
def test_numpy_integers_are_taken_as_ints(given, plain):
    assert np.array_equal(pallimor.generate(**given), pallimor.generate(**plain))


MAP_NUMBERS = [
    ("float64 strength", dict(normal_strength=np.float64(2.5)), dict(normal_strength=2.5)),
    ("float32 strength", dict(normal_strength=np.float32(2.5)), dict(normal_strength=2.5)),
    ("float32 0.1", dict(normal_strength=np.float32(0.1)), dict(normal_strength=0.1)),
    ("int64 blur", dict(height_blur=np.int64(3)), dict(height_blur=3)),
    ("uint16 radius", dict(ao_radius=np.uint16(16)), dict(ao_radius=16)),
]


@pytest.mark.parametrize("given, plain", [row[1:] for row in MAP_NUMBERS], ids=[row[0] for row in MAP_NUMBERS])
def test_numpy_numbers_are_taken_by_maps(given, plain):
    texture = pallimor.generate(seed=2, size=64)
    kinds = ("height", "normal", "ao")
    made, expected = pallimor.maps(texture, maps=kinds, **given), pallimor.maps(texture, maps=kinds, **plain)
    for kind in kinds:
        assert np.array_equal(made[kind], expected[kind]), kind
    # A strength that differs does show: the comparison above is no accident of flat maps.
    if "normal_strength" in plain:
        other = pallimor.maps(texture, maps="normal", normal_strength=plain["normal_strength"] + 1)
        assert not np.array_equal(other["normal"], expected["normal"])


@pytest.mark.parametrize(
    "call",
    [
        lambda value: pallimor.generate(seed=value, size=64),
        lambda value: pallimor.generate(seed=1, size=value),
        lambda value: pallimor.generate(seed=1, size=64, steps=value),
        lambda value: pallimor.maps(np.zeros((8, 8, 4), np.uint8), height_blur=value),
    ],
    ids=["seed", "size", "steps", "height_blur"],
)
@pytest.mark.parametrize("value", [True, np.bool_(True), np.bool_(False)], ids=["True", "np.True_", "np.False_"])
def test_booleans_are_refused(call, value):
    with pytest.raises(ValueError, match="^expected text or a number, got "):
        call(value)


# A numpy float is read as the Python float it stands for, so a bad one has the same message:
# a whole number refuses 64.0 of either kind, and a single reads as its shortest decimal (100.1,
# not 100.0999984741211).
REFUSED_FLOATS = [
    ("float64 size", lambda v: pallimor.generate(seed=1, size=v), np.float64(64.0), 64.0),
    ("float32 size", lambda v: pallimor.generate(seed=1, size=v), np.float32(64.0), 64.0),
    ("float32 steps", lambda v: pallimor.generate(seed=1, steps=v), np.float32(0.5), 0.5),
    ("float32 strength", lambda v: pallimor.maps(np.zeros((8, 8, 4), np.uint8), normal_strength=v),
     np.float32(100.1), 100.1),
    ("float64 strength", lambda v: pallimor.maps(np.zeros((8, 8, 4), np.uint8), normal_strength=v),
     np.float64(-0.25), -0.25),
]


@pytest.mark.parametrize("call, numpy_value, python_value", [row[1:] for row in REFUSED_FLOATS],
                         ids=[row[0] for row in REFUSED_FLOATS])
def test_a_bad_numpy_float_has_the_python_floats_message(call, numpy_value, python_value):
    with pytest.raises(ValueError) as python_error:
        call(python_value)
    with pytest.raises(ValueError) as numpy_error:
        call(numpy_value)
    assert str(numpy_error.value) == str(python_error.value)
    assert repr(python_value) in str(numpy_error.value)


def test_without_return_info_only_the_array_comes_back():
    assert isinstance(pallimor.generate(seed=1, size=64), np.ndarray)
    assert isinstance(pallimor.generate(seed=1, size=64, return_info=False), np.ndarray)


def test_the_seed_and_recipe_of_a_clock_seeded_texture_make_it_again():
    pixels, seed, code = pallimor.generate(size=64, effect="glow", tiling="wrap", return_info=True)
    assert isinstance(seed, int) and 0 <= seed <= 0xFFFFFFFF
    assert np.array_equal(pallimor.generate(recipe=code), pixels)
    assert np.array_equal(pallimor.generate(seed=seed, size=64, effect="glow", tiling="wrap"), pixels)
    assert code == pallimor.recipe(seed=seed, size=64, effect="glow", tiling="wrap")
    [listed] = cli_json(["--seed", str(seed), "--size", "64", "--effect", "glow", "--tiling", "wrap"])
    assert listed["seed"] == "%08X" % seed
    assert listed["recipe"] == code


@pytest.mark.parametrize(
    "options",
    [dict(seed=5, size=64), dict(seed=0xABCDEF, size=128, bg_fill="none", palette="moss")],
    ids=["plain", "transparent with a palette"],
)
def test_the_info_of_a_seeded_texture_is_the_cli_json(options):
    pixels, seed, code = pallimor.generate(return_info=True, **options)
    assert np.array_equal(pixels, pallimor.generate(**options))
    assert seed == options["seed"]
    args = []
    for key, value in options.items():
        args += ["--" + key.replace("_", "-"), str(value)]
    [listed] = cli_json(args)
    assert (listed["seed"], listed["recipe"]) == ("%08X" % seed, code)


def test_a_recipe_gives_back_its_own_code_and_seed_as_the_cli_does():
    # The second texture of a kept tile: a chain of two links, drawn over the first.
    first, second = cli_json(["--seed", "3", "--size", "64", "--image", "keep", "--count", "2"])
    for listed in (first, second):
        pixels, seed, code = pallimor.generate(recipe=listed["recipe"], return_info=True)
        assert ("%08X" % seed, code) == (listed["seed"], listed["recipe"])
        assert np.array_equal(pixels, pallimor.generate(recipe=code))


def test_errors_with_return_info_are_the_cli_messages():
    run = subprocess.run([CLI, "generate", "--effect", "sparkle", "--out", "unused.png"], capture_output=True,
                         text=True)
    assert run.returncode == 2
    with pytest.raises(ValueError) as raised:
        pallimor.generate(effect="sparkle", return_info=True)
    assert str(raised.value) == run.stderr.strip().removeprefix("pallimor-cli generate: ")
