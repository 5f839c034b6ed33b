// report_fill.cpp: the gathered report and its piecewise fill of the text box.
#include "app/window/report_fill.h"
#include <windows.h>
#include <algorithm>
#include <utility>
#include "app/window/program.h"
#include "report/scan_text_chunks.h"
#include "runtime/message_box.h"
#include "toolkit/gadget_library.h"
#include "toolkit/gadget_record.h"

void GatheredReport::StartReport(const std::wstring& fileName, bool startsReport) {
    text_.Start(fileName, startsReport);
}

bool GatheredReport::AppendReportLine(const TextChunkRecord& record) {
    text_.Append(record);
    return !Stopped();
}

void GatheredReport::Notice(const wchar_t* title, const wchar_t* message, const std::wstring& fileName) {
    (void)fileName; // the box shows title and message only
    notices_.push_back(PendingNotice{text_.Text().size(), title, message});
}

bool GatherReport(const std::vector<std::wstring>& names, GatheredReport* report) {
    if (std::none_of(names.begin(), names.end(), [](const std::wstring& name) { return !name.empty(); })) return false;
    WindowFileLoader loader(report->StopFlag());
    bool first = true;
    for (size_t i = 0; i < names.size() && !report->Stopped(); i++) {
        if (names[i].empty()) continue;
        ScanTextChunks(names[i], first, report, WorkBuffer(), &loader);
        first = false;
    }
    return true;
}

void ReportFill::Start(GatheredReport&& report) {
    text_ = report.TakeText();
    notices_ = report.Notices();
    shown_ = 0;
    tailStart_ = 0;
    stretchEnd_ = 0;
    nextNotice_ = 0;
    writes_ = 0;
    pending_ = true;
}

size_t ReportFill::HeadEnd() const {
    if (stretchEnd_ - shown_ <= pieceSize_) return stretchEnd_;
    // Up to the last line feed inside the piece; a longer line whole, up to its own end.
    size_t lineFeed = text_.rfind(L'\n', shown_ + pieceSize_ - 1);
    if (lineFeed == std::wstring::npos || lineFeed < shown_) lineFeed = text_.find(L'\n', shown_ + pieceSize_);
    return lineFeed == std::wstring::npos || lineFeed >= stretchEnd_ ? stretchEnd_ : lineFeed + 1;
}

// The start of the piece that ends where the tail shown so far starts.
size_t ReportFill::TailPieceStart() const {
    if (tailStart_ - shown_ <= pieceSize_) return shown_;
    // Behind the last line feed before the piece's size; a longer line whole, from its own start.
    size_t lineFeed = text_.rfind(L'\n', tailStart_ - pieceSize_ - 1);
    size_t start = lineFeed == std::wstring::npos || lineFeed < shown_ ? shown_ : lineFeed + 1;
    // A long first line is taken in, line by line back, while the piece stays within four times its
    // size: the next piece would lay it out again.
    const size_t longLine = pieceSize_ / 4;
    while (start > shown_ && tailStart_ - start <= 4 * pieceSize_) {
        const size_t lineEnd = text_.find(L'\n', start);
        if ((lineEnd == std::wstring::npos ? tailStart_ : lineEnd) - start <= longLine) break;
        lineFeed = start >= 2 ? text_.rfind(L'\n', start - 2) : std::wstring::npos;
        start = lineFeed == std::wstring::npos || lineFeed < shown_ ? shown_ : lineFeed + 1;
    }
    return start;
}

