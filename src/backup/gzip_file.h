// Gzip files of backups: writing one from a file, and reading one back only
// when it is whole. A backup that was cut short or changed on its way is
// found out before anything is built from it.
#pragma once

#include <filesystem>

#include "backup/progress.h"
#include "model/status.h"

namespace varnel {

// The compression level of backups: gzip's own default.
inline constexpr int kBackupGzipLevel = 6;

// Writes `source` into `target` (created or truncated) as one gzip stream
// that any gzip reader reads back, compressing slices of the file on the
// machine's cores in parallel, and syncs `target` to disk. Reports bytes of
// `source` done. Fails with the reason (system failure) when a file cannot
// be read or written; `target` is then removed.
[[nodiscard]] Status gzipFile(const std::filesystem::path& source, const std::filesystem::path& target,
                              int level = kBackupGzipLevel, const Progress& progress = {});

// Writes what the gzip file `source` holds into `target` (created or
// truncated). Succeeds only when `source` is whole: every member ends with
// its trailer, and the trailer's CRC-32 and length match what the member
// held, and nothing but further members follows. Fails with invalid input
// (the reason says what is wrong: not gzip, cut short, damaged) or a system
// failure (a file that cannot be read or written); `target` is then removed.
// The reason of invalid input does not name the file. Reports bytes of
// `source` done.
[[nodiscard]] Status gunzipFile(const std::filesystem::path& source, const std::filesystem::path& target,
                                const Progress& progress = {});

}  // namespace varnel
