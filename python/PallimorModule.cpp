// The Python module pallimor: textures and their maps as numpy arrays, the same pixels as
// pallimor-cli generate's files. Keyword arguments are the command line's options (`bg_fill` for
// --bg-fill) with the values it accepts; a bad one raises ValueError with the command line's
// message. Drawing runs without the GIL, each call on a generator of its own.
#include <dlfcn.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "engine/VornDef.h"
#include "engine/soft/SoftHost.h"
#include "export/MaterialMaps.h"
#include "export/SurfaceMaps.h"
#include "gen/GenParams.h"
#include "gen/Generator.h"
#include "gen/OptionValues.h"
#include "gen/OutputTexture.h"
#include "gen/Palette.h"
#include "gen/Presets.h"
#include "gen/Producer.h"
#include "gen/Recipe.h"
#include "gen/SingleTexture.h"
#include "gen/TextureOptions.h"

namespace py = pybind11;

namespace {

using namespace vorn;

// The folder the module was loaded from: the archive search looks there as the programs look
// beside themselves (the build folder holds vorn.dat; an installed module finds the data folder).
std::string ModuleFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&ModuleFolder), &info) == 0 || !info.dli_fname) return {};
    std::error_code error;
    const std::filesystem::path path = std::filesystem::canonical(info.dli_fname, error);
    return error ? std::string() : path.parent_path().string();
}

const std::string& ExeDir() {
    static const std::string folder = ModuleFolder();
    return folder;
}

// True and False, Python's or numpy's (whose booleans have an __index__ as well).
bool IsBoolean(const py::handle& value) {
    const std::string_view type = Py_TYPE(value.ptr())->tp_name;
    return PyBool_Check(value.ptr()) || type == "numpy.bool_" || type == "numpy.bool";
}

