// Helpers shared by the engine, command-line and window tests.
#pragma once

#include "common/Hooks.h"
#include "common/Types.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

/// Record IDs written as numbers in tests: 3_id.
constexpr RecordId operator""_id(unsigned long long value)
{
    return RecordId{static_cast<std::int32_t>(value)};
}

} // namespace corvelle

namespace corvelle::test {

/// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    [[nodiscard]] std::filesystem::path operator/(std::string_view name) const
    {
        return m_path / name;
    }

private:
    std::filesystem::path m_path;
};

/// Writes bytes to a file, creating its folders.
void writeFile(const std::filesystem::path& file, std::string_view bytes);
/// The whole content of a file.
std::string readFile(const std::filesystem::path& file);
/// Deterministic pseudo-random bytes.
std::vector<std::uint8_t> randomBytes(std::size_t count, std::uint32_t seed);

struct RecordingProgress final : ProgressSink {
    std::vector<float> values;
    void setValue(float percent) override { values.push_back(percent); }
};

struct RecordingCaption final : CaptionSink {
    std::vector<std::string> captions;
    void setCaption(std::string_view text) override { captions.emplace_back(text); }
    [[nodiscard]] std::string last() const { return captions.empty() ? "" : captions.back(); }
};

/// Records every message; answers questions from a script (then No).
struct RecordingMessages final : MessageSink {
    std::vector<Message> shown;
    std::vector<MessageAnswer> answers;
    MessageAnswer show(const Message& message) override;
    [[nodiscard]] std::vector<std::string> texts() const;
};

/// A yield callback that sets the stop flag at its n-th call (counting from 1).
std::function<void()> stopAfterYields(StopFlag& flag, int n);

} // namespace corvelle::test
