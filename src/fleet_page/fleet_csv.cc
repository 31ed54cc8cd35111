#include "fleet_page/fleet_csv.h"

#include <algorithm>

CsvReader::CsvReader(const std::string& text, char separator, std::size_t row_limit)
    : text_(text), separator_(separator), row_limit_(row_limit) {}

void CsvReader::SkipLine(std::size_t from) {
  const std::size_t end = text_.find('\n', from);
  at_ = end == std::string::npos ? text_.size() : end + 1;
}

bool CsvReader::Parse(std::vector<std::string>* fields, std::string* why, bool* long_only) {
  fields->clear();
  std::string field;
  bool quoted = false;
  bool closed = false;  // a quoted field's closing quote was read
  const std::size_t start = at_;
  for (;;) {
    if (at_ - start > row_limit_) {
      *why = "a record longer than " + std::to_string(row_limit_ >> 20) + " MiB";
      *long_only = !quoted;
      return false;
    }
    if (at_ >= text_.size()) {
      if (quoted) {
        *why = "a quote that is never closed";
        return false;
      }
      fields->push_back(field);
      return true;
    }
    const char ch = text_[at_++];
    if (quoted) {
      if (ch != '"') {
        if (ch == '\n') ++next_line_;
        field.push_back(ch);
      } else if (at_ < text_.size() && text_[at_] == '"') {
        field.push_back('"');
        ++at_;
      } else {
        quoted = false;
        closed = true;
      }
    } else if (ch == separator_) {
      fields->push_back(field);
      field.clear();
      closed = false;
    } else if (ch == '\n' || (ch == '\r' && at_ < text_.size() && text_[at_] == '\n') ||
               (ch == '\r' && at_ == text_.size())) {
      if (ch == '\r' && at_ < text_.size()) ++at_;
      ++next_line_;
      fields->push_back(field);
      return true;
    } else if (closed) {
      *why = "text after a closing quote";
      return false;
    } else if (ch == '"' && field.empty()) {
      quoted = true;
    } else {
      field.push_back(ch);
    }
  }
}

CsvReader::Result CsvReader::Next(std::vector<std::string>* fields, std::string* why) {
  for (;;) {
    if (at_ >= text_.size()) return Result::kEnd;
    const std::size_t start = at_;
    line_ = next_line_;
    bool long_only = false;
    if (!Parse(fields, why, &long_only)) {
      // Again from the line after the one the record starts on; a record
      // that is only long is passed over to its own end.
      SkipLine(long_only ? at_ : start);
      next_line_ = line_ + 1;
      if (long_only) {
        next_line_ = line_ + static_cast<long long>(std::count(
                                  text_.begin() + static_cast<std::ptrdiff_t>(start),
                                  text_.begin() + static_cast<std::ptrdiff_t>(at_), '\n'));
      }
      return Result::kBad;
    }
    if (fields->size() == 1 && (*fields)[0].find_first_not_of(" \t\r") == std::string::npos) {
      continue;
    }
    if (columns_ == 0) columns_ = fields->size();
    if (fields->size() != columns_) {
      *why = "a record of " + std::to_string(fields->size()) + " fields where the header has " +
             std::to_string(columns_);
      if (next_line_ > line_ + 1) {
        at_ = start;
        SkipLine(start);
        next_line_ = line_ + 1;
      }
      return Result::kBad;
    }
    return Result::kRecord;
  }
}

char SeparatorOf(const std::string& text) {
  std::size_t comma = 0, semicolon = 0, tab = 0;
  bool quoted = false;
  for (const char ch : text) {
    if (ch == '"') quoted = !quoted;
    if (quoted) continue;
    if (ch == '\n') break;
    if (ch == ',') ++comma;
    if (ch == ';') ++semicolon;
    if (ch == '\t') ++tab;
  }
  if (semicolon > comma && semicolon >= tab) return ';';
  if (tab > comma && tab > semicolon) return '\t';
  return ',';
}

std::string FormulaCellText(const std::string& cell) {
  const std::size_t quotes = cell.find_first_not_of('\'');
  if (quotes == 0 || quotes == std::string::npos) return cell;
  const char next = cell[quotes];
  if (next == '=' || next == '+' || next == '-' || next == '@' || next == '\t' || next == '\r') {
    return cell.substr(1);
  }
  return cell;
}
