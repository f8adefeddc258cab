#include "PeImage.h"

#include <exception>
#include <vector>

namespace ykt::pe {

namespace {

// Little-endian reads that fail instead of reading past the end.
class Bytes {
public:
    explicit Bytes(std::string_view data) : data_(data) {}
    std::size_t size() const { return data_.size(); }
    bool Has(std::uint64_t offset, std::uint64_t count) const {
        return offset <= data_.size() && count <= data_.size() - offset;
    }
    std::optional<std::uint32_t> U(std::uint64_t offset, int width) const {
        if (!Has(offset, static_cast<std::uint64_t>(width))) return std::nullopt;
        std::uint32_t value = 0;
        for (int i = width - 1; i >= 0; --i)
            value = value << 8 | static_cast<unsigned char>(data_[static_cast<std::size_t>(offset) + i]);
        return value;
    }
    std::optional<std::uint64_t> U64(std::uint64_t offset) const {
        const auto low = U(offset, 4), high = U(offset + 4, 4);
        if (!low || !high) return std::nullopt;
        return static_cast<std::uint64_t>(*high) << 32 | *low;
    }
    // A zero-terminated name of at most 512 bytes.
    std::optional<std::string> Name(std::uint64_t offset) const {
        std::string name;
        for (std::uint64_t i = offset; i < data_.size() && name.size() < 512; ++i) {
            if (data_[static_cast<std::size_t>(i)] == '\0') return name;
            name += data_[static_cast<std::size_t>(i)];
        }
        return std::nullopt;
    }
    std::string_view Slice(std::uint64_t offset, std::uint64_t count) const {
        return data_.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
    }

private:
    std::string_view data_;
};

struct Section {
    std::uint32_t address, virtualSize, rawSize, rawOffset;
};

class Reader {
public:
    explicit Reader(std::string_view file) : file_(file) {}

    std::optional<Image> Parse(std::string& error, bool withImports) {
        if (!Headers(error)) return std::nullopt;
        Image image;
        image.machine = machine_;
        image.isDll = isDll_;
        if (!Exports(image, error) || (withImports && !Imports(image, error))) return std::nullopt;
        image.version = VersionResource();
        return image;
    }

private:
    bool Headers(std::string& error) {
        if (file_.U(0, 2) != 0x5A4Du) return Fail(error, "不是 Windows 程序文件（没有 MZ 头）");
        const auto peOffset = file_.U(0x3C, 4);
        if (!peOffset || file_.U(*peOffset, 4) != 0x00004550u)
            return Fail(error, "不是 Windows 程序文件（没有 PE 头）");
        const std::uint64_t header = *peOffset + 4;
        const auto machine = file_.U(header, 2), sections = file_.U(header + 2, 2),
                   optionalSize = file_.U(header + 16, 2), characteristics = file_.U(header + 18, 2);
        if (!machine || !sections || !optionalSize || !characteristics) return Fail(error, "文件头不完整");
        machine_ = static_cast<std::uint16_t>(*machine);
        isDll_ = (*characteristics & 0x2000) != 0;
        const std::uint64_t optional = header + 20;
        const auto magic = file_.U(optional, 2);
        std::uint64_t directories = 0, countOffset = 0;
        if (magic == 0x10Bu) {
            directories = optional + 96;
            countOffset = optional + 92;
            wide_ = false;
        } else if (magic == 0x20Bu) {
            directories = optional + 112;
            countOffset = optional + 108;
            wide_ = true;
        } else {
            return Fail(error, "可选文件头的类型未知");
        }
        const auto count = file_.U(countOffset, 4);
        if (!count) return Fail(error, "文件头不完整");
        for (std::uint32_t i = 0; i < 3 && i < *count; ++i) {
            const auto rva = file_.U(directories + 8 * i, 4), size = file_.U(directories + 8 * i + 4, 4);
            if (!rva || !size) return Fail(error, "文件头不完整");
            directory_[i] = {*rva, *size};
        }
        const std::uint64_t table = optional + *optionalSize;
        if (*sections > kMaxSections) return Fail(error, "节的数目过多");
        for (std::uint32_t i = 0; i < *sections; ++i) {
            const std::uint64_t at = table + 40 * i;
            const auto virtualSize = file_.U(at + 8, 4), address = file_.U(at + 12, 4), rawSize = file_.U(at + 16, 4),
                       rawOffset = file_.U(at + 20, 4);
            if (!virtualSize || !address || !rawSize || !rawOffset) return Fail(error, "节表不完整");
            // A file cut short (a copy that stopped half-way) loses the data of
            // its last sections: never read what it no longer has.
            if (*rawSize != 0 && !file_.Has(*rawOffset, *rawSize))
                return Fail(error, "节的数据超出文件末尾（文件不完整）");
            sections_.push_back({*address, *virtualSize, *rawSize, *rawOffset});
        }
        return true;
    }

