// mapped_view_test.cpp: read-only views of files, and the fault handler that keeps a failing view readable.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <thread>
#include "runtime/mapped_view.h"

namespace {

// A file of size bytes, each byte 0x5A, in the temporary folder; removed with the object.
class TempFile {
public:
    explicit TempFile(size_t size) {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        path_ = std::wstring(folder) + L"mapped-view-" + std::to_wstring(GetCurrentProcessId()) + L".bin";
        HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        std::string bytes(size, '\x5A');
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        handle_ = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    ~TempFile() {
        CloseHandle(handle_);
        DeleteFileW(path_.c_str());
    }
    HANDLE Handle() const { return handle_; }

private:
    std::wstring path_;
    HANDLE handle_;
};

}  // namespace

TEST(MappedView, AnInPageErrorInTheViewTurnsItIntoZerosAndTheReadGoesOn) {
    ASSERT_TRUE(InstallViewFaultHandler());
    TempFile file(3 * 65536);
    MappedView view;
    ASSERT_TRUE(view.Open(file.Handle(), 0, 3 * 65536));
    EXPECT_EQ(0x5A, view.Bytes()[70000]);
    EXPECT_FALSE(view.Failed());
    // What Windows raises when a page of the file cannot be brought in: a read (0) at an address
    // inside the view, and the NTSTATUS of the failure.
    ULONG_PTR information[3] = {0, reinterpret_cast<ULONG_PTR>(view.Bytes() + 70000), 0xC000009C};
    RaiseException(EXCEPTION_IN_PAGE_ERROR, 0, 3, information);
    // The handler let execution go on here: the view is zeros now and says that it failed.
    EXPECT_TRUE(view.Failed());
    EXPECT_EQ(0, view.Bytes()[0]);
    EXPECT_EQ(0, view.Bytes()[3 * 65536 - 1]);
    view.Close();
    // A new view of the same thread starts sound.
    ASSERT_TRUE(view.Open(file.Handle(), 0, 65536));
    EXPECT_FALSE(view.Failed());
    EXPECT_EQ(0x5A, view.Bytes()[100]);
}

TEST(MappedView, OneViewPerThread) {
    TempFile file(65536);
    MappedView first, second;
    ASSERT_TRUE(first.Open(file.Handle(), 0, 65536));
    EXPECT_FALSE(second.Open(file.Handle(), 0, 65536)) << "the handler knows one view per thread";
    bool otherThreadOpened = false;
    std::thread other([&] {
        MappedView own;
        otherThreadOpened = own.Open(file.Handle(), 0, 65536);
    });
    other.join();
    EXPECT_TRUE(otherThreadOpened);
    first.Close();
    EXPECT_TRUE(second.Open(file.Handle(), 0, 65536));
}
