#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// A path as stored by the program on any system ("\" or "/" separators) in this system's form.
std::string NativePath(std::string_view stored);

// The extension of the file name part: the text from its last "." on ("" when none).
std::string FileExtension(std::string_view path);
// The file name part of a path.
std::string FileName(std::string_view path);
// The folder part of a path, without a trailing separator ("" for a bare name).
std::string FolderOf(std::string_view path);
// The path with its extension replaced (new_ext includes the dot).
std::string ReplaceExtension(std::string_view path, std::string_view new_ext);
// folder + separator + name.
std::string JoinPath(std::string_view folder, std::string_view name);

// Windows file-mask match, letters compared without case: "?" one character, "*" any run.
// A mask whose extension part is ".*" also matches names without a dot.
bool MatchMask(std::string_view name, std::string_view mask);

// Full paths of the plain files in folder whose names match mask, sorted as text.
std::vector<std::string> ListFolder(const std::string& folder, std::string_view mask);

}  // namespace tarvik
