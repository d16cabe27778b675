// The pack directory parser, name matching and reads, on packs built here from bytes.
#include "storage/FileServer.h"

#include "StorageTestSupport.h"
#include "engine/Error.h"
#include "engine/Exception.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

class PackTest : public ::testing::Test {
  protected:
    // Writes the bytes as a pack and parses it; returns the status.
    int parse(const std::string& bytes) { return directory.parse(dir.write("_.dat", bytes)); }

    // The file's bytes as text, or "<null>" when readFile gives none.
    std::string read(const std::string& name) {
        std::unique_ptr<uint8_t[]> block(directory.readFile(name));
        if (!block) return "<null>";
        return std::string(reinterpret_cast<const char*>(block.get()),
                           static_cast<size_t>(directory.getFileSize(name)));
    }

    ScratchDir dir;
    PackDirectory directory;
};

TEST_F(PackTest, StatusesOfUnreadablePacks) {
    EXPECT_EQ(directory.parse(dir.file("missing.dat")), -1) << "a missing pack cannot be opened";
    EXPECT_EQ(parse(""), -3) << "an empty pack has length 0";
    EXPECT_EQ(parse("no marker in here"), -5) << "no marker";
    EXPECT_EQ(parse("xy" + packMarker), -5) << "a pack ending with the marker";
    EXPECT_EQ(parse("@" + packMarker + "\n@@"), -5)
        << "the byte that breaks a partial match is not retried, so a third '@' hides the marker";
}

// Each failed parse leaves a reason for people: the pack, what went wrong (the system's words or
// what the parser met, quoted, and at which byte) and the status.
TEST_F(PackTest, AFailedParseSaysWhatItMetAndWhere) {
    const std::string pack = dir.file("_.dat");
    const auto problemOf = [&](const std::string& bytes) {
        parse(bytes);
        return directory.getProblem();
    };
    EXPECT_EQ(directory.parse(dir.file("missing.dat")), -1);
    EXPECT_EQ(directory.getProblem(),
              dir.file("missing.dat") + ": No such file or directory (status -1)")
        << "a missing pack: the system's words";
    directory.parse(dir.path.string());
    EXPECT_EQ(directory.getProblem(),
              dir.path.string() + ": not a regular file (a directory) (status -1)");
    EXPECT_EQ(problemOf(""), pack + ": the file is empty (status -3)");

    EXPECT_EQ(problemOf("no marker in here"),
              pack + ": no pack marker in its 17 bytes, which begin \"no marker in here\" "
                     "(status -5)")
        << "what the parser met instead of the marker";
    EXPECT_EQ(problemOf(std::string("\x01\x02") + std::string(30, 'j')),
              pack + ": no pack marker in its 32 bytes, which begin "
                     "\"\\x01\\x02jjjjjjjjjjjjjjjjjjjjjj\"... (status -5)")
        << "other bytes as \\xNN, a long start cut";
    EXPECT_EQ(problemOf("xy" + packMarker),
              pack + ": the pack ends with its marker (at byte 2): no directory follows "
                     "(status -5)");

    // The directory starts at byte 46, after the 45-byte marker and the separator.
    EXPECT_EQ(problemOf(packMarker + "\n"),
              pack + ": the directory at byte 46 has no closing @@ before the end of the pack "
                     "(0 entries read, 46 bytes) (status -6)");
    EXPECT_EQ(problemOf(packBytes("a@3")),
              pack + ": the size of entry 1 (\"a\") at byte 48, \"3\", runs into the end of the "
                     "pack without its closing @ (status -6)");
    EXPECT_EQ(problemOf(packBytes("a@3@abc")),
              pack + ": entry 2 at byte 50: the name \"abc\" runs into the end of the pack "
                     "without its closing @ (status -6)");
    const std::string tooLong(PackDirectory::maxNameLength + 1, 'n');
    EXPECT_EQ(problemOf(packBytes("a@1@" + tooLong + "@1@@", "xy")),
              pack + ": entry 2 at byte 50: a name of 512 bytes, \"nnnnnnnnnnnnnnnnnnnnnnnn\"..., "
                     "longer than 511 (status -6)");
    std::string full;
    for (int k = 0; k < PackDirectory::maxEntries; ++k)
        full += "f@1@";
    EXPECT_EQ(problemOf(packBytes(full + "extra@1@@")),
              pack + ": entry 1025 at byte " + std::to_string(46 + full.size()) +
                  ", \"extra\": more entries than the 1024 a directory holds (status -6)");

    ASSERT_EQ(parse(packOf({{"a", "x"}})), 0);
    EXPECT_EQ(directory.getProblem(), "") << "a parse that succeeds leaves no problem";
}

