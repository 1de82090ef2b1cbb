// The chosen-files string of a file dialog (folder NUL name NUL name ...): any bytes parse
// without harm, no path names an empty file name, and paths written back as such strings read
// back as the same paths.
#include "FuzzInput.h"
#include "intake/IntakeNames.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace corvelle;
    const std::string_view chosen(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> paths = chosenFilePaths(chosen);
    // A list's names come from a folder listing: they hold no "/", so each path names a file.
    const std::size_t firstNul = chosen.find('\0');
    const bool plainList =
        firstNul != std::string_view::npos && chosen.find('/', firstNul) == std::string_view::npos;
    for (const std::string& path : paths) {
        fuzz::check(path.find('\0') == std::string::npos, "a path holds a NUL");
        fuzz::check(!plainList || !splitFolderAndName(path).name.empty(),
                    "a path of a list names no file");
    }

    // Absolute paths with a name each, as a dialog gives them, survive the round trip.
    std::vector<std::string> files;
    for (const std::string& path : paths) {
        if (!path.empty() && path.front() == '/' && !splitFolderAndName(path).name.empty()) {
            files.push_back(path);
        }
    }
    std::vector<std::string> readBack;
    for (const std::string& text : chosenFilesStrings(files)) {
        for (std::string& path : chosenFilePaths(text)) {
            readBack.push_back(std::move(path));
        }
    }
    fuzz::check(readBack == files, "paths written as chosen-files strings read back otherwise");
    return 0;
}
