// What a file handed to us looks like from its first bytes, before anything
// opens it: a received file is only ever opened as what it claims to be.
#pragma once

#include <filesystem>
#include <string>

#include "model/status.h"

namespace varnel {

enum class FileKind {
  kEmpty,   // no bytes at all
  kSqlite,  // an SQLite database file (ours, an interchange file or another)
  kGzip,    // a gzip stream
  kOther,   // anything else
};

// Reads at most the first 16 bytes of `file`. Fails when the file cannot be
// opened or read (the reason names the file).
[[nodiscard]] Result<FileKind> sniffFileKind(const std::filesystem::path& file);

const char* fileKindName(FileKind kind);

// `file` as an SQLite URI that opens it read-only ("file:/a%20b/x.sqlite?mode=ro"):
// every byte but letters, digits and "/-._~" is escaped, so "?" and "#" in a
// folder's name stay part of the path. `immutable` also tells SQLite the
// file cannot change: it takes no lock, rolls back no journal and creates
// nothing beside it.
std::string readOnlyUri(const std::filesystem::path& file, bool immutable);

}  // namespace varnel