// A number that is no Python float but has a __float__ (numpy.float32, say) as Python's float
// writes it, so that a whole-number option refuses 2.0 of either kind alike. A value that single
// precision holds exactly is taken as the shortest decimal that is that single: 0.1, not the
// 0.10000000149011612 its double reads.
std::string FloatText(const py::handle& value) {
    double number = PyFloat_AsDouble(value.ptr());
    if (number == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    if (std::isfinite(number) && double(float(number)) == number) {
        char text[64];
        const auto written = std::to_chars(text, text + sizeof text, float(number));
        double shortest = 0;
        if (written.ec == std::errc() && std::from_chars(text, written.ptr, shortest).ec == std::errc())
            number = shortest;
    }
    return py::str(py::float_(number)).cast<std::string>();
}

// A keyword's value as the command line would read it: text as it is, a number in decimal. An
// integer is anything with an __index__ (numpy's integers too), a float Python's or anything else
// with a __float__ (numpy's floats); booleans are refused.
std::string OptionText(const py::handle& value) {
    if (py::isinstance<py::str>(value)) return value.cast<std::string>();
    if (!IsBoolean(value)) {
        try {
            // A float of a subclass (numpy.float64) as the Python float of its value.
            if (py::isinstance<py::float_>(value))
                return py::str(py::float_(PyFloat_AsDouble(value.ptr()))).cast<std::string>();
            if (PyIndex_Check(value.ptr())) {
                const auto integer = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
                if (!integer) throw py::error_already_set();
                return py::str(integer).cast<std::string>();
            }
            if (py::hasattr(value, "__float__")) return FloatText(value);
        } catch (const py::error_already_set&) {
            // Refused below, as any other value that is no number.
        }
    }
    throw TUsageError{"expected text or a number, got " + py::repr(value).cast<std::string>()};
}

// "bg_fill" -> "bg-fill".
std::string OptionName(std::string key) {
    for (char& c : key)
        if (c == '_') c = '-';
    return key;
}

// A list of map kinds, as text ("height,normal") or a sequence of kinds, set in maps as --maps
// sets it.
void SetMapKinds(TMapOptions& maps, const py::object& kinds) {
    std::string list;
    if (py::isinstance<py::str>(kinds)) {
        list = kinds.cast<std::string>();
    } else {
        for (const py::handle& kind : kinds) list += (list.empty() ? "" : ",") + OptionText(kind);
    }
    SetMapList(maps, "--maps", list);
}

struct TRequestAndMaps {
    TTextureRequest request;
    TMapOptions maps; // none asked for without maps
};

// What generate() and recipe() were asked for, read from their arguments with the command line's
// table and rules: the generation parameters, the texture options that write no files and, with
// maps, the maps' options. A preset is applied last, under the arguments given beside it.
TRequestAndMaps ReadRequest(const py::object& recipe, const py::object& seed, const py::object& size,
                            const py::object& archive, const py::object& maps, const py::kwargs& params) {
    TTextureOptions o;
    if (!maps.is_none()) SetMapKinds(o.maps, maps);
    if (!size.is_none()) ApplyGenParam(o, GenParam(gpSize), "--size", OptionText(size));
    for (const auto& [key, value] : params) {
        const std::string name = OptionName(key.cast<std::string>());
        const std::string option = "--" + name;
        const std::string text = OptionText(value);
        const TTextureOption* row = FindTextureOption(name);
        if (const TGenParam* param = FindGenParam(name)) {
            ApplyGenParam(o, *param, option, text);
        } else if (row && (row->use == ouTexture || row->use == ouMaps)) {
            row->apply(o, option, text);
        } else {
            throw TUsageError{"unknown parameter '" + key.cast<std::string>() + "'"};
        }
    }
    if (!seed.is_none()) o.seed = SeedOf(OptionText(seed));
    if (!recipe.is_none()) {
        TRecipeDecoding decoded = DecodeRecipe(OptionText(recipe));
        if (!decoded.ok()) throw TUsageError{"--recipe: " + decoded.error};
        o.recipe = std::move(decoded.recipe);
    }
    // In the command line's order: the rules between the options given, then the preset under them.
    CheckTextureOptions(o);
    ApplyPresetOption(o, ExeDir());
    TRequestAndMaps read;
    TTextureRequest& request = read.request;
    request.settings = o.settings;
    request.seed = o.seed;
    request.recipe = std::move(o.recipe);
    if (!o.palette.empty()) {
        TPaletteResult resolved = ResolvePalette(o.palette, o.paletteColors, ExeDir());
        if (!resolved.ok()) throw TUsageError{"--palette: " + resolved.error};
        request.settings.palette = std::move(resolved.palette);
    }
    if (!archive.is_none()) {
        request.archive = OptionText(archive);
        if (request.archive.empty()) throw TUsageError{"--archive needs a file or folder name"};
    }
    read.maps = o.maps;
    return read;
}

// The bitmap's B, G, R, A bytes as an array of rows of R, G, B, A; opaque without alpha.
py::array_t<std::uint8_t> RgbaArray(const TBitmap32& bitmap) {
    const py::ssize_t height = bitmap.Height(), width = bitmap.Width();
    py::array_t<std::uint8_t> array({height, width, py::ssize_t(4)});
    std::uint8_t* out = array.mutable_data();
    const std::uint8_t* in = bitmap.Bits();
    const bool alpha = bitmap.HasAlpha();
    for (py::ssize_t i = 0; i < height * width; ++i, in += 4, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = alpha ? in[3] : 255;
    }
    return array;
}

// The maps of one texture, made without the GIL; empty error: every map asked for is there.
struct TMadeMaps {
    std::string error;
    THeightMap height;
    TBitmap32 normal;
    std::vector<std::uint8_t> roughness, occlusion;
};

TMadeMaps MakeMaps(const TBitmap32& texture, const TMapOptions& maps) {
    TMadeMaps made;
    if (!MakeTileHeightMap(texture, maps, made.height))
        made.error = "The height map cannot be made";
    else if (maps.normal && !MakeTileNormalMap(made.height, maps, made.normal))
        made.error = "The normal map cannot be made";
    else if (maps.roughness && !MakeTileRoughnessMap(texture, made.height, maps, made.roughness))
        made.error = "The roughness map cannot be made";
    else if (maps.occlusion && !MakeTileOcclusionMap(made.height, maps, made.occlusion))
        made.error = "The ao map cannot be made";
    return made;
}

py::array_t<std::uint8_t> GreyArray(const std::vector<std::uint8_t>& values, py::ssize_t height,
                                    py::ssize_t width) {
    py::array_t<std::uint8_t> array({height, width});
    std::memcpy(array.mutable_data(), values.data(), values.size());
    return array;
}

// The maps asked for by their kinds: height uint16 (h, w), normal uint8 (h, w, 3), roughness and
// ao uint8 (h, w).
py::dict MapsDict(const TMadeMaps& made, const TMapOptions& maps, std::int32_t width, std::int32_t height) {
    py::dict answer;
    if (maps.height) {
        py::array_t<std::uint16_t> array({py::ssize_t(height), py::ssize_t(width)});
        std::memcpy(array.mutable_data(), made.height.values.data(), made.height.values.size() * 2);
        answer[HeightMapKind] = array;
    }
    if (maps.normal) {
        py::array_t<std::uint8_t> array({py::ssize_t(height), py::ssize_t(width), py::ssize_t(3)});
        std::uint8_t* out = array.mutable_data();
        const std::uint8_t* in = made.normal.Bits();
        for (std::size_t i = 0; i < std::size_t(width) * std::size_t(height); ++i, in += 4, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
        answer[NormalMapKind] = array;
    }
    if (maps.roughness) answer[RoughnessMapKind] = GreyArray(made.roughness, height, width);
    if (maps.occlusion) answer[OcclusionMapKind] = GreyArray(made.occlusion, height, width);
    return answer;
}

// The texture's array; with returnInfo also the seed it was drawn from and its recipe code; with
// maps also the dict of its maps, last.
py::object Generate(const py::object& recipe, const py::object& seed, const py::object& size,
                    const py::object& threads, const py::object& archive, bool returnInfo,
                    const py::object& maps, const py::kwargs& params) {
    TTextureResult made;
    TMapOptions mapOptions;
    TMadeMaps madeMaps;
    try {
        const TRequestAndMaps read = ReadRequest(recipe, seed, size, archive, maps, params);
        mapOptions = read.maps;
        const int threadCount = threads.is_none() ? 0 : IntegerIn("--threads", OptionText(threads), 1, 64);
        const py::gil_scoped_release released;
        made = MakeTexture(read.request, ExeDir(), threadCount);
        if (made.ok() && mapOptions.Any()) {
            // As the --maps files beside the texture: the edges it repeats across, its layers' relief.
            mapOptions.edges = MapEdgesOf(made.axes);
            mapOptions.relief = made.relief;
            madeMaps = MakeMaps(made.bitmap, mapOptions);
        }
    } catch (const TUsageError& error) {
        throw py::value_error(error.text);
    }
    if (!made.ok()) throw py::value_error(made.error);
    if (!madeMaps.error.empty()) throw py::value_error(madeMaps.error);
    const py::object texture = RgbaArray(made.bitmap);
    const py::object drawnSeed = py::int_(made.seed);
    const py::object code = made.recipe.empty() ? py::object(py::none()) : py::object(py::str(made.recipe));
    if (maps.is_none()) return returnInfo ? py::object(py::make_tuple(texture, drawnSeed, code)) : texture;
    const py::dict arrays = MapsDict(madeMaps, mapOptions, made.bitmap.Width(), made.bitmap.Height());
    return returnInfo ? py::make_tuple(texture, drawnSeed, code, arrays) : py::make_tuple(texture, arrays);
}

std::string Recipe(const py::object& seed, const py::object& size, const py::kwargs& params) {
    try {
        const TTextureRequest request =
            ReadRequest(py::none(), seed, size, py::none(), py::none(), params).request;
        std::uint32_t before = 0;
        if (request.seed) {
            before = *request.seed;
        } else {
            random::Reseed();
            before = random::Seed();
        }
        const TRecipe made =
            NextRecipe(nullptr, request.settings, before, request.settings.size,
                       CanvasColorOfRgb(static_cast<std::uint32_t>(request.settings.bgColor)));
        return EncodeRecipe(made);
    } catch (const TUsageError& error) {
        throw py::value_error(error.text);
    }
}

// The shipped presets as (name, description).
std::vector<std::pair<std::string, std::string>> Presets() {
    const TPresetFileResult file = LoadShippedPresets(ExeDir());
    if (!file.ok()) throw py::value_error(file.error);
    std::vector<std::pair<std::string, std::string>> presets;
    for (const TPreset& preset : file.presets) presets.emplace_back(preset.name, preset.description);
    return presets;
}

// The map options of maps()'s keywords, the command line's map options by their names.
TMapOptions MapOptionsOfArgs(const py::object& kinds, const py::object& tiling, const py::kwargs& options) {
    TMapOptions maps;
    SetMapKinds(maps, kinds);
    if (!tiling.is_none())
        maps.edges = MapEdgesOf(TileAxesOf(ParamOf(GenParam(gpTiling), OptionText(tiling))));
    TTextureOptions o;
    o.maps = maps;
    for (const auto& [key, value] : options) {
        const std::string name = OptionName(key.cast<std::string>());
        const TTextureOption* row = FindTextureOption(name);
        if (!row || row->use != ouMaps)
            throw TUsageError{"unknown map option '" + key.cast<std::string>() + "'"};
        row->apply(o, "--" + name, OptionText(value));
    }
    maps = o.maps;
    return maps;
}

py::dict Maps(const py::array_t<std::uint8_t, py::array::c_style | py::array::forcecast>& image,
              const py::object& kinds, const py::object& tiling, const py::kwargs& options) {
    TMapOptions maps;
    try {
        maps = MapOptionsOfArgs(kinds, tiling, options);
    } catch (const TUsageError& error) {
        throw py::value_error(error.text);
    }
    if (image.ndim() != 3 || (image.shape(2) != 3 && image.shape(2) != 4) || image.shape(0) < 1 ||
        image.shape(1) < 1)
        throw py::value_error("maps() takes an image of shape (height, width, 4) or (height, width, 3)");
    const auto height = std::int32_t(image.shape(0)), width = std::int32_t(image.shape(1));
    const py::ssize_t channels = image.shape(2);
    TMadeMaps made;
    {
        const std::uint8_t* in = image.data();
        const py::gil_scoped_release released;
        TBitmap32 texture(width, height);
        std::uint8_t* out = texture.Bits();
        for (std::size_t i = 0; i < std::size_t(width) * std::size_t(height); ++i, in += channels, out += 4) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = channels == 4 ? in[3] : 255;
        }
        made = MakeMaps(texture, maps);
    }
    if (!made.error.empty()) throw py::value_error(made.error);
    return MapsDict(made, maps, width, height);
}

} // namespace

