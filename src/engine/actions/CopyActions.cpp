#include "actions/CopyActions.h"

#include "common/PosixFile.h"

#include <algorithm>
#include <cerrno>
#include <random>
#include <string_view>
#include <unistd.h>

namespace corvelle {
namespace {

bool inside(std::string_view path, std::string_view folder)
{
    while (folder.size() > 1 && folder.back() == '/') {
        folder.remove_suffix(1);
    }
    if (folder == "/") {
        return path.size() > 1 && path.front() == '/';
    }
    return path.size() > folder.size() + 1 && path.starts_with(folder) &&
           path[folder.size()] == '/';
}

/// The members still in the running that are best by the rule.
std::vector<std::size_t> narrow(const VerifiedSet& set, std::vector<std::size_t> candidates,
                                const KeepRule& rule)
{
    using Kind = KeepRule::Kind;
    switch (rule.kind) {
    case Kind::First:
        return {candidates.front()};
    case Kind::Last:
        return {candidates.back()};
    case Kind::Under: {
        std::vector<std::size_t> within;
        std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(within),
                     [&](std::size_t i) { return inside(set[i].path, rule.folder); });
        return within.empty() ? candidates : within;
    }
    default:
        break;
    }
    const auto key = [&](std::size_t i) -> std::int64_t {
        switch (rule.kind) {
        case Kind::Oldest:
            return set[i].status.mtimeNs;
        case Kind::Newest:
            return -set[i].status.mtimeNs;
        case Kind::ShortestPath:
            return static_cast<std::int64_t>(set[i].path.size());
        default:
            return -static_cast<std::int64_t>(set[i].path.size());
        }
    };
    const std::int64_t best =
        key(*std::min_element(candidates.begin(), candidates.end(),
                              [&](std::size_t a, std::size_t b) { return key(a) < key(b); }));
    std::erase_if(candidates, [&](std::size_t i) { return key(i) != best; });
    return candidates;
}

std::string skipReason(const VerifiedFile& copy, const VerifiedFile& kept, CopyAction action)
{
    const std::optional<PathStatus> copyNow = statusOf(copy.path);
    if (!copyNow || !copyNow->sameContentAs(copy.status)) {
        return "changed, moved or replaced since it was verified";
    }
    const std::optional<PathStatus> keptNow = statusOf(kept.path);
    if (!keptNow || !keptNow->sameContentAs(kept.status)) {
        return "the file kept, '" + kept.path + "', changed or is gone since it was verified";
    }
    if (copyNow->identity.sameFileAs(keptNow->identity)) {
        return "is the same file as the one kept, '" + kept.path + "'";
    }
    if (action == CopyAction::Link && copyNow->identity.device != keptNow->identity.device) {
        return "is on another file system than the file kept, '" + kept.path + "'";
    }
    return {};
}

} // namespace

std::optional<KeepRule> KeepRule::parse(std::string_view text)
{
    using Kind = KeepRule::Kind;
    static const std::pair<std::string_view, Kind> names[] = {{"first", Kind::First},
                                                              {"last", Kind::Last},
                                                              {"oldest", Kind::Oldest},
                                                              {"newest", Kind::Newest},
                                                              {"shortest-path", Kind::ShortestPath},
                                                              {"longest-path", Kind::LongestPath}};
    for (const auto& [name, kind] : names) {
        if (text == name) {
            return KeepRule{kind, {}};
        }
    }
    constexpr std::string_view under = "under=";
    if (text.starts_with(under) && text.size() > under.size()) {
        return KeepRule{Kind::Under, std::string(text.substr(under.size()))};
    }
    return std::nullopt;
}

std::size_t chooseKept(const VerifiedSet& set, const std::vector<KeepRule>& rules)
{
    std::vector<std::size_t> candidates(set.size());
    for (std::size_t i = 0; i < set.size(); ++i) {
        candidates[i] = i;
    }
    for (const KeepRule& rule : rules) {
        candidates = narrow(set, std::move(candidates), rule);
    }
    return candidates.front();
}

void replaceWithLink(const std::string& kept, const std::string& copy)
{
    const std::string folder = copy.substr(0, copy.rfind('/') + 1);
    // Seeded once per thread: a fresh random_device for every file would read the kernel's
    // entropy each time.
    static thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary =
            folder + ".corvelle-link-" + std::to_string(random() % 1'000'000'000);
        if (::link(kept.c_str(), temporary.c_str()) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            throw fileError("linking", copy, errno);
        }
        if (::rename(temporary.c_str(), copy.c_str()) != 0) {
            const int error = errno;
            ::unlink(temporary.c_str());
            throw fileError("linking", copy, error);
        }
        return;
    }
    throw fileError("linking", copy, EEXIST);
}

void actOnCopies(const VerifiedSet& set, std::size_t kept, const ActionRequest& request,
                 ActionReport& report)
{
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (i == kept) {
            continue;
        }
        const VerifiedFile& copy = set[i];
        if (const std::string reason = skipReason(copy, set[kept], request.action);
            !reason.empty()) {
            report.skipped.push_back({copy.path, reason});
            continue;
        }
        if (!request.dryRun) {
            try {
                switch (request.action) {
                case CopyAction::Trash:
                    moveToTrash(copy.path, request.trash);
                    break;
                case CopyAction::Delete:
                    if (::unlink(copy.path.c_str()) != 0) {
                        throw fileError("deleting", copy.path, errno);
                    }
                    break;
                case CopyAction::Link:
                    replaceWithLink(set[kept].path, copy.path);
                    break;
                }
            } catch (const std::system_error& error) {
                // What was being done, to which file (perhaps the trash folder), and why.
                report.skipped.push_back({copy.path, error.what()});
                continue;
            }
        }
        ++report.acted;
        report.bytes += copy.status.size;
        if (request.done) {
            request.done(request.action, copy.path, set[kept].path);
        }
    }
}

} // namespace corvelle
