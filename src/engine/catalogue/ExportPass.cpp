// The export pass: the catalogue, in cursor order and without folders, as 613-byte records.
#include "catalogue/DatabaseImpl.h"
#include "common/PosixFile.h"

#include <algorithm>
#include <fcntl.h>

namespace corvelle {
namespace {

Message exportFailedMessage(const std::exception& error)
{
    Message message{"Error occured exporting records to temp dupe check file",
                    MessageIcon::Critical, MessageButtons::Ok};
    message.reason = error.what();
    return message;
}

} // namespace

Outcome clsDatabase::ExportRecordset(const std::filesystem::path& strFileName,
                                     const WorkHooks& hooks)
{
    hooks.setProgress(0.0f);
    ExportSnapshot& snapshot = m_impl->lastExport();
    snapshot.clear();
    try {
        // Replace, never append to, an earlier export.
        std::filesystem::remove(strFileName);
        UniqueFd fd = openFile(strFileName, O_WRONLY | O_CREAT | O_TRUNC);
        const std::int32_t total = m_impl->count();
        snapshot.reserve(static_cast<std::size_t>(total));
        BackgroundWriter out(fd.get(), strFileName,
                             dedupe_record::kSize *
                                 static_cast<std::size_t>(std::clamp(total, 1, 4096)));
        Outcome outcome = Outcome::Completed;
        std::int32_t written = 0;
        if (total > 0) {
            m_impl->forEachFromFirst([&](const CatalogueRecord& record) {
                encodeDedupeRecord(record.id, record.file, record.extension, record.size,
                                   record.crc.value, out.reserve(dedupe_record::kSize));
                snapshot.add(record.id, record.file, record.extension, record.size, record.crc,
                             record.identity);
                if (!hooks.checkpoint(++written, total)) {
                    outcome = Outcome::Stopped;
                    return false;
                }
                return true;
            });
        }
        out.finish();
        closeFile(fd, strFileName);
        snapshot.file = strFileName;
        snapshot.identity = FileIdentity::of(strFileName).value_or(FileIdentity{});
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
