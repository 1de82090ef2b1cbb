// The file filter: the one-off test and the prepared patterns a scan uses agree on every
// filter and name, "*.*" passes everything, and another pattern never takes a match away.
#include "FuzzInput.h"
#include "intake/IntakeNames.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace corvelle;
    fuzz::FuzzInput input(data, size);
    const std::string_view filters = input.text();
    const std::string_view other = input.text();
    const std::string_view name = input.rest();

    const bool once = MatchesFilter(name, filters);
    fuzz::check(once == FilterPatterns(filters).matches(name),
                "the prepared patterns disagree with the one-off test");
    fuzz::check(MatchesFilter(name, "*.*"), "\"*.*\" refused a name");
    const std::string wider = std::string(filters) + ";" + std::string(other);
    fuzz::check(!once || FilterPatterns(wider).matches(name), "another pattern took a match away");
    return 0;
}
