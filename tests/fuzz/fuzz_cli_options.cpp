// corvelle-cli's command line, of any argument vector: it parses without harm into settings
// the passes can run with, or into a reason; sizes, filter warnings and exclude patterns too.
#include "CliOptions.h"
#include "FuzzInput.h"
#include "intake/PathExcludes.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace corvelle;
    fuzz::FuzzInput input(data, size);
    std::vector<std::string_view> args;
    while (!input.empty() && args.size() < 32) {
        args.push_back(input.text());
    }

    const cli::ParseResult result = cli::parseArguments(args);
    if (const auto* error = std::get_if<cli::UsageError>(&result)) {
        // The message quotes the argument's own bytes; stderr escapes them as it prints.
        fuzz::check(!error->message.empty(), "a usage error without a reason");
    } else if (const auto* options = std::get_if<cli::Options>(&result)) {
        const DedupeSettings& s = options->settings;
        fuzz::check(s.anyCriterion(), "options without a criterion");
        fuzz::check(s.lngMatchScore >= 0 && s.lngMatchScore <= 100, "a match outside 0..100");
        fuzz::check(!options->paths.empty(), "options without a path");
        fuzz::check(s.blnUseCRC ? s.lngCRCSize >= 1024 && s.lngCRCSize <= 16 * 1024 * 1024
                                : s.lngCRCSize == 0,
                    "a checksum size the window does not offer");
        for (const std::string& warning : cli::filterWarnings(options->filter)) {
            fuzz::check(!warning.empty(), "an empty filter warning");
        }
        // Any pattern against any path: every argument matched as a file and as a folder.
        PathExcludes excludes;
        for (const std::string& pattern : options->excludes) {
            excludes.add(pattern);
        }
        for (const std::string_view arg : args) {
            fuzz::check(!excludes.excludes(arg, false) || excludes.excludes(arg, true),
                        "a pattern that matches a file but not a folder of the same path");
        }
    }
    for (const std::string_view arg : args) {
        if (const auto bytes = cli::parseSize(arg)) {
            fuzz::check(bytes->bytes() >= 0, "a negative size");
        }
    }
    return 0;
}
