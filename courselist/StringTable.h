#pragma once

#include <string>

// Text of a string-table entry of the executable; empty when it is missing.
std::string loadResourceString(unsigned id);
