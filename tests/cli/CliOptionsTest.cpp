// corvelle-cli's options, declared once: the parser, --help, the manual page and the shell
// completions agree with the table, and the options that stand for others or depend on each
// other say so.
#include "CliOptions.h"

#include "CliCompletion.h"
#include "CliFixture.h"

#include <cstdio>
#include <regex>

namespace corvelle::test {
namespace {

using cli::OptionEntry;

cli::Options parsed(const std::vector<std::string_view>& args)
{
    const cli::ParseResult result = cli::parseArguments(args);
    if (const auto* error = std::get_if<cli::UsageError>(&result)) {
        ADD_FAILURE() << error->message;
        return {};
    }
    return std::get<cli::Options>(result);
}

/// The output of a shell command.
std::string outputOf(const std::string& command)
{
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        out += buffer;
    }
    if (pipe != nullptr) {
        ::pclose(pipe);
    }
    return out;
}

TEST(CliOptions, theManualPageNamesEveryOptionAndNoOther)
{
    const std::string page = readFile(CORVELLE_MANUAL_PAGE);
    std::set<std::string> inTable;
    for (const OptionEntry& option : cli::optionTable()) {
        inTable.insert(std::string(option.name));
        std::string troff;
        for (const char c : option.name) {
            troff += c == '-' ? "\\-" : std::string(1, c);
        }
        EXPECT_NE(page.find(troff), std::string::npos) << option.name << " is not in the page";
    }
    // Every long option the page names is one the program takes.
    const std::regex named(R"(\\-\\-([a-z0-9]+(\\-[a-z0-9]+)*))");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), named);
         it != std::sregex_iterator(); ++it) {
        std::string option = (*it)[0];
        option.erase(std::remove(option.begin(), option.end(), '\\'), option.end());
        EXPECT_TRUE(inTable.contains(option)) << option << " is in the page, not the program";
    }
}

TEST(CliOptions, helpShowsEveryOptionWithItsDefaultWithinEightyColumns)
{
    const std::string help = cli::helpText();
    for (const std::string& line : linesOf(help)) {
        EXPECT_LE(line.size(), 84u) << line;
    }
    for (const OptionEntry& option : cli::optionTable()) {
        EXPECT_NE(help.find(std::string(option.name)), std::string::npos) << option.name;
    }
    // The defaults shown are those a run starts with.
    EXPECT_NE(help.find("(default extension,size,crc)"), std::string::npos);
    EXPECT_NE(help.find("(default 80)"), std::string::npos);
    EXPECT_NE(help.find("(default 1M)"), std::string::npos);
    EXPECT_NE(help.find("10MB = 10,000,000"), std::string::npos);
}

