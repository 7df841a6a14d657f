#pragma once
// The host's graphs: the file and its description (graph_file.h), building it in the engine and
// saving it again (graph_build.h), panel values (panel_replay.h), and running it (graph_run.h).
#include "host/graph/graph_build.h"
#include "host/graph/graph_file.h"
#include "host/run/graph_run.h"
#include "host/panel/panel_replay.h"
