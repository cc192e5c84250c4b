#include "drive_report.h"

#include "drive_units.h"
#include "json_text.h"

#include <algorithm>
#include <cstdio>

namespace {

// Ranges listed in the text; the rest are counted.
const size_t kRangesShown = 10;

const char* PhaseName(DrivePhase phase) { return phase == DrivePhase::writing ? "writing" : "reading"; }

}  // namespace

const char* BlockClassText(BlockClass kind) {
    switch (kind) {
        case BlockClass::intact: return "intact";
        case BlockClass::bitsChanged: return "a few bits changed";
        case BlockClass::overwritten: return "overwritten by other data of this test";
        case BlockClass::earlierRun: return "data of an earlier test";
        case BlockClass::blank: return "all zeros or all 0xFF (writes that never arrived)";
        case BlockClass::unreadable: return "unreadable";
        case BlockClass::corrupt: return "corrupt";
    }
    return "corrupt";
}

namespace {

std::optional<double> Average(uint64_t bytes, double seconds) {
    if (bytes == 0 || seconds <= 0) return std::nullopt;
    return static_cast<double>(bytes) / seconds;
}

std::string SpeedLine(const DriveReport& report, DrivePhase phase, uint64_t bytes, double seconds) {
    const std::optional<double> average = Average(bytes, seconds);
    if (!average) return "";
    double slowest = 0, fastest = 0;
    int samples = 0;
    for (const SpeedSample& sample : report.speeds) {
        if (sample.phase != phase || sample.seconds <= 0) continue;
        const double rate = static_cast<double>(sample.bytes) / sample.seconds;
        slowest = samples > 0 ? std::min(slowest, rate) : rate;
        fastest = samples > 0 ? std::max(fastest, rate) : rate;
        ++samples;
    }
    std::string line = std::string(phase == DrivePhase::writing ? "Write" : "Read") +
                       " speed: " + FormatRate(*average) + " on average";
    if (samples > 1)
        line += ", per GiB " + FormatRate(slowest) + " at the slowest and " + FormatRate(fastest) + " at the fastest";
    return line + "\n";
}

std::string RangePlaceText(const BadRange& range);

std::string RangeText(const BadRange& range) {
    std::string text = "  bytes " + std::to_string(range.offset) + " to " +
                       std::to_string(range.offset + range.length - 1) + " (" +
                       FormatBytes(static_cast<double>(range.length)) + "): " + BlockClassText(range.kind);
    if (range.kind == BlockClass::overwritten) {
        const bool ahead = range.sourceOffset > range.offset;
        const uint64_t distance = ahead ? range.sourceOffset - range.offset : range.offset - range.sourceOffset;
        text += ", the data written at byte " + std::to_string(range.sourceOffset) + " (" +
                FormatBytes(static_cast<double>(distance)) + (ahead ? " further on)" : " earlier)");
    }
    if (range.kind == BlockClass::bitsChanged) text += " (" + std::to_string(range.bitsChanged) + " bits)";
    if (range.kind == BlockClass::unreadable) text += ": " + range.reason;
    return text + RangePlaceText(range) + "\n";
}

}  // namespace

const char* ReadBackText(ReadBack method) {
    switch (method) {
        case ReadBack::direct: return "directly from the drive, past the system's cache";
        case ReadBack::cacheDropped: return "through the system's cache, emptied first";
        case ReadBack::mayBeCached: return "may have come from the system's memory";
        case ReadBack::replugged: return "after the drive was attached again, so nothing of it was cached";
    }
    return "";
}

