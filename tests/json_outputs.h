// Keeps the JSON outputs a test gets, each under the name of its schema, so that a CTest script
// checks them all against the schemas after the tests ran: the golden outputs stay in the tests
// alone, and no test repeats the schemas' rules.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kLargestKeptOutput = 1 << 20;

// `schema` names the schema file without ".schema.json", followed by ".NAME" for its definition
// NAME; a scan-row output may hold several rows, one a line.
inline void KeepJsonOutput(const std::string& schema, std::string_view text) {
    static int kept = 0;
    const ::testing::TestInfo* const test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    std::replace(name.begin(), name.end(), '/', '_');
    const std::filesystem::path folder = std::filesystem::path(VELPIN_JSON_OUTPUTS) / schema;
    std::filesystem::create_directories(folder);
    std::ofstream(folder / (name + "-" + std::to_string(++kept) + ".json"), std::ios::binary)
        << text;
}

// The same for what velpin-cli printed on standard output when run with `args`: kept when it
// is JSON.
inline void KeepJsonOutputOf(const std::vector<std::string>& args, std::string_view out) {
    const auto has = [&args](const char* arg) {
        return std::find(args.begin(), args.end(), arg) != args.end();
    };
    // An output of megabytes only repeats the shapes of the small ones, and would take the
    // validator a minute.
    if (args.empty() || out.empty() || out.size() > kLargestKeptOutput || has("-h") ||
        has("--help")) {
        return;
    }
    const std::string& command = args.front();
    if (command == "scan") {
        KeepJsonOutput("scan-row", out);
    } else if ((command == "tree" || command == "tags" || command == "info" ||
                command == "repair") &&
               has("--json")) {
        KeepJsonOutput(command, out);
    }
}
