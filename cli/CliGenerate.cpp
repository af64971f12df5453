// pallimor-cli generate: textures from the command line with the window's defaults, the same
// random sequence, synthesis and export; optionally a trace of every drawing call.
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "cli/Cli.h"
#include "engine/VornDef.h"
#include "export/TileExport.h"
#include "gen/BatchLoop.h"
#include "gen/GenSettings.h"
#include "gen/Generator.h"
#include "gen/TileTrace.h"

namespace {

using namespace vorn;

constexpr const char* Usage =
    "usage: pallimor-cli generate [options]\n"
    "Generates textures as the window's \"Generate\" does, with the window's defaults.\n"
    "\n"
    "  --seed N            random seed, decimal or 0x-hex (default: from the clock)\n"
    "  --size N            output size: 64, 128, 256, 512 or 1024 (default 256)\n"
    "  --bg-color RRGGBB   background colour, also #RRGGBB (default red 00, green 80, blue FF)\n"
    "  --image clear|keep                      (default clear)\n"
    "  --effect blend|add|sub|color|shadow|light|max|shift|glow|stroke (default stroke)\n"
    "  --bg-fill color|h-grad|v-grad|random    (default random)\n"
    "  --bg-form none|circle|square|random     (default random)\n"
    "  --brush-type hard|soft                  (default soft)\n"
    "  --brush-size 16|32|64|128               (default 64)\n"
    "  --steps N           0..2048 (default 1024); the walk runs N + 1024 steps\n"
    "  --hue-switch N  --saturation N  --lightness N  --radius-speed N\n"
    "  --angle-speed N  --scale-speed N  --turn-freq N       1..100 each (default 50)\n"
    "  --count N           1..1000 textures continuing one random sequence (default 1)\n"
    "  --out FILE          write the texture to FILE: .bmp and .png as named, any other\n"
    "                      extension JPEG, none adds .bmp; one texture only\n"
    "  --folder DIR        write the textures as DIR/image000.TYPE, image001.TYPE, ...\n"
    "  --type bmp|png|jpg  file type for --folder (default jpg)\n"
    "  --quality N         JPEG quality 1..100 (default 95)\n"
    "  --archive FILE      brush archive (default: vorn.dat in the current folder, then beside\n"
    "                      the program, then in the installed data folder)\n"
    "  --trace FILE        write every drawing call of the synthesis to FILE\n"
    "  --help              show this text\n"
    "\n"
    "Without --out or --folder nothing is written. Exit status: 0 done, 1 failed, 2 bad usage.\n";

constexpr const char* Program = "pallimor-cli generate: ";

struct TOptions {
    TGenSettings settings;
    std::optional<std::uint32_t> seed;
    int size = 256;
    TCanvasColor background = 0xFFFF8000u; // the window's start value
    int count = 1;
    std::string out;
    std::string folder;
    std::string type = "jpg";
    int quality = 95;
    std::string archive;
    std::string trace;
    bool help = false;
};

// A bad command line; the text names the option and what it accepts.
struct TUsageError {
    std::string text;
};

std::optional<long long> ParseInteger(std::string_view text, int base = 10) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

int IntegerIn(std::string_view option, std::string_view text, int low, int high) {
    const std::optional<long long> value = ParseInteger(text);
    if (!value || *value < low || *value > high) {
        throw TUsageError{std::string(option) + " accepts a whole number from " + std::to_string(low) +
                          " to " + std::to_string(high) + " (got '" + std::string(text) + "')"};
    }
    return static_cast<int>(*value);
}

// The position of text among names.
int ChoiceOf(std::string_view option, std::string_view text, std::span<const char* const> names) {
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (text == names[i]) return static_cast<int>(i);
        if (i > 0) list += '|';
        list += names[i];
    }
    throw TUsageError{std::string(option) + " accepts " + list + " (got '" + std::string(text) + "')"};
}

std::uint32_t SeedOf(std::string_view text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::optional<long long> value = hex ? ParseInteger(text.substr(2), 16) : ParseInteger(text);
    if (!value || *value < 0 || *value > 0xFFFFFFFFll) {
        throw TUsageError{"--seed accepts a number from 0 to 4294967295, decimal or 0x-hex (got '" +
                          std::string(text) + "')"};
    }
    return static_cast<std::uint32_t>(*value);
}

