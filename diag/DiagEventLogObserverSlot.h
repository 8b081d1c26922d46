#pragma once

#include <string>

namespace kelvora_core {
namespace detail {

// Hands a recorded line to the log's observer, if one is set. A change of
// the observer waits for a call in progress, so a removed observer is never
// called afterwards.
void notifyDiagObserver(const std::string& line);

// The log file's full name in a folder: folder, one backslash, file name.
std::string logFileNameIn(const std::string& folder);

} // namespace detail
} // namespace kelvora_core
