#pragma once
// A graph file as a picture: Graphviz DOT text of a described graph (graph_file.h), drawn left to
// right. Each module is a box with its instance name, its type and the values the file gives it
// (settings, and panel values by the id or label the file uses); each connection an edge labelled
// "output pin → input pin". Only the description is read: no module is made, so panel values
// show as the file names them.
#include <string>
#include <string_view>
#include "host/graph/graph_file.h"

namespace vento {

// UTF-8 DOT text; `title` names the graph (the file's name).
std::string graphDot(const Graph& graph, std::wstring_view title);

} // namespace vento
