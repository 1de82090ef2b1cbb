#include "commands/DupeVerification.h"

#include "common/TextParts.h"
#include "controls/GridModel.h"

namespace corvelle {

std::string verifySummaryText(const VerifySummary& summary)
{
    std::string text =
        "Verified " + countOf(static_cast<std::int64_t>(summary.groupsVerified), "group");
    if (summary.groupsVerified < summary.groups) {
        text += " of " + std::to_string(summary.groups) + " (stopped)";
    }
    text += ": " + countOf(static_cast<std::int64_t>(summary.identical), "file") +
            " identical to another copy, " + std::to_string(summary.notIdentical) +
            " identical to none";
    if (summary.unreadable > 0) {
        text += ", " + std::to_string(summary.unreadable) + " unreadable or changed";
    }
    return text;
}

VerifySummary DupeVerification::apply(const GridModel& dupes, std::vector<VerifyResult> results)
{
    VerifySummary summary;
    summary.groups = results.size();
    VerifyResult all = mergeResults(results, &summary.groupsVerified);
    m_any = m_any || summary.groupsVerified > 0;
    for (std::size_t s = 0; s < all.sets.size(); ++s) {
        for (const VerifiedFile& file : all.sets[s]) {
            for (const LinkedPath& path : file.paths()) {
                set(dupes.recordIdAt(path.row), VerifyState::Identical,
                    static_cast<std::uint32_t>(s + 1));
            }
        }
    }
    for (const LeftOut& left : all.leftOut) {
        const RecordId id = dupes.recordIdAt(left.row);
        switch (left.kind) {
        case LeftOut::Kind::NoMatch:
            set(id, VerifyState::NotIdentical, 0);
            break;
        case LeftOut::Kind::Unreadable:
            set(id, VerifyState::Unreadable, 0);
            m_reasons[id.value()] = left.reason;
            break;
        case LeftOut::Kind::Changed:
            set(id, VerifyState::Changed, 0);
            m_reasons[id.value()] = left.reason;
            break;
        }
    }
    for (int row = 1; row < dupes.RowCount(); ++row) {
        switch (stateOf(dupes.recordIdAt(row))) {
        case VerifyState::Identical:
            ++summary.identical;
            break;
        case VerifyState::NotIdentical:
            ++summary.notIdentical;
            break;
        case VerifyState::Unreadable:
        case VerifyState::Changed:
            ++summary.unreadable;
            break;
        case VerifyState::NotVerified:
            break;
        }
    }
    return summary;
}

void DupeVerification::set(RecordId id, VerifyState state, std::uint32_t verifiedSet)
{
    const auto at = static_cast<std::size_t>(id.value());
    if (at >= m_states.size()) {
        m_states.resize(at + 1, VerifyState::NotVerified);
        m_sets.resize(at + 1, 0);
    }
    m_states[at] = state;
    m_sets[at] = verifiedSet;
    m_reasons.erase(id.value());
}

void DupeVerification::clear()
{
    *this = DupeVerification();
}

VerifyState DupeVerification::stateOf(RecordId id) const
{
    const auto at = static_cast<std::size_t>(id.value());
    return id && at < m_states.size() ? m_states[at] : VerifyState::NotVerified;
}

std::uint32_t DupeVerification::setOf(RecordId id) const
{
    const auto at = static_cast<std::size_t>(id.value());
    return id && at < m_sets.size() ? m_sets[at] : 0;
}

std::string DupeVerification::describe(RecordId id) const
{
    const auto reason = [&] {
        const auto found = m_reasons.find(id.value());
        return found == m_reasons.end() ? std::string() : ": " + found->second;
    };
    switch (stateOf(id)) {
    case VerifyState::Identical:
        return "identical byte for byte to another copy";
    case VerifyState::NotIdentical:
        return "not identical to any other file of its group";
    case VerifyState::Unreadable:
        return "could not be read" + reason();
    case VerifyState::Changed:
        return "changed" + reason();
    case VerifyState::NotVerified:
        break;
    }
    return "not verified";
}

void DupeVerification::renumber(RecordId from, RecordId to)
{
    const VerifyState state = stateOf(from);
    if (state == VerifyState::NotVerified) {
        return;
    }
    const auto reason = m_reasons.find(from.value());
    std::string why = reason == m_reasons.end() ? std::string() : reason->second;
    set(to, state, setOf(from));
    if (!why.empty()) {
        m_reasons[to.value()] = std::move(why);
    }
}

} // namespace corvelle