namespace {

// What would prove a read-back that may have come from memory, in words
// that fit where the test ran.
std::string RemedyText(CacheRemedy remedy, const std::string& folder) {
    const std::string replug = "unplug the drive, plug it in again and run: fillwright-cli --verify " + folder;
    switch (remedy) {
        case CacheRemedy::replug: return "To be sure, " + replug;
        case CacheRemedy::rights:
            return "To be sure, run the test again with the rights to read the device (as root), or " + replug;
        case CacheRemedy::otherMachine: return "To be sure, test the drive on the machine it is plugged into";
        case CacheRemedy::linuxBuild: return "To be sure, run the Linux build of fillwright-cli";
    }
    return "To be sure, " + replug;
}

std::string BytesWithUnits(uint64_t bytes) { return std::to_string(bytes) + " bytes " + FormatBothUnitsShort(bytes); }

std::string ReadBackIntactLine(const DriveReport& report) {
    const uint64_t ok = report.tally.bytesOk;
    return "Read back intact: " + std::to_string(ok) + " bytes, " + FormatBothUnits(ok) + ", of the " +
           std::to_string(report.bytesWritten) + " bytes written\n";
}

}  // namespace

std::string RealCapacityText(const RealCapacity& capacity) {
    if (capacity.shape == CapacityShape::unknown) return "Real capacity: unknown: " + capacity.unknownBecause + "\n";
    const std::string claimed =
        capacity.claimed ? " of the " + BytesWithUnits(*capacity.claimed) + " the drive claims" : "";
    if (capacity.shape == CapacityShape::holdsAll) {
        return "Real capacity: at least " + BytesWithUnits(*capacity.atLeast) + claimed +
               ": all of it that was tested held its data\n";
    }
    const uint64_t atLeast = *capacity.atLeast;
    std::string text = "Real capacity: ";
    text += atLeast == *capacity.atMost
                ? BytesWithUnits(atLeast)
                : "between " + BytesWithUnits(atLeast) + " and " + BytesWithUnits(*capacity.atMost);
    text += claimed + (capacity.shape == CapacityShape::folds
                           ? "; what was put past that landed on its start again, over earlier data.\n"
                           : "; what was put past that was lost.\n");
    text += "To use the drive safely, end its partition before byte " + std::to_string(atLeast) + " of the drive";
    const uint64_t start = capacity.partitionStart.value_or(0);
    if (start > 0 && start < atLeast) {
        text += ": this partition begins at byte " + std::to_string(start) + ", so at most " +
                BytesWithUnits(atLeast - start) + " long";
    } else if (start >= atLeast && start > 0) {
        text += ": this partition begins at byte " + std::to_string(start) + ", past what the drive holds";
    }
    return text + ".\n";
}

namespace {

// "; on the drive: bytes X to Y", and for moved data where it was written.
std::string RangePlaceText(const BadRange& range) {
    if (!range.driveOffset) return "";
    const uint64_t at = *range.driveOffset;
    std::string text = "; on the drive: bytes " + std::to_string(at) + " to " + std::to_string(at + range.length - 1);
    if (range.kind == BlockClass::overwritten && range.sourceDriveOffset) {
        const uint64_t source = *range.sourceDriveOffset;
        const bool ahead = source > at;
        text += ", holding what was written at its byte " + std::to_string(source) + " (" +
                FormatBytes(static_cast<double>(ahead ? source - at : at - source)) +
                (ahead ? " further on)" : " earlier)");
    }
    return text;
}

Json RealCapacityJson(const RealCapacity& capacity) {
    if (capacity.shape == CapacityShape::unknown) return Json();
    Json figure;
    figure["at_least"] = Nullable(capacity.atLeast);
    figure["at_most"] = Nullable(capacity.atMost);
    return figure;
}

}  // namespace

std::string DriveVerdictText(const DriveReport& report, const std::string& problem) {
    switch (report.result) {
        case DriveResult::ok:
            return report.verified ? "the drive holds everything written to it"
                                   : "everything was written; nothing was read back (--no-verify)";
        case DriveResult::lost: return "the drive is counterfeit or failing: it lost data written to it";
        case DriveResult::failed: return "the test could not go on: " + problem;
        case DriveResult::interrupted: return "none, the test was interrupted";
        case DriveResult::unproven:
            return "not proven: what was read back may have come from this computer's memory, not from the drive";
    }
    return "";
}

