#include "drive_run.h"

#include "drive_set.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <mutex>

namespace {

struct RunRecord {
    std::mutex lock;  // guards everything but stop
    std::atomic<bool> stop{false};
    DriveRunRequest request;
    DriveRunView view;
    DriveReport report;
    HANDLE thread = nullptr;
};
RunRecord record;

DriveReport ReplaceUnfinished(const DriveOps& ops, const std::string& folder) {
    DriveReport refused;
    const std::optional<std::string> text = ops.readText(PathIn(ops, folder, kSetDescriptionName));
    const std::optional<DriveSet> set = text ? ReadSetDescription(*text) : std::nullopt;
    std::string reason;
    if (set && !RemoveSet(ops, folder, *set, &reason)) {
        refused.result = DriveResult::failed;
        refused.problem = DriveProblem{"cannot remove the unfinished test set in", folder, ": " + reason};
    }
    return refused;
}

DriveReport RunRequest(const DriveRunRequest& request) {
    const DriveOps ops = SystemDriveOps();
    DriveTestOptions options;
    options.folder = request.folder;
    options.total = request.total;
    options.stopEarly = request.stopEarly;
    options.allowSystemDrive = request.allowSystemDrive;
    DriveEvents events;
    events.interrupted = [] { return record.stop.load(); };
    events.begun = [](const DriveReport& begun) {
        const std::lock_guard<std::mutex> hold(record.lock);
        MapBegin(&record.view.map, begun.resumedAt.value_or(0));
    };
    events.progress = [](const DriveProgress& progress) {
        const std::lock_guard<std::mutex> hold(record.lock);
        record.view.progress = progress;
        record.view.haveProgress = true;
        MapProgress(&record.view.map, progress);
    };
    if (request.verifyOnly) return RunDriveVerify(ops, options, events);
    if (request.replaceUnfinished) {
        DriveReport refused = ReplaceUnfinished(ops, request.folder);
        if (refused.result == DriveResult::failed) return refused;
    }
    return RunDriveFill(ops, options, events);
}

DWORD WINAPI RunThread(LPVOID) {
    DriveReport report = RunRequest(record.request);
    const std::lock_guard<std::mutex> hold(record.lock);
    MapFinish(&record.view.map, report);
    record.report = std::move(report);
    record.view.ended = true;
    return 0;
}

}  // namespace

bool StartDriveRun(const DriveRunRequest& request, std::string* reason) {
    {
        const std::lock_guard<std::mutex> hold(record.lock);
        record.request = request;
        record.view = DriveRunView();
        record.view.running = true;
        record.report = DriveReport();
    }
    record.stop.store(false);
    DWORD id = 0;
    record.thread = CreateThread(nullptr, 0, RunThread, nullptr, 0, &id);
    if (record.thread != nullptr) return true;
    *reason = "cannot start the test's thread (error " + std::to_string(GetLastError()) + ")";
    const std::lock_guard<std::mutex> hold(record.lock);
    record.view.running = false;
    return false;
}

void StopDriveRun() { record.stop.store(true); }

DriveRunView ViewDriveRun() {
    const std::lock_guard<std::mutex> hold(record.lock);
    return record.view;
}

DriveReport CollectDriveRun() {
    WaitForSingleObject(record.thread, INFINITE);  // it has ended: only its last return is left
    CloseHandle(record.thread);
    record.thread = nullptr;
    const std::lock_guard<std::mutex> hold(record.lock);
    record.view.running = false;
    record.view.ended = false;
    return record.report;
}
