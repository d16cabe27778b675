// The FileServer's disk mode: loading once, its log lines, its failures and its capacity.
#include "storage/FileServer.h"

#include "StorageTestSupport.h"
#include "engine/DebugServer.h"
#include "engine/Error.h"
#include "engine/Exception.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// Runs each test inside a scratch directory, with a DebugServer writing every level there.
class DiskTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous = std::filesystem::current_path();
        std::filesystem::current_path(dir.path);
        log = std::make_unique<DebugServer>(static_cast<int8_t>(0), static_cast<uint8_t>(1));
    }
    void TearDown() override { std::filesystem::current_path(previous); }

    std::string logText() const {
        std::ifstream in(dir.file("debug.log"));
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    ScratchDir dir;
    std::filesystem::path previous;
    std::unique_ptr<DebugServer> log;
};

TEST_F(DiskTest, LoadsOnceAndHandsOutTheSameBlock) {
    const std::string name = dir.write("pic.jpg", "12345");
    FileServer server(log.get(), 200);
    uint8_t* first = server.getFile(name);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(first), 5), "12345") << "the file's bytes";
    EXPECT_EQ(server.getFile(name), first) << "disk mode hands out the record's block again";
    EXPECT_EQ(server.getFileSize(name), 5);
    EXPECT_EQ(server.getCount(), 1) << "one record for repeated requests";
    EXPECT_EQ(logText(), "{FileServer::File}: Opening file " + name +
                             "... Done.\n"
                             "{FileServer::File}: Allocating buffer (5 bytes)... Done.\n"
                             "{FileServer::File}: Reading file (5 bytes) into buffer... Done.\n")
        << "the three load lines, once";

    const std::string upper = dir.write("PIC.jpg", "other");
    EXPECT_NE(server.getFile(upper), first) << "disk names compare case-sensitively";
    EXPECT_EQ(server.getCount(), 2);
}

