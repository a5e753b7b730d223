#pragma once

// Which project wrote each result file of a results folder. Result names come from a record's
// station and time alone, so two projects sharing a results folder (the default is the
// project's own folder) write the same names; the manifest lets a run see that the file it is
// about to replace is another project's result and ask first.
//
// The manifest is "results_manifest.txt" in the results folder: UTF-8 text, one line per
// result file, four fields separated by TAB:
//
//   FILE  PROJECT  RECORD  WRITTEN
//
// FILE is the result's path relative to the results folder with "/" separators (a full path
// when it lies outside), PROJECT the full path of the project file (empty for a project never
// saved), RECORD the record's number from 1 and station ("3 (STN11)"), WRITTEN the time in
// UTC ("2024-05-14T10:00:00.000Z"). In fields, "%" and control characters are written as "%"
// and two hexadecimal digits. Lines beginning with "#" are comments. Lines are appended as
// files are written, so the last line naming a file counts. A line that does not read (a
// crash while appending, an edit by hand) is passed over and the manifest is rewritten
// without it on the next write; a damaged or unreadable manifest never stops a run.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"

namespace tarvik {

inline constexpr char kResultManifestName[] = "results_manifest.txt";

struct TResultOwner {
  std::string Project;
  std::string Record;
  std::string Written;
};

// The project file as the manifest names it: a full, normalised path ("" stays "").
std::string ProjectIdentity(const std::string& project_file);

// "3 (STN11)": a record as the manifest names it (index from 0).
std::string ManifestRecordText(int index, const std::string& station);

// What the bytes of a manifest hold: the owner of each file named (by its manifest name), the
// number of entry lines, and whether a line did not read or the text ends inside a line.
struct TResultManifestText {
  std::map<std::string, TResultOwner> Owners;
  size_t Lines = 0;
  bool Damaged = false;
};
TResultManifestText ParseResultManifest(std::string_view bytes);

// The manifest holding owners, one line each, in the order of the map.
std::string ResultManifestText(const std::map<std::string, TResultOwner>& owners);

// The manifest of one results folder, read when made. Safe to use from several threads.
class TResultManifest {
 public:
  explicit TResultManifest(std::string results_folder);

  // The project that last wrote file (a full path) as the manifest tells; nullopt when it
  // does not name the file.
  std::optional<TResultOwner> OwnerOf(const std::string& file) const;

  // Notes that owner.Project wrote file for owner.Record now (Written is set here). False with
  // the reason when the manifest could not be written; the result file stands either way.
  bool Note(const std::string& file, TResultOwner owner, TStatus* error = nullptr);

  // Whether the manifest held lines that did not read (it is rewritten on the next Note).
  bool Damaged() const;

 private:
  std::string Key(const std::string& file) const;
  void ReadLocked();
  bool RewriteLocked(TStatus* error);

  mutable std::mutex mutex_;
  std::string folder_;
  std::string path_;
  std::map<std::string, TResultOwner> owners_;
  size_t lines_ = 0;
  bool damaged_ = false;
};

// The question a run of project asks before it writes files: those of them that exist and
// that another project wrote, each with the project and record that wrote it, and the project
// that would replace them; kOk when there is none. At most ten files are named, then how many
// more there are.
TStatus OtherProjectsQuestion(const TResultManifest& manifest,
                              const std::vector<std::string>& files, const std::string& project);

}  // namespace tarvik
