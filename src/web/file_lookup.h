// Mapping a request target to a file of the document root, without ever
// leaving it: not by "..", not through a symbolic link, not by a NUL.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace varnel::web {

// Decodes "%XX" escapes. None when an escape is incomplete or not
// hexadecimal, or (unless `keepNul`) when the result holds a NUL.
std::optional<std::string> percentDecode(std::string_view text, bool keepNul = false);

// The regular file that `uri` names inside `documentRoot`, as a canonical
// path; none when there is no root, when the target cannot be decoded, has
// a ".." part, or resolves (links followed) to something that is not a
// regular file inside the root. The query is ignored; a target ending in
// "/" names that folder's "index.html".
std::optional<std::filesystem::path> filePathForURI(const std::filesystem::path& documentRoot,
                                                    std::string_view uri);

}  // namespace varnel::web
