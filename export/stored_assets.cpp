#include "export/stored_assets.h"

#include "analysis/tag_reader.h"
#include "input/embedded_movies.h"
#include "swfff/vocabulary.h"

namespace velpin {

bool IsDataCode(std::uint16_t code) {
    return code == tagDefineBinaryData;
}

bool IsScriptCode(std::uint16_t code) {
    return code == tagDoAbc || code == tagDoAbcDefine || code == tagDoAction ||
           code == tagDoInitAction;
}

AssetPlan PlanStored(const TagItem& item, std::int64_t index) {
    ExportedAsset asset =
        AssetOf(item, index, IsDataCode(item.TagCode) ? AssetKind::Data : AssetKind::Script);
    TagReader body = TagReader::OfBody(item);
    const char* extension = "bin";
    switch (item.TagCode) {
        case tagDefineBinaryData:
            asset.id = body.U16();
            body.Skip(4);  // reserved
            break;
        case tagDoInitAction:
            asset.id = body.U16();
            break;
        case tagDoAbcDefine:
            body.Skip(4);  // the flags
            body.CString();
            extension = "abc";
            break;
        case tagDoAbc:
            extension = "abc";
            break;
        default:
            break;
    }
    if (body.Failed()) {
        return FailedPlan(std::move(asset), kShortBody);
    }
    const std::string_view bytes = body.Bytes(body.Remaining());
    const ByteSpan data{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
    if (item.TagCode == tagDefineBinaryData && IsMovieData(data)) {
        extension = "swf";
    }
    return StoredBytesPlan(std::move(asset), bytes, extension);
}

}  // namespace velpin
