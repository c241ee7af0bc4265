// The Win32 work on Quillmere.ini in the session's working directory.
#include "tools/runner/settings_file.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

std::optional<std::string> lastWritten;

namespace {

// The session's hold on the file; none until lock-settings or deny-reading-settings.
HANDLE heldFile = INVALID_HANDLE_VALUE;

std::string editedSettings(const std::string& bytes, const std::string& setting) {
  const std::string key = setting.substr(0, setting.find('=') + 1);
  for (size_t start = 0; start < bytes.size();) {
    size_t end = std::min(bytes.find('\n', start), bytes.size());
    size_t lineEnd = end > start && bytes[end - 1] == '\r' ? end - 1 : end;
    if (bytes.substr(start, lineEnd - start).find(key) != std::string::npos) {
      return bytes.substr(0, start) + setting + bytes.substr(lineEnd);
    }
    start = end + 1;
  }
  std::string separator = bytes.empty() || bytes.back() == '\n' ? "" : "\r\n";
  return bytes + separator + setting + "\r\n";
}

}  // namespace

bool settingsHeld() {
  return heldFile != INVALID_HANDLE_VALUE;
}

FileView stampSettings() {
  WIN32_FILE_ATTRIBUTE_DATA data;
  FileView stamp;
  if (GetFileAttributesExA(kSettingsFileName, GetFileExInfoStandard, &data)) {
    stamp.exists = true;
    stamp.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    stamp.size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    stamp.written =
        (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
  }
  return stamp;
}

bool sameStamp(const FileView& a, const FileView& b) {
  return a.exists == b.exists && a.directory == b.directory && a.size == b.size &&
         a.written == b.written;
}

bool currentSettings(std::string* bytes) {
  HANDLE file = settingsHeld() ? heldFile
                               : CreateFileA(kSettingsFileName, GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  bytes->clear();
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    bytes->append(chunk, got);
  }
  if (file != heldFile) {
    CloseHandle(file);
  }
  return true;
}

FileView viewSettings() {
  FileView view = stampSettings();
  for (int attempt = 0; attempt < 3 && view.exists && !view.directory; ++attempt) {
    view.readable = currentSettings(&view.bytes);
    FileView after = stampSettings();
    if (sameStamp(after, view)) {
      return view;
    }
    view = after;
  }
  return view;
}

std::string writeSettingsFile(const std::string& bytes) {
  if (settingsHeld()) {
    return "Quillmere.ini is held open by this scenario; unlock-settings first";
  }
  std::FILE* file = std::fopen(kSettingsFileName, "wb");
  if (file == nullptr) {
    return stampSettings().directory ? "Quillmere.ini is a directory; delete-settings first"
                                     : "Quillmere.ini cannot be opened for writing";
  }
  const bool whole = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !whole) {
    return "Quillmere.ini could not be written whole";
  }
  lastWritten = bytes;
  return "";
}

std::string editSettingsFile(const std::string& setting) {
  const FileView now = viewSettings();
  if (!now.exists || now.directory) {
    return now.exists ? "Quillmere.ini is a directory, with nothing to edit"
                      : "Quillmere.ini is missing, with nothing to edit";
  }
  return now.readable ? writeSettingsFile(editedSettings(now.bytes, setting))
                      : "Quillmere.ini cannot be read to edit it";
}

std::string deleteSettingsFile() {
  if (settingsHeld()) {
    return "Quillmere.ini is held open by this scenario; unlock-settings first";
  }
  FileView now = stampSettings();
  bool removed = !now.exists || (now.directory ? RemoveDirectoryA(kSettingsFileName) != 0
                                               : DeleteFileA(kSettingsFileName) != 0);
  return removed ? "" : "Quillmere.ini cannot be removed";
}

std::string makeSettingsDirectory() {
  std::string wrong = deleteSettingsFile();
  return !wrong.empty() || CreateDirectoryA(kSettingsFileName, nullptr) != 0
             ? wrong
             : "a directory Quillmere.ini cannot be made";
}

std::string holdSettings(bool shareWrites) {
  if (settingsHeld()) {
    return "Quillmere.ini is held open already; unlock-settings first";
  }
  // Share mode 0: nobody else may open the file until we close it. Sharing writes only: reading
  // it fails, yet a careless writer could still open it and empty it.
  heldFile = CreateFileA(kSettingsFileName, GENERIC_READ | GENERIC_WRITE,
                         shareWrites ? FILE_SHARE_WRITE : 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (heldFile == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    FileView now = stampSettings();
    return !now.exists     ? "Quillmere.ini is missing, with nothing to hold open"
           : now.directory ? "Quillmere.ini is a directory, not a file to hold open"
                           : "Quillmere.ini cannot be opened (error " + std::to_string(error) + ")";
  }
  return "";
}

void releaseSettings() {
  if (settingsHeld()) {
    CloseHandle(heldFile);
    heldFile = INVALID_HANDLE_VALUE;
  }
}
