#include "TestSupport.h"

#include "catalogue/RecordFiles.h"

#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <stdlib.h>

namespace corvelle::test {

TempDir::TempDir()
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / "corvelle-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    // Give back permissions a test may have taken away, so everything can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(
             m_path, std::filesystem::directory_options::skip_permission_denied, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::remove_all(m_path, ignored);
}

void writeFile(const std::filesystem::path& file, std::string_view bytes)
{
    if (file.has_parent_path()) {
        std::filesystem::create_directories(file.parent_path());
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

std::string readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + file.string());
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> randomBytes(std::size_t count, std::uint32_t seed)
{
    std::mt19937 engine(seed);
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(engine() >> 24);
    }
    return bytes;
}

MessageAnswer RecordingMessages::show(const Message& message)
{
    shown.push_back(message);
    if (message.buttons == MessageButtons::Ok) {
        return MessageAnswer::Ok;
    }
    if (answers.empty()) {
        return MessageAnswer::No;
    }
    const MessageAnswer answer = answers.front();
    answers.erase(answers.begin());
    return answer;
}

std::vector<std::string> RecordingMessages::texts() const
{
    std::vector<std::string> out;
    for (const Message& m : shown) {
        out.push_back(m.text);
    }
    return out;
}

std::string exportField(std::string_view exported, std::size_t record, std::size_t offset,
                        std::size_t length)
{
    return std::string(exported.substr(record * dedupe_record::kSize + offset, length));
}

char groupedMark(std::string_view exported, std::size_t record)
{
    return exported.at(record * dedupe_record::kSize + dedupe_record::kGroupedOffset);
}

std::function<void()> stopAfterYields(StopFlag& flag, int n)
{
    auto calls = std::make_shared<int>(0);
    return [&flag, n, calls] {
        if (++*calls == n) {
            flag.request();
        }
    };
}

} // namespace corvelle::test
