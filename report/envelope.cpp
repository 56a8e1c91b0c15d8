#include "report/envelope.h"

#include "report/output.h"
#include "swfff/document.h"

namespace velpin {

std::string LoadResultWords(std::int32_t result, std::int64_t maxSize) {
    if (result == loadTooLarge) {
        return "the file is larger than the --max-size limit of " + std::to_string(maxSize) +
               " bytes";
    }
    return LoadResultReason(result);
}

void WriteOutcomeMembers(JsonWriter& json, const MovieOutcome& outcome) {
    json.Key("result");
    if (outcome.result) {
        json.Integer(*outcome.result);
    } else {
        json.Null();
    }
    json.Key("reason");
    if (outcome.result && *outcome.result != loadOk) {
        json.String(LoadResultWords(*outcome.result, outcome.maxSize));
    } else {
        json.Null();
    }
    json.Key("error");
    if (outcome.result) {
        json.Null();
    } else {
        json.String(outcome.error);
    }
}

void BeginJsonEnvelope(JsonWriter& json, const MovieOutcome& outcome) {
    json.BeginObject();
    WriteOutcomeMembers(json, outcome);
}

void PrintJsonFailure(const MovieOutcome& outcome, bool noFaults) {
    StdoutWriter out;
    JsonWriter json(out.Buffer());
    BeginJsonEnvelope(json, outcome);
    if (noFaults) {
        json.Key("faults");
        json.Null();
    }
    json.EndObject();
    out.Put("\n");
}

}  // namespace velpin
