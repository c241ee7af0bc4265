// What the end-to-end checks under Wine share: the failure count and its CHECK, and small helpers
// over the stand-in host and the Windows loader.
#pragma once

#include <windows.h>
// psapi.h needs windows.h first.
#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "tests/settings_model.h"
#include "tools/standin/standin.h"

// Failed checks so far; a check program exits non-zero when any failed.
inline int failures = 0;

#define CHECK(condition)                                                 \
  do {                                                                   \
    if (!(condition)) {                                                  \
      std::printf("FAILED %s:%d: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                        \
    }                                                                    \
  } while (0)

constexpr uint32_t kF3 = 114;
constexpr uint32_t kF5 = 116;

inline bool settingsFileExists() {
  return GetFileAttributesA(model::kFileName) != INVALID_FILE_ATTRIBUTES;
}

// Frames of 16 ms of game time that bring a reload due.
constexpr int32_t kReloadFrames = model::kReloadIntervalMs / 16 + 1;

inline std::string utf8(const wchar_t* text) {
  std::string out(
      static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr)),
      '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), static_cast<int>(out.size()), nullptr,
                      nullptr);
  return out.substr(0, out.empty() ? 0 : out.size() - 1);
}

// The settings file's bytes, or "<unreadable>".
inline std::string settingsFileText() {
  std::FILE* file = std::fopen(model::kFileName, "rb");
  if (file == nullptr) {
    return "<unreadable>";
  }
  std::string text;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    text.append(buffer, got);
  }
  std::fclose(file);
  return text;
}

inline void writeSettingsFile(const char* text) {
  if (std::FILE* file = std::fopen(model::kFileName, "wb")) {
    std::fputs(text, file);
    std::fclose(file);
  }
}

inline StandinHostEvent hostEvent(int32_t index) {
  StandinHostEvent event = {};
  standinHostEventAt(index, &event);
  return event;
}

inline bool insideImage(HMODULE module, void* address) {
  MODULEINFO info = {};
  GetModuleInformation(GetCurrentProcess(), module, &info, sizeof info);
  auto base = static_cast<char*>(info.lpBaseOfDll);
  auto at = static_cast<char*>(address);
  return at >= base && at < base + info.SizeOfImage;
}

// Both key events through the host's window thread, delivered before the next frame.
inline void tapKey(uint32_t key) {
  standinPostKeyEvent(key, 0);
  standinPostKeyEvent(key, 1);
  standinFlushKeyEvents();
}

inline SIZE_T committedBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof counters);
  // Wine leaves PrivateUsage at zero; the commit charge is what a leak grows.
  return counters.PagefileUsage;
}

// The checks that have a file of their own.
void loadCycles(const char* plugin);
