// Helpers of the till tests: the build folders, a private temporary folder,
// whole-file reads and writes, and running a program with its output caught.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ykt::till {

// Folder of the test program, with a trailing backslash.
std::wstring BuildDir();
// The till folder: simulators, Vb_Ykt.dll and ykt.exe side by side.
std::wstring TillDir();

std::wstring Wide(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

// A fresh empty folder, deleted with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& path() const { return path_; }  // with a trailing backslash
    std::wstring operator/(const std::wstring& name) const { return path_ + name; }
    // Names of the files in it.
    std::vector<std::string> Files() const;

private:
    std::wstring path_;
};

bool Exists(const std::wstring& path);
std::string ReadAll(const std::wstring& path);
void WriteAll(const std::wstring& path, const std::string& bytes);

// Sets (or with nullptr removes) an environment variable of this process,
// which programs started later inherit; restored at the end of the scope.
class ScopedEnv {
public:
    ScopedEnv(const wchar_t* name, const wchar_t* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::wstring name_;
    std::wstring old_;
    bool had_;
};

struct RunResult {
    DWORD exitCode = 0;
    std::string out;  // bytes as written to the redirected handles
    std::string err;
};

// Runs `exe` with the arguments (quoted when needed), stdout and stderr
// redirected to files; fails the test if it does not end within 30 s.
RunResult RunProgram(const std::wstring& exe, const std::vector<std::string>& args);

// Catches what this process writes to STD_ERROR_HANDLE during its lifetime.
class CaptureStderr {
public:
    CaptureStderr();
    ~CaptureStderr();
    CaptureStderr(const CaptureStderr&) = delete;
    CaptureStderr& operator=(const CaptureStderr&) = delete;
    std::string Text();

private:
    TempDir dir_;
    HANDLE file_;
    HANDLE old_;
};

}  // namespace ykt::till
