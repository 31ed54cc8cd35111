#include "fleet_page/fleet_time.h"

#include <cctype>
#include <cstdio>


namespace {

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long year_of_era = year - era * 400;
  const long long day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const long long day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool Digits(const std::string& text, std::size_t at, std::size_t count, int* value) {
  if (at + count > text.size()) return false;
  int number = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    number = number * 10 + (text[i] - '0');
  }
  *value = number;
  return true;
}

// One to `most` digits at `*at`, moving past them.
bool Number(const std::string& text, std::size_t* at, std::size_t most, int* value) {
  std::size_t count = 0;
  int number = 0;
  while (*at + count < text.size() && count < most &&
         std::isdigit(static_cast<unsigned char>(text[*at + count]))) {
    number = number * 10 + (text[*at + count] - '0');
    ++count;
  }
  if (count == 0) return false;
  *at += count;
  *value = number;
  return true;
}

// Seconds since 1970 of a civil time, or kUnknownTime when it is none.
long long Civil(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1601 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
      hour > 23 || minute > 59 || second > 59) {
    return kUnknownTime;
  }
  return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) *
             86400 +
         hour * 3600LL + minute * 60LL + second;
}

}  // namespace

long long ParseIsoTime(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(text, 0, 4, &year) || text.size() < 19 || text[4] != '-' ||
      !Digits(text, 5, 2, &month) || text[7] != '-' || !Digits(text, 8, 2, &day) ||
      (text[10] != 'T' && text[10] != 't' && text[10] != ' ') ||
      !Digits(text, 11, 2, &hour) || text[13] != ':' || !Digits(text, 14, 2, &minute) ||
      text[16] != ':' || !Digits(text, 17, 2, &second)) {
    return kUnknownTime;
  }
  const long long civil = Civil(year, month, day, hour, minute, second);
  if (civil == kUnknownTime) return kUnknownTime;
  std::size_t at = 19;
  if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
    ++at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
  }
  long long offset = 0;
  if (at < text.size() && (text[at] == 'Z' || text[at] == 'z')) {
    ++at;
  } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    int hours = 0, minutes = 0;
    if (!Digits(text, at + 1, 2, &hours)) return kUnknownTime;
    std::size_t next = at + 3;
    if (next < text.size() && text[next] == ':') ++next;
    if (!Digits(text, next, 2, &minutes) || hours > 14 || minutes > 59) return kUnknownTime;
    offset = (hours * 60LL + minutes) * 60;
    if (text[at] == '-') offset = -offset;
    at = next + 2;
  }
  if (at != text.size()) return kUnknownTime;
  return civil - offset;
}

namespace {

// A date and time in one of the export's locale forms, its parts as written.
struct ExportParts {
  int first = 0, second = 0, third = 0;
  std::size_t first_digits = 0, third_digits = 0;
  char separator = 0;
  int hour = 0, minute = 0, second_of_minute = 0;
};

// "a/b/c h:mm[:ss][ AM|PM]" with '/', '.' or '-' between the date's parts;
// the hour already on a 24-hour clock. False for any other text.
bool ReadExportParts(const std::string& text, ExportParts* parts) {
  std::size_t at = 0;
  if (!Number(text, &at, 4, &parts->first) || at >= text.size()) return false;
  parts->first_digits = at;
  parts->separator = text[at];
  if (parts->separator != '/' && parts->separator != '.' && parts->separator != '-') return false;
  ++at;
  if (!Number(text, &at, 2, &parts->second) || at >= text.size() ||
      text[at] != parts->separator) {
    return false;
  }
  ++at;
  const std::size_t third_at = at;
  if (!Number(text, &at, 4, &parts->third)) return false;
  parts->third_digits = at - third_at;
  if ((parts->first_digits == 4) == (parts->third_digits == 4)) return false;
  if (parts->first_digits == 4 ? parts->third_digits > 2 : parts->first_digits > 2) return false;
  if (at >= text.size() || text[at] != ' ') return false;
  ++at;
  int hour = 0;
  if (!Number(text, &at, 2, &hour) || at >= text.size() || text[at] != ':') return false;
  ++at;
  const std::size_t minute_at = at;
  if (!Number(text, &at, 2, &parts->minute) || at - minute_at != 2) return false;
  if (at < text.size() && text[at] == ':') {
    ++at;
    const std::size_t second_at = at;
    if (!Number(text, &at, 2, &parts->second_of_minute) || at - second_at != 2) return false;
  }
  int meridiem = 0;  // 1 AM, 2 PM
  if (at < text.size() && text[at] == ' ') {
    const std::string rest = text.substr(at + 1);
    if (rest == "AM" || rest == "am") {
      meridiem = 1;
    } else if (rest == "PM" || rest == "pm") {
      meridiem = 2;
    } else {
      return false;
    }
    at = text.size();
  }
  if (at != text.size()) return false;
  if (meridiem != 0) {
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + (meridiem == 2 ? 12 : 0);
  }
  parts->hour = hour;
  return true;
}

bool Slashed(const ExportParts& parts) {
  return parts.separator == '/' && parts.third_digits == 4;
}

}  // namespace

bool IsSlashedDate(const std::string& text) {
  ExportParts parts;
  return ParseIsoTime(text) == kUnknownTime && ReadExportParts(text, &parts) && Slashed(parts);
}

DateOrder DateOrderOf(const std::vector<std::string>& times) {
  bool day_first = false;
  bool month_first = false;
  for (const std::string& text : times) {
    ExportParts parts;
    if (!ReadExportParts(text, &parts) || !Slashed(parts)) continue;
    if (parts.first > 12) day_first = true;
    if (parts.second > 12) month_first = true;
  }
  if (day_first && month_first) return DateOrder::kMixed;
  if (day_first) return DateOrder::kDayFirst;
  if (month_first) return DateOrder::kMonthFirst;
  return DateOrder::kUndecided;
}

long long ParseExportTime(const std::string& text, DateOrder order) {
  const long long iso = ParseIsoTime(text);
  if (iso != kUnknownTime) return iso;
  ExportParts parts;
  if (!ReadExportParts(text, &parts)) return kUnknownTime;
  int year = parts.third, month = parts.second, day = parts.first;
  if (parts.first_digits == 4) {
    year = parts.first;
    day = parts.third;
  } else if (parts.separator == '/') {
    if (order == DateOrder::kMonthFirst) {
      month = parts.first;
      day = parts.second;
    } else if (order != DateOrder::kDayFirst) {
      return kUnknownTime;
    }
  }
  return Civil(year, month, day, parts.hour, parts.minute, parts.second_of_minute);
}

std::string FormatIsoTime(long long seconds) {
  long long days = seconds / 86400;
  long long rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from days since 1970 (the inverse of DaysFromCivil).
  const long long z = days + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long day_of_era = z - era * 146097;
  const long long year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const long long day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const long long mp = (5 * day_of_year + 2) / 153;
  const long long day = day_of_year - (153 * mp + 2) / 5 + 1;
  const long long month = mp < 10 ? mp + 3 : mp - 9;
  const long long year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  char text[128];
  static_cast<void>(std::snprintf(text, sizeof text,
                                  "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", year, month,
                                  day, rest / 3600, rest / 60 % 60, rest % 60));
  return text;
}
