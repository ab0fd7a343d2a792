// Time stamps: FILETIME to local time, English month names in any locale.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "events/event_rig.h"
#include "events/event_text.h"

namespace kestrune::evt {
namespace {

using test::ScopedTimeZone;

constexpr std::uint64_t kJan15 = 127186094450000000ULL;  // 2004-01-15 03:04:05 UTC
constexpr std::uint64_t kJul01 = 127331568000000000ULL;  // 2004-07-01 12:00:00 UTC

TEST(EventTime, UtcStampsInTheFormatOfStringNine) {
  ScopedTimeZone zone("UTC");
  EXPECT_EQ(FormatEventTime(test::kStamp), test::kStampText);
  EXPECT_EQ(FormatEventTime(test::kStamp + 9'999'999), test::kStampText);  // tenths dropped
  EXPECT_EQ(FormatEventTime(kJan15), L"15-January-2004 03:04.05");
  EXPECT_EQ(FormatEventTime(125911583990000000ULL), L"31-December-1999 23:59.59");
  // The ends of the FILETIME range.
  EXPECT_EQ(FormatEventTime(0), L"01-January-1601 00:00.00");
  EXPECT_EQ(FormatEventTime(0xFFFFFFFFFFFFFFFFULL), L"28-May-60056 05:36.10");
}

TEST(EventTime, CalendarFallbackAgreesOverTheWholeRange) {
  EXPECT_EQ(FormatLocalTime(FiletimeToUtc(0)), L"01-January-1601 00:00.00");
  EXPECT_EQ(FormatLocalTime(FiletimeToUtc(test::kStamp)), test::kStampText);
  EXPECT_EQ(FormatLocalTime(FiletimeToUtc(125911583990000000ULL)), L"31-December-1999 23:59.59");
  // 2000-02-29 (a leap day of a century year) and 2100-03-01 (after a non-leap 2100).
  EXPECT_EQ(FormatLocalTime(FiletimeToUtc(125962560000000000ULL)), L"29-February-2000 00:00.00");
  EXPECT_EQ(FormatLocalTime(FiletimeToUtc(157520160000000000ULL)), L"01-March-2100 00:00.00");
  EXPECT_EQ(FormatLocalTime(FiletimeToUtc(0x7FFFFFFFFFFFFFFFULL)), L"14-September-30828 02:48.05");
  EXPECT_EQ(FormatLocalTime(FiletimeToUtc(0xFFFFFFFFFFFFFFFFULL)), L"28-May-60056 05:36.10");
}

TEST(EventTime, ConvertedToTheLocalZone) {
  {
    ScopedTimeZone zone("IST-5:30");
    EXPECT_EQ(FormatEventTime(test::kStamp), L"05-March-2004 19:37.09");
  }
  ScopedTimeZone zone("EST5EDT,M4.1.0,M10.5.0");
  EXPECT_EQ(FormatEventTime(kJan15), L"14-January-2004 22:04.05");
  EXPECT_EQ(FormatEventTime(kJul01), L"01-July-2004 08:00.00");
}

TEST(EventTime, EveryMonthInEnglishAndOddFieldsSafe) {
  const wchar_t* months[] = {L"January",   L"February", L"March",    L"April",
                             L"May",       L"June",     L"July",     L"August",
                             L"September", L"October",  L"November", L"December"};
  std::tm tm{};
  tm.tm_mday = 9;
  tm.tm_year = 104;
  for (int m = 0; m < 12; ++m) {
    tm.tm_mon = m;
    EXPECT_EQ(FormatLocalTime(tm), L"09-" + std::wstring(months[m]) + L"-2004 00:00.00");
  }
  tm.tm_mon = 12;
  EXPECT_EQ(FormatLocalTime(tm), L"09--2004 00:00.00");
}

TEST(EventTime, MonthNamesStayEnglishInAnotherLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const char* found = nullptr;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "es_ES.UTF-8", "de_DE", "fr_FR"}) {
    if (std::setlocale(LC_ALL, name)) {
      found = name;
      break;
    }
  }
  if (!found) GTEST_SKIP() << "no non-English locale installed";
  ScopedTimeZone zone("UTC");
  const std::wstring text = FormatEventTime(kJul01);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(text, L"01-July-2004 12:00.00") << found;
}

}  // namespace
}  // namespace kestrune::evt
