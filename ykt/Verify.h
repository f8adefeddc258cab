// ykt verify: every file of the unpacked package checked against the
// package's SHA256SUMS, for Windows XP, which has no certutil -hashfile.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ykt::verify {

// SHA-256 of the bytes, as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const std::string& bytes);

// Incremental form, for files read in pieces.
class Sha256 {
public:
    Sha256();
    void Add(const void* data, std::size_t size);
    std::string HexDigest();  // once, at the end

private:
    void Block(const unsigned char* block);
    std::uint32_t state_[8];
    unsigned char buffer_[64];
    std::size_t buffered_ = 0;
    std::uint64_t total_ = 0;
};

struct SumLine {
    std::string digest;  // lower case
    std::string name;    // as written, '/' between folders, UTF-8
};

// The lines of a SHA256SUMS file ("<64 hex digits>  <name>", as sha256sum
// writes them; a '*' before the name and Windows line ends are accepted).
// Nothing when a line has another form; `error` names it.
std::optional<std::vector<SumLine>> ParseSums(const std::string& text, std::string& error);

// Reads a file of the package by its name in SHA256SUMS: its SHA-256, or
// nothing when it cannot be read.
using HashFile = std::optional<std::string> (*)(const std::string& name);
// Writes UTF-8 text.
using Print = void (*)(const std::string& utf8);

// Checks every line and prints one verdict per file and a summary. Exit
// status 0 when every file matches, else 1.
int Check(const std::vector<SumLine>& sums, HashFile hash, Print out);

// The Windows side: SHA256SUMS beside ykt.exe, the files from there.
int Run(Print out, Print err);

}  // namespace ykt::verify
