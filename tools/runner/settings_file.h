// Quillmere.ini in the session's working directory: the scenario's changes to it (writing,
// editing, deleting, holding it open, a directory in its place), and looking at it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/settings_file.h"

// What the settings file looked like at one moment: its stamp and, when it was read, its bytes.
struct FileView {
  bool exists = false;
  bool directory = false;
  uint64_t size = 0;
  uint64_t written = 0;   // last-write time
  bool readable = false;  // read whole between two equal stamps
  std::string bytes;
};

// Its stamp alone, and whether two stamps are the same.
FileView stampSettings();
bool sameStamp(const FileView& a, const FileView& b);
// Its stamp and its bytes, read between two equal stamps.
FileView viewSettings();
// Its bytes, even while the session holds it without sharing; false when it cannot be read.
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

// What the scenario itself last put in the file, once it did.
extern std::optional<std::string> lastWritten;