TEST_F(PackTest, OnlyRegularFilesAreOpened) {
    const std::string fifo = dir.file("fifo.dat");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << "a FIFO to stand for the pack";
    int status = 0;
    EXPECT_TRUE(endsWithoutWaitingForFifo(fifo, [&] { status = directory.parse(fifo); }))
        << "a FIFO pack must not block the parser waiting for a writer";
    EXPECT_EQ(status, -1) << "a FIFO is refused as a pack that cannot be opened";
    EXPECT_EQ(directory.parse("/dev/zero"), -1) << "a character device is refused before reading";
    EXPECT_EQ(directory.parse(dir.path.string()), -1) << "a directory is refused";

    // A pack replaced by a FIFO after parsing: its entries read as missing, without blocking.
    const std::string pack = dir.write("_.dat", packOf({{"a.jpg", "bytes"}}));
    ASSERT_EQ(directory.parse(pack), 0);
    std::filesystem::remove(pack);
    ASSERT_EQ(mkfifo(pack.c_str(), 0600), 0);
    uint8_t* block = reinterpret_cast<uint8_t*>(1);
    EXPECT_TRUE(endsWithoutWaitingForFifo(pack, [&] { block = directory.readFile("a.jpg"); }))
        << "reading an entry must not block on a FIFO";
    EXPECT_EQ(block, nullptr) << "an entry of a pack that became a FIFO reads as missing";
    delete[] block;
}

TEST_F(PackTest, EmptyDirectoryServesNothing) {
    ASSERT_EQ(parse(packBytes("@@", "trailing bytes")), 0) << "\"@@\" alone is an empty directory";
    EXPECT_EQ(directory.getCount(), 0);
    EXPECT_EQ(directory.readFile("anything"), nullptr) << "no entries, no blocks";
    EXPECT_EQ(directory.getFileSize("anything"), -1) << "no entries, size -1";
}

TEST_F(PackTest, FilesFollowTheDirectoryBackToBack) {
    const std::string bytes =
        packOf({{"data/dovari1.jpg", "first"}, {"data/dovari2.jpg", "second!"}, {"x", ""}});
    ASSERT_EQ(parse("junk before " + bytes), 0) << "bytes before the marker are ignored";
    ASSERT_EQ(directory.getCount(), 3);
    const int32_t d = static_cast<int32_t>(std::string("junk before ").size() + bytes.size() -
                                           std::strlen("firstsecond!"));
    EXPECT_EQ(directory.getOffset(0), d) << "file 0 starts right after the closing '@'";
    EXPECT_EQ(directory.getOffset(1), d + 5) << "file 1 follows file 0";
    EXPECT_EQ(read("data/dovari1.jpg"), "first");
    EXPECT_EQ(read("data/dovari2.jpg"), "second!");
    EXPECT_EQ(directory.getFileSize("x"), 0) << "a 0-byte entry keeps its size";
}

TEST_F(PackTest, DirectorySyntaxCorners) {
    ASSERT_EQ(parse(packBytes("@a@3@@", "abc")), 0) << "a single '@' before the first name";
    EXPECT_EQ(directory.getCount(), 1);
    EXPECT_EQ(read("a"), "abc");

    ASSERT_EQ(parse(packBytes("a@1@b@@", "x")), 0) << "a name followed by \"@@\" ends it";
    EXPECT_EQ(directory.getCount(), 1) << "the dangling name is no entry";
    EXPECT_EQ(directory.getFileSize("b"), -1);

    ASSERT_EQ(parse(packBytes("a@12abc@b@ \t+2 junk@@", "0123456789abXY")), 0);
    EXPECT_EQ(directory.getFileSize("a"), 12) << "digits followed by letters read as 12";
    EXPECT_EQ(read("b"), "XY") << "white space and a sign before the digits are read";

    ASSERT_EQ(parse(packBytes("a@2@b@2@@", "abcd")), 0);
    EXPECT_EQ(read("a"), "ab");
    ASSERT_EQ(parse(packBytes("a@3@b@2@@", "abcd")), 0);
    EXPECT_EQ(directory.readFile("b"), nullptr) << "a wrong size shifts b past the pack's end";
    ASSERT_EQ(parse(packBytes("a@1@b@2@@", "abcd")), 0);
    EXPECT_EQ(read("b"), "bc") << "a size too small shifts every later file";
}

