// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>

// The runner's standard error carries its own lines only. The toolkit's messages (the warning
// about a missing runtime directory over SSH, and the like) are not the operator's business,
// and the device library loader's diagnostics matter only when loading fails: they are held
// until then, and dropped once the library is in. Critical and fatal messages still go through.
// Any thread; installed once by main.
namespace ToolkitMessages {

// From now on the toolkit's messages are held.
void hold();
// The messages held so far, as the toolkit would have printed them; from now on they are
// dropped.
QStringList release();

} // namespace ToolkitMessages
