// ykt verify: the SHA-256 against published vectors, SHA256SUMS as
// sha256sum writes it, and ykt.exe checking a folder in which one file
// matches, one was changed and one is missing.
#include <gtest/gtest.h>

#include "TillSupport.h"
#include "Verify.h"

namespace ykt::till {
namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(YktVerify, Sha256OfKnownTexts) {
    const std::pair<std::string, const char*> vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // two blocks
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [text, digest] : vectors)
        EXPECT_EQ(verify::Sha256Hex(text), digest) << text.size() << " bytes";
    // Fed in uneven pieces, across block boundaries.
    verify::Sha256 pieces;
    const std::string text(1000000, 'a');
    for (std::size_t at = 0, step = 1; at < text.size(); at += step, step = step % 97 + 1)
        pieces.Add(text.data() + at, std::min(step, text.size() - at));
    EXPECT_EQ(pieces.HexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(YktVerify, SumsFileLines) {
    const std::string digest(64, 'a');
    struct Case {
        std::string text;
        std::size_t lines;  // 0: refused
        const char* name;   // of the last line
    };
    const Case cases[] = {
        {digest + "  Vb_Ykt.dll\n" + digest + "  include/Vb_Ykt.h\n", 2, "include/Vb_Ykt.h"},
        {"\xEF\xBB\xBF" + std::string(64, 'A') + " *部署说明.md\r\n\r\n", 1, "部署说明.md"},
        {digest + " Vb_Ykt.dll\n", 0, ""},               // one blank only
        {std::string(63, 'a') + "  Vb_Ykt.dll\n", 0, ""},  // a digit short
        {"", 0, ""},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto sums = verify::ParseSums(c.text, error);
        if (c.lines == 0) {
            EXPECT_FALSE(sums) << c.text;
            EXPECT_FALSE(error.empty()) << c.text;
            continue;
        }
        ASSERT_TRUE(sums) << c.text << ": " << error;
        ASSERT_EQ(sums->size(), c.lines) << c.text;
        EXPECT_EQ(sums->back().name, c.name);
        EXPECT_EQ(sums->back().digest, std::string(64, 'a')) << "lower case";
    }
}

TEST(YktVerify, NamesTheFilesThatDiffer) {
    TempDir folder;
    ASSERT_TRUE(CopyFileW((TillDir() + L"ykt.exe").c_str(), (folder / L"ykt.exe").c_str(), FALSE));
    CreateDirectoryW((folder / L"include").c_str(), nullptr);
    WriteAll(folder / L"include\\good.txt", "abc");
    WriteAll(folder / L"bad.txt", "abd");
    WriteAll(folder / L"SHA256SUMS",
             "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad  include/good.txt\n"
             "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad  bad.txt\n"
             "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad  gone.txt\n");
    RunResult run = RunProgram(folder / L"ykt.exe", {"verify"});
    EXPECT_EQ(run.exitCode, 1u) << run.out << run.err;
    for (const char* line : {"[正常] include/good.txt", "[错误] bad.txt：与 SHA256SUMS 不符", "[错误] gone.txt：找不到",
                             "2 个文件不符"})
        EXPECT_TRUE(Has(run.out, line)) << line << "\n" << run.out;

    WriteAll(folder / L"SHA256SUMS",
             "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad  include/good.txt\n");
    run = RunProgram(folder / L"ykt.exe", {"verify"});
    EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "全部 1 个文件与 SHA256SUMS 相符")) << run.out;

    DeleteFileW((folder / L"SHA256SUMS").c_str());
    run = RunProgram(folder / L"ykt.exe", {"verify"});
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(Has(run.err, "找不到")) << run.err;
    DeleteFileW((folder / L"include\\good.txt").c_str());
    RemoveDirectoryW((folder / L"include").c_str());
}

}  // namespace
}  // namespace ykt::till
