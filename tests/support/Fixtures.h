// Where the movies that the test command makes with ffmpeg are found.
#pragma once

#include <string>

// The full path of a fixture movie, as this program's C run time opens it, or
// an empty string when the fixture folder or the file is missing.
std::string FixturePath(const std::string& name);

// The fixture folder as a Unix path (as the test command handed it over).
std::string FixtureFolder();

// A Unix path in the form this program's file functions take: unchanged on
// Linux; under Wine the Linux file system is drive Z:.
std::string HostPath(const std::string& unixPath);

// A scratch file path for a test, inside the system's temporary folder.
std::string TempPath(const std::string& name);
