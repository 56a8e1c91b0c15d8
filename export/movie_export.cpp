#include "export/movie_export.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <unordered_set>

#include "analysis/tag_reader.h"
#include "base/error.h"
#include "export/asset_file.h"
#include "export/image_assets.h"
#include "export/sound_assets.h"
#include "export/stored_assets.h"
#include "swfff/fileio.h"
#include "swfff/vocabulary.h"

namespace velpin {

namespace {

std::optional<AssetKind> KindOf(std::uint16_t code) {
    if (IsImageCode(code)) {
        return AssetKind::Image;
    }
    if (code == tagDefineSound || code == tagSoundStreamHead || code == tagSoundStreamHead2) {
        return AssetKind::Sound;
    }
    if (IsDataCode(code)) {
        return AssetKind::Data;
    }
    if (IsScriptCode(code)) {
        return AssetKind::Script;
    }
    return std::nullopt;
}

// The sprite whose timeline holds the items at each depth: the movie's own at depth 0.
class Timelines {
  public:
    void Pass(const TagItem& item) {
        if (item.TagCode != tagDefineSprite) {
            return;
        }
        TagReader body = TagReader::OfBody(item);
        const std::uint16_t id = body.U16();
        sprites_.resize(std::size_t{item.Depth} + 2);
        sprites_[item.Depth + 1] = id;
    }
    std::optional<std::uint16_t> SpriteAt(std::uint16_t depth) const {
        return depth == 0 || depth >= sprites_.size() ? std::nullopt
                                                      : std::optional(sprites_[depth]);
    }

  private:
    std::vector<std::uint16_t> sprites_;
};

// The body of the movie's JPEGTables, which DefineBits needs: the format allows one, before any
// DefineBits.
std::optional<ByteSpan> JpegTablesOf(const CInputScript& movie) {
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        if (item->TagCode == tagJpegTables && item->Depth == 0) {
            return ByteSpan{item->Data + item->HeaderLength,
                            static_cast<std::size_t>(item->BodyLength)};
        }
    }
    return std::nullopt;
}

bool Exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::vector<AssetPlan> PlanMovieExport(const CInputScript& movie,
                                       const std::vector<AssetKind>& kinds) {
    const auto wanted = [&kinds](AssetKind kind) {
        return kinds.empty() || std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
    };
    const std::optional<ByteSpan> tables = JpegTablesOf(movie);
    std::vector<AssetPlan> plans;
    std::unordered_set<const std::uint8_t*> seen;
    Timelines timelines;
    std::int64_t index = 0;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next, ++index) {
        timelines.Pass(*item);
        const std::optional<AssetKind> kind = KindOf(item->TagCode);
        if (!kind || !wanted(*kind) || !seen.insert(item->Data).second) {
            continue;
        }
        switch (*kind) {
            case AssetKind::Image:
                plans.push_back(PlanImage(*item, index, tables ? &*tables : nullptr));
                break;
            case AssetKind::Sound:
                if (item->TagCode == tagDefineSound) {
                    plans.push_back(PlanSound(*item, index));
                } else if (std::optional<AssetPlan> stream =
                               PlanStreamSound(*item, index, timelines.SpriteAt(item->Depth))) {
                    plans.push_back(std::move(*stream));
                }
                break;
            case AssetKind::Data:
            case AssetKind::Script:
                plans.push_back(PlanStored(*item, index));
                break;
        }
    }
    return plans;
}

std::string AssetFileName(const AssetPlan& plan) {
    const ExportedAsset& asset = plan.asset;
    return std::to_string(asset.index) + (asset.id ? "-" + std::to_string(*asset.id) : "") + "." +
           plan.extension;
}

ExportCounts WriteMovieExport(std::vector<AssetPlan>& plans, const std::string& folder,
                              const ManifestLineWriter& line) {
    std::error_code failed;
    std::filesystem::create_directories(folder, failed);
    if (failed) {
        RaiseIoError(failed.value(), folder, IoOp::Create);
    }
    std::vector<std::string> names{kManifestName};
    for (const AssetPlan& plan : plans) {
        if (plan.produce) {
            names.push_back(AssetFileName(plan));
        }
    }
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        if (Exists(path)) {
            throw Error(ErrorClass::Content, ErrorSubject::Output,
                        "the file exists; nothing was exported", path);
        }
    }
    ExportCounts counts;
    std::string manifest;
    for (AssetPlan& plan : plans) {
        ExportedAsset& asset = plan.asset;
        if (plan.produce) {
            const std::string name = AssetFileName(plan);
            try {
                const WrittenFile written = WriteNewFile(folder + "/" + name, plan.produce);
                asset.file = name;
                asset.size = written.size;
                asset.sha256 = written.sha256;
            } catch (const Error& error) {
                if (error.Class() != ErrorClass::Content) {
                    throw;
                }
                asset.error = error.what();
            }
        }
        ++(asset.error ? counts.errors : counts.files);
        line(asset, manifest);
    }
    WriteNewFile(folder + "/" + kManifestName, [&manifest](const ByteSink& sink) {
        sink(reinterpret_cast<const std::uint8_t*>(manifest.data()), manifest.size());
    });
    return counts;
}

ExportCounts CountMovieExport(const std::vector<AssetPlan>& plans) {
    ExportCounts counts;
    for (const AssetPlan& plan : plans) {
        bool written = false;
        if (plan.produce) {
            try {
                MeasureFile(plan.produce);
                written = true;
            } catch (const Error& error) {
                if (error.Class() != ErrorClass::Content) {
                    throw;
                }
            }
        }
        ++(written ? counts.files : counts.errors);
    }
    return counts;
}

}  // namespace velpin
