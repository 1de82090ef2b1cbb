// The signal that tells intake's worker threads to abandon what they are doing. It is not the
// user's stop: see ReadAheadSource.h for how the two relate.
#pragma once

#include <atomic>

namespace corvelle::intake {

/// Set once, when nobody will read the results of the work in progress any more. Listing and
/// reading check it between system calls and return early, leaving their result incomplete.
class Cancel {
public:
    void request() noexcept { m_requested.store(true, std::memory_order_relaxed); }
    [[nodiscard]] bool requested() const noexcept
    {
        return m_requested.load(std::memory_order_relaxed);
    }

private:
    std::atomic<bool> m_requested{false};
};

/// Whether `cancel` (optional: null means the work is never abandoned) has been requested.
inline bool cancelled(const Cancel* cancel) noexcept
{
    return cancel != nullptr && cancel->requested();
}

} // namespace corvelle::intake
