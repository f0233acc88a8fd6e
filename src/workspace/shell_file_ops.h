// Copy, move and delete for the folder tree: the shell's file operation on
// one path, with the main window locked while it runs. None of them unlocks
// the window again; the command that called them does, when it returns.
#pragma once
#include <string>

namespace talvora {

class Form1;

// 1 when done, 0 when it failed or the user cancelled. destination: the
// full new path, or an existing folder to put the source into.
// After a successful copy the tree's selected node (the paste target) is
// read again from disk and expanded; with no selected node that refresh
// throws std::runtime_error.
int ShellCopy(Form1& form, const std::string& source, const std::string& destination);
int ShellMove(Form1& form, const std::string& source, const std::string& destination);
// Asks, then moves the file or folder to the trash.
int ShellDelete(Form1& form, const std::string& path);

}  // namespace talvora
