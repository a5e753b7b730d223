#include "common/paths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tarvik {

namespace {

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

size_t NamePos(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return i;
  }
  return 0;
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Match(std::string_view name, std::string_view mask) {
  // Iterative wildcard match with backtracking to the last "*".
  size_t n = 0, m = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || Lower(mask[m]) == Lower(name[n]))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      star = m++;
      mark = n;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

std::string NativePath(std::string_view stored) {
  std::string out(stored);
#ifndef _WIN32
  std::replace(out.begin(), out.end(), '\\', '/');
#else
  std::replace(out.begin(), out.end(), '/', '\\');
#endif
  return out;
}

std::string FileExtension(std::string_view path) {
  const size_t name = NamePos(path);
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot < name) return "";
  return std::string(path.substr(dot));
}

std::string FileName(std::string_view path) {
  return std::string(path.substr(NamePos(path)));
}

std::string FolderOf(std::string_view path) {
  size_t name = NamePos(path);
  if (name == 0) return "";
  if (name == 1) return std::string(path.substr(0, 1));  // the root
  return std::string(path.substr(0, name - 1));
}

std::string ReplaceExtension(std::string_view path, std::string_view new_ext) {
  const size_t name = NamePos(path);
  size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot < name) dot = path.size();
  return std::string(path.substr(0, dot)) + std::string(new_ext);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string out(folder);
  if (!IsSeparator(out.back()))
    out += static_cast<char>(std::filesystem::path::preferred_separator);
  out += name;
  return out;
}

bool MatchMask(std::string_view name, std::string_view mask) {
  if (Match(name, mask)) return true;
  // "name.*" also matches "name" without an extension, as on Windows.
  if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" &&
      name.find('.') == std::string_view::npos) {
    return Match(name, mask.substr(0, mask.size() - 2));
  }
  return false;
}

std::vector<std::string> ListFolder(const std::string& folder, std::string_view mask) {
  std::vector<std::string> out;
  std::error_code ec;
  const std::filesystem::path dir =
      folder.empty() ? std::filesystem::path(".") : std::filesystem::path(folder);
  std::filesystem::directory_iterator it(dir, ec);
  if (ec) return out;
  for (const auto& entry : it) {
    std::error_code fec;
    if (!entry.is_regular_file(fec) || fec) continue;
    const std::string name = entry.path().filename().string();
    if (MatchMask(name, mask)) out.push_back(JoinPath(folder, name));
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace tarvik
