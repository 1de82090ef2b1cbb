#include "commands/MatchReasons.h"

#include "catalogue/clsDatabase.h"
#include "commands/DupeVerification.h"
#include "common/TextEscapes.h"
#include "common/Utf8.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"
#include "controls/ToolModel.h"
#include "matching/DuplicateFinder.h"
#include "matching/NameMatching.h"
#include "matching/NameText.h"

#include <algorithm>

namespace corvelle {
namespace {

/// The name as the comparison saw it, after the clean-up that dedupe had ticked.
std::u32string comparedName(const std::string& file, const DedupeSettings& settings)
{
    const NameCleanup cleanup{settings.blnRemoveBracketedText, settings.blnRemoveNumbers,
                              settings.blnRemoveSymbols, settings.blnRemoveSpaces};
    return prepareName(decodeName(file, kNameFieldChars), cleanup);
}

std::string inQuotes(std::u32string_view name)
{
    std::string text = "\"";
    for (const char32_t c : name) {
        appendUtf8(text, c);
    }
    return escapeReadable(text) + "\"";
}

std::string outcome(bool equal)
{
    return equal ? "equal" : "different";
}

/// "1 MB" for 1024: the CRC Files First entry of that many kilobytes.
std::string leadingBytesLabel(std::int32_t kilobytes)
{
    const std::string value = std::to_string(kilobytes);
    for (const ComboEntry& entry : crcFilesFirstEntries()) {
        if (entry.value == value) {
            return entry.text;
        }
    }
    return value + " KB";
}

} // namespace

void MatchReasons::listLoaded(const GridModel& dupes, const DedupeSettings& settings)
{
    m_settings = settings;
    m_heads.assign(1, RecordId{});
    for (int row = 1; row < dupes.RowCount(); ++row) {
        const RowRecord& record = dupes.recordAt(row);
        if (static_cast<std::size_t>(record.group) >= m_heads.size()) {
            m_heads.resize(static_cast<std::size_t>(record.group) + 1);
            m_heads[static_cast<std::size_t>(record.group)] = record.id;
        }
    }
}

void MatchReasons::clear()
{
    m_settings.reset();
    m_heads.clear();
}

void MatchReasons::renumber(RecordId from, RecordId to)
{
    std::replace(m_heads.begin(), m_heads.end(), from, to);
}

int MatchReasons::partnerRow(int row, const GridModel& dupes) const
{
    const RowRecord& record = dupes.recordAt(row);
    const auto number = static_cast<std::size_t>(record.group);
    const RecordId head = number < m_heads.size() ? m_heads[number] : RecordId{};
    const RowRange group = groupRowsOf(dupes, row);
    for (int r = group.first; r < group.end; ++r) {
        const bool isHead = dupes.recordIdAt(r) == head;
        // The head was paired with every later row: name its first.
        if (r != row && (isHead || record.id == head)) {
            return r;
        }
    }
    return -1;
}

std::string MatchReasons::outcomes(clsDatabase& catalogue, RecordId a, RecordId b) const
{
    if (!catalogue.FindID(a)) {
        return {};
    }
    const CatalogueRecord first = catalogue.currentRecord();
    if (!catalogue.FindID(b)) {
        return {};
    }
    const CatalogueRecord& second = catalogue.currentRecord();
    const DedupeSettings& settings = *m_settings;
    std::vector<std::string> tests;
    if (settings.blnUseName) {
        const std::u32string nameA = comparedName(first.file, settings);
        const std::u32string nameB = comparedName(second.file, settings);
        tests.push_back("name " + std::to_string(preparedNameScore(nameA, nameB)) + "% (" +
                        inQuotes(nameA) + " / " + inQuotes(nameB) + ")");
    }
    if (settings.blnUseExtension) {
        tests.push_back("extension " +
                        outcome(extensionKey(first.extension) == extensionKey(second.extension)));
    }
    if (settings.blnUseSize) {
        tests.push_back("size " + outcome(first.size == second.size));
    }
    if (settings.blnUseCRC) {
        const bool equal = !first.crc.failed && !second.crc.failed && first.crc == second.crc;
        tests.push_back("CRC of the first " + leadingBytesLabel(settings.lngCRCFilesFirstKB) + " " +
                        outcome(equal));
    }
    std::string text;
    for (const std::string& test : tests) {
        text += (text.empty() ? "" : ", ") + test;
    }
    return text;
}

std::string MatchReasons::explain(int row, const GridModel& dupes, clsDatabase& catalogue,
                                  const DupeVerification& verification) const
{
    if (!m_settings || row < 1 || row >= dupes.RowCount()) {
        return {};
    }
    const RecordId id = dupes.recordIdAt(row);
    const std::string state = verification.describe(id);
    const int partner = partnerRow(row, dupes);
    if (partner < 0) {
        return "The file it was paired with is no longer listed; " + state;
    }
    const std::string tests = outcomes(catalogue, id, dupes.recordIdAt(partner));
    return "Paired with '" + escapeReadable(dupeRowPath(dupes, partner)) + "'" +
           (tests.empty() ? "" : ": " + tests) + "; " + state;
}

} // namespace corvelle
