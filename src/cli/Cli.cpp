#include "Cli.h"

#include "CliActions.h"
#include "CliOptions.h"
#include "CliOutput.h"
#include "CliTerminal.h"
#include "catalogue/DedupeRun.h"
#include "catalogue/clsDatabase.h"
#include "common/PosixFile.h"
#include "common/TextParts.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"
#include "intake/ChecksumCache.h"
#include "intake/FileIntake.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace corvelle::cli {
namespace {

namespace fs = std::filesystem;

constexpr int exitCompleted = 0;
constexpr int exitFailed = 1;
constexpr int exitUsage = 2;

// The stop request the engine reads, set from the signal handler: std::atomic<bool> is
// lock-free here, so setting it is safe inside a handler.
StopFlag g_stop;
// The signal that ends the run (SIGINT, SIGTERM, SIGHUP, or SIGPIPE when the output's reader
// has gone), 0 while there is none.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

/// Records the signal that ends the run; the first one wins. Safe in a signal handler.
bool recordEnding(int signal) noexcept
{
    int none = 0;
    return g_signal.compare_exchange_strong(none, signal);
}

constexpr std::array<int, 3> stopSignals{SIGINT, SIGTERM, SIGHUP};

/// The files of the private temporary folder, for a second interrupt that cannot wait for the
/// orderly clean-up: its handler may only unlink and rmdir paths prepared beforehand.
struct TemporaryFiles {
    static constexpr std::array<const char*, 4> names{catalogueFileName, catalogueJournalName,
                                                      exportFileName, pairFileName};
    std::array<std::array<char, PATH_MAX>, names.size()> files{};
    std::array<char, PATH_MAX> folder{};
    std::atomic<bool> armed{false};
};
TemporaryFiles g_temporaryFiles;

void removeTemporaryFilesNow() noexcept
{
    if (!g_temporaryFiles.armed.load()) {
        return;
    }
    for (const auto& file : g_temporaryFiles.files) {
        ::unlink(file.data());
    }
    ::rmdir(g_temporaryFiles.folder.data());
}

extern "C" void onSignal(int signal)
{
    if (!recordEnding(signal)) {
        // A second interrupt: the user does not want to wait for the orderly stop.
        removeTemporaryFilesNow();
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_stop.request();
}

/// `restart`: system calls interrupted by the signal resume. While files are read that keeps
/// an interrupt landing in a reader thread's open or read from looking like a file that
/// cannot be read (the stop is seen at the loop's next check). Once the output is written it
/// must not: a write blocked on a full pipe has to give way to Ctrl-C.
void installSignalHandlers(bool restart)
{
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_flags = restart ? SA_RESTART : 0;
    sigemptyset(&action.sa_mask);
    for (const int signal : stopSignals) {
        sigaction(signal, &action, nullptr);
    }
    // A closed output shows as EPIPE from write, so that the run can clean up before it ends.
    std::signal(SIGPIPE, SIG_IGN);
}

int interruptedExitCode()
{
    const int signal = g_signal.load();
    return 128 + (signal != 0 ? signal : SIGINT);
}

void complain(const std::string& text)
{
    printMessageLine(text);
}

/// Watches stdout while the run works, when it is a pipe or a socket: once nobody reads it any
/// more, the run stops as a SIGPIPE would end it, instead of finishing work nobody will see.
class ClosedOutputWatch {
public:
    ClosedOutputWatch()
    {
        struct stat st {};
        if (::fstat(STDOUT_FILENO, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
            return;
        }
        std::array<int, 2> wake{};
        if (::pipe2(wake.data(), O_CLOEXEC) != 0) {
            return;
        }
        m_wakeRead = UniqueFd(wake[0]);
        m_wakeWrite = UniqueFd(wake[1]);
        // The signals go to the other threads; this one only waits.
        sigset_t all;
        sigset_t before;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &before);
        m_thread = std::thread([this] { watch(); });
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
    }
    ~ClosedOutputWatch()
    {
        if (m_thread.joinable()) {
            const char wake = 0;
            while (::write(m_wakeWrite.get(), &wake, 1) < 0 && errno == EINTR) {
            }
            m_thread.join();
        }
    }
    ClosedOutputWatch(const ClosedOutputWatch&) = delete;
    ClosedOutputWatch& operator=(const ClosedOutputWatch&) = delete;

private:
    void watch() const
    {
        // No events asked for stdout: poll reports POLLERR for a pipe without readers, and
        // POLLHUP for a socket whose peer has gone, whatever is asked.
        std::array<pollfd, 2> fds{pollfd{STDOUT_FILENO, 0, 0}, pollfd{m_wakeRead.get(), POLLIN, 0}};
        for (;;) {
            const int ready = ::poll(fds.data(), fds.size(), -1);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready < 0 || fds[1].revents != 0) {
                return;
            }
            if ((fds[0].revents & (POLLERR | POLLHUP)) != 0) {
                recordEnding(SIGPIPE);
                g_stop.request();
                return;
            }
        }
    }

    UniqueFd m_wakeRead;
    UniqueFd m_wakeWrite;
    std::thread m_thread;
};

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

constexpr std::string_view temporaryPrefix = "corvelle-cli-";
constexpr std::size_t temporaryNameSize = temporaryPrefix.size() + 6; // mkdtemp's XXXXXX

/// Calls visit(name) for each entry of the open folder but "." and "..", until it returns
/// false; false when the folder cannot be listed.
template <class Visit> bool forEachEntry(int folder, Visit visit)
{
    DIR* listing = ::fdopendir(::dup(folder));
    if (listing == nullptr) {
        return false;
    }
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != ".." && !visit(name)) {
            break;
        }
    }
    ::closedir(listing);
    return true;
}

