#pragma once
// The checked lines the reporting processes send: "<tag> <number> <filler>
// <sum>", the filler's length and letter chosen by the number, the sum over
// everything before it. A torn or mixed line fails the check.
#include <cstdlib>
#include <string>

namespace stress_line {

inline unsigned sum(const std::string& text) {
    unsigned total = 0;
    for (unsigned char c : text)
        total = total * 31 + c;
    return total;
}

inline std::string make(const std::string& tag, int number) {
    std::string text = tag + " " + std::to_string(number) + " " +
                       std::string(1 + number % 300, static_cast<char>('a' + number % 26));
    return text + " " + std::to_string(sum(text));
}

// The number of a line that passes the check; -1 when it does not.
inline int check(const std::string& text, std::string& tag) {
    const size_t first = text.find(' ');
    const size_t second = first == std::string::npos ? first : text.find(' ', first + 1);
    if (second == std::string::npos)
        return -1;
    tag = text.substr(0, first);
    const int number = std::atoi(text.c_str() + first + 1);
    return number >= 0 && make(tag, number) == text ? number : -1;
}

} // namespace stress_line
