#pragma once

#include <cstddef>

/// The name main looks the window's entry point up by.
#define DIRWEAVER_RUN_WINDOW "dirweaver_run_window"

/// Opens the main window on folder (absolute, folderLength bytes) with the listing options of
/// the command line's arguments (argc of them after the program's name, checked already)
/// and runs it to the end; returns the program's exit status.
using RunWindowFunction = int (*)(char *program, const char *folder, std::size_t folderLength,
                                  int argc, char **argv);
