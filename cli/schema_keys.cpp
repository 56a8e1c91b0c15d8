#include "cli/schema_keys.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace velpin {

namespace {

using Json = nlohmann::ordered_json;

const std::string kLocalDefinition = "#/$defs/";

// A reference into the same schema's definitions; references to other files are documented
// under their own output, so they are not followed.
const Json* LocalTarget(const Json& node, const Json& root) {
    if (!node.contains("$ref") || !node["$ref"].is_string()) {
        return nullptr;
    }
    const std::string target = node["$ref"].get<std::string>();
    if (target.rfind(kLocalDefinition, 0) != 0) {
        return nullptr;
    }
    const std::string name = target.substr(kLocalDefinition.size());
    const auto definitions = root.find("$defs");
    if (definitions == root.end() || !definitions->contains(name)) {
        return nullptr;
    }
    return &(*definitions)[name];
}

std::string DescriptionOf(const Json& node, const Json& root) {
    if (node.contains("description") && node["description"].is_string()) {
        return node["description"].get<std::string>();
    }
    const Json* target = LocalTarget(node, root);
    return target == nullptr ? std::string() : DescriptionOf(*target, root);
}

class KeyWalk {
  public:
    explicit KeyWalk(const Json& root) : root_(root) {}

    void Walk(const Json& node, const std::string& path) {
        if (!node.is_object()) {
            return;
        }
        if (const auto properties = node.find("properties"); properties != node.end()) {
            for (const auto& [name, property] : properties->items()) {
                const std::string key = path.empty() ? name : path + "." + name;
                Add(key, DescriptionOf(property, root_));
                Walk(property, key);
            }
        }
        if (const auto items = node.find("items"); items != node.end()) {
            Walk(*items, path + "[]");
        }
        if (const auto others = node.find("additionalProperties"); others != node.end()) {
            Walk(*others, path + ".*");
        }
        if (const Json* target = LocalTarget(node, root_)) {
            // A definition already being walked is a recursive one (a tree node's children):
            // its keys are listed once.
            if (std::find(walking_.begin(), walking_.end(), target) == walking_.end()) {
                walking_.push_back(target);
                Walk(*target, path);
                walking_.pop_back();
            }
        }
        // Conditions (if, then, else) only narrow keys declared elsewhere.
        for (const char* branches : {"allOf", "anyOf", "oneOf"}) {
            if (const auto list = node.find(branches); list != node.end() && list->is_array()) {
                for (const Json& branch : *list) {
                    Walk(branch, path);
                }
            }
        }
    }

    std::vector<SchemaKey> Keys() const { return keys_; }

  private:
    // A key met again in another branch (a const that narrows it) keeps the first words given.
    void Add(const std::string& path, const std::string& description) {
        const auto known = std::find_if(keys_.begin(), keys_.end(),
                                        [&](const SchemaKey& key) { return key.path == path; });
        if (known == keys_.end()) {
            keys_.push_back({path, description});
        } else if (known->description.empty()) {
            known->description = description;
        }
    }

    const Json& root_;
    std::vector<const Json*> walking_;
    std::vector<SchemaKey> keys_;
};

SchemaOutput ReadSchema(const std::filesystem::path& file) {
    std::ifstream in(file);
    const Json root = Json::parse(in);
    SchemaOutput output;
    output.file = file.filename().string();
    output.title = root.value("title", "");
    output.description = root.value("description", "");
    KeyWalk walk(root);
    walk.Walk(root, "");
    output.keys = walk.Keys();
    return output;
}

}  // namespace

std::vector<SchemaOutput> ReadSchemas(const std::string& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".json") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end(), [](const auto& left, const auto& right) {
        const bool leftShared = left.filename() == "envelope.schema.json";
        const bool rightShared = right.filename() == "envelope.schema.json";
        return leftShared != rightShared ? leftShared : left < right;
    });
    std::vector<SchemaOutput> outputs;
    std::string bare;
    for (const auto& file : files) {
        outputs.push_back(ReadSchema(file));
        for (const SchemaKey& key : outputs.back().keys) {
            if (key.description.empty()) {
                bare += "\n  " + outputs.back().file + ": " + key.path;
            }
        }
    }
    if (!bare.empty()) {
        throw std::runtime_error("keys without a description:" + bare);
    }
    return outputs;
}

}  // namespace velpin