TEST_F(DiskTest, ReadOnlyFilesLoad) {
    const std::string name = dir.write("readonly.jpg", "locked");
    std::filesystem::permissions(dir.path, std::filesystem::perms::owner_all |
                                               std::filesystem::perms::group_exec |
                                               std::filesystem::perms::others_exec);
    std::filesystem::permissions(name, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    const int result = runUnprivileged([&] {
        try {
            FileServer server(nullptr, 200);
            return server.getFileSize(name) == 6 ? 0 : 1;
        } catch (...) {
            return 2;
        }
    });
    EXPECT_EQ(result, 0) << "a file without write permission loads (read-only open)";
}

TEST_F(DiskTest, MissingFileThrowsOpenError) {
    FileServer server(log.get(), 200);
    const std::string name = dir.file("missing.jpg");
    try {
        server.getFile(name);
        FAIL() << "a missing file must throw";
    } catch (const Error& e) {
        EXPECT_EQ(e.text(), "Error - couldn't open file " + name + "! Aborting...")
            << "errOpenFile's text with the name filled in";
        EXPECT_EQ(e.reason(), name + ": No such file or directory") << "and the system's reason";
    }
    EXPECT_EQ(std::string(errOpenFile.getDetail()), name)
        << "the catalogue entry keeps the name as its detail";
    EXPECT_EQ(logText(), "{FileServer::File}: Opening file " + name + "... Failed!\n");
    EXPECT_EQ(server.getCount(), 0) << "the failed load gives its record back";

    dir.write("missing.jpg", "now here");
    EXPECT_EQ(server.getFileSize(name), 8) << "a later request tries the disk again";
}

TEST_F(DiskTest, EmptyFileFailsAtTheReadStep) {
    const std::string name = dir.write("empty.jpg", "");
    FileServer server(log.get(), 200);
    try {
        server.getFileSize(name);
        FAIL() << "a 0-byte file must throw";
    } catch (const Error& e) {
        EXPECT_EQ(e.text(), "Error - couldn't read file " + name + "! Aborting...")
            << "errReadFile's text with the name filled in";
        EXPECT_EQ(e.reason(), name + ": the file is empty") << "and why it could not be read";
    }
    EXPECT_EQ(logText(), "{FileServer::File}: Opening file " + name +
                             "... Done.\n"
                             "{FileServer::File}: Allocating buffer (0 bytes)... Done.\n"
                             "{FileServer::File}: Reading file (0 bytes) into buffer... Failed!\n");
}

TEST_F(DiskTest, ADirectoryIsNoFile) {
    std::filesystem::create_directory(dir.file("folder"));
    FileServer server(nullptr, 200);
    try {
        server.getFile(dir.file("folder"));
        FAIL() << "a directory is no file to load";
    } catch (const Error& e) {
        EXPECT_EQ(e.reason(), dir.file("folder") + ": not a regular file (a directory)")
            << "the reason says what the name is instead";
    }
}

TEST_F(DiskTest, AFileWithoutReadPermissionGivesTheSystemsReason) {
    const std::string name = dir.write("secret.jpg", "hidden");
    std::filesystem::permissions(dir.path, std::filesystem::perms::owner_all |
                                               std::filesystem::perms::group_exec |
                                               std::filesystem::perms::others_exec);
    std::filesystem::permissions(name, std::filesystem::perms::owner_write);
    const int result = runUnprivileged([&] {
        try {
            FileServer server(nullptr, 200);
            server.getFile(name);
            return 1;
        } catch (const Error& e) {
            return e.reason() == name + ": Permission denied" ? 0 : 2;
        }
    });
    EXPECT_EQ(result, 0) << "1: the file loaded, 2: another reason than \"Permission denied\"";
}

TEST_F(DiskTest, OnlyRegularFilesAreLoaded) {
    const std::string fifo = dir.file("fifo.jpg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << "a FIFO under a picture's name";
    for (const std::string& name : {fifo, std::string("/dev/zero")}) {
        FileServer server(nullptr, 200);
        std::string failure = "<none>";
        EXPECT_TRUE(endsWithoutWaitingForFifo(fifo,
                                              [&] {
                                                  try {
                                                      server.getFile(name);
                                                  } catch (const Error& e) {
                                                      failure = e.explanation();
                                                  }
                                              }))
            << name << " must not block the load";
        EXPECT_EQ(failure, "Error - couldn't open file " + name + "! Aborting...: " + name +
                               ": not a regular file (" +
                               (name == fifo ? "a FIFO" : "a character device") + ")")
            << name << " is refused at the open step (errOpenFile), saying what it is";
        EXPECT_EQ(server.getCount(), 0) << "the refused load gives its record back";
    }
}

TEST_F(DiskTest, CapacityLeavesOneRecordUnused) {
    FileServer server(nullptr, 3);
    EXPECT_NE(server.getFile(dir.write("a", "a")), nullptr);
    EXPECT_NE(server.getFile(dir.write("b", "b")), nullptr);
    try {
        server.getFile(dir.write("c", "c"));
        FAIL() << "the third file of capacity 3 must throw";
    } catch (const Error& e) {
        EXPECT_EQ(e.text(), "Error - too many files in FileServer! Aborting...");
        EXPECT_EQ(e.reason(),
                  "its 3 records hold 2 files; " + dir.file("c") + " would need the last one")
            << "the reason counts the records";
    }
    EXPECT_NE(server.getFile(dir.file("a")), nullptr) << "loaded files are still served";
}

TEST(FileRecord, EmptyRecordThrowsFileNotFound) {
    FileServer::File record;
    EXPECT_THROW(record.getName(), Error) << "no name yet";
    try {
        record.getBytes();
        FAIL() << "no bytes yet";
    } catch (const Error& e) {
        EXPECT_EQ(e.text(), "Error - file  not found! Aborting...")
            << "errFileNotFound, whose detail is not set";
    }
}

TEST(ProcessServers, AccessorsReturnWhatWasSet) {
    DebugServer debug(11, 0);
    FileServer files(&debug, 200);
    setProcessDebugServer(&debug);
    setProcessFileServer(&files);
    EXPECT_EQ(processDebugServer(), &debug);
    EXPECT_EQ(processFileServer(), &files);
    setProcessDebugServer(nullptr);
    setProcessFileServer(nullptr);
    EXPECT_EQ(processFileServer(), nullptr);
}

} // namespace