std::string DriveReportText(const DriveReport& report, const std::string& folder, const std::string& problem) {
    std::string text;
    const DriveTally& tally = report.tally;
    text += "Verdict: " + DriveVerdictText(report, problem) + ".\n";
    if (report.result == DriveResult::lost && !problem.empty()) text += "The test stopped: " + problem + ".\n";
    text += "Written: " + std::to_string(report.bytesWritten) + " bytes, " + FormatBothUnits(report.bytesWritten) +
            ", in " + std::to_string(report.files) + (report.files == 1 ? " file" : " files");
    if (report.resumedAt) text += ", resumed at byte " + std::to_string(*report.resumedAt);
    text += "\n";
    if (!report.setVolumeId.empty()) {
        text += "Volume: the set was written on volume " + report.setVolumeId + "; this drive is volume " +
                report.volumeId + "\n";
    }
    if (report.verified) {
        text += ReadBackIntactLine(report);
        text += RealCapacityText(report.capacity);
    }
    if (report.lossSeenAt) {
        text += "While filling: the data at byte " + std::to_string(*report.lossSeenAt) + " was found lost after " +
                std::to_string(report.lossSeenWhenWritten.value_or(0)) + " bytes were written" +
                (report.filledToTheEnd ? "\n" : "; the fill stopped there\n");
    }
    if (tally.bytesLost > 0) {
        text += "Data lost: " + std::to_string(tally.bytesLost) + " bytes (" +
                FormatBytes(static_cast<double>(tally.bytesLost)) + ")\n";
        for (int k = 0; k < kBlockClassCount; ++k) {
            if (tally.lostByClass[k] == 0) continue;
            text += "  " + FormatBytes(static_cast<double>(tally.lostByClass[k])) + " " +
                    BlockClassText(static_cast<BlockClass>(k)) + "\n";
        }
        text += "First bad byte: " + std::to_string(*tally.firstBadOffset) + " of the set (" +
                FormatBytes(static_cast<double>(*tally.firstBadOffset)) + " in)\n";
        text += "Bad ranges: " + std::to_string(tally.rangeCount) + "\n";
        for (size_t i = 0; i < tally.ranges.size() && i < kRangesShown; ++i) text += RangeText(tally.ranges[i]);
        if (tally.rangeCount > kRangesShown)
            text += "  and " + std::to_string(tally.rangeCount - kRangesShown) + " more\n";
    }
    text += SpeedLine(report, DrivePhase::writing, report.bytesWrittenNow, report.writeSeconds);
    text += SpeedLine(report, DrivePhase::reading, report.bytesRead, report.readSeconds);
    if (report.verified || report.bytesRead > 0) {
        text += std::string("Read back: ") + ReadBackText(report.readBack) + "\n";
        if (report.readBack == ReadBack::mayBeCached) {
            if (!report.readBackReason.empty()) text += "  Why: " + report.readBackReason + "\n";
            text += "  " + RemedyText(report.readBackRemedy, folder) + "\n";
        }
    }
    if (report.result == DriveResult::interrupted && report.readSeconds > 0) {
        text += "The test set in " + folder + " is whole: fillwright-cli --verify " + folder + " reads it back.\n";
    } else if (report.result == DriveResult::interrupted) {
        text += "The test set stays in " + folder + ": --fill goes on with it, --verify reads it.\n";
    }
    return text;
}

std::vector<std::string> DriveProgressForms(const DriveProgress& progress) {
    const std::string phase = PhaseName(progress.phase);
    std::string counts = "  " + FormatDecimalBytes(static_cast<double>(progress.bytesDone));
    std::string percent;
    if (progress.bytesExpected > 0) {
        const double expected = static_cast<double>(progress.bytesExpected);
        percent = "  " + FormatPercent(std::min(100, WholePercent(static_cast<double>(progress.bytesDone), expected)));
        counts += " / " + FormatDecimalBytes(expected);
    }
    const std::string rate = progress.bytesPerSecond > 0 ? "  " + FormatRate(progress.bytesPerSecond) : "";
    const std::string eta =
        "  ETA " + (progress.secondsLeft >= 0 ? FormatDuration(progress.secondsLeft) : std::string("--:--"));
    const std::string lost = "  lost " + FormatDecimalBytes(static_cast<double>(progress.bytesLost));
    return {phase + counts + percent + rate + eta + lost, phase + counts + percent + lost, phase + percent + eta + lost,
            phase + percent + lost};
}

