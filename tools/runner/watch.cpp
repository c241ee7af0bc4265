// The plug-in's own calls on Quillmere.ini: wrappers in place of KERNEL32's file functions in its
// import table and in the C runtime's (msvcrt.dll), whose file functions, narrow or wide, stream or
// descriptor, all end in these. The file is known by identity (volume and file index), not by a
// name: Windows and Wine read one file under many.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "tools/runner/session_state.h"

namespace {

using FileId = std::pair<uint32_t, uint64_t>;  // volume serial and file index; {0, 0}: none

std::wstring settingsPath;  // whole; set once the plug-in is loaded

// A handle met: is it the settings file's, what the plug-in did through it, what its reads gave.
struct Handle {
  bool settings = false, changed = false, created = false, read = false;
  std::string bytes;
};
std::map<HANDLE, Handle> handles;
int writersOpen = 0;    // handles through which the plug-in changed the file, not closed yet
std::string unwatched;  // the plug-in's first import that may reach a file unseen; "": none
// The plug-in may call from its keyboard handler's thread as well as from its script.
std::recursive_mutex lock;

// Held while a call is noted; its caller then sees the last error of its own call.
struct Noting {
  const DWORD last = GetLastError();
  std::lock_guard<std::recursive_mutex> hold{lock};
  ~Noting() { SetLastError(last); }
};

FileId idOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  return file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info) != 0
             ? FileId{info.dwVolumeSerialNumber,
                      (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow}
             : FileId{};
}

FileId idOf(const std::wstring& name) {
  HANDLE file = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const FileId id = idOf(file);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
  }
  return id;
}

// The A calls read names in the ANSI code page, as the W calls they stand for.
std::wstring wide(const char* name) {
  std::wstring out(name != nullptr ? std::strlen(name) + 1 : 0, L'\0');
  out.resize(static_cast<size_t>(
      MultiByteToWideChar(CP_ACP, 0, name, -1, out.data(), static_cast<int>(out.size()))));
  return out.empty() ? out : out.substr(0, out.size() - 1);
}

// Whether `name` leads to the settings file. Where nothing stands, only the whole path can tell.
bool isSettings(const wchar_t* name) {
  const std::wstring path = name != nullptr ? name : L"";
  const FileId id = idOf(path);
  return id != FileId{} ? id == idOf(settingsPath)
                        : CompareStringOrdinal(fullPath(path).c_str(), -1, settingsPath.c_str(), -1,
                                               TRUE) == CSTR_EQUAL;
}

// Told on the runner's thread, after the frame's protection.
void tellChange(const std::string& text) {
  const std::lock_guard<std::recursive_mutex> hold(lock);
  session.changes.push_back(text);
}

// After the plug-in read the file, or failed to open it: a change since it was last seen is another
// program's, or no one's the runner can name while the plug-in imports what it does not watch.
void lookAgain() {
  const FileView now = viewSettings();
  FileView& was = session.file;
  const bool same = now.exists == was.exists && now.directory == was.directory &&
                    (!now.readable || !was.readable || now.bytes == was.bytes);
  const std::string what = std::string("Quillmere.ini ") + (!now.exists  ? "removed"
                                                            : was.exists ? "changed"
                                                                         : "created");
  if (!same && writersOpen == 0 && unwatched.empty()) {
    tellChange(what + " by another program, not by the plug-in" +
               (now.readable ? " (" + std::to_string(now.bytes.size()) + " bytes)" : ""));
  } else if (!same && writersOpen == 0) {
    tellChange(what + " by no call the runner saw: the plug-in imports " + unwatched +
               ", which the runner does not watch, so it cannot tell who made the change and " +
               "judges nothing on it");
  }
  was = now;
}

// A handle is looked up when first met: one opened before the wrappers (in the plug-in's entry
// point), or duplicated, is known by its use.
Handle& known(HANDLE file) {
  auto [found, added] = handles.try_emplace(file);
  if (added) {
    const FileId id = idOf(file);
    found->second.settings = id != FileId{} && id == idOf(settingsPath);
  }
  return found->second;
}

void changing(Handle& handle) {
  writersOpen += handle.settings && !handle.changed ? 1 : 0;
  handle.changed = handle.changed || handle.settings;
}

