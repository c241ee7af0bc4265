#include "tools/runner/settings_file.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

// The session's hold on the file; none until lock-settings or deny-reading-settings.
HANDLE held = INVALID_HANDLE_VALUE;
// What the scenario last put in the file, once it did.
std::optional<std::string> lastWritten;

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

FileStamp stampSettings() {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(kSettingsFileName, GetFileExInfoStandard, &data)) {
    return {false, false, 0, 0};
  }
  return {
      true, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
      (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
      (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime};
}

bool sameStamp(const FileStamp& a, const FileStamp& b) {
  return a.exists == b.exists && a.directory == b.directory && a.size == b.size &&
         a.written == b.written;
}

FileView viewSettings() {
  FileView view = {stampSettings(), false, {}};
  for (int attempt = 0; attempt < 3 && view.stamp.exists && !view.stamp.directory; ++attempt) {
    view.readable = currentSettings(&view.bytes);
    FileStamp after = stampSettings();
    if (sameStamp(after, view.stamp)) {
      return view;
    }
    view = {after, false, {}};
  }
  return view;
}

bool currentSettings(std::string* bytes) {
  HANDLE file = held != INVALID_HANDLE_VALUE ? held
                                             : CreateFileA(kSettingsFileName, GENERIC_READ,
                                                           FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                           nullptr, OPEN_EXISTING, 0, nullptr);
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
  if (file != held) {
    CloseHandle(file);
  }
  return true;
}

std::string writeSettingsFile(const std::string& bytes) {
  if (held != INVALID_HANDLE_VALUE) {
    return "Quillmere.ini is held open by this scenario; unlock-settings first";
  }
  std::FILE* file = std::fopen(kSettingsFileName, "wb");
  if (file == nullptr) {
    return stampSettings().directory ? "Quillmere.ini is a directory; delete-settings first"
                                     : "Quillmere.ini cannot be opened for writing";
  }
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  written = std::fclose(file) == 0 && written;
  if (!written) {
    return "Quillmere.ini could not be written whole";
  }
  lastWritten = bytes;
  return "";
}

std::string editSettingsFile(const std::string& setting) {
  FileStamp now = stampSettings();
  std::string bytes;
  if (!now.exists || now.directory) {
    return now.exists ? "Quillmere.ini is a directory, with nothing to edit"
                      : "Quillmere.ini is missing, with nothing to edit";
  }
  if (!currentSettings(&bytes)) {
    return "Quillmere.ini cannot be read to edit it";
  }
  return writeSettingsFile(editedSettings(bytes, setting));
}

std::string deleteSettingsFile() {
  if (held != INVALID_HANDLE_VALUE) {
    return "Quillmere.ini is held open by this scenario; unlock-settings first";
  }
  FileStamp now = stampSettings();
  bool removed = !now.exists || (now.directory ? RemoveDirectoryA(kSettingsFileName) != 0
                                               : DeleteFileA(kSettingsFileName) != 0);
  return removed ? "" : "Quillmere.ini cannot be removed";
}

std::string makeSettingsDirectory() {
  std::string wrong = deleteSettingsFile();
  if (wrong.empty() && !CreateDirectoryA(kSettingsFileName, nullptr)) {
    wrong = "a directory Quillmere.ini cannot be made";
  }
  return wrong;
}

std::string holdSettings(bool shareWrites) {
  if (held != INVALID_HANDLE_VALUE) {
    return "Quillmere.ini is held open already; unlock-settings first";
  }
  // Share mode 0: nobody else may open the file until we close it. Sharing writes only: reading
  // it fails, yet a careless writer could still open it and empty it.
  held = CreateFileA(kSettingsFileName, GENERIC_READ | GENERIC_WRITE,
                     shareWrites ? FILE_SHARE_WRITE : 0, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    FileStamp now = stampSettings();
    return !now.exists     ? "Quillmere.ini is missing, with nothing to hold open"
           : now.directory ? "Quillmere.ini is a directory, not a file to hold open"
                           : "Quillmere.ini cannot be opened (error " + std::to_string(error) + ")";
  }
  return "";
}

void releaseSettings() {
  if (held != INVALID_HANDLE_VALUE) {
    CloseHandle(held);
    held = INVALID_HANDLE_VALUE;
  }
}

bool settingsHeld() {
  return held != INVALID_HANDLE_VALUE;
}

const std::optional<std::string>& scenarioWrote() {
  return lastWritten;
}