    // The file offset of a relative virtual address; nothing when no section holds it.
    std::optional<std::uint64_t> Offset(std::uint64_t rva) const {
        for (const Section& s : sections_) {
            const std::uint64_t span = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
            if (rva >= s.address && rva < s.address + span) {
                const std::uint64_t inside = rva - s.address;
                if (inside >= s.rawSize) return std::nullopt;
                return s.rawOffset + inside;
            }
        }
        return std::nullopt;
    }

    std::optional<std::uint32_t> At(std::uint64_t rva, int width) const {
        const auto offset = Offset(rva);
        return offset ? file_.U(*offset, width) : std::nullopt;
    }
    std::optional<std::string> NameAt(std::uint64_t rva) const {
        const auto offset = Offset(rva);
        return offset ? file_.Name(*offset) : std::nullopt;
    }

    bool Exports(Image& image, std::string& error) {
        const auto [rva, size] = directory_[0];
        if (rva == 0 || size == 0) return true;
        const auto base = At(rva + 16, 4), names = At(rva + 24, 4), nameTable = At(rva + 32, 4),
                   ordinalTable = At(rva + 36, 4);
        if (!base || !names || !nameTable || !ordinalTable) return Fail(error, "导出表损坏");
        if (*names > kMaxExportNames) return Fail(error, "导出表过大");
        for (std::uint32_t i = 0; i < *names; ++i) {
            const auto nameRva = At(*nameTable + 4ull * i, 4), index = At(*ordinalTable + 2ull * i, 2);
            const auto name = nameRva ? NameAt(*nameRva) : std::nullopt;
            if (!name || !index) return Fail(error, "导出表损坏");
            if (!CountName(*name)) return Fail(error, "导出表过大");
            image.exports[*name] = *base + *index;
        }
        return true;
    }

    bool Imports(Image& image, std::string& error) {
        const auto [rva, size] = directory_[1];
        if (rva == 0 || size == 0) return true;
        std::uint32_t thunksSeen = 0;
        for (std::uint32_t i = 0; i < kMaxImportDescriptors; ++i) {
            const std::uint64_t at = rva + 20ull * i;
            const auto lookup = At(at, 4), nameRva = At(at + 12, 4), thunks = At(at + 16, 4);
            if (!lookup || !nameRva || !thunks) return Fail(error, "导入表损坏");
            if (*lookup == 0 && *nameRva == 0 && *thunks == 0) return true;
            auto dll = NameAt(*nameRva);
            if (!dll) return Fail(error, "导入表损坏");
            if (!CountName(*dll)) return Fail(error, "导入表过大");
            for (char& c : *dll)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            std::set<std::string>& names = image.imports[*dll];
            const std::uint64_t first = *lookup ? *lookup : *thunks;
            const int step = wide_ ? 8 : 4;
            for (std::uint32_t j = 0;; ++j) {
                if (++thunksSeen > kMaxImportThunks) return Fail(error, "导入表过大");
                const auto offset = Offset(first + static_cast<std::uint64_t>(step) * j);
                std::optional<std::uint64_t> entry;
                if (offset && wide_) entry = file_.U64(*offset);
                if (offset && !wide_) entry = file_.U(*offset, 4);
                if (!entry) return Fail(error, "导入表损坏");
                if (*entry == 0) break;
                const bool byOrdinal = wide_ ? (*entry >> 63) != 0 : (*entry >> 31) != 0;
                if (byOrdinal) continue;
                const auto name = NameAt((*entry & 0x7FFFFFFFu) + 2);
                if (!name) return Fail(error, "导入表损坏");
                if (!CountName(*name)) return Fail(error, "导入表过大");
                names.insert(*name);
            }
        }
        return Fail(error, "导入表过大");
    }

