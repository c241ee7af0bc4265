// Quillmere.ini in the session's working directory, as the scenario changes it: writing, editing,
// deleting, holding it open, putting a directory in its place; and looking at it.
#pragma once

#include <cstddef>
#include <cstdint>
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

// The file as the runner last looked at it: its stamp and, when it could be read, its bytes.
struct FileView {
  FileStamp stamp;
  bool readable;
  std::string bytes;
};

// The stamp, the bytes and the stamp again, so that the bytes are the stamp's: `readable` is false
// when the file cannot be read or kept changing while it was read.
FileView viewSettings();

// Reads a whole file as bytes, at most `most` + 1 of them (so that a caller can tell that there
// are more); false when it cannot be opened.
bool readFileBytes(const char* path, std::string* bytes, size_t most = SIZE_MAX - 1);

// The settings file's bytes, even while the session holds it without sharing (read through that
// very handle); false when it cannot be read.
bool currentSettings(std::string* bytes);

// The scenario's changes. Each returns "" or what kept it from being made.
std::string writeSettingsFile(const std::string& bytes);
std::string editSettingsFile(const std::string& setting);  // KEY=VALUE
std::string deleteSettingsFile();
std::string makeSettingsDirectory();
std::string holdSettings(bool shareWrites);  // no sharing, or sharing writes only
void releaseSettings();
bool settingsHeld();

// The first line holding "KEY=" becomes "KEY=VALUE", keeping its line end; with no such line,
// "KEY=VALUE" is appended on a line of its own. `setting` holds an '='.
std::string editedSettings(const std::string& bytes, const std::string& setting);

// What the scenario itself last wrote, and whether it wrote at all.
bool scenarioWrote(std::string* bytes);