// RRGGBB (or #RRGGBB) as picked; the canvas colour keeps red in its low byte: 0xFFBBGGRR.
TCanvasColor ColorOf(std::string_view text) {
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '#') digits.remove_prefix(1);
    bool valid = digits.size() == 6;
    for (const char c : digits) valid = valid && std::isxdigit(static_cast<unsigned char>(c));
    if (!valid) {
        throw TUsageError{"--bg-color accepts six hex digits RRGGBB, optionally after # (got '" +
                          std::string(text) + "')"};
    }
    const auto rgb = static_cast<std::uint32_t>(*ParseInteger(digits, 16));
    const std::uint32_t r = rgb >> 16 & 0xFFu, g = rgb >> 8 & 0xFFu, b = rgb & 0xFFu;
    return 0xFF000000u | b << 16 | g << 8 | r;
}

constexpr const char* ImageNames[] = {"clear", "keep"};
constexpr const char* EffectNames[] = {"blend", "add", "sub",   "color", "shadow",
                                       "light", "max", "shift", "glow",  "stroke"};
constexpr const char* FillNames[] = {"color", "h-grad", "v-grad", "random"};
constexpr const char* FormNames[] = {"none", "circle", "square", "random"};
constexpr const char* TypeNames[] = {"hard", "soft"};
constexpr const char* BrushSizeNames[] = {"16", "32", "64", "128"};
constexpr const char* FileTypeNames[] = {"bmp", "png", "jpg"};

TOptions Parse(int argc, char** argv) {
    TOptions o;
    TGenSettings& s = o.settings;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        std::optional<std::string> attached; // --option=value
        if (const std::size_t eq = option.find('='); option.rfind("--", 0) == 0 && eq != std::string::npos) {
            attached = option.substr(eq + 1);
            option.resize(eq);
        }
        if (option == "--help" || option == "-h") {
            o.help = true;
            continue;
        }
        const auto value = [&]() -> std::string {
            if (attached) return *attached;
            if (i + 1 >= argc) throw TUsageError{option + " needs a value (see --help)"};
            return argv[++i];
        };
        const auto path = [&]() {
            std::string v = value();
            if (v.empty()) throw TUsageError{option + " needs a file or folder name"};
            return v;
        };
        const auto percent = [&](int& field) { field = IntegerIn(option, value(), 1, 100); };

        if (option == "--seed") {
            o.seed = SeedOf(value());
        } else if (option == "--size") {
            const std::string v = value();
            const std::optional<long long> n = ParseInteger(v);
            if (!n || (*n != 64 && *n != 128 && *n != 256 && *n != 512 && *n != 1024)) {
                throw TUsageError{"--size accepts 64, 128, 256, 512 or 1024 (got '" + v + "')"};
            }
            o.size = static_cast<int>(*n);
        } else if (option == "--bg-color") {
            o.background = ColorOf(value());
        } else if (option == "--image") {
            s.image = ChoiceOf(option, value(), ImageNames);
        } else if (option == "--effect") {
            s.effect = ChoiceOf(option, value(), EffectNames);
        } else if (option == "--bg-fill") {
            s.bgFill = ChoiceOf(option, value(), FillNames);
        } else if (option == "--bg-form") {
            s.bgForm = ChoiceOf(option, value(), FormNames);
        } else if (option == "--brush-type") {
            s.brushType = ChoiceOf(option, value(), TypeNames);
        } else if (option == "--brush-size") {
            s.brushSize = ChoiceOf(option, value(), BrushSizeNames);
        } else if (option == "--steps") {
            s.steps = IntegerIn(option, value(), 0, 2048);
        } else if (option == "--hue-switch") {
            percent(s.hueSwitch);
        } else if (option == "--saturation") {
            percent(s.saturation);
        } else if (option == "--lightness") {
            percent(s.lightness);
        } else if (option == "--radius-speed") {
            percent(s.radiusSpeed);
        } else if (option == "--angle-speed") {
            percent(s.angleSpeed);
        } else if (option == "--scale-speed") {
            percent(s.scaleSpeed);
        } else if (option == "--turn-freq") {
            percent(s.turnFreq);
        } else if (option == "--count") {
            o.count = IntegerIn(option, value(), 1, 1000);
        } else if (option == "--out") {
            o.out = path();
        } else if (option == "--folder") {
            o.folder = path();
        } else if (option == "--type") {
            o.type = FileTypeNames[ChoiceOf(option, value(), FileTypeNames)];
        } else if (option == "--quality") {
            o.quality = IntegerIn(option, value(), 1, 100);
        } else if (option == "--archive") {
            o.archive = path();
        } else if (option == "--trace") {
            o.trace = path();
        } else {
            throw TUsageError{"unknown option '" + option + "' (see --help)"};
        }
    }
    if (!o.out.empty() && !o.folder.empty()) throw TUsageError{"--out and --folder exclude each other"};
    if (!o.out.empty() && o.count != 1)
        throw TUsageError{"--out writes one texture; use --folder with --count"};
    return o;
}

