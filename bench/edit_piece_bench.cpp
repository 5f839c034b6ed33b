// edit_piece_bench.cpp: what one piece of 1,000 report lines costs the report box, against the lines it
// holds already: appended at the end (the view follows it there), or put in just behind the first
// line with the user's view kept, into a box given room for all of it (as the window's fill does).
// Prints the medians of the time the control took and of the paint that followed. The lines held are
// empty ones, which the control lays out almost for free. Needs a display (Xvfb).
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include "toolkit/events.h"
#include "toolkit/gadget_library.h"
#include "toolkit/text_box.h"
#include "bench/bench_support.h"
#include "bench/bench_window.h"

static void Pump() {
    for (int i = 0; i < 100000 && WaitEventTimeout(0) != 0; ++i) {
    }
}

static double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int main() {
    PrintBuildTimed();
    if (!OpenBenchWindow()) {
        std::printf("cannot open the window (no display?)\n");
        return 1;
    }
    std::wstring piece;
    for (int i = 0; i < 1000; i++) piece += L"tEXt k: v " + std::to_wstring(i) + L"\r\n";
    const int repeats = 9;
    std::printf("one piece of 1,000 lines into the report box (medians of %d)\n", repeats);
    std::printf("%-22s %12s %12s %12s\n", "way", "lines held", "control s", "paint s");
    for (int behindHead = 0; behindHead < 2; behindHead++) {
        for (size_t held : {0u, 1000000u, 3000000u}) {
            // The report box's own flags, as the window makes it.
            if (!CreateTextBox(0, 0, 0, 640, 460, L"", 0x200004)) return 1;
            std::wstring text = L"file:bench.png\r\n";
            for (size_t i = 0; i < held; i++) text += L"\r\n";
            const size_t room = text.size() + piece.size() * repeats;
            if (behindHead) ReplaceGadgetTextWithRoom(0, text.c_str(), room);
            else ReplaceGadgetText(0, text.c_str());
            Pump();
            std::vector<double> control, paint;
            for (int r = 0; r < repeats; r++) {
                const double start = Seconds();
                if (behindHead) InsertGadgetText(0, 16, piece.c_str());
                else AppendGadgetText(0, piece.c_str());
                const double written = Seconds();
                Pump();
                control.push_back(written - start);
                paint.push_back(Seconds() - written);
            }
            std::printf("%-22s %12zu %12.4f %12.4f\n", behindHead ? "behind the first line" : "appended at the end",
                        held, Median(control), Median(paint));
            std::fflush(stdout);
        }
    }
    ReleaseWindow(-1);
    return 0;
}
