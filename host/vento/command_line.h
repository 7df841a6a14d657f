#pragma once
// What the vento command's verbs share: the verb table's row, usage errors, reading the command
// line (paths, numbers, run options) and the lines every run prints.
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>
#include "host/run/graph_run.h"

namespace vento::command {

namespace fs = std::filesystem;

// One verb of the command: its synopsis and summary for 'vento --help', its own help, what it does.
struct Verb {
    const char* synopsis;
    const char* summary;
    const char* help;
    int (*run)(const std::vector<std::string>& args);
};

// The verbs, in the order 'vento --help' lists them (catalogue_verbs.cpp, graph_verbs.cpp, studio_verb.cpp).
extern const Verb registerVerb, unregisterVerb, listVerb, inspectVerb, runVerb, launchVerb, panelVerb, saveVerb,
    exportVerb, dotVerb, studioVerb;

// A command line that cannot be: exit code 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The value after option args[i] (i moves on to it).
std::string argument(const std::vector<std::string>& args, size_t& i, const std::string& option);
std::wstring wide(const std::string& text);
// A file named on the command line (an absolute Linux path is turned into the DOS path Wine maps
// it to).
fs::path hostPath(const std::wstring& text);
fs::path widePath(const std::string& text);

struct RunCommand {
    fs::path graph;
    std::string description;      // launch: the words joined
    std::optional<fs::path> save; // launch --save
    bool quiet = false;
    RunOptions options;
};
// run's options; `launch` takes the description and --save instead of one graph.
RunCommand runCommand(const std::vector<std::string>& args, bool launch = false);

void printBlocksSent(const std::vector<ModuleSends>& sent, const char* title);

} // namespace vento::command
