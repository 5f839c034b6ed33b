// form_sinks.cpp: the report sink of each output form.
#include "app/console/form_sinks.h"
#include "report/json_text.h"
#include "report/json_lines.h"

namespace {

class ReportLinesSink : public ConsoleReport {
public:
    using ConsoleReport::ConsoleReport;

private:
    void StartFile() override { AppendUnit(Destination::Stdout, FileLine(FileName()) + L'\n'); }
    bool FormTakesAsciiText() const override { return true; }
    bool AppendChunk(const TextChunkRecord& record, std::wstring& unit) override {
        AppendMadeUnit(Destination::Stdout, unit, [&](auto& out) {
            AppendReportLineText(out, record);
            out += '\n';
        });
        return true;
    }
};

class JsonLinesSink : public ConsoleReport {
public:
    using ConsoleReport::ConsoleReport;
    void Notice(const wchar_t* title, const wchar_t* message, const std::wstring& fileName) override {
        std::wstring unit;
        AppendMadeUnit(Destination::Stdout, unit, [&](auto& out) { AppendNoticeJson(out, fileName, message); });
        ConsoleReport::Notice(title, message, fileName);
    }

private:
    bool FormTakesAsciiText() const override { return true; }
    bool AppendChunk(const TextChunkRecord& record, std::wstring& unit) override {
        AppendMadeUnit(Destination::Stdout, unit, [&](auto& out) { AppendChunkJson(out, FileName(), record); });
        return true;
    }
};

// --text and --out: the text as the report holds it, or with --pretty its JSON indented. json: the
// text is a JSON object or array, told where it counts only (--pretty, or asked).
static void AppendChunkText(const CliOptions& options, const std::wstring& text, std::wstring& unit, bool* json) {
    bool container = false;
    if (options.pretty) {
        container = ReadJsonContainer(text, &unit);
    } else if (json) {
        container = ReadJsonContainer(text, nullptr);
    }
    if (!(options.pretty && container)) unit += text;
    if (json) *json = container;
}

class TextAloneSink : public ConsoleReport {
public:
    using ConsoleReport::ConsoleReport;

private:
    // --pretty reads the text as JSON, in UTF-16.
    bool FormTakesAsciiText() const override { return !Options().pretty; }
    bool AppendChunk(const TextChunkRecord& record, std::wstring& unit) override {
        const char ending = Options().nullEnds ? '\0' : '\n';
        if (!Options().pretty) {
            AppendMadeUnit(Destination::Stdout, unit, [&](auto& out) {
                AppendRecordText(out, record);
                out += ending;
            });
            return true;
        }
        AppendChunkText(Options(), record.text, unit, nullptr);
        unit += ending;
        AppendUnit(Destination::Stdout, unit);
        return true;
    }
};

class FileNamesSink : public ConsoleReport {
public:
    using ConsoleReport::ConsoleReport;

private:
    bool FormTakesAsciiText() const override { return true; }
    bool AppendChunk(const TextChunkRecord&, std::wstring& unit) override {
        unit = FileName();
        unit += Options().nullEnds ? L'\0' : L'\n';
        AppendUnit(Destination::Stdout, unit);
        // The file's name is all -l prints: the rest of the file need not be searched.
        return false;
    }
};

// Each file is written on the scanning thread, as its chunk is found: the writer only names it.
class OutFolderSink : public ConsoleReport {
public:
    OutFolderSink(const CliOptions& options, const ChunkFilter& filter, const volatile bool* stop,
                  ReportBuffers* buffers, OutFolder* folder)
        : ConsoleReport(options, filter, stop, buffers), folder_(folder) {}

private:
    bool AppendChunk(const TextChunkRecord& record, std::wstring& unit) override {
        // Parsed in any case: the file is named .json after it.
        bool json = false;
        AppendChunkText(Options(), record.text, unit, &json);
        std::string bytes = TakeBytes();
        std::unique_ptr<PendingOutFile> file = folder_->Prepare(FileName(), record.keyword, unit, json, &bytes);
        GiveBack(std::move(bytes));
        AppendOutFile(folder_, std::move(file));
        return true;
    }
    OutFolder* folder_;
};

}  // namespace

std::unique_ptr<ConsoleReport> NewConsoleReport(const CliOptions& options, const ChunkFilter& filter,
                                                const volatile bool* stop, ReportBuffers* buffers, OutFolder* folder) {
    switch (options.form) {
    case OutputForm::Json: return std::unique_ptr<ConsoleReport>(new JsonLinesSink(options, filter, stop, buffers));
    case OutputForm::TextAlone: return std::unique_ptr<ConsoleReport>(new TextAloneSink(options, filter, stop, buffers));
    case OutputForm::FilesWithMatches:
        return std::unique_ptr<ConsoleReport>(new FileNamesSink(options, filter, stop, buffers));
    case OutputForm::OutFolder: return std::unique_ptr<ConsoleReport>(new OutFolderSink(options, filter, stop, buffers, folder));
    case OutputForm::Report: break;
    }
    return std::unique_ptr<ConsoleReport>(new ReportLinesSink(options, filter, stop, buffers));
}
