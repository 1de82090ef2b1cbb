#include "controls/UiYield.h"

#include <QCoreApplication>
#include <cmath>

namespace corvelle {

UiYield::UiYield(std::function<void()> refresh, int intervalMs)
    : m_refresh(std::move(refresh))
    , m_intervalMs(intervalMs)
{
    m_sinceLast.start();
}

void UiYield::operator()()
{
    if (m_sinceLast.elapsed() >= m_intervalMs) {
        now();
    }
}

void UiYield::now()
{
    if (m_refresh) {
        m_refresh();
    }
    QCoreApplication::processEvents();
    m_sinceLast.restart();
}

int twipsToPixels(int twips, double dpi)
{
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

int pixelsToTwips(int pixels, double dpi)
{
    return static_cast<int>(std::lround(pixels * 1440.0 / dpi));
}

} // namespace corvelle
