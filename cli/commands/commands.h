// The subcommands of velpin-cli. Each takes the arguments after its name and returns the exit
// status; bad usage raises UsageError.
#pragma once

#include <string>
#include <vector>

int RunTreeCommand(const std::vector<std::string>& args);
int RunTagsCommand(const std::vector<std::string>& args);
int RunSaveCommand(const std::vector<std::string>& args);
int RunScanCommand(const std::vector<std::string>& args);
int RunExtractCommand(const std::vector<std::string>& args);
int RunInfoCommand(const std::vector<std::string>& args);
