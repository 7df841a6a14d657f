#pragma once
// The host's graphs: the file and its description (graph_file.h), building it in the engine and
// saving it again (graph_build.h), and panel values (panel_replay.h).
#include "host/graph_build.h"
#include "host/graph_file.h"
#include "host/panel_replay.h"
