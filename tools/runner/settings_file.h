// Quillmere.ini in the session's working directory, as the scenario changes it: writing, editing,
// deleting, holding it open, putting a directory in its place; and the bytes the plug-in must
// write into a missing file, written out here on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern const char* const kSettingsName;

// The default content, byte for byte.
extern const std::string kDefaultSettings;

// What the settings file looked like at one moment.
struct FileStamp {
  bool exists;
  bool directory;
  uint64_t size;
  uint64_t written;  // last-write time
};

FileStamp stampSettings();
bool sameStamp(const FileStamp& a, const FileStamp& b);

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

// What the scenario itself last wrote, and whether it wrote at all.
bool scenarioWrote(std::string* bytes);
