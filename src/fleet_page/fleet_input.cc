#include "fleet_page/fleet_input.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "fleet_page/fleet_csv.h"
#include "fleet_page/fleet_files.h"
#include "fleet_page/fleet_read.h"

namespace fs = std::filesystem;

MachineResult::MachineResult() : time(kUnknownTime) {}

namespace {

// The largest CSV file read: ten thousand machines with a hundred traces
// each are some hundred megabytes.
constexpr std::uintmax_t kCsvFileByteLimit = 1u << 30;

void Unread(std::vector<InputProblem>* unread, const std::string& source,
            const std::string& reason) {
  unread->push_back({source, 0, reason});
}

// Whether `name` ends in `extension` (".json"), whatever its ASCII case.
bool HasExtension(const std::string& name, const char* extension) {
  const std::size_t length = std::char_traits<char>::length(extension);
  return name.size() > length && Lower(name.substr(name.size() - length)) == extension;
}

// One file of a folder or the command line, by its path (UTF-8) and its
// name; a check document is named by its name's stem.
void ReadFile(const std::string& path, const std::string& name,
              std::vector<MachineResult>* results, std::vector<InputProblem>* unread) {
  const bool csv = HasExtension(name, ".csv");
  const std::size_t limit =
      csv ? static_cast<std::size_t>(kCsvFileByteLimit) : kDocumentByteLimit;
  std::string bytes;
  switch (ReadWholeFile(path, limit, &bytes)) {
    case FileRead::kRead:
      break;
    case FileRead::kNotRegular:
      Unread(unread, path, "not a regular file (a folder, pipe, device or a link that leads "
                           "nowhere)");
      return;
    case FileRead::kTooLarge:
      Unread(unread, path, "larger than " + std::to_string(limit >> 20) +
                               " MiB: no input of its kind is that large");
      return;
    case FileRead::kUnreadable:
      Unread(unread, path, "it cannot be read whole");
      return;
  }
  if (csv) {
    ReadCsv(bytes, path, results, unread);
    return;
  }
  MachineResult result =
      ReadCheckDocument(bytes, name.substr(0, name.size() - std::strlen(".json")), path);
  if (!result.has_verdict) Unread(unread, path, result.problem);
  results->push_back(std::move(result));
}

}  // namespace

const char* PageVerdictName(const MachineResult& result) {
  return result.has_verdict ? VerdictName(result.verdict) : "NO RESULT";
}

void ReadCsv(const std::string& bytes, const std::string& source,
             std::vector<MachineResult>* results, std::vector<InputProblem>* unread) {
  bool marked = false;
  const std::string text = DecodeText(bytes, &marked);
  CsvReader reader(text, SeparatorOf(text), kCsvRowByteLimit);
  std::vector<std::string> header;
  std::string why;
  CsvReader::Result read = reader.Next(&header, &why);
  if (read == CsvReader::Result::kEnd) {
    Unread(unread, source, "an empty file");
    return;
  }
  if (read == CsvReader::Result::kBad) {
    unread->push_back({source, reader.line(), "its header cannot be read: " + why});
    return;
  }
  const Columns columns(header);
  const std::size_t first = results->size();
  if (columns.Find({"machine", "computer"}) >= 0 && columns.Find({"status"}) >= 0 &&
      columns.Find({"kind"}) >= 0) {
    ReadCollectorRows(&reader, columns, source, results, unread);
  } else if (columns.Find({"devicename", "manageddevicedevicename", "device"}) >= 0 &&
             columns.Find({"preremediationdetectionscriptoutput",
                           "preremediationdetectionoutput"}) >= 0) {
    ReadRemediationsRows(&reader, columns, source, results, unread);
  } else {
    std::string names;
    for (const std::string& column : header) names += (names.empty() ? "" : ", ") + column;
    Unread(unread, source,
           "neither the collector's CSV nor a Remediations export (its columns: " +
               names.substr(0, 300) + ")");
    return;
  }
  if (marked) {
    for (std::size_t i = first; i < results->size(); ++i) {
      (*results)[i].flags.push_back(kMarkedFlag);
    }
  }
}

void ReadPath(const std::string& path, std::vector<MachineResult>* results,
              std::vector<InputProblem>* unread) {
  std::error_code error;
  const fs::path where = fs::u8path(path);
  const fs::file_status status = fs::status(where, error);
  if (status.type() == fs::file_type::not_found) {
    Unread(unread, path, "it does not exist");
    return;
  }
  if (error) {
    Unread(unread, path, "it cannot be read: " + error.message());
    return;
  }
  if (fs::is_directory(status)) {
    // A folder's own files only, never its folders, so that no link can
    // make it read itself again. Each file is opened once, as it is read:
    // what is no regular file shows then.
    std::vector<FolderEntry> entries;
    std::string why;
    if (!ListFolder(path, &entries, &why)) {
      Unread(unread, path, "the folder cannot be read: " + why);
      return;
    }
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const FolderEntry& entry) {
                                   return !HasExtension(entry.name, ".json") &&
                                          !HasExtension(entry.name, ".csv");
                                 }),
                  entries.end());
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    results->reserve(results->size() + entries.size());
    // The folder's path as the system joins a name to it.
    const std::string prefix = (where / "").u8string();
    for (const FolderEntry& entry : entries) {
      if (entry.folder) {
        Unread(unread, prefix + entry.name, "not a regular file (a folder, pipe, device or "
                                            "a link that leads nowhere)");
      } else {
        ReadFile(prefix + entry.name, entry.name, results, unread);
      }
    }
    return;
  }
  if (!fs::is_regular_file(status)) {
    Unread(unread, path, "not a regular file (a pipe or device)");
    return;
  }
  const std::string name = where.filename().u8string();
  if (!HasExtension(name, ".json") && !HasExtension(name, ".csv")) {
    Unread(unread, path, "neither a .json nor a .csv file");
    return;
  }
  ReadFile(path, name, results, unread);
}
