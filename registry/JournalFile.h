#pragma once

#include <string>

namespace orvanta::registry {

// Appends the line (ending with its line break) to the file at the path, made when missing, in
// one write while holding the file's lock, which every writer of the journal takes: records of
// programs writing at once never mix. A line an earlier writer left unfinished (a full disk, a
// crash) is ended first, so it cannot swallow this one. Raises a Failure saying why when it
// cannot. One file a platform.
void AppendJournalLine(const std::string& path, const std::string& line);

}  // namespace orvanta::registry
