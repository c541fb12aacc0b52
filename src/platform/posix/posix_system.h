// The POSIX implementations behind the system-call table.
#pragma once

#include "platform/system.h"

namespace xemidi::sys {

FileHandle posixCreateFile(const char* path, uint32_t disposition, uint32_t flags, bool* created);
int posixWriteFile(FileHandle file, const void* bytes, uint32_t size, uint32_t* written);
int posixCloseFile(FileHandle file);
int posixRemoveFile(const char* path);
FileHandle posixOpenFileToRead(const char* path, uint64_t* size);
int posixReadFile(FileHandle file, void* bytes, uint32_t size, uint32_t* read);

uint32_t posixRegisterClipboardFormat(const char* name);
int posixOpenClipboard();
int posixEmptyClipboard();
int posixSetClipboardData(uint32_t format, MemoryHandle block);
int posixCloseClipboard();

MemoryHandle posixGlobalAlloc(uint32_t size);
void* posixGlobalLock(MemoryHandle block);
int posixGlobalUnlock(MemoryHandle block);
MemoryHandle posixGlobalFree(MemoryHandle block);

// Frees the clipboard with its content; from then on it takes nothing and
// gives nothing. Called when the library is unloaded.
void tearDownClipboard();

}  // namespace xemidi::sys
