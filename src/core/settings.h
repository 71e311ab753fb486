// Settings getters over the registry stand-in (the settings file), with their defaults.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Each writes into a caller buffer of at least 260 bytes.
void qvpRegGetPathName(char* buffer);          // PathName, default "C:\ZARNQVP"
void qvpRegGetResourcePathName(char* buffer);  // ResourcePathName, default PathName + "\SERVER\ZARNQV\RESOURCE"
int qvpRegGetIdSyncOption();                   // IdSyncOption "YES" (any case)
int qvpRegGetGuidUseStatus();                  // GuidUseStatus "YES"
int qvpRegSetGuidUseStatus(int flag);          // stores "YES"/"NO"; written back at unload
int qvpRegGetRdbOption();                      // RdbOption begins with "1"
uint8_t qvpRegGetSystemManagementKey();        // SystemManagementKey (0 default)
int qvpRegGetConnectRetryCount();              // ConnectRetryCount
int qvpRegGetLogGenCount();                    // LogGenCount
int qvpRegGetReceiveTimeout();                 // ReceiveTimeout in seconds, default 600, 0 = no limit
// Generic typed getters: a missing value or one outside [min, max] gives the default (a value
// that is set but unusable is reported, once per name).
int qvpRegGetInt(const char* name, int defaultValue, int minValue, int maxValue);
// What DLL.LOG is to say of the settings: first in a program, the file read (or why none was)
// and the install root in use; then what the settings could not give (the file, its lines,
// unknown names, unusable values), each once: the first caller takes it. The event log has had
// the problems already.
std::vector<std::string> qvpTakeSettingsProblems();
// Makes the install root when it is not there (with whatever is missing above it), and says so
// to the event log: a mistyped PathName would otherwise give a new, empty store without a word. The same text for DLL.LOG when this
// call made it, else empty (a root that cannot be made fails the calls that use it).
std::string qvpMakeMissingRoot();
// Loads the settings (once) and has names of the library's section that it does not read reported.
void qvpLoadSettings();
// PathName (or its default) as a string, for builders that go on appending.
std::string qvpPathName();
// A text setting, or nullopt when it is not set.
std::optional<std::string> qvpRegGetText(const char* name);
