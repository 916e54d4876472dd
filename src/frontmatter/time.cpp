// The publication time of a block: the ISO 8601 forms that YAML and every
// other site generator write, and nothing looser (8.12.2026 is refused, not
// guessed at).
#include <cstring>

#include "frontmatter/frontmatter.h"
#include "pageformat.h"

namespace fm {
namespace {

bool number(const char*& p, int digits, int* v)
{
    *v = 0;
    for (int k = 0; k < digits; ++k, ++p) {
        if (*p < '0' || *p > '9')
            return false;
        *v = *v * 10 + (*p - '0');
    }
    return true;
}

bool take(const char*& p, char c)
{
    if (*p != c)
        return false;
    ++p;
    return true;
}

int days_in(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// Days from 1970-01-01 to the date, in the proleptic Gregorian calendar.
long long days_from_epoch(int y, int m, int d)
{
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

bool parse_time(const std::string& text, std::time_t* when)
{
    if (std::strlen(text.c_str()) != text.size())
        return false;
    const char* p = text.c_str();
    int year, month, day, hour = 0, minute = 0, second = 0;
    if (!number(p, 4, &year) || !take(p, '-') || !number(p, 2, &month) || !take(p, '-') || !number(p, 2, &day))
        return false;
    if (year < 1000 || month < 1 || month > 12 || day < 1 || day > days_in(year, month))
        return false;
    if (*p == 'T' || *p == 't' || (*p == ' ' && p[1] >= '0' && p[1] <= '9')) {
        ++p;
        if (!number(p, 2, &hour) || !take(p, ':') || !number(p, 2, &minute))
            return false;
        if (take(p, ':') && !number(p, 2, &second))
            return false;
        // Fractions of a second are taken and dropped: the stamp shows minutes.
        if (take(p, '.') || take(p, ',')) {
            int digit;
            if (!number(p, 1, &digit))
                return false;
            while (*p >= '0' && *p <= '9')
                ++p;
        }
        if (hour > 23 || minute > 59 || second > 59)
            return false;
    }
    while (*p == ' ')
        ++p;
    if (!*p)
        return local_time(year, month, day, hour, minute, second, when);
    int offset = 0;
    if (*p == 'Z' || *p == 'z') {
        ++p;
    } else if (*p == '+' || *p == '-') {
        int sign = *p++ == '-' ? -1 : 1;
        int oh, om = 0;
        if (!number(p, 2, &oh))
            return false;
        if (*p == ':' ? (++p, !number(p, 2, &om)) : (*p && !number(p, 2, &om)))
            return false;
        if (oh > 23 || om > 59)
            return false;
        offset = sign * (oh * 3600 + om * 60);
    } else {
        return false;
    }
    if (*p)
        return false;
    long long secs = days_from_epoch(year, month, day) * 86400LL + hour * 3600LL + minute * 60LL + second - offset;
    *when = static_cast<std::time_t>(secs);
    return true;
}

}  // namespace fm
