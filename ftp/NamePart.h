#pragma once

#include <string>

namespace orvanta::ftp {

// The name a file is stored under and loaded by: the text after the last "\" or ":" of its
// path, or after the last "/", this platform's folder separator; the whole path when it has
// none of them. Without the "/" every absolute path here would reach the player as a folder
// path that its FTP server cannot store.
std::string NamePart(const std::string& path);

}  // namespace orvanta::ftp
