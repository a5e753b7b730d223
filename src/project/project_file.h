#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/status.h"
#include "project/bin_ini_file.h"
#include "project/project.h"
#include "project/project_lock.h"

namespace tarvik {

class UiHost;

// The first four bytes of a binary project and of its single data block.
inline constexpr int32_t kProjectMagic = 0x52455646;  // "FVER"
inline constexpr int32_t kBlockMarker = 0x52455644;   // "DVER"
// The version this program writes.
inline constexpr int32_t kProjectVersion = 1;
inline constexpr char kCommonDirToken[] = "$CommonDir";

// 0 for a text project (it starts with "[V"), the stored version for a binary one (it starts
// with "FVER"), -1 for anything else or a file that cannot be read.
int32_t ProbeProjectFormat(const std::string& file_name);

// A path as stored: every occurrence of the project folder (letter case ignored) that ends at a
// separator or at the end of the path becomes "$CommonDir".
std::string ToCommonDir(std::string_view path, std::string_view folder);
// A stored path in this system's form, every "$CommonDir" (letter case ignored) replaced by the
// project folder.
std::string FromCommonDir(std::string_view stored, std::string_view folder);

// A numbered key or section as the project file names them: name followed by n with at least
// two digits ("File07", "REC100").
std::string NumberedKey(std::string_view name, int n);

// The project file name a save uses: name with ".tvp" appended unless it already ends so
// (letter case ignored).
std::string ProjectSaveName(const std::string& name);
// The backup of a project file: its name with a backquote appended.
std::string ProjectBackupName(const std::string& file_name);
// The full path a save of name writes (ProjectSaveName made absolute): the file whose lock its
// writers take.
std::string ProjectFilePath(const std::string& name);

// What the project file holds now; not Known when it is missing or cannot be read.
TProjectStamp ProjectFileStamp(const std::string& file_name);

// Where a project file is damaged, for the status that refuses it: the line (text form) or
// byte offset (binary form) and what is wrong there.
struct TProjectDamage {
  int Line = 0;
  int64_t Offset = -1;
  TStatus What;
  bool Damaged() const { return !What.Ok(); }
};
// kFileDamaged for file_name with the place (kAtLine or kAtByte) and what is wrong there; File,
// Line or Offset set.
TStatus DamagedProjectStatus(const std::string& file_name, const TProjectDamage& damage);

enum class LoadStatus {
  kLoaded,
  kNotFound,        // kFileNotFound; nothing changed
  kUnknownVersion,  // kUnknownVersion; see LoadProject
  kNewerVersion,    // a binary project of a later version: not loaded, no message
  kDamaged,         // kFileDamaged; nothing changed
};

// What a load did: its outcome and the status the user was told (kOk when loaded, and for a
// newer version, which is not told).
struct TLoadResult {
  LoadStatus Kind = LoadStatus::kLoaded;
  TStatus Status;
  operator LoadStatus() const { return Kind; }
  bool operator==(LoadStatus kind) const { return Kind == kind; }
};

// Loads a project file into project (which the caller has closed: its records are replaced,
// its settings keep what the file does not set). Stages, gauge and messages go to host, and
// the status told is returned with the outcome. A file whose start is not a project's, or a
// binary project whose version is below 1, leaves project unchanged; a wrong block marker leaves
// it empty but attached to the file. A damaged file (one that breaks off, lacks a section every
// project has, or whose record count does not agree with its records) is refused with the place
// of the damage and leaves project unchanged. A loaded project remembers its form and what its
// file held.
TLoadResult LoadProject(TProject& project, const std::string& file_name, UiHost& host);

// Reads the project's values from an open store in the order both forms share; folder resolves
// "$CommonDir". False when a binary block marker is wrong (nothing after it is read). damage,
// when given, gets the first place where the file is damaged (Damaged() false when none).
bool ReadProjectValues(TBinIniFile& ini, TProject& project, const std::string& folder, UiHost& host,
                       TProjectDamage* damage = nullptr);
// Writes the project's values in that order; paths are stored relative to folder.
void WriteProjectValues(TBinIniFile& ini, const TProject& project, const std::string& folder,
                        UiHost& host);

struct SaveResult {
  bool Ok = false;
  // The name written (".tvp" appended when needed).
  std::string FileName;
  // Why the save failed, as the user was told (kOk when saved).
  TStatus Error;
};

// Saves project under name, form 0 text, 1 binary (clamped). The new file is written beside the
// old one and renamed into place, the previous version staying as the backup, so a failed save
// leaves the previous project file as it was. The save holds the project's lock: lock, when it
// guards the file, is the caller's (who read the project under it); otherwise the save takes
// the lock itself and fails, naming the holder, when another writer keeps it. On success the
// project is attached to the file, in the form written, and no longer modified; on failure it
// keeps its file name, folder and modified flag and the error is shown. A results folder equal
// to program_folder becomes the project folder.
SaveResult SaveProject(TProject& project, const std::string& name, int form, UiHost& host,
                       const std::string& program_folder = "", const TProjectLock* lock = nullptr);

}  // namespace tarvik
