#include "cli_report.h"

#include "json_text.h"

FileReport FileReportOf(const CliOptions& options, const std::string& path, std::optional<uint32_t> seed) {
    FileReport report;
    report.file = path;
    report.mode = options.mode;
    report.size = options.size;
    if (ContentHasSeed(options.mode)) report.seed = seed;
    return report;
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
        object["first_difference"] = {
            {"offset", check->firstDifference}, {"expected", check->expected}, {"found", check->found}};
    } else {
        object["first_difference"] = nullptr;
    }
    object["bytes_differing"] = compared ? Json(check->bytesDiffering) : Json(nullptr);
    object["seconds"] = report.seconds;
    object["error"] = report.error.empty() ? Json(nullptr) : Json(report.error);
    return JsonText(object);
}
