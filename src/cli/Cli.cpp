#include "Cli.h"

#include "CliOptions.h"
#include "CliOutput.h"
#include "CliTerminal.h"
#include "catalogue/DedupeRun.h"
#include "catalogue/clsDatabase.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"
#include "intake/FileIntake.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelle::cli {
namespace {

namespace fs = std::filesystem;

constexpr int exitCompleted = 0;
constexpr int exitRefused = 1;
constexpr int exitUsage = 2;

// The stop request the engine reads, set from the signal handler: std::atomic<bool> is
// lock-free here, so setting it is safe inside a handler.
StopFlag g_stop;
volatile std::sig_atomic_t g_signal = 0;

extern "C" void onSignal(int signal)
{
    if (g_signal != 0) {
        // A second interrupt: the user does not want to wait for the orderly stop.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_signal = signal;
    g_stop.request();
}

void installSignalHandlers()
{
    struct sigaction action {};
    action.sa_handler = onSignal;
    // Restarted system calls: an interrupt landing in a reader thread's open or read must not
    // look like a file that cannot be read. The stop is seen at the loop's next check.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int interruptedExitCode()
{
    return 128 + (g_signal != 0 ? static_cast<int>(g_signal) : SIGINT);
}

void complain(const std::string& text)
{
    printMessageLine(text);
}

/// The window's refusals, with the window's texts.
void refuse(std::string_view text)
{
    printMessageLine(text);
}

/// An absolute path without "." components or doubled slashes, so that the catalogue's
/// folders are real folders whatever the current folder was. A path through ".." is resolved
/// on the file system, since a link before it decides where it leads.
std::string absolutePath(const std::string& given)
{
    fs::path path(given);
    if (path.is_relative()) {
        path = fs::current_path() / path;
    }
    bool climbs = false;
    for (const fs::path& part : path) {
        climbs = climbs || part == "..";
    }
    std::string text = (climbs ? fs::canonical(path) : path.lexically_normal()).string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

/// A private folder for the catalogue when the user names none; removed with it at exit.
class TemporaryFolder {
public:
    TemporaryFolder()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/corvelle-cli-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder in " + pattern);
        }
        m_path = pattern;
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    [[nodiscard]] const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

struct Target {
    std::string path;
    bool folder = false;
};

/// The outcome of a step: nothing to go on, or the exit status that ends the run.
using StepResult = std::optional<int>;

/// Everything the user named must exist, and the work folder must take the work files,
/// before any work starts.
StepResult checkTargets(const Options& options, std::vector<Target>& targets)
{
    for (const std::string& given : options.paths) {
        struct stat st {};
        if (::stat(given.c_str(), &st) != 0) {
            complain("no such file or folder: '" + given + "'");
            return exitUsage;
        }
        targets.push_back(Target{absolutePath(given), S_ISDIR(st.st_mode)});
    }
    struct stat workDir {};
    if (::stat(options.workDir.c_str(), &workDir) != 0 || !S_ISDIR(workDir.st_mode) ||
        ::access(options.workDir.c_str(), W_OK | X_OK) != 0) {
        complain("cannot write to the work folder '" + options.workDir + "'");
        return exitUsage;
    }
    if (!options.settings.anyCriterion()) {
        // Nothing could ever be compared: say so before cataloguing anything.
        refuse("At least one setting must be ticked");
        return exitRefused;
    }
    return std::nullopt;
}

/// The catalogue of this run: the file the user named, or one in a private temporary folder.
struct RunCatalogue {
    // Declared before the store, so that the store is closed before its folder goes.
    std::optional<TemporaryFolder> temporary;
    clsDatabase store;
};

StepResult openCatalogue(const Options& options, RunCatalogue& catalogue)
{
    try {
        fs::path file;
        if (options.catalogue) {
            file = *options.catalogue;
        } else {
            catalogue.temporary.emplace();
            file = catalogue.temporary->path() / "data.dat";
        }
        catalogue.store.OpenProject(file);
        // A fresh catalogue for every run, as the window starts with one.
        catalogue.store.DeleteRecords();
    } catch (const std::exception& error) {
        complain(std::string("cannot open the catalogue: ") + error.what());
        return exitUsage;
    }
    return std::nullopt;
}

/// Shows the intake's running count on the progress line.
class IntakeCounter final : public CaptionSink {
public:
    explicit IntakeCounter(TerminalDisplay& display)
        : m_display(display)
    {}
    void watch(const FileIntake& intake) { m_intake = &intake; }
    void setCaption(std::string_view) override
    {
        if (m_intake != nullptr) {
            m_display.filesProcessed(m_intake->lngProcessed());
        }
    }

private:
    TerminalDisplay& m_display;
    const FileIntake* m_intake = nullptr;
};

/// The paths in the order given: each folder is one scan; a run of files in a row is one list
/// of chosen files, read ahead together.
void catalogueTargets(const std::vector<Target>& targets, const Options& options,
                      clsDatabase& catalogue, TerminalDisplay& display)
{
    IntakeCounter counter(display);
    WorkHooks hooks;
    hooks.stop = &g_stop;
    hooks.messages = &display.messages();
    if (display.live()) {
        hooks.caption = &counter;
    }
    FileIntake intake(catalogue, nullptr, hooks);
    counter.watch(intake);
    IntakeRequest folderScan =
        IntakeRequest::folderScan({}, options.settings.lngCRCSize, options.recursive);
    folderScan.strFilters = options.filter;

    for (std::size_t i = 0; i < targets.size() && !g_stop.requested();) {
        if (targets[i].folder) {
            folderScan.strFile = targets[i].path;
            intake.Run(folderScan);
            ++i;
        } else {
            std::vector<std::string> files;
            for (; i < targets.size() && !targets[i].folder; ++i) {
                files.push_back(targets[i].path);
            }
            intake.RunFiles(files, options.settings.lngCRCSize);
        }
        display.intakeDone(intake.lngProcessed());
    }
}

StepResult findDuplicates(const Options& options, clsDatabase& catalogue, TerminalDisplay& display,
                          GridModel& duplicates)
{
    if (catalogue.RecordCount() < 2) {
        display.clear();
        refuse("You must have at least added 2 files to dedupe");
        return exitRefused;
    }
    duplicates.ColumnFormat(dupeListFormat());
    DedupeRunHooks hooks;
    hooks.work.stop = &g_stop;
    hooks.work.messages = &display.messages();
    if (display.live()) {
        hooks.work.progress = &display.dedupeProgress();
        hooks.status = &display.dedupeStatus();
        hooks.count = &display.dedupeCount();
    }
    const Outcome outcome =
        runDedupe(catalogue, options.settings, DedupeFiles::in(options.workDir), duplicates, hooks);
    display.clear();
    if (outcome == Outcome::Stopped || g_stop.requested()) {
        return interruptedExitCode();
    }
    if (outcome == Outcome::Failed) {
        return exitRefused; // the pass has reported its own message
    }
    return std::nullopt;
}

int printDuplicates(const GridModel& duplicates, OutputFormat format)
{
    const std::string output = formatDuplicates(duplicates, format);
    if (std::fwrite(output.data(), 1, output.size(), stdout) != output.size() ||
        std::fflush(stdout) != 0) {
        complain("cannot write the output");
        return exitRefused;
    }
    return exitCompleted;
}

int runOptions(const Options& options)
{
    std::vector<Target> targets;
    if (const StepResult refused = checkTargets(options, targets)) {
        return *refused;
    }
    installSignalHandlers();
    TerminalDisplay display(!options.quiet && ::isatty(STDERR_FILENO) == 1);
    RunCatalogue catalogue;
    if (const StepResult failed = openCatalogue(options, catalogue)) {
        return *failed;
    }
    catalogueTargets(targets, options, catalogue.store, display);
    if (g_stop.requested()) {
        return interruptedExitCode();
    }
    GridModel duplicates;
    if (const StepResult ended = findDuplicates(options, catalogue.store, display, duplicates)) {
        return *ended;
    }
    return printDuplicates(duplicates, options.format);
}

} // namespace

int run(int argc, char* argv[])
{
    std::vector<std::string_view> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    const ParseResult parsed = parseArguments(args);
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        complain(error->message + " (see --help)");
        return exitUsage;
    }
    if (std::holds_alternative<ShowHelp>(parsed)) {
        std::fputs(helpText().c_str(), stdout);
        return exitCompleted;
    }
    if (std::holds_alternative<ShowVersion>(parsed)) {
        std::printf("corvelle-cli %s\n", CORVELLE_VERSION);
        return exitCompleted;
    }
    try {
        return runOptions(std::get<Options>(parsed));
    } catch (const std::exception& error) {
        complain(error.what());
        return exitRefused;
    }
}

} // namespace corvelle::cli
