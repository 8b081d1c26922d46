#pragma once

// Course lists damaged on purpose, for the hostile-input campaign.
#include <cstdint>
#include <string>

namespace test_documents {

// The text as UTF-16 (little-endian unless bigEndian), one character per byte.
std::string utf16(const std::string& text, bool bigEndian = false);

// A course list mutated as a hostile network path or a damaged disk might
// leave it: cut, flipped, re-encoded, nested, stretched, repeated, with
// hostile names or a document type. The same seed gives the same bytes;
// kinds names the mutations in the order they were made.
struct MutatedList {
    std::string bytes;
    std::string kinds;
};
MutatedList mutatedCourseList(uint32_t seed);

} // namespace test_documents
