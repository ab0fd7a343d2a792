// Event and log time stamps: FILETIME to calendar time, and the time format
// string filled with English month names whatever the locale.
#include "events/event_time.h"

#include <array>
#include <string_view>

#include "platform/filetime.h"
#include "resources/strings.h"

namespace kestrune::evt {

namespace {

constexpr std::array<std::wstring_view, 12> kMonths = {
    L"January", L"February", L"March",     L"April",   L"May",      L"June",
    L"July",    L"August",   L"September", L"October", L"November", L"December"};

std::wstring TwoDigits(long long value) {
  return res::Sprintf(L"%02lld", value);
}

// The civil UTC time of seconds since 1970, for every value a FILETIME gives.
std::tm UtcBreakdown(std::int64_t seconds) {
  constexpr std::int64_t kDay = 86400;
  std::int64_t days = seconds / kDay;
  std::int64_t rest = seconds % kDay;
  if (rest < 0) {
    rest += kDay;
    --days;
  }
  // Days to year, month and day in the proleptic Gregorian calendar.
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  std::tm tm{};
  tm.tm_year = static_cast<int>(year - 1900);
  tm.tm_mon = static_cast<int>(month - 1);
  tm.tm_mday = static_cast<int>(day);
  tm.tm_hour = static_cast<int>(rest / 3600);
  tm.tm_min = static_cast<int>(rest / 60 % 60);
  tm.tm_sec = static_cast<int>(rest % 60);
  return tm;
}

}  // namespace

std::wstring FormatLocalTime(const std::tm& local) {
  const std::wstring& format = res::LoadString(res::kStrTimeFormat);
  std::wstring text;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != L'%' || i + 1 == format.size()) {
      text.push_back(format[i]);
      continue;
    }
    const wchar_t directive = format[++i];
    const bool monthKnown = local.tm_mon >= 0 && local.tm_mon < 12;
    const long long year = 1900LL + local.tm_year;
    switch (directive) {
      case L'd':
        text += TwoDigits(local.tm_mday);
        break;
      case L'm':
        text += TwoDigits(local.tm_mon + 1LL);
        break;
      case L'B':
        if (monthKnown) text += kMonths[static_cast<std::size_t>(local.tm_mon)];
        break;
      case L'b':
        if (monthKnown) text += kMonths[static_cast<std::size_t>(local.tm_mon)].substr(0, 3);
        break;
      case L'Y':
        text += std::to_wstring(year);
        break;
      case L'y':
        text += TwoDigits((year % 100 + 100) % 100);
        break;
      case L'H':
        text += TwoDigits(local.tm_hour);
        break;
      case L'M':
        text += TwoDigits(local.tm_min);
        break;
      case L'S':
        text += TwoDigits(local.tm_sec);
        break;
      case L'%':
        text.push_back(L'%');
        break;
      default:
        text.push_back(L'%');
        text.push_back(directive);
        break;
    }
  }
  return text;
}

std::wstring FormatEventTime(std::uint64_t filetime) {
  static_assert(sizeof(std::time_t) >= 8, "every FILETIME second must fit a time_t");
  // At most about 1.8e12 seconds: far inside what time_t and struct tm hold.
  const std::int64_t seconds = platform::FiletimeToUnixSeconds(filetime);
  const std::time_t time = seconds;
  std::tm local{};
  if (localtime_r(&time, &local) != nullptr) return FormatLocalTime(local);
  return FormatLocalTime(UtcBreakdown(seconds));
}

std::tm FiletimeToUtc(std::uint64_t filetime) {
  return UtcBreakdown(platform::FiletimeToUnixSeconds(filetime));
}

}  // namespace kestrune::evt
