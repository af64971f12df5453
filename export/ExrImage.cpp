#include "export/ExrImage.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <exception>
#include <limits>
#include <set>
#include <utility>

#include <OpenEXR/openexr.h>

namespace vorn {
namespace {

// The most samples (pixels times channels) a file may hold to be read: 1 GiB of floats, so a
// forged header cannot ask for an allocation that fails.
constexpr std::size_t MaxDecodedSamples = std::size_t{1} << 28;

bool Fail(std::string* reason, std::string text) {
    if (reason) {
        // The library's messages may run over several lines; the reason is one.
        std::replace(text.begin(), text.end(), '\n', ' ');
        std::replace(text.begin(), text.end(), '\r', ' ');
        if (text.empty()) text = "Unknown OpenEXR error";
        *reason = std::move(text);
    }
    return false;
}

bool CheckChannels(int width, int height, const std::vector<TExrChannel>& channels, std::string* reason) {
    if (width <= 0 || height <= 0) return Fail(reason, "The image is empty");
    if (channels.empty()) return Fail(reason, "The image has no channels");
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::set<std::string> names;
    for (const TExrChannel& channel : channels) {
        if (channel.name.empty()) return Fail(reason, "A channel has no name");
        if (channel.values.size() != count)
            return Fail(reason, "Channel " + channel.name + " holds " +
                                    std::to_string(channel.values.size()) + " values, not " +
                                    std::to_string(count));
        if (!names.insert(channel.name).second)
            return Fail(reason, "Channel " + channel.name + " appears twice");
    }
    return true;
}

// The nearest half of a float, ties to the even one. Beyond the largest half (65504) by half a
// step or more the result is infinite; a NaN stays a NaN and keeps the top of its payload.
std::uint16_t FloatToHalf(float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const auto sign = static_cast<std::uint16_t>((bits >> 16) & 0x8000u);
    const std::uint32_t magnitude = bits & 0x7fffffffu;
    if (magnitude >= 0x7f800000u) {
        if (magnitude == 0x7f800000u) return static_cast<std::uint16_t>(sign | 0x7c00u);
        const std::uint32_t payload = (magnitude & 0x7fffffu) >> 13;
        return static_cast<std::uint16_t>(sign | 0x7c00u | payload | (payload == 0 ? 1u : 0u));
    }
    if (magnitude >= 0x477ff000u) return static_cast<std::uint16_t>(sign | 0x7c00u); // 65520 and up
    if (magnitude >= 0x38800000u) {
        // A normal half: the exponent's bias goes from 127 to 15 and the 13 dropped mantissa bits
        // round the kept ones; a carry moves into the exponent, which is how 65504 stays finite.
        const std::uint32_t rebiased = magnitude - 0x38000000u;
        const std::uint32_t rounded = rebiased + 0xfffu + ((rebiased >> 13) & 1u);
        return static_cast<std::uint16_t>(sign | (rounded >> 13));
    }
    if (magnitude <= 0x33000000u) return sign; // up to half the smallest subnormal, 2^-25
    // A subnormal half counts units of 2^-24: the float's 24-bit mantissa times 2^(exponent - 150)
    // is mantissa >> (126 - exponent) units, a shift of 14 to 24 here.
    const std::uint32_t exponent = magnitude >> 23;
    const std::uint32_t mantissa = (magnitude & 0x7fffffu) | 0x800000u;
    const std::uint32_t shift = 126u - exponent;
    const std::uint32_t kept = mantissa >> shift;
    const std::uint32_t rest = mantissa & ((1u << shift) - 1u);
    const std::uint32_t halfway = 1u << (shift - 1u);
    const std::uint32_t up = (rest > halfway || (rest == halfway && (kept & 1u) != 0)) ? 1u : 0u;
    return static_cast<std::uint16_t>(sign | (kept + up));
}

// The library reports what went wrong through a callback, on the thread of the failing call; the
// context of that thread collects it here instead of the library printing it to stderr.
thread_local std::string* tMessage = nullptr;

// A failing call may report several messages, the first naming the cause and the others what
// gave up because of it: the first one is kept.
void KeepMessage(exr_const_context_t, exr_result_t, const char* message) {
    if (tMessage && tMessage->empty() && message) *tMessage = message;
}

// One context of the library, finished (and freed) whatever way the function leaves, with the
// messages it reports.
class TContext {
public:
    TContext() : outer_(tMessage) { tMessage = &message_; }
    ~TContext() {
        if (context_) exr_finish(&context_);
        tMessage = outer_;
    }
    TContext(const TContext&) = delete;
    TContext& operator=(const TContext&) = delete;

    exr_context_t Get() const { return context_; }
    exr_context_t* Out() { return &context_; }
    // A writing context writes its offset table when it finishes.
    exr_result_t Finish() { return exr_finish(&context_); }