// A change by the plug-in, told with what the file holds after it.
void pluginChanged(const std::string& what) {
  ++session.pluginWrites;
  session.pluginMade = true;
  session.file = viewSettings();
  const std::string size = " (" + std::to_string(session.file.bytes.size()) + " bytes)";
  tellChange("Quillmere.ini " + what + " by the plug-in" +
             (!session.file.readable ? ""
              : session.file.bytes == model::kDefaultFile
                  ? ": the default content" + size
                  : ": other content than the default" + size));
}

// ---- The wrappers, each in its KERNEL32 function's signature: the call, then what it did.

HANDLE WINAPI createFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE model) {
  HANDLE file = CreateFileW(name, access, share, security, disposition, flags, model);
  const Noting noting;
  const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  if (file != INVALID_HANDLE_VALUE) {
    handles.erase(file);  // a value the system hands out again
    Handle& handle = known(file);
    // A device has no identity to match (Quillmere.ini linked to /dev/zero): its name tells.
    handle.settings = handle.settings || (idOf(file) == FileId{} && isSettings(name));
    // Where an open may create, the system says whether the file was there already.
    handle.created =
        handle.settings && (disposition == CREATE_NEW ||
                            ((disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) &&
                             noting.last != ERROR_ALREADY_EXISTS));
    if (handle.created || truncates) {
      changing(handle);
    }
  } else if ((access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0 && isSettings(name)) {
    session.reads.push_back({std::nullopt, noting.last == ERROR_FILE_NOT_FOUND});
    lookAgain();
  }
  return file;
}
HANDLE WINAPI createFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE model) {
  return createFileW(wide(name).c_str(), access, share, security, disposition, flags, model);
}

BOOL WINAPI readFile(HANDLE file, LPVOID to, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
  const BOOL done = ReadFile(file, to, size, got, overlapped);
  const Noting noting;
  Handle& handle = known(file);
  if (handle.settings && done != 0 && got != nullptr) {
    handle.read = true;
    handle.bytes.append(static_cast<const char*>(to),
                        std::min<size_t>(*got, kKeptBytes - handle.bytes.size()));
  }
  return done;
}

BOOL wrote(HANDLE file, BOOL done) {
  const Noting noting;
  if (done != 0) {
    changing(known(file));
  }
  return done;
}
BOOL WINAPI writeFile(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD done,
                      LPOVERLAPPED overlapped) {
  return wrote(file, WriteFile(file, bytes, size, done, overlapped));
}
BOOL WINAPI setEndOfFile(HANDLE file) {
  return wrote(file, SetEndOfFile(file));
}

BOOL WINAPI closeHandle(HANDLE file) {
  Handle taken;
  {
    const Noting noting;
    auto node = handles.extract(file);
    taken = node.empty() ? Handle{} : std::move(node.mapped());
  }
  const BOOL done = CloseHandle(file);
  const Noting noting;
  if (taken.changed) {
    --writersOpen;
    pluginChanged(taken.created ? "created" : "rewritten");
  }
  if (taken.read) {
    session.reads.push_back({taken.bytes, false});
    lookAgain();
  }
  return done;
}

// A removal of `from` (`onto` null), or its renaming onto `onto`: what each name leads to is asked
// before the call, and what it returns is told the call's result.
auto naming(const wchar_t* from, const wchar_t* onto) {
  const bool was = isSettings(from);
  const bool becomes = onto != nullptr && isSettings(onto);
  return [was, becomes, renames = onto != nullptr](BOOL done) {
    const Noting noting;
    if (done != 0 && was != becomes) {
      pluginChanged(!renames ? "removed" : was ? "renamed" : "replaced");
    }
    return done;
  };
}
BOOL WINAPI deleteFileW(LPCWSTR name) {
  return naming(name, nullptr)(DeleteFileW(name));
}
BOOL WINAPI deleteFileA(LPCSTR name) {
  return deleteFileW(wide(name).c_str());
}
BOOL WINAPI moveFileExW(LPCWSTR from, LPCWSTR onto, DWORD flags) {
  return naming(from, onto)(MoveFileExW(from, onto, flags));
}
BOOL WINAPI moveFileExA(LPCSTR from, LPCSTR onto, DWORD flags) {
  const std::wstring to = wide(onto);
  return moveFileExW(wide(from).c_str(), onto != nullptr ? to.c_str() : nullptr, flags);
}

