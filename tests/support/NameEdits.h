// One small edit of a name, for tests that need names near each other.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>

namespace corvelle::test {

/// Edit 0 inserts c at `at`, 1 deletes the character there, 2 swaps it with the next one,
/// 3 replaces it by c; an edit that has no character to work on changes nothing.
template <typename String, typename Char>
void editName(String& name, unsigned edit, std::size_t at, Char c)
{
    switch (edit % 4) {
    case 0:
        name.insert(name.begin() + static_cast<std::ptrdiff_t>(std::min(at, name.size())), c);
        break;
    case 1:
        if (at < name.size()) {
            name.erase(at, 1);
        }
        break;
    case 2:
        if (at + 1 < name.size()) {
            std::swap(name[at], name[at + 1]);
        }
        break;
    default:
        if (at < name.size()) {
            name[at] = c;
        }
    }
}

} // namespace corvelle::test
