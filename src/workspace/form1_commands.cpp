#include "workspace/form1.h"

namespace talvora {

// The tree's context menu and the commands behind it and behind the
// toolbar's buttons 6 to 10 are built here. Until they land, the menu stays
// unbuilt and the commands do nothing; buttons 6 to 10 stay disabled.
void Form1::InitContextMenu() {}
void Form1::CopyNode() {}
void Form1::CutNode() {}
void Form1::PasteNode() {}
void Form1::DeleteNode() {}
void Form1::BeginRename() {}

}  // namespace talvora