TEST(CliOptions, sizesTakeBinaryAndDecimalUnits)
{
    const std::vector<std::pair<std::string, std::optional<std::int64_t>>> cases{
        {"0", 0},
        {"123", 123},
        {"123B", 123},
        {"1K", 1024},
        {"1k", 1024},
        {"1KiB", 1024},
        {"10MB", 10'000'000},
        {"10MiB", 10'485'760},
        {"10M", 10'485'760},
        {"2G", std::int64_t{2} << 30},
        {"2GB", 2'000'000'000},
        {"3T", std::int64_t{3} << 40},
        {"3tb", 3'000'000'000'000},
        {"8388608T", std::nullopt}, // 2^63: too large
        {"1iB", std::nullopt},
        {"KB", std::nullopt},
        {"-1", std::nullopt},
        {"1.5M", std::nullopt},
        {"1X", std::nullopt}};
    for (const auto& [text, bytes] : cases) {
        const std::optional<FileSize> size = cli::parseSize(text);
        EXPECT_EQ(size.has_value(), bytes.has_value()) << text;
        if (size && bytes) {
            EXPECT_EQ(size->bytes(), *bytes) << text;
        }
    }
}

TEST(CliOptions, contentStandsForItsOptionsAndThoseGivenBesideItWin)
{
    const cli::Options content = parsed({"--content", "."});
    EXPECT_TRUE(content.verify);
    EXPECT_EQ(content.scope.minSize, FileSize(1));
    EXPECT_TRUE(content.settings.blnUseSize && content.settings.blnUseCRC);
    EXPECT_FALSE(content.settings.blnUseExtension || content.settings.blnUseName);
    EXPECT_EQ(content.settings.lngCRCSize, 1024 * 1024);

    // Given before or after it, an explicit option stays as given.
    const cli::Options mine = parsed({"--min-size", "10K", "--content", "--use", "size", "."});
    EXPECT_EQ(mine.scope.minSize, FileSize(10 * 1024));
    EXPECT_FALSE(mine.settings.blnUseCRC);
    EXPECT_EQ(mine.settings.lngCRCSize, 0);
    EXPECT_TRUE(mine.verify);

    // Without it, the window's settings and no verification.
    const cli::Options plain = parsed({"."});
    EXPECT_FALSE(plain.verify);
    EXPECT_TRUE(plain.settings.blnUseExtension);
    EXPECT_EQ(plain.scope.minSize, FileSize(0));
}

TEST(CliOptions, valuesComeInlineOrNextAndShortFlagsBundle)
{
    const cli::Options o = parsed({"-rqx0", "--exclude=*.tmp", "--exclude", "cache/", "--reflink",
                                   "--keep=newest", "--", "-file"});
    EXPECT_TRUE(o.recursive && o.quiet && o.scope.oneFileSystem);
    EXPECT_EQ(o.format, cli::OutputFormat::Nul);
    EXPECT_EQ(o.excludes, (std::vector<std::string>{"*.tmp", "cache/"}));
    EXPECT_EQ(o.action, FileAction::Reflink);
    EXPECT_TRUE(o.verify);
    EXPECT_EQ(o.paths, std::vector<std::string>{"-file"});
}

/// What the bash completion offers for the words typed, the last being completed, as bash
/// splits them (at "=" too).
std::string bashCompletes(const fs::path& script, const std::string& words)
{
    return outputOf("cd '" + script.parent_path().native() +
                    "' && bash -c 'source \"$0\"; "
                    "COMP_WORDS=(corvelle-cli " +
                    words +
                    "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _corvelle_cli; "
                    "printf \"%s \" \"${COMPREPLY[@]}\"' '" +
                    script.native() + "'");
}

TEST(CliOptions, bashCompletesOptionsAndTheWordsEachOptionTakes)
{
    const TempDir folder;
    writeFile(folder / "corvelle-cli.bash", cli::bashCompletion());
    fs::create_directories(folder / "Photos");
    const fs::path script = folder / "corvelle-cli.bash";
    const std::vector<std::pair<std::string, std::string>> cases{
        {"--for", "--format "},
        {"--format \"\"", "text tsv csv json "},
        {"--format = c", "csv "}, // --format=c
        {"-r --keep \"\"", "first last oldest newest shortest-path longest-path under= "},
        {"--keep un", "under= "},
        {"--keep under = Pho", "Photos/ "}, // under=Pho: the folder after "="
        {"--use si", "size "},
        {"--use size,c", "size,crc "},
        {"--crc-first 16", "16K 16M "},
        {"--work-dir Ph", "Photos "},
        {"--exclude \"\"", " "}, // nothing: a pattern is the user's own
        {"--refl", "--reflink "},
        {"-", "-"}};
    for (const auto& [words, offered] : cases) {
        const std::string got = bashCompletes(script, words);
        if (offered == "-") {
            // Every option of the table, and its short form.
            for (const OptionEntry& option : cli::optionTable()) {
                EXPECT_NE(got.find(std::string(option.name) + " "), std::string::npos)
                    << option.name;
            }
            EXPECT_NE(got.find("-0 "), std::string::npos);
        } else {
            EXPECT_EQ(got, offered) << words;
        }
    }
}

TEST(CliOptions, theZshCompletionIsValidZsh)
{
    if (std::system("command -v zsh >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "zsh is not installed (scripts/install-deps installs it)";
    }
    const TempDir folder;
    writeFile(folder / "_corvelle-cli", cli::zshCompletion());
    EXPECT_EQ(std::system(("zsh -n '" + (folder / "_corvelle-cli").native() + "'").c_str()), 0);
    // Loaded by the completion system, it completes the keep rules.
    const std::string got = outputOf("zsh -f -c 'fpath=(" + folder.path().native() +
                                     " $fpath); autoload -Uz compinit && compinit -u -d /dev/null; "
                                     "print -r -- ${+_comps[corvelle-cli]}' 2>&1");
    EXPECT_EQ(got, "1\n");
}

} // namespace
} // namespace corvelle::test
