#include "export/sound_assets.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/tag_reader.h"
#include "base/error.h"
#include "export/adpcm.h"
#include "export/wav_file.h"

namespace velpin {

namespace {

enum SoundFormat : unsigned {
    soundNativeEndian = 0,
    soundAdpcm = 1,
    soundMp3 = 2,
    soundLittleEndian = 3,
};

std::string FormatName(unsigned format) {
    switch (format) {
        case soundNativeEndian:
            return "uncompressed";
        case soundAdpcm:
            return "ADPCM";
        case soundMp3:
            return "MP3";
        case soundLittleEndian:
            return "uncompressed little-endian";
        case 4:
            return "Nellymoser 16 kHz";
        case 5:
            return "Nellymoser 8 kHz";
        case 6:
            return "Nellymoser";
        case 11:
            return "Speex";
        default:
            return "format " + std::to_string(format);
    }
}

// The header's sound format byte: 4 bits of format, 2 of rate, 1 of sample size, 1 of type.
struct SoundHeader {
    unsigned format = 0;
    std::uint32_t rate = 0;
    unsigned bitsPerSample = 8;
    unsigned channels = 1;
};

SoundHeader ReadSoundHeader(std::uint8_t byte) {
    static constexpr std::uint32_t kRates[] = {5512, 11025, 22050, 44100};
    return {static_cast<unsigned>(byte >> 4), kRates[byte >> 2 & 3], byte & 2 ? 16u : 8u,
            byte & 1 ? 2u : 1u};
}

// A declared sample count this far from what the data holds is no rounding of the last packet
// but a header that lies.
bool Disagrees(std::uint64_t declared, std::uint64_t held) {
    constexpr std::uint64_t kSlack = 4096;
    return held > 2 * declared + kSlack || declared > 2 * held + kSlack;
}

std::string Disagreement(std::uint64_t declared, std::uint64_t held) {
    return "the declared sample count " + std::to_string(declared) + " disagrees with the " +
           std::to_string(held) + " samples the data holds";
}

const std::uint8_t* Bytes(std::string_view view) {
    return reinterpret_cast<const std::uint8_t*>(view.data());
}

AssetPlan PlanPcm(ExportedAsset asset, const SoundHeader& header, std::string_view data) {
    const std::size_t frameBytes = std::size_t{header.channels} * header.bitsPerSample / 8;
    const std::uint64_t held = data.size() / frameBytes;
    if (Disagrees(asset.sound->sampleCount, held)) {
        return FailedPlan(std::move(asset), Disagreement(asset.sound->sampleCount, held));
    }
    // The native byte order is the one the authoring tool ran on; players read it as
    // little-endian, as WAV stores it.
    const WavShape shape{header.rate, header.channels, header.bitsPerSample};
    return {std::move(asset), "wav", [shape, data, frameBytes](const ByteSink& sink) {
                WriteWavFile(shape, Bytes(data), data.size() / frameBytes * frameBytes, sink);
            }};
}

AssetPlan PlanAdpcm(ExportedAsset asset, const SoundHeader& header, std::string_view data) {
    const std::uint32_t declared = asset.sound->sampleCount;
    // Decoded once to be checked: at most 8 samples a byte of data, so bounded by the movie.
    const auto samples = std::make_shared<std::vector<std::int16_t>>(
        DecodeAdpcm(Bytes(data), data.size(), header.channels, UINT64_MAX));
    const std::uint64_t held = samples->size() / header.channels;
    if (Disagrees(declared, held)) {
        return FailedPlan(std::move(asset), Disagreement(declared, held));
    }
    // The last packet's padding bits decode as samples the header does not count.
    samples->resize(std::min<std::uint64_t>(held, declared) * header.channels);
    const WavShape shape{header.rate, header.channels, 16};
    return {std::move(asset), "wav", [shape, samples](const ByteSink& sink) {
                std::vector<std::uint8_t> pcm(samples->size() * 2);
                for (std::size_t i = 0; i < samples->size(); ++i) {
                    const auto sample = static_cast<std::uint16_t>((*samples)[i]);
                    pcm[2 * i] = static_cast<std::uint8_t>(sample);
                    pcm[2 * i + 1] = static_cast<std::uint8_t>(sample >> 8);
                }
                WriteWavFile(shape, pcm.data(), pcm.size(), sink);
            }};
}

}  // namespace

AssetPlan PlanSound(const TagItem& item, std::int64_t index) {
    ExportedAsset asset = AssetOf(item, index, AssetKind::Sound);
    TagReader body = TagReader::OfBody(item);
    const std::uint16_t id = body.U16();
    const SoundHeader header = ReadSoundHeader(body.U8());
    const std::uint32_t sampleCount = body.U32();
    if (body.Failed()) {
        return FailedPlan(std::move(asset), kShortBody);
    }
    asset.id = id;
    asset.sound =
        SoundFigures{FormatName(header.format), header.rate, header.channels, sampleCount};
    const std::string_view data = body.Bytes(body.Remaining());
    switch (header.format) {
        case soundNativeEndian:
        case soundLittleEndian:
            return PlanPcm(std::move(asset), header, data);
        case soundAdpcm:
            return PlanAdpcm(std::move(asset), header, data);
        case soundMp3:
            if (data.size() < 2) {
                return FailedPlan(std::move(asset), kShortBody);
            }
            // The seek-samples word, which no MP3 player expects, comes before the frames.
            return StoredBytesPlan(std::move(asset), data.substr(2), "mp3");
        default:
            return StoredBytesPlan(std::move(asset), data, "bin");
    }
}

std::optional<AssetPlan> PlanStreamSound(const TagItem& head, std::int64_t index,
                                         std::optional<std::uint16_t> spriteId) {
    ExportedAsset asset = AssetOf(head, index, AssetKind::Sound);
    asset.id = spriteId;
    TagReader body = TagReader::OfBody(head);
    body.U8();  // the playback format, which says how to play it, not how it is stored
    const SoundHeader header = ReadSoundHeader(body.U8());
    const std::uint16_t samplesPerBlock = body.U16();
    const bool mp3 = header.format == soundMp3;
    // Each MP3 block starts with its sample count and seek-samples word.
    const std::size_t skipped = mp3 ? 4 : 0;
    auto blocks = std::make_shared<std::vector<std::string_view>>();
    std::uint64_t samples = 0;
    for (const TagItem* item = head.Next; item != nullptr && item->Depth >= head.Depth;
         item = item->Next) {
        if (item->Depth != head.Depth) {
            continue;
        }
        if (item->TagCode == tagSoundStreamHead || item->TagCode == tagSoundStreamHead2) {
            break;
        }
        if (item->TagCode != tagSoundStreamBlock) {
            continue;
        }
        TagReader block = TagReader::OfBody(*item);
        samples += mp3 ? block.U16() : samplesPerBlock;
        block = TagReader::OfBody(*item);
        block.Skip(skipped);
        blocks->push_back(block.Bytes(block.Remaining()));
    }
    if (blocks->empty()) {
        return std::nullopt;
    }
    if (body.Failed()) {
        return FailedPlan(std::move(asset), kShortBody);
    }
    asset.sound =
        SoundFigures{FormatName(header.format), header.rate, header.channels,
                     static_cast<std::uint32_t>(std::min<std::uint64_t>(samples, UINT32_MAX))};
    return AssetPlan{std::move(asset), mp3 ? "mp3" : "bin", [blocks](const ByteSink& sink) {
                         for (const std::string_view block : *blocks) {
                             sink(Bytes(block), block.size());
                         }
                     }};
}

}  // namespace velpin
