// form_sinks.h: the console's report sinks, one per output form, and the one a run's options choose.
#pragma once
#include <memory>
#include "app/console/file_output.h"

// The sink of options.form (see ConsoleReport for stop and buffers), each adding per reported chunk:
// Report: the "file:" line at the start, then the chunk's report line, ended by LF (a line keeps any
//   CR or LF that came from the file).
// JSON: one JSON Lines object per chunk on stdout, no "file:" line; a notice is an object on stdout
//   and also "FILE: message" on stderr, for scripts that watch stderr alone.
// Text alone: the chunk's text (indented with --pretty where it is JSON), then LF (or NUL with -0).
// Files with matches: the file's name, then LF (or NUL), once, at its first reported chunk; the
//   rest of the file is not searched.
// Out folder: the chunk's text, written to a file of its own in folder as the chunk is found, and
//   named and renamed into place when its turn comes (out_folder.h). folder: the run's, which the
//   sink uses until written; the form needs it.
std::unique_ptr<ConsoleReport> NewConsoleReport(const CliOptions& options, const ChunkFilter& filter,
                                                const volatile bool* stop = nullptr, ReportBuffers* buffers = nullptr,
                                                OutFolder* folder = nullptr);
