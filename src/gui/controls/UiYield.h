// The yield a long operation calls after each unit of work: the window gets its events (Stop,
// repaints) about every 15 ms, and between those the call costs only a clock read.
#pragma once

#include <QElapsedTimer>
#include <functional>

namespace corvelle {

class UiYield {
public:
    /// `refresh` runs before each round of events, to bring the window up to date.
    explicit UiYield(std::function<void()> refresh = {}, int intervalMs = 15);

    void operator()();
    /// Processes events now, whatever the time since the last round.
    void now();

private:
    std::function<void()> m_refresh;
    QElapsedTimer m_sinceLast;
    int m_intervalMs;
};

/// Twips (1/1440 inch) in the device-independent pixels of a screen of `dpi` dots per inch.
int twipsToPixels(int twips, double dpi);
/// Pixels in twips, the other way round.
int pixelsToTwips(int pixels, double dpi);

} // namespace corvelle
