// report_text_box_bench.cpp: handing a report to a visible text box line by line versus all at once.
// Needs a display (Xvfb): the text box is a real, shown Edit control.
#include <windows.h>
#include <cstdio>
#include <string>
#include "app/window/report_text_box.h"
#include "runtime/main_heap.h"
#include "runtime/memory_blocks.h"
#include "toolkit/events.h"
#include "toolkit/numbered_windows.h"
#include "toolkit/gadget_library.h"
#include "toolkit/text_box.h"
#include "bench/bench_support.h"
#include "bench/bench_window.h"

static TextChunkRecord Record(int i) {
    TextChunkRecord r;
    r.keyword = L"Keyword" + std::to_wstring(i);
    r.text = L"some text of a usual length";
    return r;
}
static std::wstring Line(int i) { return ReportLine(Record(i)); }

static void Pump() {
    for (int i = 0; i < 100000 && WaitEventTimeout(0) != 0; ++i) {
    }
}

// Every line read back and written with the whole report, as a naive append does.
static double LineByLine(int lines) {
    ReplaceGadgetText(0, L"");
    double start = Seconds();
    ReplaceGadgetText(0, L"file:bench.png");
    for (int i = 0; i < lines; ++i) {
        std::wstring text = ReadGadgetText(0);
        if (!text.empty()) text += L"\r\n";
        ReplaceGadgetText(0, (text + Line(i)).c_str());
    }
    double seconds = Seconds() - start;
    Pump();
    return seconds;
}

// The window's sink: the lines gathered, the box written once when the scan ends.
static double Gathered(int lines, std::wstring* text) {
    ReplaceGadgetText(0, L"");
    double start = Seconds();
    {
        TextBoxReport report(0);
        report.StartReport(L"bench.png", true);
        for (int i = 0; i < lines; ++i) report.AppendReportLine(Record(i));
        report.Flush();
    }
    double seconds = Seconds() - start;
    *text = ReadGadgetText(0);
    Pump();
    return seconds;
}

int main() {
    PrintBuildTimed();
    if (!OpenBenchWindow() || !CreateTextBox(0, 0, 0, 640, 460, L"", 0x200007)) {
        std::printf("cannot open the window (no display?)\n");
        return 1;
    }
    Pump();
    std::printf("report of N lines into a visible text box (Wine Edit control)\n");
    std::printf("%8s %16s %16s %8s\n", "lines", "line by line s", "gathered s", "ratio");
    const int sizes[] = {100, 300, 1000, 10000, 50000};
    for (int lines : sizes) {
        std::wstring gatheredText;
        double gathered = Gathered(lines, &gatheredText);
        // The quadratic way is measured only where it ends within minutes.
        if (lines <= 300) {
            double naive = LineByLine(lines);
            bool same = ReadGadgetText(0) == gatheredText;
            std::printf("%8d %16.3f %16.4f %8.0f%s\n", lines, naive, gathered, naive / gathered,
                        same ? "" : "  (texts differ!)");
        } else {
            std::printf("%8d %16s %16.4f %8s\n", lines, "-", gathered, "-");
        }
        std::fflush(stdout);
    }
    ReleaseWindow(-1);
    return 0;
}
