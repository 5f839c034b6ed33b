// report_scan.cpp: the window's scan on a thread of its own.
#include "app/window/report_scan.h"
#include <utility>

void ReportScan::GatherHere() {
    try {
        gathered_ = GatherReport(names_, &report_);
    } catch (...) {
        // No memory for the report: the scan gives none, and the window keeps the one it shows.
        gathered_ = false;
    }
}

DWORD WINAPI ReportScan::Gather(void* scan) {
    static_cast<ReportScan*>(scan)->GatherHere();
    return 0;
}

void ReportScan::Start(std::vector<std::wstring> names) {
    names_ = std::move(names);
    report_ = GatheredReport();
    report_.StopWhen(&stop_);
    gathered_ = false;
    stop_ = false;
    started_ = true;
    thread_ = OwnedThread(CreateThread(nullptr, 0, Gather, this, 0, nullptr));
    if (!thread_.Open()) GatherHere();
}

bool ReportScan::Wait(DWORD milliseconds) {
    return !thread_.Open() || WaitForSingleObject(thread_.Get(), milliseconds) == WAIT_OBJECT_0;
}

bool ReportScan::Take(GatheredReport* report) {
    thread_.Close();
    started_ = false;
    names_ = std::vector<std::wstring>();
    *report = std::move(report_);
    return gathered_ && !stop_;
}