TEST_F(PackTest, NamesMatchByFullOrBaseNameIgnoringCase) {
    ASSERT_EQ(parse(packOf({{"DATA/Dovari1.JPG", "one"},
                            {"x/pic.jpg", "first pic"},
                            {"y/pic.jpg", "second pic"},
                            {"flat.jpg", "flat"},
                            {"FLAT.jpg", "shadowed"}})),
              0);
    EXPECT_EQ(read("data/dovari1.jpg"), "one") << "full name, other case";
    EXPECT_EQ(read("DATA/Dovari1.JPG"), "one") << "full name as stored";
    EXPECT_EQ(read("dovari1.JPG"), "one") << "base name";
    EXPECT_EQ(read("pic.jpg"), "first pic") << "same base name: the first in directory order";
    EXPECT_EQ(read("Y/PIC.JPG"), "second pic") << "the full name picks the second";
    EXPECT_EQ(read("flat.JPG"), "flat") << "names differing only in case: the first wins";
    EXPECT_EQ(read("data/flat.jpg"), "<null>") << "the requested name is not cut to its base";
    EXPECT_EQ(read("ovari1.jpg"), "<null>") << "a base name must match whole";
    EXPECT_EQ(directory.getFileSize("data/flat.jpg"), -1);
}

TEST_F(PackTest, EveryReadIsANewBlock) {
    ASSERT_EQ(parse(packOf({{"a", "bytes"}})), 0);
    std::unique_ptr<uint8_t[]> first(directory.readFile("a"));
    std::unique_ptr<uint8_t[]> second(directory.readFile("a"));
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get()) << "each request allocates its own block";
    EXPECT_EQ(std::memcmp(first.get(), second.get(), 5), 0) << "with the same bytes";
}

TEST_F(PackTest, DirectoryShapeFaultsAreRejected) {
    EXPECT_EQ(parse(packMarker + "\n"), -6) << "marker and separator only: no closing '@'";
    EXPECT_EQ(parse(packBytes("a@3@")), -6) << "ends after an entry";
    EXPECT_EQ(parse(packBytes("a@3@abc")), -6) << "file bytes taken for a name without '@'";
    EXPECT_EQ(parse(packBytes("a@3")), -6) << "size without its '@'";
    EXPECT_EQ(parse(packBytes("@")), -6) << "a lone '@'";

    const std::string longest(PackDirectory::maxNameLength, 'n');
    EXPECT_EQ(parse(packBytes(longest + "@1@@", "x")), 0) << "511-byte name";
    EXPECT_EQ(read(longest), "x");
    EXPECT_EQ(parse(packBytes(longest + "n@1@@", "x")), -6) << "512-byte name";
}

TEST_F(PackTest, AtMost1024Entries) {
    std::string directoryText;
    std::string data;
    for (int k = 0; k < PackDirectory::maxEntries; ++k) {
        directoryText += "f" + std::to_string(k) + "@1@";
        data += static_cast<char>('a' + k % 26);
    }
    ASSERT_EQ(parse(packBytes(directoryText + "@", data)), 0) << "exactly 1024 entries";
    EXPECT_EQ(directory.getCount(), 1024);
    EXPECT_EQ(read("f1023"), std::string(1, static_cast<char>('a' + 1023 % 26)))
        << "the last entry's bytes";
    EXPECT_EQ(parse(packBytes(directoryText + "extra@1@@", data + "z")), -6) << "1025 entries";
}

TEST_F(PackTest, AnEntryThatCannotBeReadSaysWhy) {
    const std::string pack = dir.file("_.dat");
    ASSERT_EQ(parse(packBytes("ok@1@big@100@neg@-5@@", "abc")), 0);
    const auto problemOf = [&](const std::string& name) {
        std::string problem = "<none>";
        std::unique_ptr<uint8_t[]> block(directory.readFile(name, &problem));
        return block ? "<read> " + problem : problem;
    };
    EXPECT_EQ(problemOf("missing.jpg"), "not in the pack " + pack);
    EXPECT_EQ(problemOf("big"), "its entry \"big\" in " + pack +
                                    " (100 bytes at byte 68) reaches past the end of the pack "
                                    "(70 bytes)")
        << "where the entry lies and how long the pack is";
    EXPECT_EQ(problemOf("neg"), "its entry \"neg\" in " + pack + " has a negative size (-5)");
    EXPECT_EQ(problemOf("ok"), "<read> <none>") << "a read that succeeds leaves no problem";
    std::filesystem::remove(pack);
    EXPECT_EQ(problemOf("ok"), pack + ": No such file or directory") << "a pack that is gone";
}