/// Whether the open folder holds nothing but files a run makes.
bool holdsOnlyRunFiles(int folder)
{
    bool only = true;
    const bool listed = forEachEntry(folder, [&](std::string_view name) {
        only = std::find(TemporaryFiles::names.begin(), TemporaryFiles::names.end(), name) !=
               TemporaryFiles::names.end();
        return only;
    });
    return listed && only;
}

/// Removes the folders of earlier runs that were killed (SIGKILL, the out-of-memory killer)
/// before they could clean up: a live run holds a lock on its folder, so one of this user's,
/// named as a run's, that nobody holds, unchanged for a minute (a run takes its lock the
/// moment after making it) and holding only a run's files is a dead run's. Links are not
/// followed; anything else found is left alone.
void removeFoldersOfKilledRuns(const std::string& parent)
{
    const UniqueFd parentFd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::vector<std::string> killed;
    forEachEntry(parentFd.get(), [&](std::string_view name) {
        if (name.size() != temporaryNameSize || !name.starts_with(temporaryPrefix)) {
            return true;
        }
        const std::string folderName(name);
        const UniqueFd folder(::openat(parentFd.get(), folderName.c_str(),
                                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (folder.valid() && ::fstat(folder.get(), &st) == 0 && st.st_uid == ::geteuid() &&
            std::time(nullptr) - st.st_mtime >= 60 &&
            ::flock(folder.get(), LOCK_EX | LOCK_NB) == 0 && holdsOnlyRunFiles(folder.get())) {
            for (const char* file : TemporaryFiles::names) {
                ::unlinkat(folder.get(), file, 0);
            }
            killed.push_back(folderName);
        }
        return true;
    });
    // Removed once the listing is done: a listing changed under it may skip or repeat names.
    for (const std::string& name : killed) {
        ::unlinkat(parentFd.get(), name.c_str(), AT_REMOVEDIR);
    }
}

/// The private folder of one run, for the catalogue and the work files the user did not
/// place: made with mkdtemp under $TMPDIR (or /tmp), locked while the run lives, removed with
/// everything in it at exit, or by a later run should this one be killed.
class TemporaryFolder {
public:
    TemporaryFolder()
    {
        const char* base = std::getenv("TMPDIR");
        const std::string parent = base != nullptr && *base != '\0' ? base : "/tmp";
        removeFoldersOfKilledRuns(parent);
        std::string pattern = parent + "/" + std::string(temporaryPrefix) + "XXXXXX";
        // Every path inside it must fit the buffers a second interrupt removes them from.
        const bool fits = pattern.size() + 1 + std::strlen(catalogueJournalName) < PATH_MAX;
        if (!fits || ::mkdtemp(pattern.data()) == nullptr) {
            throw std::system_error(fits ? errno : ENAMETOOLONG, std::generic_category(),
                                    "cannot make a temporary folder in '" + parent + "'");
        }
        m_path = pattern;
        // Released by the kernel however the run ends.
        m_lock = UniqueFd(::open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (m_lock.valid()) {
            ::flock(m_lock.get(), LOCK_EX | LOCK_NB);
        }
        std::snprintf(g_temporaryFiles.folder.data(), PATH_MAX, "%s", pattern.c_str());
        for (std::size_t i = 0; i < TemporaryFiles::names.size(); ++i) {
            std::snprintf(g_temporaryFiles.files[i].data(), PATH_MAX, "%s/%s", pattern.c_str(),
                          TemporaryFiles::names[i]);
        }
        g_temporaryFiles.armed.store(true);
    }
    ~TemporaryFolder()
    {
        g_temporaryFiles.armed.store(false);
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    [[nodiscard]] const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
    UniqueFd m_lock;
};

struct Target {
    std::string path;
    bool folder = false;
};

/// The outcome of a step: nothing to go on, or the exit status that ends the run.
using StepResult = std::optional<int>;

/// Why the folder cannot take the work files, or nothing when it can. Each is opened for
/// writing as the passes will open it (one that is not there yet is made and removed again),
/// so that a file, a folder such as /proc or one without permission is refused before any work
/// rather than failing a pass after it.
std::optional<std::string> workFolderProblem(const std::string& folder)
{
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        return std::strerror(errno);
    }
    if (!S_ISDIR(st.st_mode)) {
        return std::strerror(ENOTDIR);
    }
    for (const char* name : {exportFileName, pairFileName}) {
        const std::string file = folder + "/" + name;
        UniqueFd made(
            ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (made.valid()) {
            ::unlink(file.c_str());
            continue;
        }
        const UniqueFd existing(
            errno == EEXIST ? ::open(file.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC) : -1);
        if (!existing.valid()) {
            return std::strerror(errno);
        }
    }
    return std::nullopt;
}

/// An exclude pattern as the scans match it: one starting with "./" or "../" is taken from the
/// current folder, as a PATH would be; any other as given.
std::string excludePattern(const std::string& given)
{
    const bool fromHere =
        given == "." || given == ".." || given.starts_with("./") || given.starts_with("../");
    if (!fromHere) {
        return given;
    }
    return (fs::current_path() / given).lexically_normal().string();
}

/// Everything the user named must exist, and a work folder named must take the work files,
/// before any work starts. A folder to keep files under is found now, once: files are under it
/// by identity, whatever the spelling of their paths.
StepResult checkTargets(Options& options, std::vector<Target>& targets)
{
    for (const std::string& given : options.paths) {
        struct stat st {};
        if (::stat(given.c_str(), &st) != 0) {
            complain("no such file or folder: '" + given + "'");
            return exitUsage;
        }
        targets.push_back(Target{absolutePath(given), S_ISDIR(st.st_mode)});
    }
    for (KeepRule& rule : options.keep) {
        if (!rule.resolve()) {
            complain("--keep: no such folder: '" + rule.folder + "'");
            return exitUsage;
        }
        if (rule.kind == KeepRule::Kind::Under) {
            rule.folder = absolutePath(rule.folder);
        }
    }
    if (options.workDir) {
        if (const std::optional<std::string> problem = workFolderProblem(*options.workDir)) {
            complain("cannot write to the work folder '" + *options.workDir + "': " + *problem);
            return exitUsage;
        }
    }
    for (const std::string& pattern : options.excludes) {
        options.scope.excludes.add(excludePattern(pattern));
    }
    return std::nullopt;
}

/// Whether a scan that is not recursive passes over sub-folders of the folder: ones that -r
/// would enter.
bool hasSubfoldersToScan(const Target& target, const Options& options)
{
    const UniqueFd folder(::open(target.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    bool found = false;
    forEachEntry(folder.get(), [&](std::string_view name) {
        struct stat st {};
        const std::string entry(name);
        found = (options.scope.hiddenNames || !name.starts_with('.')) &&
                ::fstatat(folder.get(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISDIR(st.st_mode) &&
                !options.scope.excludes.excludes(target.path + "/" + entry, true);
        return !found;
    });
    return found;
}

/// A folder scanned without -r that has sub-folders: the user may have meant them too.
void noteFoldersNotEntered(const std::vector<Target>& targets, const Options& options)
{
    if (options.recursive || options.quiet) {
        return;
    }
    for (const Target& target : targets) {
        if (target.folder && hasSubfoldersToScan(target, options)) {
            complain("'" + target.path + "' has sub-folders, which are scanned only with -r");
        }
    }
}

/// Where this run keeps its files: the catalogue and the work files where the user put them,
/// a catalogue nobody asked for in a private temporary folder, and work files nobody asked for
/// nowhere (their contents stay in memory).
struct RunFiles {
    // Declared before the store, so that the store is closed before its folder goes.
    std::optional<TemporaryFolder> temporary;
    clsDatabase store;
    DedupeFiles work;
};

StepResult openFiles(const Options& options, RunFiles& files)
{
    if (!options.catalogue) {
        try {
            files.temporary.emplace();
        } catch (const std::exception& error) {
            complain(error.what());
            return exitUsage;
        }
    }
    files.work = options.workDir ? DedupeFiles::in(*options.workDir) : DedupeFiles::none();
    const fs::path catalogue = options.catalogue ? fs::path(*options.catalogue)
                                                 : files.temporary->path() / catalogueFileName;
    try {
        // A fresh catalogue for every run, as the window starts with one; also after a run
        // that was killed while it saved the catalogue.
        if (options.catalogue) {
            files.store.openEmptied(catalogue);
        } else {
            files.store.openScratch(catalogue);
        }
    } catch (const NotACatalogue& error) {
        complain(std::string(error.what()) +
                 ": name a new file, or one that --catalogue made before (it is left as it is)");
        return exitUsage;
    } catch (const std::exception& error) {
        complain(std::string("cannot open the catalogue: ") + error.what());
        return exitUsage;
    }
    return std::nullopt;
}

/// The checksum cache the user named, if any. A damaged one is made anew with a warning; a
/// file that is not one is refused and left as it is.
StepResult openCache(const Options& options, std::unique_ptr<ChecksumCache>& cache)
{
    if (!options.cache) {
        return std::nullopt;
    }
    try {
        cache = std::make_unique<ChecksumCache>(
            *options.cache, [](const std::string& warning) { complain(warning); });
    } catch (const std::exception& error) {
        complain("--cache: " + std::string(error.what()));
        return exitUsage;
    }
    return std::nullopt;
}

/// Writes what the intake learnt to the cache. A cache that cannot be written costs the next
/// run its reading, nothing of this one: it is said, and the run goes on.
void saveCache(ChecksumCache* cache, bool complete)
{
    if (cache == nullptr) {
        return;
    }
    try {
        cache->save(complete);
    } catch (const std::exception& error) {
        complain(std::string("cannot save the checksum cache: ") + error.what());
    }
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
                      clsDatabase& catalogue, ChecksumCache* cache, TerminalDisplay& display)
{
    IntakeCounter counter(display);
    WorkHooks hooks;
    hooks.stop = &g_stop;
    hooks.messages = &display.messages();
    if (display.live()) {
        hooks.caption = &counter;
    }
    FileIntake intake(catalogue, nullptr, hooks);
    intake.setScope(options.scope);
    intake.setChecksumCache(cache);
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

StepResult findDuplicates(const Options& options, RunFiles& files, TerminalDisplay& display,
                          GridModel& duplicates)
{
    const std::int32_t catalogued = files.store.RecordCount();
    if (catalogued < 2) {
        // Nothing to compare: an empty result, not a failure.
        if (!options.quiet) {
            display.say("You must have at least added 2 files to dedupe (" +
                        countOf(catalogued, "file") + " catalogued)");
        }
        return std::nullopt;
    }
    DedupeRunHooks hooks;
    hooks.work.stop = &g_stop;
    hooks.work.messages = &display.messages();
    if (display.live()) {
        hooks.work.progress = &display.dedupeProgress();
        hooks.status = &display.dedupeStatus();
        hooks.count = &display.dedupeCount();
    }
    const Outcome outcome = runDedupe(files.store, options.settings, files.work, duplicates, hooks);
    display.clear();
    if (outcome == Outcome::Stopped || g_stop.requested()) {
        return interruptedExitCode();
    }
    if (outcome == Outcome::Failed) {
        return exitFailed; // the pass has reported its own message
    }
    if (!options.quiet && duplicates.RowCount() <= duplicates.HeaderRows()) {
        display.say("no duplicates among " + countOf(catalogued, "file") + " catalogued");
    }
    return std::nullopt;
}

/// A catalogue the user keeps is saved before the list is printed: a run whose catalogue
/// could not be written (a full disk) fails, rather than print a list and leave a catalogue
/// without its records.
StepResult saveCatalogue(const Options& options, RunFiles& files)
{
    if (!options.catalogue) {
        return std::nullopt; // a scratch catalogue, gone with the temporary folder
    }
    try {
        files.store.CloseProject();
    } catch (const std::exception& error) {
        complain(error.what());
        return exitFailed;
    }
    return std::nullopt;
}

/// Writes the output to stdout, piece by piece as it is formatted. Not through stdio, which
/// resumes a write that a signal cut short: a Ctrl-C must end a write blocked on a pipe nobody
/// reads for now. After a run that an interrupt already stopped, what is written is still
/// written (an action record says what was done before the stop); a second interrupt ends the
/// process at once.
template <class List> int printDuplicates(const List& duplicates, const Options& options)
{
    installSignalHandlers(false);
    const int endingBefore = g_signal.load();
    bool failed = false;
    const auto write = [&](std::string_view piece) {
        std::size_t done = 0;
        while (done < piece.size() && g_signal.load() == endingBefore) {
            const ssize_t wrote = ::write(STDOUT_FILENO, piece.data() + done, piece.size() - done);
            if (wrote >= 0) {
                done += static_cast<std::size_t>(wrote);
            } else if (errno == EPIPE) {
                // The reader has gone, as with "| head": the end a SIGPIPE would have made.
                recordEnding(SIGPIPE);
                return false;
            } else if (errno != EINTR) {
                complain(std::string("cannot write the output: ") + std::strerror(errno));
                failed = true;
                return false;
            }
        }
        return g_signal.load() == endingBefore;
    };
    writeDuplicates(duplicates, options.format, options.settings, write);
    if (failed) {
        return exitFailed;
    }
    return g_signal.load() != 0 ? interruptedExitCode() : exitCompleted;
}

/// Acts on the verified sets and prints them: before the actions, or, for json, after them
/// with what was done. The output is printed even when a stop cut the actions short.
int actAndPrint(const std::vector<VerifiedSet>& sets, const Options& options,
                TerminalDisplay& display, VerifiedList& verified)
{
    const bool recorded = options.format == OutputFormat::Json;
    if (!recorded) {
        if (const int printed = printDuplicates(verified, options); printed != exitCompleted) {
            return printed;
        }
    }
    const ActionRecord record = actOnSets(sets, options, g_stop, display);
    if (recorded) {
        verified.actions = &record;
        if (const int printed = printDuplicates(verified, options); printed != exitCompleted) {
            return printed;
        }
    }
    if (g_stop.requested()) {
        return interruptedExitCode();
    }
    return record.skipped == 0 ? exitCompleted : exitFailed;
}

int runOptions(Options options)
{
    std::vector<Target> targets;
    if (const StepResult refused = checkTargets(options, targets)) {
        return *refused;
    }
    for (const std::string& warning : filterWarnings(options.filter)) {
        complain(warning);
    }
    noteFoldersNotEntered(targets, options);
    installSignalHandlers(true);
    const ClosedOutputWatch outputWatch;
    TerminalDisplay display(!options.quiet && ::isatty(STDERR_FILENO) == 1);
    RunFiles files;
    if (const StepResult failed = openFiles(options, files)) {
        return *failed;
    }
    std::unique_ptr<ChecksumCache> cache;
    if (const StepResult refused = openCache(options, cache)) {
        return *refused;
    }
    catalogueTargets(targets, options, files.store, cache.get(), display);
    saveCache(cache.get(), !g_stop.requested());
    if (g_stop.requested()) {
        return interruptedExitCode();
    }
    GridModel duplicates;
    duplicates.ColumnFormat(dupeListFormat());
    if (const StepResult ended = findDuplicates(options, files, display, duplicates)) {
        return *ended;
    }
    VerifiedList verified;
    verified.rows.ColumnFormat(dupeListFormat());
    std::vector<VerifiedSet> sets;
    if (options.verify) {
        display.clear();
        sets = verifyDuplicates(duplicates, options, g_stop, display, verified);
        if (g_stop.requested()) {
            return interruptedExitCode();
        }
    }
    if (const StepResult failed = saveCatalogue(options, files)) {
        return *failed;
    }
    display.clear();
    if (!options.verify) {
        return printDuplicates(duplicates, options);
    }
    if (!options.action) {
        return printDuplicates(verified, options);
    }
    return actAndPrint(sets, options, display, verified);
}

int runCommandLine(int argc, char* argv[])
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
        return exitFailed;
    }
}

} // namespace

int run(int argc, char* argv[])
{
    const int code = runCommandLine(argc, argv);
    // Everything is cleaned up by now. A run that a signal ended ends as that signal would
    // have ended it, so that a shell sees the signal (and stops a loop on Ctrl-C).
    const int signal = g_signal.load();
    if (signal != 0 && code == 128 + signal) {
        std::fflush(stderr);
        std::signal(signal, SIG_DFL);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, signal);
        pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
        std::raise(signal);
    }
    return code;
}

} // namespace corvelle::cli
