// Copying, moving and deleting one file or folder the way the desktop shell
// does it for the user: it asks before replacing anything, asks before
// moving to the trash, shows a progress window for long copies and shows
// its own error messages, all through the dialog layer. Nothing is lost: a
// move never replaces without a Yes, and a move across file systems copies,
// checks the copy, then removes the original.
#pragma once
#include <string>

class QWidget;

namespace platform {
namespace ShellOps {

// destination: the full new path, or an existing folder to put the source
// into. A folder of the source's own name at the destination is merged
// with, asking before each file it would replace. owner: the window the
// progress window belongs to. 1 when everything was done and nothing was
// cancelled, else 0.
int Copy(const std::string& source, const std::string& destination, QWidget* owner = nullptr);
int Move(const std::string& source, const std::string& destination, QWidget* owner = nullptr);
// Asks, then moves the file or folder to the trash. 1 when it is there.
int Delete(const std::string& path, QWidget* owner = nullptr);

// The user's trash: $XDG_DATA_HOME/Trash, or ~/.local/share/Trash.
std::string TrashFolder();

}  // namespace ShellOps
}  // namespace platform
