#pragma once

// What the commands that change a project share: the project argument, the selection
// (--records 1,3-5 or --all), --dry-run and --json; loading the project, checking the selection
// and channel numbers, collecting the changes, saving the project as the program saves it and
// printing what changed.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "common/ui_host.h"
#include "project/project_lock.h"
#include "project/record_management.h"

namespace tarvik::cli {

struct EditOptions {
  std::string Project;
  std::string Records;
  bool All = false;
  bool DryRun = false;
  bool Json = false;
};

enum class SelectionUse {
  kNone,      // the command works on the whole project
  kOptional,  // no selection means every record
  kRequired,  // --records or --all must be given
};

// Adds PROJECT, the selection options as use asks, --dry-run and --json to cmd.
std::shared_ptr<EditOptions> AddEditOptions(CLI::App* cmd, SelectionUse use);

// "on"/"off" (also 1/0, yes/no, true/false) for the check marks of edit.
CLI::Validator OnOff();
bool IsOn(const std::string& text);

// "record 3 (STATION)": how the commands name a record.
std::string RecordLabel(const TProject& project, int index);

// A full path from a path typed on the command line; "" stays "".
std::string FullPath(const std::string& path);

// One run of a command that changes a project.
class EditSession {
 public:
  EditSession(const EditOptions& options, const char* command, CommandResult& result);

  // Loads the project and resolves the selection; false (the status set, the reason told) when
  // either fails. A command that may change the project (changes, and not --dry-run) takes the
  // project's lock first and keeps it to the end, so that its change is made to the project as
  // it is on disk and no other writer's change is lost.
  bool Open(SelectionUse use, bool changes = true);

  TProject& Project() { return project_; }
  const TProject& Before() const { return before_; }
  const TSelection& Selection() const { return selection_; }
  // The current record of the records page: the first selected one.
  int Current() const { return selection_.empty() ? -1 : selection_.front(); }
  UiHost& Host() { return host_; }

  // Refuses the command as wrong use (status 2) or as a failure (status 1), with the reason.
  void Usage(const std::string& why);
  void Fail(const std::string& why);
  // The same for a reason the core gave, told in the command line's language.
  void Usage(const TStatus& why);
  void Fail(const TStatus& why);

  // The channel number (from 1) as an index, checked against every selected record; nullopt
  // (wrong use) when a selected record lacks it.
  std::optional<int> Channel(int number);

  // Notes a change for the output; json describes it for --json.
  void Change(const std::string& text, nlohmann::ordered_json json);
  void Warn(const std::string& text);
  // A warning of the core: told in the command line's language, its code kept for --json.
  void Warn(const TStatus& status);
  // Notes the result of a core operation: its warnings, and a refusal as wrong use; false when
  // refused.
  bool Apply(const TRecordOpResult& result);
  // Notes every field of records and channels that differs from the project as loaded (the
  // records must be the same ones, in the same order).
  void DescribeFieldChanges();
  // Notes the records appended since loading.
  void DescribeAdded(const std::vector<int>& added);

  // Saves the project unless --dry-run or no change was noted, and prints the changes; sets
  // the status.
  void Finish();

 private:
  const EditOptions& options_;
  std::string command_;
  CommandResult& result_;
  ConsoleUiHost host_;
  TProjectLock lock_;
  TProject project_;
  TProject before_;
  TSelection selection_;
  std::vector<std::string> lines_;
  nlohmann::ordered_json changes_ = nlohmann::ordered_json::array();
  std::vector<std::string> warnings_;
  // The code of each warning ("" for the command line's own).
  std::vector<std::string> warning_codes_;

  // Tells the refusal text (in the command line's language) on stderr and, with --json, as a
  // document with its code; sets status.
  void Refuse(int status, const std::string& text, std::string_view code);
};

}  // namespace tarvik::cli
