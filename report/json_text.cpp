// json_text.cpp: a JSON reader without recursion that can write what it reads indented.
#include "report/json_text.h"
#include <vector>

namespace {

class JsonReader {
public:
    JsonReader(const std::wstring& text, std::wstring* pretty)
        : p_(text.data()), end_(text.data() + text.size()), out_(pretty), limit_(8 * text.size() + 4096) {}

    // True when the indented text grew past its limit and was left unfinished.
    bool GaveUp() const { return gaveUp_; }

    bool Read() {
        std::vector<wchar_t> open;  // the containers entered: '{' or '['
        SkipSpace();
        if (p_ == end_ || (*p_ != L'{' && *p_ != L'[')) return false;
        bool expectValue = true;
        for (;;) {
            SkipSpace();
            if (expectValue) {
                if (p_ == end_) return false;
                const wchar_t c = *p_;
                if (c == L'{' || c == L'[') {
                    p_++;
                    Emit(c);
                    open.push_back(c);
                    SkipSpace();
                    if (p_ < end_ && *p_ == Closing(c)) {
                        Emit(*p_++);
                        open.pop_back();
                        expectValue = false;
                        continue;
                    }
                    NewLine(open.size());
                    if (c == L'{' && !ReadKey()) return false;
                    continue;
                }
                if (!ReadScalar()) return false;
                expectValue = false;
                continue;
            }
            if (open.empty()) return p_ == end_;
            if (p_ == end_) return false;
            const wchar_t c = *p_++;
            if (c == L',') {
                Emit(c);
                NewLine(open.size());
                if (open.back() == L'{' && !ReadKey()) return false;
                expectValue = true;
            } else if (c == Closing(open.back())) {
                open.pop_back();
                NewLine(open.size());
                Emit(c);
            } else {
                return false;
            }
        }
    }

private:
    static wchar_t Closing(wchar_t opening) { return opening == L'{' ? L'}' : L']'; }

    void SkipSpace() {
        while (p_ < end_ && (*p_ == L' ' || *p_ == L'\t' || *p_ == L'\n' || *p_ == L'\r')) p_++;
    }
    void Emit(wchar_t c) {
        if (out_) *out_ += c;
    }
    void EmitSpan(const wchar_t* from) {
        if (out_) out_->append(from, static_cast<size_t>(p_ - from));
    }
    // Indentation grows with depth times lines: deep nesting would ask for a text many times larger
    // than the JSON itself. Past the limit the reader only checks the rest.
    void NewLine(size_t depth) {
        if (!out_) return;
        if (out_->size() + 2 * depth + 1 > limit_) {
            out_ = nullptr;
            gaveUp_ = true;
            return;
        }
        *out_ += L'\n';
        out_->append(2 * depth, L' ');
    }

    // "key": with the blank after the colon.
    bool ReadKey() {
        SkipSpace();
        if (p_ == end_ || *p_ != L'"' || !ReadString()) return false;
        SkipSpace();
        if (p_ == end_ || *p_ != L':') return false;
        p_++;
        if (out_) *out_ += L": ";
        return true;
    }

    bool ReadString() {
        const wchar_t* from = p_++;
        for (;;) {
            if (p_ == end_ || *p_ < 0x20) return false;
            const wchar_t c = *p_++;
            if (c == L'"') break;
            if (c != L'\\') continue;
            if (p_ == end_) return false;
            const wchar_t e = *p_++;
            if (e == L'u') {
                for (int k = 0; k < 4; k++, p_++) {
                    if (p_ == end_ || !IsHexDigit(*p_)) return false;
                }
            } else if (e != L'"' && e != L'\\' && e != L'/' && e != L'b' && e != L'f' && e != L'n' && e != L'r' && e != L't') {
                return false;
            }
        }
        EmitSpan(from);
        return true;
    }

    static bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
    static bool IsHexDigit(wchar_t c) { return IsDigit(c) || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'); }

    bool ReadDigits() {
        const wchar_t* from = p_;
        while (p_ < end_ && IsDigit(*p_)) p_++;
        return p_ > from;
    }

    bool ReadNumber() {
        const wchar_t* from = p_;
        if (p_ < end_ && *p_ == L'-') p_++;
        if (p_ < end_ && *p_ == L'0') {
            p_++;
        } else if (!ReadDigits()) {
            return false;
        }
        if (p_ < end_ && *p_ == L'.') {
            p_++;
            if (!ReadDigits()) return false;
        }
        if (p_ < end_ && (*p_ == L'e' || *p_ == L'E')) {
            p_++;
            if (p_ < end_ && (*p_ == L'+' || *p_ == L'-')) p_++;
            if (!ReadDigits()) return false;
        }
        EmitSpan(from);
        return true;
    }

    bool ReadWord(const wchar_t* word) {
        const wchar_t* from = p_;
        for (; *word; word++, p_++) {
            if (p_ == end_ || *p_ != *word) return false;
        }
        EmitSpan(from);
        return true;
    }

    bool ReadScalar() {
        switch (*p_) {
        case L'"': return ReadString();
        case L't': return ReadWord(L"true");
        case L'f': return ReadWord(L"false");
        case L'n': return ReadWord(L"null");
        default: return ReadNumber();
        }
    }

    const wchar_t* p_;
    const wchar_t* end_;
    std::wstring* out_;
    size_t limit_;
    bool gaveUp_ = false;
};

}  // namespace

bool ReadJsonContainer(const std::wstring& text, std::wstring* pretty) {
    if (!pretty) return JsonReader(text, nullptr).Read();
    std::wstring indented;
    JsonReader reader(text, &indented);
    if (!reader.Read()) return false;
    *pretty += reader.GaveUp() ? text : indented;
    return true;
}
