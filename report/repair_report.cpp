#include "report/repair_report.h"

#include "report/envelope.h"
#include "report/faults.h"
#include "report/json_writer.h"
#include "report/output.h"

namespace velpin {

std::string RepairLine(const MovieFaults& faults, const RepairOutcome& outcome, Signature written) {
    std::string line = "repair: ";
    for (const std::string& sentence : FaultSentences(faults)) {
        line += sentence + "; ";
    }
    if (faults.None()) {
        line += "nothing to mend; ";
    }
    line += "kept " + std::to_string(outcome.topLevelKept) + " of " +
            std::to_string(outcome.topLevelRead) + " top-level tags; ";
    if (outcome.endAdded) {
        line += "End added; ";
    }
    if (outcome.frameCountWritten != outcome.frameCountDeclared) {
        line += "frame count " + std::to_string(outcome.frameCountDeclared) + " -> " +
                std::to_string(outcome.frameCountWritten) + "; ";
    }
    line += std::to_string(outcome.fileLength) + " bytes written";
    if (IsCompressed(written)) {
        line += ", as " + std::string(*SignatureText(written));
    }
    if (!faults.Mendable()) {
        line += "; not mended: the damaged bytes are written as they came";
    }
    return line;
}

void PrintRepairJson(std::int32_t result, const MovieFaults& faults, const RepairOutcome& outcome) {
    StdoutWriter out;
    JsonWriter json(out.Buffer());
    BeginJsonEnvelope(json, {result, {}});
    WriteFaultsJson(json, faults);
    // The figures of the movie read, under the names the written movie's carry beside them.
    json.Key("input");
    json.BeginObject();
    json.Key("topLevelTags");
    json.Integer(outcome.topLevelRead);
    json.Key("frameCount");
    json.Integer(outcome.frameCountDeclared);
    json.EndObject();
    // The written movie's, as a scan of it counts them: the End added is one of them.
    json.Key("topLevelTags");
    json.Integer(outcome.topLevelKept + (outcome.endAdded ? 1 : 0));
    json.Key("endAdded");
    json.Boolean(outcome.endAdded);
    json.Key("frameCount");
    json.Integer(outcome.frameCountWritten);
    json.Key("writtenLength");
    json.Integer(outcome.fileLength);
    json.Key("mended");
    json.Boolean(faults.Mendable());
    json.EndObject();
    out.Put("\n");
}

}  // namespace velpin
