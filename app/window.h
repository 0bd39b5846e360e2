#pragma once

#include <cstddef>

/// The name main looks the window's entry point up by.
#define DIRWEAVER_RUN_WINDOW "dirweaver_run_window"

/// Opens the main window on folder (absolute, folderLength bytes) and runs it to the end;
/// returns the program's exit status.
using RunWindowFunction = int (*)(char *program, const char *folder, std::size_t folderLength);
