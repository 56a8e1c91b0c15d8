#include "cli/commands/json_envelope.h"

#include "swfff/document.h"

void WriteOutcomeMembers(JsonWriter& json, const MovieOutcome& outcome) {
    json.Key("result");
    if (outcome.result) {
        json.Integer(*outcome.result);
    } else {
        json.Null();
    }
    json.Key("reason");
    if (outcome.result && *outcome.result != loadOk) {
        json.String(LoadResultReason(*outcome.result));
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
