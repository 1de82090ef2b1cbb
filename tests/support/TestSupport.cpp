#include "TestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

/// Empties the folder open on `dirFd`, one name at a time, so that a tree of any depth goes
/// (a path deeper than the system resolves included). Folders get their permissions back
/// first, should a test have taken them away.
void removeInside(int dirFd)
{
    std::vector<std::string> names;
    if (DIR* listing = ::fdopendir(::dup(dirFd))) {
        while (const dirent* entry = ::readdir(listing)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(listing);
    }
    for (const std::string& name : names) {
        if (::unlinkat(dirFd, name.c_str(), 0) == 0) {
            continue;
        }
        ::fchmodat(dirFd, name.c_str(), S_IRWXU, 0);
        const int sub = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (sub >= 0) {
            removeInside(sub);
            ::close(sub);
        }
        ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
    }
}

} // namespace

TempDir::~TempDir()
{
    ::chmod(m_path.c_str(), S_IRWXU);
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        removeInside(fd);
        ::close(fd);
    }
    ::rmdir(m_path.c_str());
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