// The folder of the running program, for finding the archive beside it.
std::string ExecutableFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.parent_path().string();
}

// Writes the random seed before and after each texture's block of the trace.
class TTraceSeeds final : public TBatchHooks {
public:
    explicit TTraceSeeds(std::FILE* trace) : m_trace(trace) {}
    void BeforeTexture(int) override { WriteTraceSeed(m_trace, "seed-before", random::Seed()); }
    void Generated(int) override { WriteTraceSeed(m_trace, "seed-after", random::Seed()); }

private:
    std::FILE* m_trace;
};

// Closes the trace file; a trace that could not be written completely is an error.
struct TTraceFile {
    std::FILE* file = nullptr;
    ~TTraceFile() {
        if (file) std::fclose(file);
    }
    bool Close() {
        const bool ok = std::ferror(file) == 0;
        const bool closed = std::fclose(file) == 0;
        file = nullptr;
        return ok && closed;
    }
};

// A failure while running: the program's own message, one line on stderr.
int Fail(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return 1;
}

int Run(const TOptions& o) {
    TGenerator generator(o.settings);
    generator.ComponentsInit();
    const TStartupResult startup = o.archive.empty()
                                       ? generator.Startup(nullptr, ArchiveCandidates(ExecutableFolder()))
                                       : generator.Startup(nullptr, o.archive);
    switch (startup.failure) {
    case TStartupFailure::None:
        break;
    case TStartupFailure::Device:
        return Fail("Initializing device failed!  ");
    case TStartupFailure::Archive:
        return Fail("File " + (o.archive.empty() ? std::string(ArchiveFileName) : o.archive) +
                    " not found! Try reinstalling the application!  ");
    case TStartupFailure::RenderTarget: {
        const std::string n = std::to_string(startup.failedTargetSize);
        return Fail("Adding render target " + n + " x " + n + " failed!  ");
    }
    }
    // A texture without brushes is no texture: refuse before anything is written.
    if (!startup.archive.Complete())
        return Fail("Brush archive " + startup.archive.path + " holds " +
                    std::to_string(startup.archive.images) + " usable images; the generator needs " +
                    std::to_string(ArchiveImagesNeeded));
    generator.TextureSize = o.size;
    generator.BackgroundColor = o.background;

    TTraceFile trace;
    if (!o.trace.empty()) {
        trace.file = std::fopen(o.trace.c_str(), "w");
        if (!trace.file) return Fail("Cannot write " + o.trace + ": " + std::strerror(errno));
        generator.SetTrace(trace.file);
        WriteTraceHeader(trace.file);
    }
    if (o.seed) {
        random::SetSeed(*o.seed);
    } else {
        random::Reseed();
    }

    TTraceSeeds seeds(trace.file);
    if (!o.folder.empty()) {
        // As the batch dialog does: one level of folder is made when missing.
        std::error_code ignored;
        std::filesystem::create_directory(o.folder, ignored);
        TBatchOptions batch;
        batch.folder = o.folder;
        batch.fileType = o.type;
        batch.count = o.count;
        batch.jpegQuality = o.quality;
        batch.clearFirstTile = true;
        const TBatchResult result = RunBatch(generator, batch, seeds);
        if (!result.ok) return Fail(result.error);
    } else {
        for (int number = 1; number <= o.count; ++number) {
            seeds.BeforeTexture(number);
            if (number == 1) {
                generator.FirstRender();
            } else {
                generator.Generate();
            }
            seeds.Generated(number);
        }
        if (!o.out.empty()) {
            const TExportResult result =
                TileExport(*generator.Textures, TGenerator::GetIndex(generator.TextureSize),
                           generator.TextureSize, o.out, o.quality);
            if (!result.ok) return Fail(result.error);
        }
    }
    if (trace.file && !trace.Close()) return Fail("Cannot write " + o.trace + ": the trace is incomplete");
    return 0;
}

} // namespace

int CliGenerate(int argc, char** argv) {
    TOptions options;
    try {
        options = Parse(argc, argv);
    } catch (const TUsageError& error) {
        std::fprintf(stderr, "%s%s\n", Program, error.text.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    return Run(options);
}
