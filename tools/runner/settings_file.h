// Quillmere.ini in the session's working directory: the scenario's changes to it (writing,
// editing, deleting, holding it open, a directory in its place), and looking at it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/settings_file.h"

// What the settings file looked like at one moment.
struct FileStamp {
  bool exists;
  bool directory;
  uint64_t size;
  uint64_t written;  // last-write time
};

FileStamp stampSettings();
bool sameStamp(const FileStamp& a, const FileStamp& b);

// The file as the runner last looked at it: its stamp and, when it could be read, its bytes, read
// between two equal stamps (`readable` is false when it cannot be read or kept changing).
struct FileView {
  FileStamp stamp;
  bool readable;
  std::string bytes;
};

FileView viewSettings();

// The file's bytes, even while the session holds it without sharing (read through that very
// handle); false when it cannot be read.
bool currentSettings(std::string* bytes);

// The scenario's changes. Each returns "" or what kept it from being made.
std::string writeSettingsFile(const std::string& bytes);
// The first line holding "KEY=" becomes `setting`, keeping its line end; with none, it is appended
// on a line of its own.
std::string editSettingsFile(const std::string& setting);
std::string deleteSettingsFile();
std::string makeSettingsDirectory();
std::string holdSettings(bool shareWrites);  // no sharing, or sharing writes only
void releaseSettings();
bool settingsHeld();

// What the scenario itself last wrote, if it wrote at all.
const std::optional<std::string>& scenarioWrote();