    // Whether a call succeeded; if not, the reason is the library's message from that call, or
    // else the name of its error code.
    bool Ok(exr_result_t result, std::string* reason) {
        std::string message = std::move(message_);
        message_.clear();
        if (result == EXR_ERR_SUCCESS) return true;
        if (message.empty()) message = exr_get_error_code_as_string(result);
        return Fail(reason, std::move(message));
    }

private:
    exr_context_t context_ = nullptr;
    std::string message_;
    std::string* outer_;
};

// The library writes the file's bytes through this, at the offsets it chooses: the header and the
// chunks in order, then the offset table into the room kept for it after the header.
std::int64_t WriteBytes(exr_const_context_t, void* userData, const void* buffer, std::uint64_t size,
                        std::uint64_t offset, exr_stream_error_func_ptr_t) {
    auto& out = *static_cast<std::vector<std::uint8_t>*>(userData);
    if (size > std::numeric_limits<std::int64_t>::max() || offset > out.max_size() - size) return -1;
    try {
        if (out.size() < offset + size) out.resize(offset + size);
    } catch (const std::exception&) {
        return -1;
    }
    if (size > 0) std::memcpy(out.data() + offset, buffer, size);
    return static_cast<std::int64_t>(size);
}

// A file read from memory: what lies at the offset, short at the end.
std::int64_t ReadBytes(exr_const_context_t, void* userData, void* buffer, std::uint64_t size,
                       std::uint64_t offset, exr_stream_error_func_ptr_t) {
    const auto& bytes = *static_cast<const std::span<const std::uint8_t>*>(userData);
    if (offset >= bytes.size()) return 0;
    const std::uint64_t count = std::min<std::uint64_t>(size, bytes.size() - offset);
    if (count > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return -1;
    std::memcpy(buffer, bytes.data() + offset, count);
    return static_cast<std::int64_t>(count);
}

std::int64_t ByteCount(exr_const_context_t, void* userData) {
    return static_cast<std::int64_t>(static_cast<const std::span<const std::uint8_t>*>(userData)->size());
}

// The chunks' encoder or decoder: set up for the first chunk, updated for each next one, and
// destroyed with its buffers however the function leaves.
template <typename TPipeline,
          exr_result_t (*Initialize)(exr_const_context_t, int, const exr_chunk_info_t*, TPipeline*),
          exr_result_t (*Update)(exr_const_context_t, int, const exr_chunk_info_t*, TPipeline*),
          exr_result_t (*Destroy)(exr_const_context_t, TPipeline*)>
class TPipelineOf {
public:
    explicit TPipelineOf(exr_const_context_t context) : context_(context) {}
    ~TPipelineOf() { Release(); }
    void Release() {
        if (started_) Destroy(context_, &pipeline);
        started_ = false;
    }
    TPipelineOf(const TPipelineOf&) = delete;
    TPipelineOf& operator=(const TPipelineOf&) = delete;

    // Readies the pipeline for chunk of part.
    exr_result_t Prepare(int part, const exr_chunk_info_t& chunk) {
        if (started_) return Update(context_, part, &chunk, &pipeline);
        const exr_result_t result = Initialize(context_, part, &chunk, &pipeline);
        started_ = result == EXR_ERR_SUCCESS;
        return result;
    }

    TPipeline pipeline{};

private:
    exr_const_context_t context_;
    bool started_ = false;
};

using TEncoder =
    TPipelineOf<exr_encode_pipeline_t, exr_encoding_initialize, exr_encoding_update, exr_encoding_destroy>;
using TDecoder =
    TPipelineOf<exr_decode_pipeline_t, exr_decoding_initialize, exr_decoding_update, exr_decoding_destroy>;

bool Encode(int width, int height, const std::vector<TExrChannel>& channels, std::vector<std::uint8_t>& out,
            std::string* reason) {
    if (static_cast<long long>(width) * 2 > INT32_MAX) return Fail(reason, "The image is too wide");
    // Rounded to half here, so the file holds exactly the nearest halves.
    std::vector<std::vector<std::uint16_t>> halves(channels.size());
    for (std::size_t i = 0; i < channels.size(); ++i) {
        halves[i].resize(channels[i].values.size());
        std::transform(channels[i].values.begin(), channels[i].values.end(), halves[i].begin(), FloatToHalf);
    }

    std::vector<std::uint8_t> bytes;
    TContext file;
    exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
    init.error_handler_fn = KeepMessage;
    init.user_data = &bytes;
    init.write_fn = WriteBytes;
    if (!file.Ok(exr_start_write(file.Out(), "memory", EXR_WRITE_FILE_DIRECTLY, &init), reason)) return false;
    const exr_context_t context = file.Get();

    // A name over 31 bytes needs the file's long-name flag, which is set only then.
    const bool longNames = std::any_of(channels.begin(), channels.end(),
                                       [](const TExrChannel& channel) { return channel.name.size() > 31; });
    if (longNames && !file.Ok(exr_set_longname_support(context, 1), reason)) return false;
    int part = 0;
    if (!file.Ok(exr_add_part(context, nullptr, EXR_STORAGE_SCANLINE, &part), reason)) return false;
    // Set by field: the library's vector types nest anonymous unions, which compilers brace differently.
    exr_attr_box2i_t window{};
    window.max.x = width - 1;
    window.max.y = height - 1;
    const exr_attr_v2f_t centre{};
    if (!file.Ok(exr_initialize_required_attr(context, part, &window, &window, 1.0f, &centre, 1.0f,
                                              EXR_LINEORDER_INCREASING_Y, EXR_COMPRESSION_ZIP),
                 reason))
        return false;
    for (const TExrChannel& channel : channels)
        if (!file.Ok(exr_add_channel(context, part, channel.name.c_str(), EXR_PIXEL_HALF,
                                     EXR_PERCEPTUALLY_LOGARITHMIC, 1, 1),
                     reason))
            return false;
    if (!file.Ok(exr_write_header(context), reason)) return false;

    std::int32_t linesPerChunk = 0;
    if (!file.Ok(exr_get_scanlines_per_chunk(context, part, &linesPerChunk), reason)) return false;
    if (linesPerChunk <= 0) return Fail(reason, "The library gave no scanlines per chunk");
    TEncoder encoder(context);
    for (int y = 0; y < height; y += linesPerChunk) {
        exr_chunk_info_t chunk{};
        if (!file.Ok(exr_write_scanline_chunk_info(context, part, y, &chunk), reason)) return false;
        if (!file.Ok(encoder.Prepare(part, chunk), reason)) return false;
        // The library keeps its channels sorted by name; each takes its rows from its own halves.
        for (int c = 0; c < encoder.pipeline.channel_count; ++c) {
            exr_coding_channel_info_t& coded = encoder.pipeline.channels[c];
            const auto named =
                std::find_if(channels.begin(), channels.end(), [&](const TExrChannel& channel) {
                    return coded.channel_name && channel.name == coded.channel_name;
                });
            if (named == channels.end()) return Fail(reason, "The library lists an unknown channel");
            const std::vector<std::uint16_t>& rows =
                halves[static_cast<std::size_t>(named - channels.begin())];
            coded.encode_from_ptr = reinterpret_cast<const std::uint8_t*>(
                rows.data() + static_cast<std::size_t>(chunk.start_y) * static_cast<std::size_t>(width));
            coded.user_bytes_per_element = sizeof(std::uint16_t);
            coded.user_data_type = EXR_PIXEL_HALF;
            coded.user_pixel_stride = sizeof(std::uint16_t);
            coded.user_line_stride = static_cast<std::int32_t>(sizeof(std::uint16_t)) * width;
        }
        if (y == 0 &&
            !file.Ok(exr_encoding_choose_default_routines(context, part, &encoder.pipeline), reason))
            return false;
        if (!file.Ok(exr_encoding_run(context, part, &encoder.pipeline), reason)) return false;
    }
    encoder.Release(); // while the context lives: its buffers are the context's to free
    if (!file.Ok(file.Finish(), reason)) return false;
    out = std::move(bytes);
    return true;
}

bool Decode(std::span<const std::uint8_t> bytes, int& width, int& height, std::vector<TExrChannel>& channels,
            std::string* reason) {
    TContext file;
    exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
    init.error_handler_fn = KeepMessage;
    init.user_data = &bytes;
    init.read_fn = ReadBytes;
    init.size_fn = ByteCount;
    if (!file.Ok(exr_start_read(file.Out(), "memory", &init), reason)) return false;
    const exr_context_t context = file.Get();

    int parts = 0;
    if (!file.Ok(exr_get_count(context, &parts), reason)) return false;
    if (parts != 1) return Fail(reason, "The file holds " + std::to_string(parts) + " parts, not one");
    const int part = 0;
    exr_storage_t storage = EXR_STORAGE_LAST_TYPE;
    if (!file.Ok(exr_get_storage(context, part, &storage), reason)) return false;
    if (storage != EXR_STORAGE_SCANLINE) return Fail(reason, "The file's image is not stored in scanlines");

    exr_attr_box2i_t window{};
    if (!file.Ok(exr_get_data_window(context, part, &window), reason)) return false;
    const long long w = static_cast<long long>(window.max.x) - window.min.x + 1;
    const long long h = static_cast<long long>(window.max.y) - window.min.y + 1;
    if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX)
        return Fail(reason, "The file's data window is empty or too large");
    const exr_attr_chlist_t* list = nullptr;
    if (!file.Ok(exr_get_channels(context, part, &list), reason)) return false;
    if (!list || list->num_channels <= 0) return Fail(reason, "The file has no channels");
    const auto channelCount = static_cast<std::size_t>(list->num_channels);
    for (std::size_t c = 0; c < channelCount; ++c)
        if (list->entries[c].x_sampling != 1 || list->entries[c].y_sampling != 1)
            return Fail(reason, std::string("Channel ") + list->entries[c].name.str + " is subsampled");
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    if (count > MaxDecodedSamples / channelCount) return Fail(reason, "The image is too large to read");

    // The list is sorted by name, as the file stores it.
    std::vector<TExrChannel> read(channelCount);
    for (std::size_t c = 0; c < channelCount; ++c) {
        read[c].name = list->entries[c].name.str;
        read[c].values.resize(count);
    }

    exr_compression_t compression = EXR_COMPRESSION_NONE;
    if (!file.Ok(exr_get_compression(context, part, &compression), reason)) return false;
    // A chunk that B44 could not make smaller is stored as it is, its packed size equal to its
    // unpacked size; OpenEXR 3.1's C library still runs such a chunk through the B44 decoder and
    // scrambles it, so these chunks skip the decompression step.
    const bool b44 = compression == EXR_COMPRESSION_B44 || compression == EXR_COMPRESSION_B44A;
    std::int32_t linesPerChunk = 0;
    if (!file.Ok(exr_get_scanlines_per_chunk(context, part, &linesPerChunk), reason)) return false;
    if (linesPerChunk <= 0) return Fail(reason, "The file gives no scanlines per chunk");
    TDecoder decoder(context);
    exr_result_t (*decompress)(exr_decode_pipeline_t*) = nullptr;
    for (long long row = 0; row < h; row += linesPerChunk) {
        exr_chunk_info_t chunk{};
        const auto y = static_cast<int>(window.min.y + row);
        if (!file.Ok(exr_read_scanline_chunk_info(context, part, y, &chunk), reason)) return false;
        // The rows the chunk fills must lie in the window: the pointers below rely on it.
        const long long first = static_cast<long long>(chunk.start_y) - window.min.y;
        if (chunk.width != w || chunk.height <= 0 || first < 0 || first + chunk.height > h)
            return Fail(reason, "A chunk of the file lies outside its data window");
        if (!file.Ok(decoder.Prepare(part, chunk), reason)) return false;
        if (decoder.pipeline.channel_count != list->num_channels)
            return Fail(reason, "The library decodes another number of channels than the file lists");
        // Every channel, whatever its type, comes out as floats straight into its rows.
        for (std::size_t c = 0; c < channelCount; ++c) {
            exr_coding_channel_info_t& coded = decoder.pipeline.channels[c];
            if (!coded.channel_name || read[c].name != coded.channel_name)
                return Fail(reason, "The library decodes the channels in another order than the file lists");
            coded.decode_to_ptr = reinterpret_cast<std::uint8_t*>(
                read[c].values.data() + static_cast<std::size_t>(first) * static_cast<std::size_t>(w));
            coded.user_bytes_per_element = sizeof(float);
            coded.user_data_type = EXR_PIXEL_FLOAT;
            coded.user_pixel_stride = sizeof(float);
            coded.user_line_stride = static_cast<std::int32_t>(sizeof(float) * static_cast<std::size_t>(w));
        }
        if (row == 0) {
            if (!file.Ok(exr_decoding_choose_default_routines(context, part, &decoder.pipeline), reason))
                return false;
            decompress = decoder.pipeline.decompress_fn;
        }
        if (b44)
            decoder.pipeline.decompress_fn = chunk.packed_size == chunk.unpacked_size ? nullptr : decompress;
        if (!file.Ok(exr_decoding_run(context, part, &decoder.pipeline), reason)) return false;
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    channels = std::move(read);
    return true;
}

} // namespace

bool EncodeExr(int width, int height, const std::vector<TExrChannel>& channels,
               std::vector<std::uint8_t>& out, std::string* reason) {
    if (!CheckChannels(width, height, channels, reason)) return false;
    try {
        return Encode(width, height, channels, out, reason);
    } catch (const std::exception& e) {
        return Fail(reason, e.what());
    }
}

bool DecodeExr(std::span<const std::uint8_t> bytes, int& width, int& height,
               std::vector<TExrChannel>& channels, std::string* reason) {
    try {
        return Decode(bytes, width, height, channels, reason);
    } catch (const std::exception& e) {
        return Fail(reason, e.what());
    }
}

} // namespace vorn