std::string DriveProgressJson(const DriveProgress& progress) {
    Json line;
    line["type"] = "progress";
    line["phase"] = PhaseName(progress.phase);
    line["bytes_done"] = progress.bytesDone;
    line["bytes_expected"] = progress.bytesExpected > 0 ? Json(progress.bytesExpected) : Json();
    line["bytes_per_second"] = progress.bytesPerSecond;
    line["seconds_left"] = progress.secondsLeft >= 0 ? Json(progress.secondsLeft) : Json();
    line["bytes_lost"] = progress.bytesLost;
    return JsonText(line);
}

std::string DriveSpeedJson(const SpeedSample& sample) {
    Json line;
    line["type"] = "speed";
    line["phase"] = PhaseName(sample.phase);
    line["offset"] = sample.offset;
    line["bytes"] = sample.bytes;
    line["seconds"] = sample.seconds;
    line["bytes_per_second"] = Nullable(Average(sample.bytes, sample.seconds));
    return JsonText(line);
}

std::string DriveRangeJson(const BadRange& range) {
    Json line;
    line["type"] = "range";
    line["offset"] = range.offset;
    line["length"] = range.length;
    line["class"] = BlockClassName(range.kind);
    if (range.kind == BlockClass::overwritten) line["source_offset"] = range.sourceOffset;
    if (range.kind == BlockClass::bitsChanged) line["bits_changed"] = range.bitsChanged;
    if (range.kind == BlockClass::unreadable) line["reason"] = range.reason;
    line["drive_offset"] = Nullable(range.driveOffset);
    if (range.kind == BlockClass::overwritten) line["source_drive_offset"] = Nullable(range.sourceDriveOffset);
    return JsonText(line);
}

std::string DriveSummaryJson(const DriveReport& report) {
    const DriveTally& tally = report.tally;
    Json line;
    line["type"] = "summary";
    line["result"] = DriveResultName(report.result);
    line["bytes_written"] = report.bytesWritten;
    line["bytes_ok"] = tally.bytesOk;
    line["bytes_lost"] = tally.bytesLost;
    Json lost = Json::object();
    for (int k = 0; k < kBlockClassCount; ++k) {
        if (static_cast<BlockClass>(k) != BlockClass::intact)
            lost[BlockClassName(static_cast<BlockClass>(k))] = tally.lostByClass[k];
    }
    line["lost"] = lost;
    line["first_bad_offset"] = Nullable(tally.firstBadOffset);
    line["bad_ranges"] = tally.rangeCount;
    line["write_bytes_per_second"] = Nullable(Average(report.bytesWrittenNow, report.writeSeconds));
    line["read_bytes_per_second"] = Nullable(Average(report.bytesRead, report.readSeconds));
    line["read_back"] = report.verified || report.bytesRead > 0 ? Json(ReadBackName(report.readBack)) : Json();
    line["read_back_reason"] = report.readBackReason.empty() ? Json() : Json(report.readBackReason);
    line["files"] = report.files;
    line["resumed_at"] = Nullable(report.resumedAt);
    line["replaced_finished_set"] = report.replacedFinishedSet;
    line["loss_seen_while_filling"] = Nullable(report.lossSeenAt);
    line["error"] = report.problem ? Json(ProblemText(report.problem)) : Json();
    line["real_capacity"] = RealCapacityJson(report.capacity);
    line["claimed_capacity"] = Nullable(report.capacity.claimed);
    line["real_capacity_unknown_because"] =
        report.capacity.shape == CapacityShape::unknown ? Json(report.capacity.unknownBecause) : Json();
    return JsonText(line);
}
