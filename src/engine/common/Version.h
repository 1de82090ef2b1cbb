// The program's version as the about and splash windows show it.
#pragma once

#include <string>

namespace corvelle {

/// "V" and the three numbers in decimal without leading zeros: "V1.2.3".
inline std::string versionText(int major, int minor, int revision)
{
    return "V" + std::to_string(major) + "." + std::to_string(minor) + "." +
           std::to_string(revision);
}

/// This build's version text.
inline std::string versionText()
{
    return versionText(CORVELLE_VERSION_MAJOR, CORVELLE_VERSION_MINOR, CORVELLE_VERSION_PATCH);
}

} // namespace corvelle