TEST_F(PackTest, BytesOutsideThePackAreNotRead) {
    ASSERT_EQ(parse(packBytes("big@100@neg@-5@after@2@@", "abc")), 0)
        << "sizes are not checked while parsing";
    EXPECT_EQ(directory.getFileSize("big"), 100) << "the stored size is reported";
    EXPECT_EQ(directory.readFile("big"), nullptr) << "100 bytes reach past the pack's end";
    EXPECT_EQ(directory.getFileSize("neg"), -5);
    EXPECT_EQ(directory.readFile("neg"), nullptr) << "a negative size";

    ASSERT_EQ(parse(packBytes("a@-1000@b@1@@", "abc")), 0);
    EXPECT_EQ(directory.readFile("b"), nullptr) << "a start before the pack's beginning";

    ASSERT_EQ(parse(packBytes("h1@2147483647@h2@99999999999@c@1@@", "abc")), 0);
    EXPECT_EQ(directory.getFileSize("h2"), 2147483647) << "too large a size sticks at 2^31-1";
    EXPECT_EQ(directory.getOffset(2), PackDirectory::noOffset) << "offset past 32 bits";
    EXPECT_EQ(directory.readFile("h1"), nullptr);
    EXPECT_EQ(directory.readFile("c"), nullptr) << "its start does not fit 32 bits";

    ASSERT_EQ(parse(packOf({{"a", "abc"}, {"b", "defgh"}})), 0);
    std::filesystem::resize_file(dir.file("_.dat"),
                                 std::filesystem::file_size(dir.file("_.dat")) - 2);
    EXPECT_EQ(read("a"), "abc") << "a file still inside a pack cut short after parsing";
    EXPECT_EQ(directory.readFile("b"), nullptr) << "the pack is measured again at each read";
    std::filesystem::remove(dir.file("_.dat"));
    EXPECT_EQ(directory.readFile("a"), nullptr) << "a pack that is gone";
}

TEST_F(PackTest, FileServerOpenSwitchesToThePack) {
    dir.write("loose.txt", "on disk");
    FileServer server(nullptr, 200);
    EXPECT_FALSE(packMode) << "a new FileServer starts in disk mode";
    try {
        server.open(dir.write("bad.dat", packBytes("a@3")));
        FAIL() << "a malformed directory must throw";
    } catch (const Error& e) {
        EXPECT_EQ(e.text(), "Error - couldn't read metadata! Aborting...")
            << "open throws the errReadMetadata text";
        EXPECT_EQ(e.reason(), server.getDirectory().getProblem())
            << "with the parser's reason: what it met, where, and its status";
        EXPECT_NE(e.explanation().find("the size of entry 1 (\"a\") at byte 48"), std::string::npos)
            << e.explanation();
        EXPECT_NE(e.explanation().find("(status -6)"), std::string::npos) << e.explanation();
    }
    try {
        server.open(dir.file("missing.dat"));
        FAIL() << "a missing pack must throw";
    } catch (const Error& e) {
        EXPECT_EQ(e.explanation(),
                  "Error - couldn't read metadata! Aborting...: " + dir.file("missing.dat") +
                      ": No such file or directory (status -1)")
            << "a missing pack names itself and the system's reason";
    }
    EXPECT_FALSE(packMode) << "a failed open leaves disk mode";

    server.open(dir.write("_.dat", packOf({{"data/a.jpg", "pack bytes"}})));
    EXPECT_TRUE(packMode);
    std::unique_ptr<uint8_t[]> first(server.getFile("A.JPG"));
    std::unique_ptr<uint8_t[]> second(server.getFile("a.jpg"));
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get()) << "pack requests get a new block each time";
    EXPECT_EQ(server.getFileSize("data/a.jpg"), 10);
    EXPECT_EQ(server.getFile(dir.file("loose.txt")), nullptr) << "pack mode never reads the disk";
    EXPECT_EQ(server.getFileSize(dir.file("loose.txt")), -1);
    EXPECT_EQ(server.getCount(), 0) << "no disk records in pack mode";

    FileServer other(nullptr, 2);
    EXPECT_FALSE(packMode) << "constructing a FileServer clears pack mode";
}

} // namespace
