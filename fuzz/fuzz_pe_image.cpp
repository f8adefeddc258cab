// The PE reader of ykt doctor, for any bytes a technician may have copied
// beside ykt.exe: it never reads outside them, never throws, and gives its
// verdict quickly (libFuzzer's -timeout catches a slow one).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "PeImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    for (bool withImports : {false, true}) {
        std::string error;
        const auto image = ykt::pe::Parse(file, error, withImports);
        if (!image) {
            if (error.empty()) std::abort();  // every refusal says why
            continue;
        }
        std::size_t names = 0;
        for (const auto& [dll, imported] : image->imports) names += imported.size();
        if (names > ykt::pe::kMaxImportThunks || image->exports.size() > ykt::pe::kMaxExportNames) std::abort();
        if (!withImports && !image->imports.empty()) std::abort();
        if (image->version.size() > size) std::abort();
        ykt::pe::VersionString(image->version, "ProductName");
        ykt::pe::FileVersion(image->version);
        ykt::pe::MachineName(image->machine);
    }
    return 0;
}
