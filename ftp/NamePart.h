#pragma once

#include <string>

namespace orvanta::ftp {

// The name a file is stored under: the text after the last "\" or ":" of its path, the whole
// path when it has neither. A "/" does not separate.
std::string NamePart(const std::string& path);

}  // namespace orvanta::ftp
