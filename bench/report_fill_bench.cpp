// report_fill_bench.cpp: how the real window answers while a huge report is scanned and shown.
// Starts each given program (default: the pngtext.exe built beside this benchmark) on crafted files
// (huge reports, and a gigabyte file with a short one) and on a drop of 300 images shaped like
// generated ones, probes its text box from this process every 10 ms (WM_GETTEXTLENGTH with no time
// limit: a probe sent while the window is busy waits for it),
// and prints the longest time a probe waited, the time until the whole report was in the box, and
// the time from a close request sent 2 s into the work until the program ended.
// Needs a display (Xvfb). Usage: report_fill_bench [--only TARGET] [LABEL=PROGRAM.exe...]
//   for example: report_fill_bench before=Z:/tmp/main/pngtext.exe after=build/app/pngtext.exe
// The files are made once in the temporary folder and deleted at the end.
#include <windows.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>
#include <zlib.h>
#include "app/window/program.h"
#include "app/window/report_fill.h"
#include "runtime/main_heap.h"
#include "bench/bench_support.h"
#include "tests/app/driver/program_driver.h"

static std::string Deflated(const std::string& text) {
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&packed[0]), &size, reinterpret_cast<const Bytef*>(text.data()),
              static_cast<uLong>(text.size()), 9);
    packed.resize(size);
    return packed;
}

static const std::string nul(1, '\0');

static std::string Png(const std::string& chunks, const std::string& pixels = std::string()) {
    std::string png("\x89PNG\r\n\x1a\n", 8);
    png += Chunk("IHDR", BigEndian32(1) + BigEndian32(1) + std::string("\x08\x00\x00\x00\x00", 5));
    png += chunks;
    png += Chunk("IDAT", pixels.empty() ? std::string("\x78\x9C\x63\x60\x00\x00\x00\x02\x00\x01", 10) : pixels);
    png += Chunk("IEND", std::string());
    return png;
}

// 1,000,000 tiny tEXt chunks: 15 MB.
static std::string MillionChunks() {
    const std::string one = Chunk("tEXt", "k" + nul + "v");
    std::string all;
    all.reserve(one.size() * 1000000);
    for (int i = 0; i < 1000000; i++) all += one;
    return Png(all);
}

// One zTXt of 16 KB that inflates to 16 MiB on one line.
static std::string SixteenMebibyteText() {
    return Png(Chunk("zTXt", "Comment" + nul + nul + Deflated(std::string(16u << 20, 'a'))));
}

// One zTXt whose text is 3.3 million short lines.
static std::string ShortLines() {
    std::string text;
    text.reserve(3300000 * 5);
    for (int i = 0; i < 3300000; i++) text += "abc\r\n";
    return Png(Chunk("zTXt", "Comment" + nul + nul + Deflated(text)));
}

// A gigabyte file: a PNG start, zeros (a hole: no disk space) and one tEXt at the end. Its report is two
// lines; reading and searching it is the work.
static bool SaveGigabyteFile(const std::wstring& path) {
    const std::string start = Png(std::string()), last = Chunk("tEXt", "Comment" + nul + "at the end");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    LARGE_INTEGER at;
    at.QuadPart = (1ll << 30) - static_cast<LONGLONG>(last.size());
    bool ok = WriteFile(file, start.data(), static_cast<DWORD>(start.size()), &written, nullptr) &&
              SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
              WriteFile(file, last.data(), static_cast<DWORD>(last.size()), &written, nullptr);
    CloseHandle(file);
    return ok;
}

// An image as today's generators write them: a parameters text, on every third a workflow JSON of
// 20 KB and a compressed iTXt prompt, and compressed pixels (256 KB of noise here).
static std::string GeneratedImage(int index) {
    std::string parameters = "a castle on a hill at dawn, highly detailed, " + std::to_string(index) +
                             "\nNegative prompt: blurry, low quality\nSteps: 30, Sampler: Euler a, CFG scale: 7, "
                             "Seed: " + std::to_string(1000 + index) + ", Size: 1024x1024, Model: base";
    std::string chunks = Chunk("tEXt", "parameters" + nul + parameters);
    if (index % 3 == 0) {
        std::string workflow = "{\"nodes\":[";
        for (int node = 0; workflow.size() < 20000; node++)
            workflow += "{\"id\":" + std::to_string(node) + ",\"type\":\"KSampler\",\"widgets_values\":[" +
                        std::to_string(index * 7 + node) + ",\"randomize\",30,7,\"euler\",\"normal\",1]},";
        workflow.back() = ']';
        workflow += "}";
        chunks += Chunk("tEXt", "workflow" + nul + workflow);
        chunks += Chunk("iTXt", "prompt" + nul + "\x01" + nul + nul + nul + Deflated(workflow.substr(0, 8000)));
    }
    std::string pixels(256 * 1024, '\0');
    uint32_t state = 2166136261u ^ static_cast<uint32_t>(index);
    for (char& c : pixels) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return Png(chunks, pixels);
}

// The report the window gives for names, made in this process.
static size_t ReportLength(const std::vector<std::wstring>& names) {
    GatheredReport report;
    if (!GatherReport(names, &report)) return 0;
    return report.Text().size();
}

struct Outcome {
    double longestWait = 0;  // s
    double shown = -1;       // s until the whole report was in the box; -1: not within the limit
    double closed = -1;      // s from the close request until the program ended
};

