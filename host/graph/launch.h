#pragma once
// `vento launch`: a graph written on one line, read into the same description a graph file gives.
//
//   SignalW Shape=4 ! FFT ! Filter "High Cut"=30 ! iFFT ! GraphWindow
//   Multiplier name=m ! GraphWindow  SignalW ! m.  SignalW Freq=0.17 ! m.
//
// - A module is its type name followed by its properties; `!` links the module (or pin) before it
//   to the one after it. A module not linked to the one before it starts a new chain.
// - `Name=value` sets a setting by the module's own setting name, or, when no setting has that name,
//   a panel control by its label: a trackbar's position, a list's entry (its number from 0, or its
//   text), a button or check box pressed with 1. The panel value is kept by the control's id, as
//   graph files usually name controls. Names and values may be quoted ("High Cut"=30).
// - `name=NAME` names the instance (else it is its type and a number: "SignalW1", "SignalW2").
// - `inst.Pin` is a pin of the instance named `inst`; `inst.` its main pin: "Default", or its only
//   pin of that direction. Before `!` it is an output, after `!` an input. A module's own end of a
//   link is its main pin likewise.
//
// Reading a description creates each module once (the servers must be registered) to learn its
// settings (through a real SaveSettings), its panel's labels (from its real panel, with the given
// settings loaded first) and its pins; those modules are gone again when it returns.
//
// An error is one line pointing at the place: "launch: at 17 'Shap=4': SignalW has no setting or
// panel label 'Shap' (settings: Amp, Freq, ...; labels: Frequency, ...)". Positions count characters
// of the description from 1.
#include <functional>
#include <string>
#include <string_view>
#include "host/graph/graph_file.h"

namespace vento {

// The name launch's graphs go by in messages (as a graph file's name would).
inline constexpr wchar_t launchName[] = L"launch";

// Text settings that begin with '/' pass through `path` (when given): the command turns absolute
// Linux file names into the ones Windows programs use.
using LaunchPath = std::function<std::wstring(const std::wstring&)>;

// Reads the description. Needs a single-threaded apartment with no Engine on the thread. Throws
// EngineError.
Graph readLaunch(std::wstring_view description, const LaunchPath& path = {});

} // namespace vento
