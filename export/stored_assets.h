// The assets a movie keeps in the form a file has them: DefineBinaryData's data (a movie as
// .swf), the ABC block of DoABC and DoABC2, and the action records of DoAction and DoInitAction.
#pragma once

#include <cstdint>

#include "export/asset_plan.h"
#include "swfff/document.h"

namespace velpin {

bool IsDataCode(std::uint16_t code);
bool IsScriptCode(std::uint16_t code);

// The plan for the data or script item `item` at `index`. Its bytes point into `item`.
AssetPlan PlanStored(const TagItem& item, std::int64_t index);

}  // namespace velpin
