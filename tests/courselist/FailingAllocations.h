#pragma once

#include <windows.h>

// Makes every allocation through operator new on one thread fail with
// std::bad_alloc, for as long as the switch is on.
namespace failing_allocations {

void failOnThread(DWORD threadId);
void stop();

// Turns the failures on for one thread for the life of the object.
class Scope {
public:
    explicit Scope(DWORD threadId) { failOnThread(threadId); }
    ~Scope() { stop(); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

} // namespace failing_allocations
