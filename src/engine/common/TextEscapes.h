// Names as bytes, written so that every byte is accounted for: escapes that read back to the
// exact bytes (tsv), and readable forms for people, terminals and the window's lists.
#pragma once

#include <string>
#include <string_view>

namespace corvelle {

/// A tsv cell: "\" as "\\", tab as "\t", newline as "\n", every other byte unchanged.
std::string escapeTsv(std::string_view cell);
/// Text for a person, and for a terminal: control characters, "\" and bytes that are not
/// UTF-8 written as \t, \n, \\, \xNN. Never holds a tab or a line break.
std::string escapeReadable(std::string_view text);

/// A path's bytes percent-encoded as a URL path: every byte but letters, digits, "/" and
/// "-_.~" becomes "%XX". Whatever the bytes, the result is ASCII and decodes back exactly.
std::string percentEncodePath(std::string_view bytes);
/// Decodes every "%XX"; anything else is kept as it stands.
std::string percentDecode(std::string_view text);
/// "file://" and the path percent-encoded: a local file's address for any name.
std::string fileUrl(std::string_view absolutePath);

/// Whether the bytes are valid UTF-8.
bool isValidUtf8(std::string_view text);
/// The bytes as UTF-8, with U+FFFD for each byte that is not part of a valid sequence.
std::string lossyUtf8(std::string_view text);

} // namespace corvelle
