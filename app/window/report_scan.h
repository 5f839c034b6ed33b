// report_scan.h: the window's scan on a thread of its own, so that the window answers while it runs.
#pragma once
#include <windows.h>
#include <atomic>
#include <string>
#include <vector>
#include "app/window/report_fill.h"
#include "runtime/owned_handle.h"

// Reading a huge file or a drop of hundreds of images takes seconds; on the window's thread it would
// hold the window (no paint, no close) for all of them. A ReportScan gathers one report (GatherReport)
// on a thread of its own while the window's thread goes on taking messages, and hands the report over
// when it is made. One scan at a time: it uses the program's work buffer and the window's load path,
// which has one file number.
class ReportScan {
public:
    ReportScan() = default;
    ReportScan(const ReportScan&) = delete;
    ReportScan& operator=(const ReportScan&) = delete;

    // Starts gathering the report of names (as GatherReport takes them). No scan may be running. When
    // no thread can be started, the scan runs here and has ended when Start returns.
    void Start(std::vector<std::wstring> names);
    // Whether a scan was started and its report not yet taken.
    bool Running() const { return started_; }
    // Waits up to milliseconds for the scan to end; true when it has (or none is running).
    bool Wait(DWORD milliseconds);
    // After Wait said the scan ended: moves its report into *report and answers what GatherReport
    // answered (false: no name at all, no memory to make the report, or the scan was asked to stop).
    bool Take(GatheredReport* report);
    // Asks the scan to stop at its next record, piece of a file's read or name; its report is then not
    // whole. Returns at once.
    void AskToStop() { stop_ = true; }

private:
    static DWORD WINAPI Gather(void* scan);
    void GatherHere();

    std::vector<std::wstring> names_;
    GatheredReport report_;
    bool gathered_ = false;
    bool started_ = false;
    std::atomic<bool> stop_{false};
    OwnedThread thread_;
};
