#include "tests/support/Fixtures.h"

#include <cstdio>
#include <cstdlib>

std::string FixtureFolder()
{
    const char* folder = std::getenv("QT_FIXTURES");
    return folder ? folder : "";
}

std::string HostPath(const std::string& unixPath)
{
#ifdef _WIN32
    if (!unixPath.empty() && unixPath[0] == '/') {
        std::string path = "Z:" + unixPath;
        for (char& c : path)
            if (c == '/')
                c = '\\';
        return path;
    }
#endif
    return unixPath;
}

std::string FixturePath(const std::string& name)
{
    std::string folder = FixtureFolder();
    if (folder.empty())
        return "";
    std::string path = HostPath(folder + "/" + name);
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        std::fclose(file);
        return path;
    }
    return "";
}

std::string TempPath(const std::string& name)
{
#ifdef _WIN32
    const char* folder = std::getenv("TEMP");
    return std::string(folder ? folder : ".") + "\\" + name;
#else
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder ? folder : "/tmp") + "/" + name;
#endif
}
