#pragma once

#include <string>

namespace kelvora_core {
namespace detail {

// Hands a recorded line to the log's observer, if one is set, holding no
// lock during the call. A removal waits for a call in progress (see
// removeDiagEventLogObserver), so a removed observer is never called afterwards.
void notifyDiagObserver(const std::string& line);

// The log file's full name in a folder: folder, one backslash, file name;
// empty (no file is opened) when there is no folder.
std::string logFileNameIn(const std::string& folder);

} // namespace detail
} // namespace kelvora_core
