// report_fill.h: the window's report handed to its text box in pieces, so the window answers meanwhile.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>
#include "report/report_sink.h"
#include "runtime/object_registry.h"

// What a scan of the window's names gives: the report's whole text, and the notices that came up while
// it was made, each with the length of the text the user saw when it appeared. Making the text takes
// under a second for most reports (seconds for a file of a gigabyte; the window makes it on a thread
// of its own, report_scan.h); showing it is what takes long (the Edit control lays the text out), so
// the two are apart: the scan gathers, the fill shows.
class GatheredReport : public ReportSink {
public:
    struct PendingNotice {
        size_t shownLength;  // the report's characters shown before it
        std::wstring title, message;
    };

    // The scan stops at the next record, piece of a file's read or name once *flag is set.
    void StopWhen(const std::atomic<bool>* flag) { stop_ = flag; }
    bool Stopped() const { return stop_ && *stop_; }
    const std::atomic<bool>* StopFlag() const { return stop_; }

    void StartReport(const std::wstring& fileName, bool startsReport) override;
    bool AppendReportLine(const TextChunkRecord& record) override;
    // Recorded, to be shown by the fill when the text before it is shown.
    void Notice(const wchar_t* title, const wchar_t* message, const std::wstring& fileName) override;
    // Nothing to do: the fill shows the text.
    void Flush() override {}

    const std::wstring& Text() const { return text_.Text(); }
    // The text, moved out: the gatherer is done with once its fill starts.
    std::wstring TakeText() { return std::move(const_cast<std::wstring&>(text_.Text())); }
    const std::vector<PendingNotice>& Notices() const { return notices_; }

private:
    ReportText text_;
    std::vector<PendingNotice> notices_;
    const std::atomic<bool>* stop_ = nullptr;
};

// Scans names into report, inflating compressed text through the program's work buffer. The first
// name starts the report, the others follow it; empty names are skipped. Returns false when there is
// no name at all (the report stays empty). Takes no messages: the window runs it on a thread of its
// own (report_scan.h).
bool GatherReport(const std::vector<std::wstring>& names, GatheredReport* report);

// Shows a gathered report in a text box a piece at a time, with each notice coming up once the text
// before it is shown. The notices cut the report into stretches. Of each stretch a head goes in first
// (the report's first one replaces the box's text, the others are appended at its end); the rest of
// the stretch then goes in from its end backwards, each piece put in just behind the head. The Edit
// control keeps its lines in a list it walks from the start to the place of a change, and again
// for each line it paints. A piece of 1,000 lines appended at the end, with the view following it
// there, took 0.06 s into an empty box, 0.6 s into one of a million lines and 2.2 s into one of three
// million (Wine, bench/edit_piece_bench); put in just behind the first line with the view kept where
// it was (at the start unless the user moved it), 0.05, 0.06 and 0.08 s.
// A piece ends at a line break; its size follows the time the pieces before it took, aiming at
// PieceSeconds. A line longer than a piece goes in whole (appending to a line lays all of it out
// again, so cutting it would cost its length over and over). The line a piece starts with is laid out
// once more when the next piece goes in before it, so a piece does not start with a long line where
// it can take it in. When the last piece is in, the caret and the view go back to the report's
// start, where a whole-text write leaves them: the box then holds exactly the text and view one
// write of the whole report gives.
class ReportFill {
public:
    explicit ReportFill(ObjectNumber gadget) : gadget_(gadget) {}
    ReportFill(const ReportFill&) = delete;
    ReportFill& operator=(const ReportFill&) = delete;

    // Starts showing report; a fill still under way is dropped (the new report replaces it).
    void Start(GatheredReport&& report);
    // Whether pieces or notices are still to be shown.
    bool Pending() const { return pending_; }
    // Shows the next piece, or the next notice whose text is shown (a modal box: it returns when the
    // user has answered it). Nothing escapes: a piece that cannot be made ends the fill with the
    // notice "Cannot allocate memory".
    void ShowNextPiece();
    // Shows the first piece and the notices due with it: a report of one piece, all of it, so that a
    // small report is in the box before the loop waits again, as a whole-text write was.
    void ShowFirstPiece();
    // Shows all that is left, piece after piece, without taking messages in between.
    void ShowAll();

    // The time one piece aims at (the window answers within it and a message's own time), and the
    // bounds of a piece's size in characters.
    static constexpr double PieceSeconds = 0.15;
    static const size_t SmallestPiece = 4096;
    static const size_t LargestPiece = 1u << 20;

private:
    size_t HeadEnd() const;
    size_t TailPieceStart() const;
    void ShowPiece(size_t start, size_t end);
    bool NoticeDue() const;
    void Finish();

    ObjectNumber gadget_;
    std::wstring text_;
    std::vector<GatheredReport::PendingNotice> notices_;
    // The box holds text_[0, shown_) and text_[tailStart_, stretchEnd_); the stretch's tail goes in
    // at shown_ until the two meet.
    size_t shown_ = 0;
    size_t tailStart_ = 0;
    size_t stretchEnd_ = 0;
    size_t nextNotice_ = 0;   // first notice not yet shown
    size_t pieceSize_ = 16384;
    int32_t writes_ = 0;      // pieces handed to the box
    double secondsPerCharacter_ = 0;  // the least an append took per character
    bool pending_ = false;
};