template <typename Function>
std::pair<const char*, void*> wrapper(const char* name, Function function) {
  return {name, reinterpret_cast<void*>(function)};
}
const std::pair<const char*, void*> kWrappers[] = {
    wrapper("CreateFileA", createFileA),   wrapper("CreateFileW", createFileW),
    wrapper("ReadFile", readFile),         wrapper("WriteFile", writeFile),
    wrapper("SetEndOfFile", setEndOfFile), wrapper("CloseHandle", closeHandle),
    wrapper("DeleteFileA", deleteFileA),   wrapper("DeleteFileW", deleteFileW),
    wrapper("MoveFileExA", moveFileExA),   wrapper("MoveFileExW", moveFileExW)};

// What lets a plug-in reach a file unseen: another DLL, a function found by name, or KERNEL32's and
// ntdll's other ways to open, read, write, copy, move or replace one.
const char* const kWatchedDlls = " KERNEL32.dll msvcrt.dll ScriptHookRDR2.dll ntdll.dll ";
const char* const kUnwatched =
    " GetProcAddress LdrGetProcedureAddress LoadLibraryA LoadLibraryW LoadLibraryExA "
    "LoadLibraryExW CreateFile2 ReOpenFile OpenFile _lopen _lcreat _lread _hread _lwrite _hwrite "
    "ReadFileEx ReadFileScatter WriteFileEx WriteFileGather CopyFileA CopyFileW CopyFileExA "
    "CopyFileExW CopyFile2 MoveFileA MoveFileW MoveFileWithProgressA MoveFileWithProgressW "
    "ReplaceFileA ReplaceFileW SetFileInformationByHandle CreateHardLinkA CreateHardLinkW "
    "CreateSymbolicLinkA CreateSymbolicLinkW CreateFileMappingA CreateFileMappingW "
    "DeviceIoControl GetPrivateProfileStringA GetPrivateProfileStringW WritePrivateProfileStringA "
    "WritePrivateProfileStringW WritePrivateProfileSectionA WritePrivateProfileSectionW "
    "NtCreateFile NtOpenFile NtReadFile NtWriteFile NtSetInformationFile NtDeleteFile "
    "ZwCreateFile ZwOpenFile ZwReadFile ZwWriteFile ZwSetInformationFile ZwDeleteFile ";

bool listed(const char* list, const std::string& name) {
  return std::string(list).find(" " + name + " ") != std::string::npos;
}

// Wraps `module`'s imports; returns the first through which a file could be reached unseen, or "".
std::string wrapImports(BYTE* module) {
  std::string unseen;
  const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      module + reinterpret_cast<const IMAGE_DOS_HEADER*>(module)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* dll =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(module + imports.VirtualAddress);
       imports.Size != 0 && dll->Name != 0; ++dll) {
    const std::string dllName = reinterpret_cast<const char*>(module + dll->Name);
    // Without its table of names, a DLL's slots hold only addresses once loaded.
    const DWORD table = dll->OriginalFirstThunk;
    if (unseen.empty() && (table == 0 || !listed(kWatchedDlls, dllName))) {
      unseen = dllName;
    }
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(module + table);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(module + dll->FirstThunk);
    for (; table != 0 && names->u1.AddressOfData != 0; ++names, ++slots) {
      const bool byNumber = IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal);
      const std::string name =
          byNumber
              ? dllName + "'s import number " + std::to_string(IMAGE_ORDINAL(names->u1.Ordinal))
              : reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(module + names->u1.AddressOfData)
                    ->Name;
      auto wrap = std::find_if(std::begin(kWrappers), std::end(kWrappers),
                               [&](const auto& w) { return name == w.first; });
      if (wrap != std::end(kWrappers)) {
        DWORD was = 0;
        VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &was);
        slots->u1.Function = reinterpret_cast<ULONGLONG>(wrap->second);
        VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, was, &was);
      } else if (unseen.empty() && (byNumber || listed(kUnwatched, name))) {
        unseen = name;
      }
    }
  }
  return unseen;
}

}  // namespace

void watchCalls(HMODULE plugin, const std::wstring& path) {
  settingsPath = path;
  unwatched = wrapImports(reinterpret_cast<BYTE*>(plugin));
  // The runtime's own imports say nothing of the plug-in.
  HMODULE crt = GetModuleHandleW(L"msvcrt.dll");
  if (crt != nullptr) {
    wrapImports(reinterpret_cast<BYTE*>(crt));
  }
}

void tellChanges(int32_t frame) {
  std::vector<std::string> lines;
  {
    const std::lock_guard<std::recursive_mutex> hold(lock);
    lines.swap(session.changes);
  }
  for (const std::string& line : lines) {
    if (frame > 0) {
      tellAtFrame(frame, line);
    } else {
      tellStep(line);
    }
  }
}
