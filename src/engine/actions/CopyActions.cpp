#include "actions/CopyActions.h"

#include <algorithm>

namespace corvelle {
namespace {

using Kind = KeepRule::Kind;

/// Paths outside every Trash.
std::vector<LinkedPath> livePaths(std::vector<LinkedPath> paths, FilePlaces& places)
{
    std::erase_if(paths, [&](const LinkedPath& path) { return places.isInTrash(path.path); });
    return paths;
}

bool anyLivePath(const std::vector<LinkedPath>& paths, FilePlaces& places)
{
    return std::any_of(paths.begin(), paths.end(),
                       [&](const LinkedPath& path) { return !places.isInTrash(path.path); });
}

/// A member's live names to act on: one path for each folder entry, the first row's. A path
/// through a link to the folder of another is that other's name, gone with it.
std::vector<LinkedPath> namesToActOn(const VerifiedFile& member, FilePlaces& places)
{
    std::vector<LinkedPath> names;
    std::vector<FilePlaces::Entry> entries;
    for (LinkedPath& path : livePaths(member.paths(), places)) {
        FilePlaces::Entry entry = places.entryOf(path.path);
        if (std::find(entries.begin(), entries.end(), entry) == entries.end()) {
            entries.push_back(std::move(entry));
            names.push_back(std::move(path));
        }
    }
    return names;
}

/// A member's number by the rule: the smaller, the better. A rule on paths takes the
/// member's best path.
std::int64_t rank(const KeepCandidate& member, Kind kind)
{
    const std::vector<LinkedPath>& paths = member.paths;
    const auto best = [&](auto key) {
        std::int64_t out = key(paths.front());
        for (const LinkedPath& path : paths) {
            out = std::min(out, key(path));
        }
        return out;
    };
    const auto length = [](const LinkedPath& path) {
        return static_cast<std::int64_t>(path.path.size());
    };
    switch (kind) {
    case Kind::Last:
        return best([](const LinkedPath& path) { return std::int64_t{-path.row}; });
    case Kind::Oldest:
        return member.mtimeNs;
    case Kind::Newest:
        return -member.mtimeNs;
    case Kind::ShortestPath:
        return best(length);
    case Kind::LongestPath:
        return best([&](const LinkedPath& path) { return -length(path); });
    default:
        return 0;
    }
}

/// The members still in the running that are best by the rule.
std::vector<std::size_t> narrow(std::span<const KeepCandidate> set,
                                std::vector<std::size_t> candidates, const KeepRule& rule,
                                FilePlaces& places)
{
    if (rule.kind == Kind::First) {
        return {candidates.front()};
    }
    if (rule.kind == Kind::Under) {
        std::erase_if(candidates, [&](std::size_t i) {
            const std::vector<LinkedPath>& paths = set[i].paths;
            return std::none_of(paths.begin(), paths.end(), [&](const LinkedPath& path) {
                return places.isUnder(path.path, rule.folderIdentity);
            });
        });
        return candidates;
    }
    const auto best =
        *std::min_element(candidates.begin(), candidates.end(), [&](std::size_t a, std::size_t b) {
            return rank(set[a], rule.kind) < rank(set[b], rule.kind);
        });
    const std::int64_t bestRank = rank(set[best], rule.kind);
    std::erase_if(candidates, [&](std::size_t i) { return rank(set[i], rule.kind) != bestRank; });
    return candidates;
}

/// The plan for one path of a member, its evidence as the member's last action left it.
PlannedAction planFor(const LinkedPath& path, const Evidence& evidence, const VerifiedFile& kept,
                      const Evidence& keptEvidence, FileAction action)
{
    PlannedAction plan;
    plan.action = action;
    plan.path = path.path;
    plan.evidence = evidence;
    plan.kept = KeptFile{kept.path, keptEvidence};
    return plan;
}

} // namespace

std::optional<KeepRule> KeepRule::parse(std::string_view text)
{
    static const std::pair<std::string_view, Kind> names[] = {{"first", Kind::First},
                                                              {"last", Kind::Last},
                                                              {"oldest", Kind::Oldest},
                                                              {"newest", Kind::Newest},
                                                              {"shortest-path", Kind::ShortestPath},
                                                              {"longest-path", Kind::LongestPath}};
    for (const auto& [name, kind] : names) {
        if (text == name) {
            return KeepRule{kind, {}, {}};
        }
    }
    constexpr std::string_view under = "under=";
    if (text.starts_with(under) && text.size() > under.size()) {
        return KeepRule{Kind::Under, std::string(text.substr(under.size())), {}};
    }
    return std::nullopt;
}

bool KeepRule::resolve()
{
    if (kind != Kind::Under) {
        return true;
    }
    const std::optional<PhysicalFile> identity = corvelle::folderIdentity(folder);
    folderIdentity = identity.value_or(PhysicalFile{});
    return identity.has_value();
}

KeepCandidate KeepCandidate::of(const VerifiedFile& file)
{
    return KeepCandidate{file.paths(), file.status.mtimeNs};
}

KeepChoice chooseKept(const VerifiedSet& set, const std::vector<KeepRule>& rules,
                      FilePlaces& places)
{
    std::vector<KeepCandidate> members;
    members.reserve(set.size());
    for (const VerifiedFile& file : set) {
        members.push_back(KeepCandidate::of(file));
    }
    return chooseKept(members, rules, places);
}

KeepChoice chooseKept(std::span<const KeepCandidate> set, const std::vector<KeepRule>& rules,
                      FilePlaces& places)
{
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (anyLivePath(set[i].paths, places)) {
            candidates.push_back(i);
        }
    }
    if (candidates.size() < 2) {
        return {std::nullopt, "its other files are in a Trash", false};
    }
    for (const KeepRule& rule : rules) {
        candidates = narrow(set, std::move(candidates), rule, places);
        if (candidates.empty()) {
            return {std::nullopt, "none of its files is inside '" + rule.folder + "'", true};
        }
    }
    return {candidates.front(), {}, false};
}

void actOnCopies(const VerifiedSet& set, std::size_t kept, const ActionRequest& request,
                 FilePlaces& places, TrashBins& trash, ActionReport& report)
{
    // A link to the file kept gives it a new change time, as acting on one path of a member
    // gives the member one: what the last action of this run left is what the next expects.
    Evidence keptEvidence = Evidence::verified(set[kept].status);
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (i == kept) {
            continue;
        }
        Evidence evidence = Evidence::verified(set[i].status);
        std::uint64_t linksGone = 0;
        for (const LinkedPath& path : namesToActOn(set[i], places)) {
            const PlannedAction plan =
                planFor(path, evidence, set[kept], keptEvidence, request.action);
            ActionResult result;
            if (request.dryRun) {
                result.reason = checkAction(plan);
                result.done = result.reason.empty();
            } else {
                result = performAction(plan, trash);
            }
            if (!result.done) {
                report.skipped.push_back({path.path, result.reason});
                continue;
            }
            ++report.acted;
            ++linksGone;
            if (!request.dryRun) {
                evidence.status.ctimeNs = result.after.ctimeNs;
                if (result.keptAfter) {
                    keptEvidence.status.ctimeNs = result.keptAfter->ctimeNs;
                }
            }
            if (request.done) {
                request.done(plan, result);
            }
        }
        if (linksGone == set[i].status.links) {
            report.bytes += set[i].status.size;
        }
    }
}

} // namespace corvelle
