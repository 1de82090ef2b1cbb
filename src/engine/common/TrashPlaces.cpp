#include "common/TrashPlaces.h"

#include "common/TextParts.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace corvelle {
namespace {

/// A mount table field with its "\ooo" escapes (space, tab, newline, backslash) undone.
std::string unescapeMountField(std::string_view field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string_view digits = field.substr(i + 1, 3);
            if (std::all_of(digits.begin(), digits.end(),
                            [](char c) { return c >= '0' && c <= '7'; })) {
                out += static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 +
                                         (digits[2] - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

} // namespace

TrashEnvironment TrashEnvironment::current()
{
    fs::path dataHome;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        dataHome = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            const passwd* entry = ::getpwuid(::geteuid());
            home = entry != nullptr ? entry->pw_dir : "/";
        }
        dataHome = fs::path(home) / ".local/share";
    }
    return TrashEnvironment{dataHome / "Trash", ::geteuid()};
}

std::vector<fs::path> mountPoints(std::string_view mountTableText)
{
    std::vector<fs::path> points;
    forEachPart(mountTableText, '\n', [&](std::string_view line) {
        // ID, parent ID, major:minor, root, mount point, ...
        std::size_t at = 0;
        for (int field = 0; field < 4 && at != std::string_view::npos; ++field) {
            at = line.find(' ', at);
            at = at == std::string_view::npos ? at : at + 1;
        }
        if (at != std::string_view::npos) {
            points.emplace_back(unescapeMountField(line.substr(at, line.find(' ', at) - at)));
        }
    });
    return points;
}

TrashPlaces TrashPlaces::find(const TrashEnvironment& environment, const fs::path& mountTable)
{
    TrashPlaces places;
    places.add(environment.homeTrash);
    std::ifstream in(mountTable);
    const std::string table{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string uid = std::to_string(environment.uid);
    for (const fs::path& top : mountPoints(table)) {
        places.add(top / ".Trash" / uid);
        places.add(top / (".Trash-" + uid));
    }
    return places;
}

bool TrashPlaces::isTrash(PhysicalFile folder) const
{
    return folder.known() &&
           std::find(m_folders.begin(), m_folders.end(), folder) != m_folders.end();
}

void TrashPlaces::add(const fs::path& folder)
{
    const std::optional<PhysicalFile> identity = folderIdentity(folder);
    if (identity && !isTrash(*identity)) {
        m_folders.push_back(*identity);
    }
}

} // namespace corvelle
