#include "fleet_page/fleet_input.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "fleet_page/fleet_csv.h"
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

// A regular file's bytes, at most `limit` of them; false (with the reason
// in `unread`) when they cannot all be read.
bool ReadBytes(const fs::path& where, const std::string& path, std::uintmax_t limit,
               std::string* bytes, std::vector<InputProblem>* unread) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(where, error);
  if (error) {
    Unread(unread, path, "it cannot be read: " + error.message());
    return false;
  }
  if (size > limit) {
    Unread(unread, path, "larger than " + std::to_string(limit >> 20) +
                             " MiB: no input of its kind is that large");
    return false;
  }
  std::ifstream in(where, std::ios::binary);
  bytes->assign(static_cast<std::size_t>(size), '\0');
  if (!in || !in.read(bytes->data(), static_cast<std::streamsize>(bytes->size())) ||
      in.peek() != std::char_traits<char>::eof()) {
    Unread(unread, path, "it cannot be read whole");
    return false;
  }
  return true;
}

void ReadFile(const fs::path& where, const std::string& path,
              std::vector<MachineResult>* results, std::vector<InputProblem>* unread) {
  const std::string extension = Lower(where.extension().u8string());
  std::string bytes;
  if (extension == ".csv") {
    if (ReadBytes(where, path, kCsvFileByteLimit, &bytes, unread)) {
      ReadCsv(bytes, path, results, unread);
    }
    return;
  }
  if (!ReadBytes(where, path, kDocumentByteLimit, &bytes, unread)) return;
  MachineResult result = ReadCheckDocument(bytes, where.stem().u8string(), path);
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
    // make it read itself again.
    std::vector<fs::path> files;
    for (fs::directory_iterator it(where, error), end; !error && it != end;
         it.increment(error)) {
      const std::string extension = Lower(it->path().extension().u8string());
      if (extension == ".json" || extension == ".csv") files.push_back(it->path());
    }
    if (error) {
      Unread(unread, path, "the folder cannot be read: " + error.message());
      return;
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      std::error_code file_error;
      if (fs::is_regular_file(fs::status(file, file_error))) {
        ReadFile(file, file.u8string(), results, unread);
      } else {
        Unread(unread, file.u8string(), "not a regular file (a folder, pipe, device or "
                                        "a link that leads nowhere)");
      }
    }
    return;
  }
  if (!fs::is_regular_file(status)) {
    Unread(unread, path, "not a regular file (a pipe or device)");
    return;
  }
  const std::string extension = Lower(where.extension().u8string());
  if (extension != ".json" && extension != ".csv") {
    Unread(unread, path, "neither a .json nor a .csv file");
    return;
  }
  ReadFile(where, path, results, unread);
}
