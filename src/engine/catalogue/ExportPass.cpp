// The export pass: the catalogue, in cursor order and without folders, as 613-byte records,
// and what the grouping pass needs of them kept in memory (alone, when no file is wanted).
#include "catalogue/DatabaseImpl.h"
#include "common/PosixFile.h"

#include <algorithm>
#include <fcntl.h>
#include <optional>

namespace corvelle {
namespace {

Message exportFailedMessage(const std::exception& error)
{
    Message message{"Error occured exporting records to temp dupe check file",
                    MessageIcon::Critical, MessageButtons::Ok};
    message.reason = error.what();
    return message;
}

UniqueFd replaceFile(const std::filesystem::path& file)
{
    std::filesystem::remove(file);
    return openFile(file, O_WRONLY | O_CREAT | O_TRUNC);
}

/// The export file being written: an earlier one replaced, never appended to.
class ExportFile {
public:
    ExportFile(const std::filesystem::path& file, std::int32_t records)
        : m_file(file)
        , m_fd(replaceFile(file))
        , m_out(m_fd.get(), file,
                dedupe_record::kSize * static_cast<std::size_t>(std::clamp(records, 1, 4096)))
    {}
    char* reserveRecord() { return m_out.reserve(dedupe_record::kSize); }
    void finish()
    {
        m_out.finish();
        closeFile(m_fd, m_file);
    }

private:
    std::filesystem::path m_file;
    UniqueFd m_fd;
    BackgroundWriter m_out;
};

} // namespace

Outcome clsDatabase::ExportRecordset(const std::filesystem::path& strFileName,
                                     const WorkHooks& hooks)
{
    hooks.setProgress(0.0f);
    ExportSnapshot& snapshot = m_impl->lastExport();
    snapshot.clear();
    try {
        const std::int32_t total = m_impl->count();
        snapshot.reserve(static_cast<std::size_t>(total));
        std::optional<ExportFile> out;
        if (!strFileName.empty()) {
            out.emplace(strFileName, total);
        }
        Outcome outcome = Outcome::Completed;
        std::int32_t written = 0;
        if (total > 0) {
            m_impl->forEachFromFirst([&](const CatalogueRecord& record) {
                if (out) {
                    encodeDedupeRecord(record.id, record.file, record.extension, record.size,
                                       record.crc.value, out->reserveRecord());
                }
                snapshot.add(record.id, record.file, record.extension, record.size, record.crc,
                             record.identity);
                if (!hooks.checkpoint(++written, total)) {
                    outcome = Outcome::Stopped;
                    return false;
                }
                return true;
            });
        }
        if (out) {
            out->finish();
            snapshot.file = strFileName;
            snapshot.identity = FileIdentity::of(strFileName).value_or(FileIdentity{});
        }
        return outcome;
    } catch (const std::exception& error) {
        snapshot.clear();
        hooks.report(exportFailedMessage(error));
        return Outcome::Failed;
    }
}

void clsDatabase::forgetExport()
{
    m_impl->lastExport().clear();
}

} // namespace corvelle
