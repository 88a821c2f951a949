#pragma once

#include <QString>

class QMimeData;

namespace tidewell {

// The folder a drag and drop carries: exactly one local item that is an
// existing directory, as an absolute path without a trailing separator
// (the root stays "/"). Empty for anything else: several items, a file, a
// remote address, text.
[[nodiscard]] QString droppedFolder(const QMimeData& data);

}  // namespace tidewell