static double Seconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void ReportFill::ShowNextPiece() {
    if (!pending_) return;
    if (NoticeDue()) {
        // Taken off the list first: the box is modal and the loop may start another fill meanwhile.
        GatheredReport::PendingNotice notice = std::move(notices_[nextNotice_++]);
        ShowMessageBox(notice.title.c_str(), notice.message.c_str());
        return;
    }
    if (shown_ == text_.size() && writes_ > 0) {
        Finish();
        return;
    }
    try {
        if (shown_ == tailStart_) {
            // A new stretch: up to the next notice (none is due, so it lies ahead) or the end.
            stretchEnd_ = text_.size();
            if (nextNotice_ < notices_.size() && notices_[nextNotice_].shownLength < stretchEnd_)
                stretchEnd_ = notices_[nextNotice_].shownLength;
            tailStart_ = stretchEnd_;
            ShowPiece(shown_, HeadEnd());
        } else {
            ShowPiece(TailPieceStart(), tailStart_);
        }
    } catch (...) {
        // No memory for the piece: the report stays as far as it is shown, and the user is told that
        // it is not whole. Its text goes first, so that the notice has memory.
        pending_ = false;
        text_ = std::wstring();
        notices_.clear();
        ShowMessageBox(L"File", L"Cannot allocate memory");
    }
}

// Shows text_[start, end): the head of a stretch (start is shown_) or the tail's next piece (end is
// tailStart_), and sizes the next piece by the time this one took.
void ReportFill::ShowPiece(size_t start, size_t end) {
    const std::wstring piece(text_, start, end - start);
    const double began = Seconds();
    // The first piece replaces the text and gives the box room for the whole report.
    if (writes_ == 0) ReplaceGadgetTextWithRoom(gadget_, piece.c_str(), text_.size());
    else InsertGadgetText(gadget_, shown_, piece.c_str());
    ++writes_;
    if (start == shown_) shown_ = end;
    else tailStart_ = start;
    if (shown_ == tailStart_) shown_ = tailStart_ = stretchEnd_;
    if (piece.empty()) return;
    // The next piece sized by this one's time. A piece costs the control a part per character and a
    // part that does not depend on the piece's size (it still grows, slowly, with the text the box
    // holds: each change walks the control's list of lines and moves the text behind it). The least
    // time per character seen is the first part's measure; what this piece took beyond it, the
    // second's. A piece aims at PieceSeconds in all, the second part included; once that part alone
    // comes near the aim, a piece still carries text costing half of it (at most half the aim: a part
    // per character misjudged as the second part must not make pieces grow), so that the fill goes on.
    const double took = Seconds() - began;
    const double perCharacter = took / static_cast<double>(piece.size());
    if (secondsPerCharacter_ <= 0 || perCharacter < secondsPerCharacter_) secondsPerCharacter_ = perCharacter;
    if (secondsPerCharacter_ <= 0) return;
    const double fixed = took - secondsPerCharacter_ * static_cast<double>(piece.size());
    const double least = fixed / 2 < PieceSeconds / 2 ? fixed / 2 : PieceSeconds / 2;
    const double seconds = PieceSeconds - fixed > least ? PieceSeconds - fixed : least;
    double size = seconds / secondsPerCharacter_;
    if (size > 2.0 * static_cast<double>(pieceSize_)) size = 2.0 * static_cast<double>(pieceSize_);
    pieceSize_ = size < SmallestPiece ? SmallestPiece : size > LargestPiece ? LargestPiece : static_cast<size_t>(size);
}

void ReportFill::Finish() {
    pending_ = false;
    // Where a whole-text write leaves the box: caret and view at the start. Appending moved them.
    GadgetRecord* box = static_cast<GadgetRecord*>(LookupObject(GadgetRegistry(), gadget_));
    if (box && writes_ > 1) {
        SendMessageW(box->control, EM_SETSEL, 0, 0);
        SendMessageW(box->control, EM_SCROLLCARET, 0, 0);
    }
    text_ = std::wstring();
    notices_.clear();
}

bool ReportFill::NoticeDue() const {
    return nextNotice_ < notices_.size() && notices_[nextNotice_].shownLength <= shown_;
}

void ReportFill::ShowFirstPiece() {
    do ShowNextPiece();
    while (pending_ && (writes_ == 0 || shown_ == text_.size() || NoticeDue()));
}

void ReportFill::ShowAll() {
    while (pending_) ShowNextPiece();
}
