// The Win32 clipboard as another program sees it: text put on it before a
// call, and what it holds after, to tell whether the call kept or replaced
// its content.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "support/smf_reader.h"

namespace smftest {

constexpr char FormatName[] = "Standard MIDI File";

inline void putText(const char* text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const size_t size = std::strlen(text) + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(GlobalLock(block), text, size);
    GlobalUnlock(block);
    EXPECT_NE(SetClipboardData(CF_TEXT, block), nullptr);
    CloseClipboard();
}

struct Snapshot {
    std::string text;     // CF_TEXT, when present
    bool hasSmf = false;  // our format present
    Bytes smf;            // the whole block under our format
    UINT formatCount = 0;

    static Snapshot take() {
        Snapshot s;
        if (!OpenClipboard(nullptr)) {
            ADD_FAILURE() << "cannot open the clipboard";
            return s;
        }
        s.formatCount = UINT(CountClipboardFormats());
        if (HANDLE text = GetClipboardData(CF_TEXT)) {
            s.text = static_cast<const char*>(GlobalLock(text));
            GlobalUnlock(text);
        }
        const UINT format = RegisterClipboardFormatA(FormatName);
        s.hasSmf = IsClipboardFormatAvailable(format);
        if (HANDLE block = GetClipboardData(format)) {
            const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
            s.smf.assign(bytes, bytes + GlobalSize(block));
            GlobalUnlock(block);
        }
        CloseClipboard();
        return s;
    }
};

}  // namespace smftest