// Probes the box until it holds length characters (or limit seconds pass) from start on.
static void Probe(HWND box, size_t length, double start, double limit, Outcome* outcome) {
    for (;;) {
        const double sent = Seconds();
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(box, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 600000, &answer);
        const double now = Seconds();
        if (now - sent > outcome->longestWait) outcome->longestWait = now - sent;
        if (answer == length) {
            outcome->shown = now - start;
            return;
        }
        if (now - start > limit) return;
        Sleep(10);
    }
}

// Runs program on the names: as parameters, or dropped on its window when drop is set.
static Outcome Run(const std::wstring& program, const std::vector<std::wstring>& names, bool drop, bool close) {
    Outcome outcome;
    std::wstring parameters;
    for (const std::wstring& name : names) parameters += (parameters.empty() ? L"\"" : L" \"") + name + L"\"";
    const size_t length = ReportLength(names);
    ProgramUnderTest run;
    double start = Seconds();
    if (!run.Start(program, drop ? L"" : parameters) || !run.WaitForWindow(20000) || !run.WaitForTextBox(20000)) {
        printf("cannot start %ls\n", program.c_str());
        return outcome;
    }
    if (drop) {
        run.WaitUntilIdle(20000);
        RECT client;
        GetClientRect(run.TextBox(), &client);
        POINT centre = ClientPointOnScreen(run.TextBox(), client.right / 2, client.bottom / 2);
        start = Seconds();
        if (!close) {
            // Probed from a thread of its own from the drop on: the drag may return only once the
            // window has taken the drop and gone on with it.
            std::thread probe(Probe, run.TextBox(), length, start, 300.0, &outcome);
            DragFilesTo(names, centre);
            probe.join();
            run.Kill();
            return outcome;
        }
        DragFilesTo(names, centre);
    }
    if (close) {
        Sleep(2000);
        const double asked = Seconds();
        PostMessageW(run.Window(), WM_CLOSE, 0, 0);
        if (run.WaitForExit(120000) != STILL_ACTIVE) outcome.closed = Seconds() - asked;
    } else {
        Probe(run.TextBox(), length, start, 300, &outcome);
    }
    run.Kill();
    return outcome;
}

int main(int argc, char** argv) {
    PrintBuildTimed();
    // The libraries the window's own scan needs, to know each report's length; OLE for the drop.
    CreateMainHeap();
    ToolkitStartUp();
    AllocateWorkBuffer();
    std::vector<std::wstring> programs, labels;
    const char* only = nullptr;  // --only TARGET: that target alone
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
            continue;
        }
        wchar_t text[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, argv[i], -1, text, MAX_PATH);
        std::wstring argument(text);
        const size_t equals = argument.find(L'=');
        labels.push_back(equals == std::wstring::npos ? L"program" + std::to_wstring(i) : argument.substr(0, equals));
        programs.push_back(equals == std::wstring::npos ? argument : argument.substr(equals + 1));
    }
    if (programs.empty()) {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring folder(self);
        folder = folder.substr(0, folder.find_last_of(L"\\/"));
        programs.push_back(folder + L"\\..\\app\\pngtext.exe");
        labels.push_back(L"this build");
    }
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"report-fill-bench\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    struct Target {
        const char* name;
        std::vector<std::wstring> names;
        bool drop;
    };
    std::vector<Target> targets;
    auto make = [&](const char* name, const wchar_t* file, std::string (*bytes)()) {
        std::wstring path = folder + file;
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) SaveBytes(path, bytes());
        targets.push_back({name, {path}, false});
    };
    make("million-chunks", L"million-chunks.png", MillionChunks);
    make("ztxt-16mib-line", L"ztxt-16mib.png", SixteenMebibyteText);
    make("3.3m-short-lines", L"short-lines.png", ShortLines);
    const std::wstring gigabyte = folder + L"gigabyte.png";
    if (GetFileAttributesW(gigabyte.c_str()) == INVALID_FILE_ATTRIBUTES) SaveGigabyteFile(gigabyte);
    targets.push_back({"gigabyte-file", {gigabyte}, false});
    Target images = {"drop-300-images", {}, true};
    for (int i = 0; i < 300; i++) {
        std::wstring path = folder + L"image-" + std::to_wstring(1000 + i) + L".png";
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) SaveBytes(path, GeneratedImage(i));
        images.names.push_back(path);
    }
    targets.push_back(images);

    printf("the window on huge reports: longest wait of a probe sent every 10 ms, time until the whole\n"
           "report was in the box, and time from a close request (2 s into the work) to the program's end\n");
    printf("%-18s %-12s %10s %12s %10s %12s\n", "target", "program", "report MB", "longest s", "shown s", "close->end s");
    for (const Target& target : targets) {
        if (only && strcmp(only, target.name) != 0) continue;
        const double megabytes = ReportLength(target.names) * 2.0 / 1e6;
        for (size_t p = 0; p < programs.size(); p++) {
            Outcome shown = Run(programs[p], target.names, target.drop, false);
            Outcome closed = Run(programs[p], target.names, target.drop, true);
            printf("%-18s %-12ls %10.1f %12.3f %10.3f %12.3f\n", target.name, labels[p].c_str(), megabytes,
                   shown.longestWait, shown.shown, closed.closed);
            fflush(stdout);
        }
    }
    for (const Target& target : targets)
        for (const std::wstring& name : target.names) DeleteFileW(name.c_str());
    RemoveDirectoryW(folder.c_str());
    ReleaseWorkBuffer();
    EndProgram();
}