    // The data of the first language of the first version resource.
    std::string VersionResource() const {
        const std::uint32_t root = directory_[2].first;
        if (root == 0) return std::string();
        // Type, name, language: three levels of directories, then a data entry.
        std::uint64_t directory = root;
        std::uint32_t wantedId = 16;  // RT_VERSION
        for (int level = 0; level < 3; ++level) {
            const auto named = At(directory + 12, 2), ids = At(directory + 14, 2);
            if (!named || !ids) return std::string();
            std::optional<std::uint32_t> target;
            for (std::uint32_t i = 0; i < *named + *ids && i < 4096; ++i) {
                const std::uint64_t entry = directory + 16 + 8ull * i;
                const auto id = At(entry, 4), to = At(entry + 4, 4);
                if (!id || !to) return std::string();
                if (level == 0 && (i < *named || *id != wantedId)) continue;
                target = *to;
                break;
            }
            if (!target) return std::string();
            const bool subdirectory = (*target & 0x80000000u) != 0;
            const std::uint64_t next = root + (*target & 0x7FFFFFFFu);
            if (level < 2) {
                if (!subdirectory) return std::string();
                directory = next;
                continue;
            }
            if (subdirectory) return std::string();
            const auto dataRva = At(next, 4), dataSize = At(next + 4, 4);
            const auto offset = dataRva ? Offset(*dataRva) : std::nullopt;
            if (!offset || !dataSize || !file_.Has(*offset, *dataSize)) return std::string();
            return std::string(file_.Slice(*offset, *dataSize));
        }
        return std::string();
    }

    // False once the names read so far pass the cap.
    bool CountName(const std::string& name) {
        nameBytes_ += name.size() + 1;
        return nameBytes_ <= kMaxNameBytes;
    }

    static bool Fail(std::string& error, const char* text) {
        error = text;
        return false;
    }

    Bytes file_;
    std::uint16_t machine_ = 0;
    bool isDll_ = false;
    bool wide_ = false;
    std::pair<std::uint32_t, std::uint32_t> directory_[3]{};
    std::vector<Section> sections_;
    std::uint64_t nameBytes_ = 0;
};

std::string Utf16(std::string_view ascii) {
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

}  // namespace

std::optional<Image> Parse(std::string_view file, std::string& error, bool withImports) {
    // The caps keep memory small; should it still run out, that is a verdict too.
    try {
        return Reader(file).Parse(error, withImports);
    } catch (const std::exception&) {
        error = "无法读取文件内容（内存不足）";
        return std::nullopt;
    }
}

std::string MachineName(std::uint16_t machine) {
    if (machine == kMachineI386) return "32 位（x86）";
    if (machine == kMachineAmd64) return "64 位（x64）";
    char text[16];
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < 4; ++i) text[i] = digits[(machine >> (12 - 4 * i)) & 0xF];
    text[4] = '\0';
    return std::string("未知类型（0x") + text + "）";
}

std::optional<std::string> VersionString(const std::string& version, std::string_view key) {
    // A String entry: length, value length, type 1, the key in UTF-16 with its
    // zero, padding to a multiple of four bytes, the value in UTF-16.
    const std::string wanted = Utf16(key) + std::string(2, '\0');
    const Bytes bytes(version);
    for (std::size_t at = version.find(wanted); at != std::string::npos; at = version.find(wanted, at + 1)) {
        if (at < 6 || at % 2 != 0 || bytes.U(at - 2, 2) != 1u) continue;
        std::size_t value = at + wanted.size();
        value = (value + 3) & ~static_cast<std::size_t>(3);
        std::string text;
        for (std::size_t i = value; bytes.Has(i, 2); i += 2) {
            const std::uint32_t c = *bytes.U(i, 2);
            if (c == 0) return text;
            if (c >= 0x80) return std::nullopt;
            text += static_cast<char>(c);
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> FileVersion(const std::string& version) {
    const std::string signature("\xBD\x04\xEF\xFE", 4);
    const std::size_t at = version.find(signature);
    const Bytes bytes(version);
    if (at == std::string::npos) return std::nullopt;
    const auto high = bytes.U(at + 8, 4), low = bytes.U(at + 12, 4);
    if (!high || !low) return std::nullopt;
    return std::to_string(*high >> 16) + "." + std::to_string(*high & 0xFFFF) + "." + std::to_string(*low >> 16) +
           "." + std::to_string(*low & 0xFFFF);
}

}  // namespace ykt::pe
