#pragma once

// Winsock 2 before anything that brings in windows.h.
#include "LoopbackHttpServer.h"
#include "TestFiles.h"

#include <string>

namespace reliability {

// The loopback server of the whole program, reached through the HTTP stack's
// proxy setting (set on first use). One server for every case: Wine's HTTP
// stack keeps using the connections of a proxy it has used, so a second
// server on another port would not be reached reliably.
test_support::LoopbackHttpServer& server();

// Cycles of the repeated-work cases: RELIABILITY_CYCLES when set (500 for
// the full run), else 40, which keeps the suite short enough for CI.
int cycles();
// Bytes this process has committed for itself.
size_t privateBytes();
// The user's local copy of the course list.
using test_support::localCopyPath;
using test_support::readFile;
using test_support::writeFile;

} // namespace reliability
