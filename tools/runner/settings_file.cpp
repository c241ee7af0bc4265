// The runner's own file work, through KERNEL32 (the C runtime's calls would be taken for the
// plug-in's, see watch.cpp), and the scenario's changes to Quillmere.ini.
#include <algorithm>
#include <cstring>
#include <utility>

#include "tools/runner/session_state.h"

std::optional<std::string> lastWritten;
const std::wstring kSettingsName(kSettingsFileName,
                                 kSettingsFileName + std::strlen(kSettingsFileName));

namespace {

// The session's hold on the file; none until lock-settings or deny-reading-settings.
HANDLE heldFile = INVALID_HANDLE_VALUE;

// The first line holding "KEY=" becomes `setting`, its line end kept; with none, it is appended.
std::string editedSettings(const std::string& bytes, const std::string& setting) {
  const size_t at = bytes.find(setting.substr(0, setting.find('=') + 1));
  if (at == std::string::npos) {
    return bytes + (bytes.empty() || bytes.back() == '\n' ? "" : "\r\n") + setting + "\r\n";
  }
  const size_t start = bytes.rfind('\n', at) + 1;  // 0 on the first line
  size_t end = std::min(bytes.find('\n', at), bytes.size());
  end -= bytes[end - 1] == '\r' ? 1 : 0;
  return bytes.substr(0, start) + setting + bytes.substr(end);
}

// Why the file cannot be held open or changed, when the session holds it.
std::string held() {
  return heldFile != INVALID_HANDLE_VALUE
             ? "Quillmere.ini is held open by this scenario; unlock-settings first"
             : "";
}

}  // namespace

std::optional<std::string> readRegular(HANDLE file, size_t most) {
  // A pipe or a device in its place might never end, or never answer.
  if (file == INVALID_HANDLE_VALUE || GetFileType(file) != FILE_TYPE_DISK) {
    return std::nullopt;
  }
  std::string bytes(most, '\0');
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  size_t have = 0;
  for (DWORD got = 0;
       have < most &&
       ReadFile(file, &bytes[have], static_cast<DWORD>(most - have), &got, nullptr) != 0 &&
       got > 0;) {
    have += got;
  }
  bytes.resize(have);
  return bytes;
}

bool writeWhole(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return true;
}

FileView viewSettings(size_t most) {
  FileView view;
  HANDLE file = heldFile != INVALID_HANDLE_VALUE
                    ? heldFile
                    : CreateFileW(kSettingsName.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  const DWORD attributes = GetFileAttributesW(kSettingsName.c_str());
  // Wine gives no attributes for a link to a device (/dev/zero), which opens all the same.
  view.exists = attributes != INVALID_FILE_ATTRIBUTES || file != INVALID_HANDLE_VALUE;
  view.directory =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::optional<std::string> bytes = readRegular(file, most);
  view.readable = bytes.has_value();
  view.bytes = bytes.value_or("");
  if (file != heldFile && file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
  }
  return view;
}

std::string writeSettingsFile(const std::string& bytes) {
  if (!held().empty() || !writeWhole(kSettingsName, bytes)) {
    return !held().empty()             ? held()
           : viewSettings(0).directory ? "Quillmere.ini is a directory; delete-settings first"
                                       : "Quillmere.ini cannot be opened for writing";
  }
  // Read back: a disk that fills while it is written may leave less than was said to be taken.
  const FileView now = viewSettings(bytes.size() + 1);
  if (now.bytes != bytes) {
    return "Quillmere.ini could not be written whole: it holds " +
           std::to_string(now.bytes.size()) + " bytes, not the " + std::to_string(bytes.size()) +
           " written";
  }
  lastWritten = bytes;
  return "";
}

std::string editSettingsFile(const std::string& setting) {
  const FileView now = viewSettings();
  return !now.exists     ? "Quillmere.ini is missing, with nothing to edit"
         : now.directory ? "Quillmere.ini is a directory, with nothing to edit"
         : !now.readable ? "Quillmere.ini cannot be read to edit it"
         : now.bytes.size() >= kKeptBytes
             ? "Quillmere.ini is longer than the " + std::to_string(kKeptBytes - 1) +
                   " bytes the plug-in reads, and the runner reads no further to edit it"
             : writeSettingsFile(editedSettings(now.bytes, setting));
}

std::string deleteSettingsFile() {
  const FileView now = viewSettings(0);
  if (!held().empty() ||
      (now.exists && (now.directory ? RemoveDirectoryW(kSettingsName.c_str())
                                    : DeleteFileW(kSettingsName.c_str())) == 0)) {
    return !held().empty() ? held() : "Quillmere.ini cannot be removed";
  }
  return viewSettings(0).exists ? "Quillmere.ini is still there once removed" : "";
}

std::string makeSettingsDirectory() {
  const std::string wrong = deleteSettingsFile();
  if (wrong.empty()) {
    CreateDirectoryW(kSettingsName.c_str(), nullptr);
  }
  return !wrong.empty() || viewSettings(0).directory ? wrong
                                                     : "a directory Quillmere.ini cannot be made";
}

std::string holdSettings(bool shareWrites) {
  if (heldFile != INVALID_HANDLE_VALUE) {
    return "Quillmere.ini is held open already; unlock-settings first";
  }
  // Share mode 0: nobody else may open the file until we close it. Sharing writes only: reading
  // it fails, yet a careless writer could still open it and empty it.
  heldFile = CreateFileW(kSettingsName.c_str(), GENERIC_READ | GENERIC_WRITE,
                         shareWrites ? FILE_SHARE_WRITE : 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD error = GetLastError();
  const FileView now = viewSettings(0);
  return heldFile != INVALID_HANDLE_VALUE ? ""
         : !now.exists                    ? "Quillmere.ini is missing, with nothing to hold open"
         : now.directory                  ? "Quillmere.ini is a directory, not a file to hold open"
                         : "Quillmere.ini cannot be opened (error " + std::to_string(error) + ")";
}

std::string releaseSettings() {
  HANDLE file = std::exchange(heldFile, INVALID_HANDLE_VALUE);
  return file == INVALID_HANDLE_VALUE || CloseHandle(file) != 0
             ? ""
             : "Quillmere.ini could not be let go of";
}