PYBIND11_MODULE(pallimor, m) {
    m.doc() = "Seamlessly repeating textures as numpy arrays, the same pixels as pallimor-cli's files.";
    m.def("generate", &Generate, py::arg("recipe") = py::none(), py::arg("seed") = py::none(),
          py::arg("size") = py::none(), py::arg("threads") = py::none(), py::arg("archive") = py::none(),
          py::arg("return_info") = false, py::arg("maps") = py::none(),
          "generate(recipe=None, seed=None, size=256, threads=None, archive=None, return_info=False,\n"
          "         maps=None, **params)\n\n"
          "One texture as a (size, size, 4) uint8 array of R, G, B, A: a recipe code's, or the one\n"
          "seed makes with params (pallimor-cli generate's options, '_' for '-', values as it takes\n"
          "them: effect='glow', bg_color='0080FF', steps=1024, tiling='wrap', palette='moss',\n"
          "preset='brick-wall', layers='cells:cells=9,tile:blend=multiply'). Options given beside a\n"
          "preset win over its values. Numbers may be numpy's too. Without a seed or recipe the seed\n"
          "comes from the clock.\n"
          "With return_info=True a tuple (array, seed, recipe): the seed (an int) the texture was\n"
          "drawn from and its recipe code as pallimor-cli generate --json lists them (the code None\n"
          "for a chain too long); generate(recipe=recipe) makes the texture again, as does the seed\n"
          "with the same params.\n"
          "With maps (as --maps: 'height,normal' or ('height', 'ao')) the texture's maps as\n"
          "pallimor-cli generate --maps writes them beside a PNG (from the layers' relief; params may\n"
          "hold the map options: normal_strength, height_from, ...), a dict as maps() returns, last\n"
          "in a tuple: (array, maps) or (array, seed, recipe, maps). Raises ValueError.");
    m.def("recipe", &Recipe, py::arg("seed") = py::none(), py::arg("size") = py::none(),
          "recipe(seed=None, size=256, **params) -> str\n\n"
          "The recipe code of the texture generate(seed=seed, size=size, **params) makes.");
    m.def("maps", &Maps, py::arg("image"), py::arg("maps") = py::make_tuple("height", "normal"),
          py::arg("tiling") = py::none(),
          "maps(image, maps=('height', 'normal'), tiling='mirror', **options) -> dict\n\n"
          "The maps of an (h, w, 4) or (h, w, 3) uint8 texture as pallimor-cli --maps writes them:\n"
          "'height' uint16 (h, w), 'normal' uint8 (h, w, 3), 'roughness' and 'ao' uint8 (h, w).\n"
          "tiling: the edges the texture repeats across; options: height_blur, normal_strength,\n"
          "normal_y, normal_filter, ao_radius, roughness='MIN,MAX'. Made from the colours' lightness:\n"
          "generate(maps=...) gives a layered texture's maps from its relief.");
    m.def("presets", &Presets,
          "presets() -> list\n\n"
          "The shipped presets as (name, description) tuples, in pallimor-cli presets' order.");
}
