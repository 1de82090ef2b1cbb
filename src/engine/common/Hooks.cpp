#include "common/Hooks.h"

#include <cstdio>

namespace corvelle {

MessageAnswer StderrMessageSink::show(const Message& message)
{
    if (message.reason.empty()) {
        std::fprintf(stderr, "%s\n", message.text.c_str());
    } else {
        std::fprintf(stderr, "%s: %s\n", message.text.c_str(), message.reason.c_str());
    }
    std::fflush(stderr);
    return message.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

float percentOf(double done, double total)
{
    return static_cast<float>(done / total * 100.0);
}

MessageAnswer WorkHooks::report(const Message& message) const
{
    if (messages != nullptr) {
        return messages->show(message);
    }
    StderrMessageSink fallback;
    return fallback.show(message);
}

} // namespace corvelle
