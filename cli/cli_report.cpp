#include "cli_report.h"

#include "cli_names.h"
#include "json_text.h"

#include <cstdio>

std::string FormatUtc(int64_t seconds) {
    // Days to a civil date in the proleptic Gregorian calendar, in eras of
    // 400 years (146,097 days), so that no system time routine is needed.
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;  // from 1970-01-01 to 0000-03-01
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    const int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld UTC", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(rest / 3600),
                  static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
    return text;
}

static std::string SearchNote(const CheckResult& result) {
    if (!result.seedSearched || result.noSeedFits) return "";
    std::string note = " (seed " + std::to_string(result.seed.value_or(0));
    if (result.seedTime) note += ", the clock at " + FormatUtc(*result.seedTime);
    if (result.seedsFitting > 1) {
        note += "; too short to decide: " + std::to_string(result.seedsFitting) +
                " seeds fit, checked against the first";
    }
    return note + ")";
}

std::string CheckLine(const std::string& file, int64_t size, const CheckResult& result) {
    // A name that could forge or break the line is escaped; the line then
    // starts with a backslash.
    bool escaped = false;
    const std::string name = EscapedName(file, &escaped);
    std::string line = (escaped ? "\\" : "") + name + ": ";
    if (result.noSeedFits) return line + "differs: no seed of the random stream makes its first bytes";
    const bool lengthWrong = result.length != size;
    if (lengthWrong) {
        line += (result.longer ? "length over " + std::to_string(size) : "length " + std::to_string(result.length)) +
                ", expected " + std::to_string(size);
    }
    if (result.bytesDiffering > 0) {
        char figures[96];
        std::snprintf(figures, sizeof figures, "first at byte %lld (expected 0x%02X, found 0x%02X), ",
                      static_cast<long long>(result.firstDifference), static_cast<unsigned>(result.expected),
                      static_cast<unsigned>(result.found));
        line += std::string(lengthWrong ? "; " : "") + "differs: " + figures + std::to_string(result.bytesDiffering) +
                " bytes differ";
    } else if (!lengthWrong) {
        line += "OK";
    }
    return line + SearchNote(result);
}

std::string JsonLine(const FileReport& report) {
    Json object;
    object["file"] = report.file;
    object["mode"] = ContentKindName(report.mode);
    object["size"] = report.size;
    object["seed"] = report.seed ? Json(*report.seed) : Json(nullptr);
    object["result"] = report.result;
    object["length"] = report.length ? Json(*report.length) : Json(nullptr);
    const CheckResult* check = report.check;
    const bool compared = check && check->outcome != kCheckFailed && !check->noSeedFits;
    if (compared && check->firstDifference >= 0) {
        object["first_difference"] = {{"offset", check->firstDifference},
                                      {"expected", check->expected},
                                      {"found", check->found}};
    } else {
        object["first_difference"] = nullptr;
    }
    object["bytes_differing"] = compared ? Json(check->bytesDiffering) : Json(nullptr);
    object["seconds"] = report.seconds;
    object["error"] = report.error.empty() ? Json(nullptr) : Json(report.error);
    return JsonText(object);
}
