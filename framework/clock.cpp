#include "framework/clock.h"

#include <utility>

#include "framework/gbktext.h"
#include "framework/nodestructor.h"
#include "framework/sysdeps.h"

namespace fw {
namespace {

std::function<std::time_t()>& ClockSource() {
    static NoDestructor<std::function<std::time_t()>> source;
    return *source;
}

std::string FormatTime(const char* pattern, const std::tm& tm) {
    char buffer[64];
    std::size_t n = std::strftime(buffer, sizeof buffer, pattern, &tm);
    return std::string(buffer, n);
}

// The date separators; the GBK form uses a different character after the
// year, the month and the day.
struct DateForm {
    std::string_view afterYear;
    std::string_view afterMonth;
    std::string_view afterDay;
};
constexpr DateForm kForms[] = {
    {"-", "-", ""},
    {"/", "/", ""},
    {".", ".", ""},
    {"\xC4\xEA", "\xD4\xC2", "\xC8\xD5"},  // 年 月 日
};

class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return text_[pos_]; }

    void SkipSpace() {
        while (!AtEnd() && gbk::IsSpace(static_cast<unsigned char>(Peek()))) ++pos_;
    }

    bool Consume(std::string_view literal) {
        if (text_.substr(pos_, literal.size()) != literal) return false;
        pos_ += literal.size();
        return true;
    }

    // Reads between minDigits and maxDigits decimal digits; a further digit
    // right after them makes the number unreadable.
    bool Number(int minDigits, int maxDigits, int& value) {
        int digits = 0;
        value = 0;
        while (!AtEnd() && Peek() >= '0' && Peek() <= '9') {
            if (++digits > maxDigits) return false;
            value = value * 10 + (Peek() - '0');
            ++pos_;
        }
        return digits >= minDigits;
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 in the proleptic Gregorian calendar.
long DaysFromCivil(long y, long m, long d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;                                   // [0, 399]
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;  // [0, 365]
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;           // [0, 146096]
    return era * 146097 + doe - 719468;
}

}  // namespace

ClockReading ReadLocalClock() {
    const auto& source = ClockSource();
    std::time_t now = source ? source() : std::time(nullptr);
    std::tm local{};
    ToLocalTime(now, local);
    return ClockReading{FormatTime("%H:%M:%S", local), FormatTime("%Y-%m-%d", local),
                        static_cast<std::int64_t>(now)};
}

void SetClockSource(std::function<std::time_t()> source) { ClockSource() = std::move(source); }

std::optional<CivilDate> ParseDate(std::string_view text) {
    for (const DateForm& form : kForms) {
        Cursor in(text);
        in.SkipSpace();
        CivilDate date;
        if (!in.Number(4, 4, date.year) || !in.Consume(form.afterYear)) continue;
        if (!in.Number(1, 2, date.month) || !in.Consume(form.afterMonth)) continue;
        if (!in.Number(1, 2, date.day) || !in.Consume(form.afterDay)) continue;
        // A time of day may follow after a blank or an ISO "T"; nothing else.
        if (!in.AtEnd() && !gbk::IsSpace(static_cast<unsigned char>(in.Peek())) && in.Peek() != 'T')
            return std::nullopt;
        if (date.year < 1 || date.month < 1 || date.month > 12 || date.day < 1 ||
            date.day > DaysInMonth(date.year, date.month))
            return std::nullopt;
        return date;
    }
    return std::nullopt;
}

long DaysBetween(const CivilDate& from, const CivilDate& to) {
    return DaysFromCivil(to.year, to.month, to.day) -
           DaysFromCivil(from.year, from.month, from.day);
}

}  // namespace fw
