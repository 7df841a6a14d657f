// vento: register the module servers, list the catalogue, run and save graphs. A table of verbs;
// each verb lives with its kind (catalogue_verbs.cpp, graph_verbs.cpp).
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include "com/error.h"
#include "host/engine/apartment.h"
#include "host/vento/command_line.h"

using namespace vento::command;

namespace {

const Verb* const verbs[] = {&registerVerb, &unregisterVerb, &listVerb,   &inspectVerb, &runVerb,   &launchVerb,
                             &panelVerb,    &saveVerb,       &exportVerb, &dotVerb,     &studioVerb};

// The verb's name: the first word of its synopsis.
std::string nameOf(const Verb& verb)
{
    const std::string synopsis = verb.synopsis;
    return synopsis.substr(0, synopsis.find(' '));
}

std::string usage()
{
    std::string text = "usage: vento <verb> [options]\n\nverbs:\n";
    for (const Verb* verb : verbs) {
        char line[160];
        std::snprintf(line, sizeof line, "  %-19s %s\n", verb->synopsis, verb->summary);
        text += line;
    }
    return text + "\n'vento <verb> --help' describes one verb. Errors go to stderr as one line; the exit\n"
                  "code is 0 on success, 1 on an error, 2 on a usage error.\n";
}

int dispatch(const std::vector<std::string>& all)
{
    if (all.empty() || all[0] == "--help" || all[0] == "-h" || all[0] == "help") {
        std::fputs(usage().c_str(), all.empty() ? stderr : stdout);
        return all.empty() ? 2 : 0;
    }
    const std::vector<std::string> args(all.begin() + 1, all.end());
    const auto verb = std::find_if(std::begin(verbs), std::end(verbs), [&](const Verb* v) { return nameOf(*v) == all[0]; });
    if (verb == std::end(verbs)) throw UsageError("unknown verb '" + all[0] + "' (vento --help lists them)");
    if (std::find(args.begin(), args.end(), "--help") != args.end() || std::find(args.begin(), args.end(), "-h") != args.end()) {
        std::fputs((*verb)->help, stdout);
        return 0;
    }
    vento::ComApartment apartment; // registration creates the engine's registrar too
    return (*verb)->run(args);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return dispatch(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "vento: %s\n", e.what());
        return 2;
    } catch (const vento::EngineError& e) {
        std::fprintf(stderr, "vento: %s\n", e.what());
        return 1;
    } catch (const modkit::ComError& e) {
        std::fprintf(stderr, "vento: failed with %s\n", vento::narrow(modkit::hresultText(e.code())).c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vento: %s\n", e.what());
        return 1;
    }
}
