#include "report/faults.h"

#include "report/envelope.h"

namespace velpin {

std::vector<std::string> FaultSentences(const MovieFaults& faults) {
    std::vector<std::string> sentences;
    if (faults.stream) {
        const StreamFault& stream = *faults.stream;
        const std::string name(SignatureText(stream.signature).value_or("compressed"));
        sentences.push_back(stream.cut ? "the " + name + " stream broke off after " +
                                             std::to_string(stream.inflated) + " bytes (" +
                                             stream.reason + ")"
                                       : "the " + name + " stream is whole, but " + stream.reason);
    }
    const LoadFaults& load = faults.load;
    if (load.lengthDiffers) {
        sentences.push_back("declared length " + std::to_string(load.declaredLength) + ", " +
                            std::to_string(load.size) + " bytes held");
    }
    if (load.walk.result != loadOk) {
        sentences.push_back(
            "the walk stopped at offset " + std::to_string(load.walk.offset) +
            (load.walk.depth != 0 ? ", depth " + std::to_string(load.walk.depth) : std::string()) +
            " (" + load.walk.reason + ")");
    }
    return sentences;
}

void WriteFaultsJson(JsonWriter& json, const std::optional<MovieFaults>& faults) {
    json.Key("faults");
    if (!faults || !faults->load.readable) {
        json.Null();
        return;
    }
    json.BeginArray();
    if (faults->stream) {
        json.BeginObject();
        json.Key("kind");
        json.String("stream");
        json.Key("signature");
        json.StringOrNull(SignatureText(faults->stream->signature));
        json.Key("inflated");
        json.Unsigned(faults->stream->inflated);
        json.Key("reason");
        json.String(faults->stream->reason);
        json.EndObject();
    }
    const LoadFaults& load = faults->load;
    if (load.lengthDiffers) {
        json.BeginObject();
        json.Key("kind");
        json.String("length");
        json.Key("declaredLength");
        json.Integer(load.declaredLength);
        json.Key("size");
        json.Integer(load.size);
        json.EndObject();
    }
    if (load.walk.result != loadOk) {
        json.BeginObject();
        json.Key("kind");
        json.String("walk");
        json.Key("result");
        json.Integer(load.walk.result);
        json.Key("reason");
        json.String(load.walk.reason);
        json.Key("offset");
        json.Integer(load.walk.offset);
        json.Key("depth");
        json.Integer(load.walk.depth);
        json.EndObject();
    }
    json.EndArray();
}

void WriteLoadMembers(JsonWriter& json, const LoadedInput& loaded) {
    WriteOutcomeMembers(json, {loaded.result, {}, loaded.maxSize});
    if (loaded.faults) {
        WriteFaultsJson(json, loaded.faults);
    }
}

}  // namespace velpin
