#include "export/ExrImage.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <set>
#include <utility>

#include <Imath/half.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfStdIO.h>

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

} // namespace

bool EncodeExr(int width, int height, const std::vector<TExrChannel>& channels,
               std::vector<std::uint8_t>& out, std::string* reason) {
    if (!CheckChannels(width, height, channels, reason)) return false;
    try {
        Imf::Header header(width, height, 1.0f, Imath::V2f(0, 0), 1.0f, Imf::INCREASING_Y,
                           Imf::ZIP_COMPRESSION);
        // Rounded to half here, so the file holds exactly what Imath's nearest rounding gives.
        std::vector<std::vector<Imath::half>> halves;
        halves.reserve(channels.size());
        for (const TExrChannel& channel : channels) {
            header.channels().insert(channel.name, Imf::Channel(Imf::HALF));
            halves.emplace_back(channel.values.begin(), channel.values.end());
        }
        Imf::FrameBuffer frame;
        for (std::size_t i = 0; i < channels.size(); ++i)
            frame.insert(channels[i].name, Imf::Slice::Make(Imf::HALF, halves[i].data(), header.dataWindow(),
                                                            sizeof(Imath::half)));
        Imf::StdOSStream stream;
        {
            // The file completes its offset table when it closes, so the bytes are taken after.
            Imf::OutputFile file(stream, header);
            file.setFrameBuffer(frame);
            file.writePixels(height);
        }
        const std::string bytes = stream.str();
        out.assign(bytes.begin(), bytes.end());
        return true;
    } catch (const std::exception& e) {
        return Fail(reason, e.what());
    } catch (...) {
        return Fail(reason, "Unknown OpenEXR error");
    }
}

bool DecodeExr(std::span<const std::uint8_t> bytes, int& width, int& height,
               std::vector<TExrChannel>& channels, std::string* reason) {
    try {
        Imf::StdISStream stream;
        stream.str(std::string(bytes.begin(), bytes.end()));
        Imf::InputFile file(stream);
        const Imath::Box2i window = file.header().dataWindow();
        const long long w = static_cast<long long>(window.max.x) - window.min.x + 1;
        const long long h = static_cast<long long>(window.max.y) - window.min.y + 1;
        if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX)
            return Fail(reason, "The file's data window is empty or too large");
        const Imf::ChannelList& list = file.header().channels();
        std::size_t channelCount = 0;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (it.channel().xSampling != 1 || it.channel().ySampling != 1)
                return Fail(reason, std::string("Channel ") + it.name() + " is subsampled");
            ++channelCount;
        }
        if (channelCount == 0) return Fail(reason, "The file has no channels");
        const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
        if (count > MaxDecodedSamples / channelCount) return Fail(reason, "The image is too large to read");

        std::vector<TExrChannel> read;
        read.reserve(channelCount);
        Imf::FrameBuffer frame;
        for (auto it = list.begin(); it != list.end(); ++it) {
            read.push_back({it.name(), std::vector<float>(count)});
            frame.insert(it.name(),
                         Imf::Slice::Make(Imf::FLOAT, read.back().values.data(), window, sizeof(float)));
        }
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
        width = static_cast<int>(w);
        height = static_cast<int>(h);
        channels = std::move(read);
        return true;
    } catch (const std::exception& e) {
        return Fail(reason, e.what());
    } catch (...) {
        return Fail(reason, "Unknown OpenEXR error");
    }
}

} // namespace vorn
